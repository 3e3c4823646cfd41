#include "platform/cpu_time.h"

#include "platform/win32/win32.h"

namespace kestrel::platform {

namespace {

uint64_t hundredNs(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t micros(const FILETIME& kernel, const FILETIME& user) { return (hundredNs(kernel) + hundredNs(user)) / 10; }

}  // namespace

uint64_t processCpuMicros() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return micros(kernel, user);
}

uint64_t threadCpuMicros() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    return micros(kernel, user);
}

}  // namespace kestrel::platform
