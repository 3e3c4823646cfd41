// How a command ends early: a failure of the operation (exit code 1) or a
// command line the tool cannot act on (exit code 2). Commands throw these;
// the dispatcher prints the message and turns it into the exit code.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::cli {

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;

class Failure : public std::runtime_error {
public:
    Failure(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

[[noreturn]] inline void fail(const std::string& message) { throw Failure(EXIT_FAILED, message); }
[[noreturn]] inline void usageError(const std::string& message) { throw Failure(EXIT_USAGE, message); }

// Runs `action` for each of `arguments`. An operation failure is handed to
// `report` and the loop goes on with the next argument; other failures (a
// bad command line, an interruption) end it. EXIT_FAILED when any failed.
template <typename Action, typename Report>
int forEachText(const std::vector<std::string>& arguments, Action&& action, Report&& report) {
    int code = EXIT_OK;
    for (const auto& text : arguments) {
        try {
            action(text);
        } catch (const Failure& failure) {
            if (failure.exitCode() != EXIT_FAILED) throw;
            report(failure.what());
            code = EXIT_FAILED;
        }
    }
    return code;
}

}  // namespace kestrel::cli
