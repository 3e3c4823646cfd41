// Time stamps of directory entries: the local time, and its encoding into
// the entry's time word (seconds / 2, minute, hour) and date word (day,
// month, year - 1980; 0 for years up to 1980).
#pragma once

#include <cstdint>
#include <functional>

namespace kestrel::fatfs {

struct DateTime {
    uint32_t year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

using Clock = std::function<DateTime()>;

// The current local time from the C library's calendar time.
DateTime localNow();

uint16_t encodeTime(uint32_t hour, uint32_t minute, uint32_t second);
uint16_t encodeDate(uint32_t year, uint32_t month, uint32_t day);
inline uint16_t encodeTime(const DateTime& t) { return encodeTime(t.hour, t.minute, t.second); }
inline uint16_t encodeDate(const DateTime& t) { return encodeDate(t.year, t.month, t.day); }

}  // namespace kestrel::fatfs
