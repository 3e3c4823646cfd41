// MS-DOS date and time words of directory entries and the calendar time
// programs see. The card keeps local time in two-second steps from 1980 to
// 2107.
#pragma once

#include <cstdint>
#include <ctime>

namespace kestrel::mount {

struct DosStamp {
    uint16_t date = 0;
    uint16_t time = 0;
};

// The calendar time of a stamp read as local time; a date of 0 (no stamp)
// is 1980-01-01 00:00.
std::time_t calendarTimeOf(DosStamp stamp);

// The stamp of a calendar time in local time, seconds rounded down to
// even; false when the card cannot hold it (before 1980, after 2107).
[[nodiscard]] bool dosStampOf(std::time_t when, DosStamp& stamp);

}  // namespace kestrel::mount
