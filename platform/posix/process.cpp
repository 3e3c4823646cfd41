#include "platform/process.h"

#include "platform/clock.h"
#include "platform/real_sleep.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace kestrel::platform {

namespace {

constexpr uint32_t POLL_MS = 5;
constexpr int SIGNAL_EXIT_BASE = 128;  // exit code of a child ended by a signal: 128 + signal

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return SIGNAL_EXIT_BASE + WTERMSIG(status);
    return -1;
}

class PosixChildProcess final : public ChildProcess {
public:
    explicit PosixChildProcess(pid_t pid) : pid_(pid) {}
    ~PosixChildProcess() override { kill(); }

    std::optional<int> wait(uint32_t realMs) override {
        if (exitCode_) return exitCode_;
        if (realMs == WAIT_FOREVER) return reap(0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
        for (;;) {
            if (auto code = reap(WNOHANG)) return code;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            detail::sleepRealMs(static_cast<uint32_t>(std::min<int64_t>(left.count(), POLL_MS)));
        }
    }

    void kill() override {
        if (exitCode_ || reap(WNOHANG)) return;
        ::kill(pid_, SIGKILL);
        reap(0);
    }

private:
    // Collects the child's status; nullopt while it runs (WNOHANG).
    std::optional<int> reap(int options) {
        int status = 0;
        pid_t result;
        do {
            result = waitpid(pid_, &status, options);
        } while (result < 0 && errno == EINTR);
        if (result == pid_) exitCode_ = exitCodeOf(status);
        else if (result < 0) exitCode_ = -1;  // not our child any more: nothing left to wait for
        return exitCode_;
    }

    pid_t pid_;
    std::optional<int> exitCode_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::string& program, const std::vector<std::string>& arguments,
                                                  std::string* error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int result = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (result != 0) {
        if (error) *error = "cannot start " + program + ": " + std::strerror(result);
        return nullptr;
    }
    return std::make_unique<PosixChildProcess>(pid);
}

std::string currentExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return {};
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace kestrel::platform
