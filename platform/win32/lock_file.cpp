// Lock files on Windows: the file opened without any sharing, so that every
// other open fails with a sharing violation while it is held, and deleted
// when its handle closes; the system closes the handle when the holder
// dies. While the holder's close deletes the file, opens fail with "access
// denied" for a moment: that counts as held too, unless it lasts the whole
// wait.
#include "platform/lock_file.h"

#include "platform/clock.h"
#include "platform/real_sleep.h"
#include "platform/win32/unique_handle.h"

#include <algorithm>
#include <chrono>

namespace kestrel::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t POLL_MS = 5;

class Win32LockFile final : public LockFile {
public:
    explicit Win32LockFile(win32::UniqueHandle file) : file_(std::move(file)) {}

private:
    win32::UniqueHandle file_;
};

}  // namespace

LockAttempt LockFile::acquire(const std::string& path, uint32_t ms) {
    const uint32_t real = scaledMs(ms);
    const auto deadline = real == WAIT_FOREVER ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(real);
    for (;;) {
        win32::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        LockAttempt attempt;
        if (file.valid()) {
            attempt.result = LockResult::Acquired;
            attempt.lock = std::make_unique<Win32LockFile>(std::move(file));
            return attempt;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
            attempt.error = path + ": error " + std::to_string(error);
            return attempt;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            if (error == ERROR_SHARING_VIOLATION) attempt.result = LockResult::Busy;
            else attempt.error = path + ": access denied";
            return attempt;
        }
        detail::sleepRealMs(static_cast<uint32_t>(std::min<int64_t>(left, POLL_MS)));
    }
}

std::string LockFile::machinePath(std::string_view name) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    std::string path = length > 0 && length <= MAX_PATH ? std::string(folder, length) : std::string(".\\");
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    return path + detail::lockFileName(name);
}

}  // namespace kestrel::platform
