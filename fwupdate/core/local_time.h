// Local calendar time of a moment, as the C runtime breaks it down.
#pragma once

#include <ctime>
#include <optional>

namespace kestrel::fwupdate {

std::optional<std::tm> localCalendarTime(std::time_t moment);

}  // namespace kestrel::fwupdate
