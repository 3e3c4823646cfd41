#include "sim/text_numbers.h"

#include <charconv>

namespace kestrel::sim {

std::optional<uint32_t> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::optional<uint8_t> parseByte(std::string_view text) {
    const auto value = parseNumber(text);
    if (!value || *value > 0xFF) return std::nullopt;
    return static_cast<uint8_t>(*value);
}

std::optional<std::vector<uint32_t>> parseNumberList(std::string_view text) {
    std::vector<uint32_t> numbers;
    text = trim(text);
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto value = parseNumber(trim(text.substr(0, comma)));
        if (!value) return std::nullopt;
        numbers.push_back(*value);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (trim(text).empty()) return std::nullopt;
    }
    return numbers;
}

std::string formatNumberList(const std::vector<uint32_t>& numbers) {
    std::string text;
    for (const uint32_t n : numbers) {
        if (!text.empty()) text += ',';
        text += std::to_string(n);
    }
    return text;
}

std::string hexByte(uint8_t value) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    return std::string("0x") + DIGITS[value >> 4] + DIGITS[value & 15];
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos) break;
        const auto end = text.find_first_of(" \t\r\n", at);
        words.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) break;
        at = end;
    }
    return words;
}

}  // namespace kestrel::sim
