// Running a mount in the background the way mount helpers do: the process
// forks before anything starts (no device link, watchdog or server thread
// exists yet, and a fork keeps only the calling thread); the child sets up
// the mount, reporting errors on the terminal, and only then detaches,
// while the parent waits for that moment and ends with the child's
// verdict: 0 once mounted, else the child's exit code.
#pragma once

#include <optional>

namespace kestrel::mount {

class Daemon {
public:
    // `background` false: nothing happens, this process serves the mount.
    explicit Daemon(bool background);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // In the parent: the exit code to end with, after the child reported
    // (or ended). In the child and in the foreground: nullopt. Nullopt
    // with failed() when the fork itself failed.
    std::optional<int> parentExitCode();
    bool failed() const { return failed_; }

    // In the child, once mounted: tells the parent, starts a session of
    // its own and puts standard input, output and error on /dev/null.
    void detach();

private:
    bool background_;
    bool failed_ = false;
    int child_ = 0;       // in the parent: the child's process id
    int reportFd_ = -1;   // the pipe end this side holds
};

}  // namespace kestrel::mount
