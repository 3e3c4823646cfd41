#include "fatfs/time_stamp.h"

#include <ctime>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t EPOCH_YEAR = 1980;

std::tm localTime(std::time_t when) {
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &when);
#else
    localtime_r(&when, &parts);
#endif
    return parts;
}

}  // namespace

DateTime localNow() {
    const std::tm parts = localTime(std::time(nullptr));
    DateTime now;
    now.year = static_cast<uint32_t>(parts.tm_year + 1900);
    now.month = static_cast<uint32_t>(parts.tm_mon + 1);
    now.day = static_cast<uint32_t>(parts.tm_mday);
    now.hour = static_cast<uint32_t>(parts.tm_hour);
    now.minute = static_cast<uint32_t>(parts.tm_min);
    now.second = static_cast<uint32_t>(parts.tm_sec);
    return now;
}

uint16_t encodeTime(uint32_t hour, uint32_t minute, uint32_t second) {
    return static_cast<uint16_t>(((hour & 0x1F) << 11) | ((minute & 0x3F) << 5) | ((second / 2) & 0x1F));
}

uint16_t encodeDate(uint32_t year, uint32_t month, uint32_t day) {
    const uint32_t years = year > EPOCH_YEAR ? year - EPOCH_YEAR : 0;
    return static_cast<uint16_t>(((years & 0x7F) << 9) | ((month & 0x0F) << 5) | (day & 0x1F));
}

}  // namespace kestrel::fatfs
