#include "mount/daemon.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrel::mount {

namespace {

constexpr char MOUNTED = 'M';
constexpr int EXIT_FAILED = 1;

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

Daemon::Daemon(bool background) : background_(background) {
    if (!background_) return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        failed_ = true;
        return;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        failed_ = true;
        return;
    }
    if (pid == 0) {
        ::close(ends[0]);
        reportFd_ = ends[1];
    } else {
        ::close(ends[1]);
        reportFd_ = ends[0];
        child_ = pid;
    }
}

Daemon::~Daemon() { closeFd(reportFd_); }

std::optional<int> Daemon::parentExitCode() {
    if (!background_ || failed_ || child_ == 0) return std::nullopt;
    char report = 0;
    ssize_t got;
    do {
        got = ::read(reportFd_, &report, 1);
    } while (got < 0 && errno == EINTR);
    closeFd(reportFd_);
    if (got == 1 && report == MOUNTED) return 0;
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0) {
        if (errno != EINTR) return EXIT_FAILED;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? EXIT_FAILED : WEXITSTATUS(status);
    return EXIT_FAILED;
}

void Daemon::detach() {
    if (!background_ || child_ != 0 || reportFd_ < 0) return;
    (void)::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) ::close(null);
    }
    const char report = MOUNTED;
    (void)!::write(reportFd_, &report, 1);
    closeFd(reportFd_);
}

}  // namespace kestrel::mount
