#include "fwupdate/core/local_time.h"

namespace kestrel::fwupdate {

std::optional<std::tm> localCalendarTime(std::time_t moment) {
    std::tm parts{};
#ifdef _WIN32
    if (localtime_s(&parts, &moment) != 0) return std::nullopt;
#else
    if (localtime_r(&moment, &parts) == nullptr) return std::nullopt;
#endif
    return parts;
}

}  // namespace kestrel::fwupdate
