// The shell's progress dialog (CLSID_ProgressDialog) as the copy, delete
// and stream operations use it: made with its title, the cancel message
// "Cancelling..." and the library's animation 103, then started, fed with
// lines and progress, and stopped. The owner releases the dialog (stopping
// it first when it runs). Texts are ANSI and converted for the shell.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::shellext {

inline constexpr char CANCEL_MESSAGE[] = "Cancelling...";
inline constexpr DWORD PROGRESS_FLAGS = PROGDLG_MODAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE;

class ProgressDialog {
public:
    // Null when the shell's dialog cannot be made.
    [[nodiscard]] static std::unique_ptr<ProgressDialog> create(const std::string& title);
    ~ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    void start(HWND owner, DWORD flags = PROGRESS_FLAGS);
    void stop();
    bool running() const { return running_; }
    // Lines 1 to 3; `compact` shortens a path to fit.
    void setLine(DWORD line, const std::string& text, bool compact = false);
    void setProgress(uint32_t done, uint32_t total);
    bool cancelled() const;

private:
    explicit ProgressDialog(IProgressDialog* dialog) : dialog_(dialog) {}
    IProgressDialog* dialog_;
    bool running_ = false;
};

// ANSI text as UTF-16.
std::wstring wideText(const std::string& text);
// UTF-16 text as ANSI.
std::string ansiText(const wchar_t* text);

}  // namespace kestrel::shellext
