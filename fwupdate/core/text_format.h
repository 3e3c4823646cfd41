// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define FWUPDATE_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define FWUPDATE_PRINTF(format_index, first_arg)
#endif

namespace kestrel::fwupdate {

std::string formatText(const char* format, ...) FWUPDATE_PRINTF(1, 2);
std::string formatTextV(const char* format, va_list arguments);

// "%3d%%" of a percentage: " 40%", "100%".
std::string percentText(uint32_t percent);

}  // namespace kestrel::fwupdate
