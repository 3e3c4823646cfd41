#include "sim/card_geometry.h"

#include "sim/text_numbers.h"

#include <array>

namespace kestrel::sim {

namespace {

struct SizeRow {
    uint32_t sizeMb;
    uint8_t codesEc[2];
    uint8_t codes98[2];
    uint32_t blocks;
};

constexpr std::array<SizeRow, 8> SIZES = {{
    {1, {0x6E, 0x00}, {0x00, 0x00}, 256},
    {2, {0xEA, 0x64}, {0xEA, 0x64}, 512},
    {4, {0xE3, 0xE5}, {0xE5, 0x6B}, 512},
    {8, {0xE6, 0x00}, {0xE6, 0x00}, 1024},
    {16, {0x73, 0x00}, {0x73, 0x00}, 1024},
    {32, {0x75, 0x00}, {0x75, 0x00}, 2048},
    {64, {0x76, 0x00}, {0x76, 0x00}, 4096},
    {128, {0x79, 0x00}, {0x79, 0x00}, 8192},
}};

const uint8_t* codesOf(const SizeRow& row, uint8_t maker) {
    if (maker == MAKER_EC) return row.codesEc;
    if (maker == MAKER_98) return row.codes98;
    return nullptr;
}

CardGeometry geometryOf(const SizeRow& row, uint8_t maker, uint8_t deviceCode) {
    CardGeometry g;
    g.sizeMb = row.sizeMb;
    g.maker = maker;
    g.deviceCode = deviceCode;
    g.pageSize = row.sizeMb <= 2 ? 256 : 512;
    g.spareSize = g.pageSize / 32;
    g.pagesPerBlock = row.sizeMb <= 8 ? 16 : 32;
    g.blocks = row.blocks;
    return g;
}

}  // namespace

std::optional<CardGeometry> cardGeometry(uint32_t sizeMb, uint8_t maker) {
    for (const auto& row : SIZES) {
        if (row.sizeMb != sizeMb) continue;
        const uint8_t* codes = codesOf(row, maker);
        if (!codes) return std::nullopt;
        const uint8_t code = codes[0] != 0 ? codes[0] : codes[1];
        return geometryOf(row, maker, code);
    }
    return std::nullopt;
}

std::optional<CardGeometry> identifyCard(uint8_t maker, uint8_t deviceCode) {
    for (const auto& row : SIZES) {
        const uint8_t* codes = codesOf(row, maker);
        if (!codes) return std::nullopt;
        if (codes[0] == deviceCode || codes[1] == deviceCode) return geometryOf(row, maker, deviceCode);
    }
    return std::nullopt;
}

std::optional<uint32_t> parseSizeMb(std::string_view text) {
    if (text.size() > 2 && (text.ends_with("MB") || text.ends_with("mb"))) text.remove_suffix(2);
    else if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) text.remove_suffix(1);
    if (text.empty() || text.front() == '0') return std::nullopt;
    return parseNumber(text);
}

}  // namespace kestrel::sim
