// Drives the window program fwupdate.exe from another process, as a user
// would: finds its window, its dialog and their controls, reads texts and
// states, clicks, and answers the message boxes it shows (Windows only).
#pragma once

#include "platform/win32/win32.h"

#include <cstdint>
#include <string>

namespace kestrel::fwupdate::test {

inline constexpr uint32_t PATIENCE_MS = 60000;

class ProgramDriver {
public:
    // Starts `program` with the command line `arguments` in `folder`.
    ProgramDriver(const std::string& program, const std::string& arguments, const std::string& folder);
    // Kills the program if it still runs.
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;

    bool started() const { return process_ != nullptr; }
    // Waits for the main window and for the program to wait for input (so
    // its start-up has set the controls); null after `realMs`.
    HWND waitForWindow(uint32_t realMs = PATIENCE_MS);
    HWND mainWindow() const { return main_; }
    HWND dialog() const;
    HWND control(int id) const;

    // A control's text, read without a message to the busy program.
    std::string text(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    bool checked(int id) const;
    // A click on a button, posted.
    void click(int id) const;
    void requestClose() const;

    // A message box of the program with this caption; null after `realMs`.
    HWND waitForBox(const std::string& caption, uint32_t realMs = PATIENCE_MS) const;
    // Any message box of the program showing right now.
    HWND anyBox() const;
    static std::string boxText(HWND box);
    // Presses the box's button `id` (IDOK, IDYES, IDNO) and waits until it
    // is gone.
    static bool answer(HWND box, int id);

    // Polls until the control is enabled.
    bool waitForEnabled(int id, uint32_t realMs = PATIENCE_MS) const;
    // Polls until the action text is `expected`.
    bool waitForAction(const std::string& expected, uint32_t realMs = PATIENCE_MS) const;
    // The exit code, or -1 when it still runs after `realMs`.
    int waitForExit(uint32_t realMs = PATIENCE_MS);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// The title bar text of a window.
std::string windowText(HWND window);

}  // namespace kestrel::fwupdate::test
