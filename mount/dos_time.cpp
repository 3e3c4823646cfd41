#include "mount/dos_time.h"

namespace kestrel::mount {

namespace {

constexpr int DOS_FIRST_YEAR = 1980;
constexpr int DOS_LAST_YEAR = 2107;

}  // namespace

std::time_t calendarTimeOf(DosStamp stamp) {
    std::tm fields{};
    if (stamp.date == 0) {
        fields.tm_year = DOS_FIRST_YEAR - 1900;
        fields.tm_mday = 1;
    } else {
        fields.tm_year = DOS_FIRST_YEAR - 1900 + (stamp.date >> 9);
        fields.tm_mon = ((stamp.date >> 5) & 0x0F) - 1;
        fields.tm_mday = stamp.date & 0x1F;
        fields.tm_hour = stamp.time >> 11;
        fields.tm_min = (stamp.time >> 5) & 0x3F;
        fields.tm_sec = (stamp.time & 0x1F) * 2;
    }
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

// std::localtime shares its result between threads: callers hold the
// mount's lock.
bool dosStampOf(std::time_t when, DosStamp& stamp) {
    const std::tm* fields = std::localtime(&when);
    if (!fields) return false;
    const int year = fields->tm_year + 1900;
    if (year < DOS_FIRST_YEAR || year > DOS_LAST_YEAR) return false;
    stamp.date = static_cast<uint16_t>(((year - DOS_FIRST_YEAR) << 9) | ((fields->tm_mon + 1) << 5) | fields->tm_mday);
    stamp.time = static_cast<uint16_t>((fields->tm_hour << 11) | (fields->tm_min << 5) | (fields->tm_sec / 2));
    return true;
}

}  // namespace kestrel::mount
