// How a command ends early: a failure of the operation (exit code 1) or a
// command line the tool cannot act on (exit code 2). Commands throw these;
// the dispatcher prints the message and turns it into the exit code.
#pragma once

#include <stdexcept>
#include <string>

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

}  // namespace kestrel::cli
