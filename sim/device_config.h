// device.conf: the simulated device's settings and injected faults, as
// `key = value` lines with `#` comments. The keys are listed in the header
// comment that formatDeviceConfig() writes at the top of the file.
#pragma once

#include "sim/card_geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::sim {

// One bit inverted in every read answer of a page byte (the card keeps the
// right value). `byte` counts from the page's first data byte over data and
// spare area.
struct BitFlip {
    uint64_t page = 0;
    uint32_t byte = 0;
    uint8_t bit = 0;
    bool operator==(const BitFlip&) const = default;
};

// What the main firmware's file server serves: the card's FAT file system,
// or a tree in memory (for tests of the protocol alone).
enum class FileServerStore { Card, Memory };

struct DeviceConfig {
    uint32_t sizeMb = 16;
    uint8_t maker = MAKER_EC;
    uint8_t deviceCode = 0x73;
    uint32_t reenumerateMs = 300;
    std::vector<uint32_t> badBlocks;    // factory-bad, marked when the card was created
    std::vector<uint32_t> failProgram;  // blocks whose page program fails
    std::vector<uint32_t> failErase;    // blocks whose erase fails
    std::vector<BitFlip> flips;
    uint32_t stallCommand = 0;          // the Nth command after power-on never answers (0: none)
    uint32_t powerCut = 0;              // power fails during the Nth program or erase after power-on (0: none)
    uint32_t powerCutSeed = 0;          // chooses how far the interrupted program or erase got
    FileServerStore fileServer = FileServerStore::Card;

    // The card this configuration describes (the device code as configured).
    std::optional<CardGeometry> geometry() const;
};

// A configuration for a fresh card of `sizeMb` from `maker`; nullopt when the
// card family has no such card.
std::optional<DeviceConfig> defaultDeviceConfig(uint32_t sizeMb, uint8_t maker);

std::optional<DeviceConfig> parseDeviceConfig(std::string_view text, std::string* error = nullptr);
std::string formatDeviceConfig(const DeviceConfig& config);

// "PAGE:BYTE:BIT" (device.conf) or three words "PAGE BYTE BIT" (simulator
// command) share this parser; nullopt on bad input.
std::optional<BitFlip> parseBitFlip(std::string_view page, std::string_view byte, std::string_view bit);

}  // namespace kestrel::sim
