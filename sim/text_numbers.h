// Numbers and word lists in the simulator's text formats (device.conf,
// simulator commands, tool arguments).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

// Decimal, or hexadecimal with a 0x prefix; nullopt unless the whole text is
// a number that fits 32 bits (resp. 8 bits).
std::optional<uint32_t> parseNumber(std::string_view text);
std::optional<uint8_t> parseByte(std::string_view text);

// "3,17,42" -> {3, 17, 42}; empty text is an empty list; nullopt on bad input.
std::optional<std::vector<uint32_t>> parseNumberList(std::string_view text);
std::string formatNumberList(const std::vector<uint32_t>& numbers);

std::string hexByte(uint8_t value);  // "0xEC"

std::string_view trim(std::string_view text);

// Splits at runs of spaces and tabs.
std::vector<std::string_view> splitWords(std::string_view text);

}  // namespace kestrel::sim
