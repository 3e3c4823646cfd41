#include "platform/process.h"

#include "platform/win32/system_message.h"
#include "platform/win32/unique_handle.h"

namespace kestrel::platform {

namespace {

// One argument quoted so that the C runtime's command-line parser of the
// child gives it back unchanged: backslashes are literal except before a
// quote, where they and the quote are escaped.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');  // they now stand before the closing quote
    quoted += '"';
    return quoted;
}

class Win32ChildProcess final : public ChildProcess {
public:
    explicit Win32ChildProcess(win32::UniqueHandle process) : process_(std::move(process)) {}
    ~Win32ChildProcess() override { kill(); }

    std::optional<int> wait(uint32_t realMs) override {
        if (WaitForSingleObject(process_.get(), realMs) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.get(), &code)) return -1;
        return static_cast<int>(code);
    }

    void kill() override {
        if (WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) return;
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), INFINITE);
    }

private:
    win32::UniqueHandle process_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::string& program, const std::vector<std::string>& arguments,
                                                  std::string* error) {
    std::string commandLine = quoteArgument(program);
    for (const auto& argument : arguments) commandLine += " " + quoteArgument(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Handles are inherited so that redirected standard streams reach the child.
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        if (error) *error = "cannot start " + program + ": " + win32::systemMessage(GetLastError());
        return nullptr;
    }
    CloseHandle(info.hThread);
    return std::make_unique<Win32ChildProcess>(win32::UniqueHandle(info.hProcess));
}

std::string currentExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace kestrel::platform
