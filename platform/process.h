// Child processes, for tools and tests that start the simulator or a second
// client: spawn with arguments, wait with a time-out, kill.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::platform {

class ChildProcess {
public:
    // Starts `program` with `arguments` (not including the program name);
    // standard streams are inherited. Null with `error` on failure.
    [[nodiscard]] static std::unique_ptr<ChildProcess> spawn(const std::string& program,
                                                             const std::vector<std::string>& arguments,
                                                             std::string* error = nullptr);
    // Kills the process if it still runs.
    virtual ~ChildProcess() = default;
    // Waits at most `realMs` real milliseconds (WAIT_FOREVER of clock.h:
    // without limit); the exit code, or nullopt when it still runs. A POSIX
    // child ended by a signal reports 128 + the signal number.
    virtual std::optional<int> wait(uint32_t realMs) = 0;
    virtual void kill() = 0;
};

// The full path of the running executable.
std::string currentExecutablePath();

}  // namespace kestrel::platform
