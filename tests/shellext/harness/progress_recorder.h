// The shell's progress dialog replaced for a test: while a recorder lives,
// CoCreateInstance of CLSID_ProgressDialog in this process (the library
// under test included) makes a recording double instead of the system's
// dialog. Each dialog records its title, animation, cancel message, lines,
// progress, and when it was started and stopped (product milliseconds,
// platform::tickMs). The test decides when the user cancels.
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

struct RecordedDialog {
    std::wstring title;
    std::wstring cancelMessage;
    UINT animation = 0;
    HINSTANCE animationModule = nullptr;
    bool started = false;
    bool stopped = false;
    DWORD startFlags = 0;
    HWND owner = nullptr;
    uint64_t startMs = 0;
    uint64_t stopMs = 0;
    std::wstring lines[4];              // lines 1 to 3 as last set
    std::vector<std::wstring> line3;    // every text line 3 was given
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    int cancelQueries = 0;
    bool released = false;
};

std::string narrow(const std::wstring& text);

class ProgressRecorder {
public:
    // Registers the class object on this thread's apartment.
    ProgressRecorder();
    // Revokes it; every dialog made must have been released.
    ~ProgressRecorder();
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    bool registered() const { return cookie_ != 0; }
    const std::vector<std::shared_ptr<RecordedDialog>>& dialogs() const { return dialogs_; }
    // The user cancels after the n-th SetProgress of a dialog (0: at once),
    // in every dialog made from now on; -1: never.
    void cancelAfterProgress(int count) { cancelAfter_ = count; }
    void clear() { dialogs_.clear(); }
    // `probe` runs in every dialog made from now on when it is started,
    // that is while the work it shows is under way (empty: none).
    void whenStarted(std::function<void()> probe) { startProbe_ = std::move(probe); }

    // For the dialogs.
    std::shared_ptr<RecordedDialog> made();
    int cancelAfter() const { return cancelAfter_; }
    const std::function<void()>& startProbe() const { return startProbe_; }

private:
    class Factory;
    std::unique_ptr<Factory> factory_;
    DWORD cookie_ = 0;
    std::vector<std::shared_ptr<RecordedDialog>> dialogs_;
    int cancelAfter_ = -1;
    std::function<void()> startProbe_;
};

}  // namespace kestrel::shellext::test
