// Lock files on POSIX: flock on the open file, which the kernel drops when
// the last descriptor of the open file goes, at the latest when the holder
// dies. The holder removes the file while it still holds the lock; a taker
// that finds it locked a removed file (a waiter that opened it before the
// removal) starts again on the path.
#include "platform/lock_file.h"

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/posix/unique_fd.h"
#include "platform/real_sleep.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace kestrel::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t POLL_MS = 5;

class PosixLockFile final : public LockFile {
public:
    PosixLockFile(std::string path, posix::UniqueFd file) : path_(std::move(path)), file_(std::move(file)) {}
    ~PosixLockFile() override {
        ::unlink(path_.c_str());  // before the lock goes: see the file comment
        file_.reset();
    }

private:
    std::string path_;
    posix::UniqueFd file_;
};

bool sameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0) return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// One attempt; Busy also when the file was removed under us (try again).
LockAttempt tryOnce(const std::string& path) {
    LockAttempt attempt;
    posix::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.valid()) {
        attempt.error = path + ": " + std::strerror(errno);
        return attempt;
    }
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR) attempt.result = LockResult::Busy;
        else attempt.error = path + ": " + std::strerror(errno);
        return attempt;
    }
    if (!sameFile(file.get(), path)) {
        attempt.result = LockResult::Busy;
        return attempt;
    }
    attempt.result = LockResult::Acquired;
    attempt.lock = std::make_unique<PosixLockFile>(path, std::move(file));
    return attempt;
}

}  // namespace

LockAttempt LockFile::acquire(const std::string& path, uint32_t ms) {
    const uint32_t real = scaledMs(ms);
    const auto deadline = real == WAIT_FOREVER ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(real);
    for (;;) {
        LockAttempt attempt = tryOnce(path);
        if (attempt.result != LockResult::Busy) return attempt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return attempt;
        detail::sleepRealMs(static_cast<uint32_t>(std::min<int64_t>(left, POLL_MS)));
    }
}

std::string LockFile::machinePath(std::string_view name) {
    std::string folder = getEnv("TMPDIR").value_or("");
    if (folder.empty()) folder = "/tmp";
    if (folder.back() == '/') folder.pop_back();
    return folder + "/" + detail::lockFileName(name);
}

}  // namespace kestrel::platform
