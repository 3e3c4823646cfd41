#include "media/card_tables.h"

namespace kestrel::media {

namespace {

constexpr std::array<uint8_t, 2> MAKERS = {0xEC, 0x98};

// [size index][maker index][entry]
constexpr uint8_t DEVICE_CODES[SIZE_COUNT][2][2] = {
    {{0x6E, 0x00}, {0x00, 0x00}},  // 1 MB
    {{0xEA, 0x64}, {0xEA, 0x64}},  // 2 MB
    {{0xE3, 0xE5}, {0xE5, 0x6B}},  // 4 MB
    {{0xE6, 0x00}, {0xE6, 0x00}},  // 8 MB
    {{0x73, 0x00}, {0x73, 0x00}},  // 16 MB
    {{0x75, 0x00}, {0x75, 0x00}},  // 32 MB
    {{0x76, 0x00}, {0x76, 0x00}},  // 64 MB
    {{0x79, 0x00}, {0x79, 0x00}},  // 128 MB
};

constexpr CardGeometry GEOMETRY[SIZE_COUNT] = {
    {125, 4, 4, 2000, 512, 256, 250, 8, 16, 256},
    {125, 4, 8, 4000, 512, 512, 500, 8, 16, 256},
    {250, 4, 8, 8000, 512, 512, 500, 16, 16, 512},
    {250, 4, 16, 16000, 512, 1024, 1000, 16, 16, 512},
    {500, 4, 16, 32000, 512, 1024, 1000, 32, 32, 512},
    {500, 8, 16, 64000, 512, 2048, 2000, 32, 32, 512},
    {500, 8, 32, 128000, 512, 4096, 4000, 32, 32, 512},
    {500, 16, 32, 256000, 512, 8192, 8000, 32, 32, 512},
};

}  // namespace

const CardGeometry& geometryRow(uint32_t sizeIndex) { return GEOMETRY[sizeIndex < SIZE_COUNT ? sizeIndex : 0]; }

std::optional<uint32_t> makerIndexOf(uint8_t maker) {
    for (uint32_t i = 0; i < MAKERS.size(); ++i) {
        if (MAKERS[i] == maker) return i;
    }
    return std::nullopt;
}

std::optional<uint32_t> sizeIndexOf(uint32_t makerIndex, uint8_t deviceCode) {
    if (makerIndex >= MAKERS.size()) return std::nullopt;
    for (uint32_t size = 0; size < SIZE_COUNT; ++size) {
        const auto& codes = DEVICE_CODES[size][makerIndex];
        if (codes[0] == deviceCode || codes[1] == deviceCode) return size;
    }
    return std::nullopt;
}

uint32_t pageSizeOf(uint32_t sizeIndex) { return sizeIndex < 2 ? 256 : 512; }

std::array<uint8_t, 2> deviceCodesOf(uint32_t makerIndex, uint32_t sizeIndex) {
    if (makerIndex >= MAKERS.size() || sizeIndex >= SIZE_COUNT) return {0, 0};
    return {DEVICE_CODES[sizeIndex][makerIndex][0], DEVICE_CODES[sizeIndex][makerIndex][1]};
}

}  // namespace kestrel::media
