#include "sim/device_config.h"

#include "sim/text_numbers.h"

#include <sstream>

namespace kestrel::sim {

namespace {

constexpr const char* HEADER =
    "# Simulated Kestrel: device settings and injected faults.\n"
    "# `key = value` lines; `#` starts a comment. Keys:\n"
    "#   size           = 1M|2M|4M|8M|16M|32M|64M|128M   card capacity\n"
    "#   maker          = 0xEC|0x98                       maker code (read ID byte 1)\n"
    "#   device         = 0x73                            device code (read ID byte 2)\n"
    "#   reenumerate_ms = 300      time off the bus after the x51 is released\n"
    "#                             (multiplied by KESTREL_TIME_SCALE)\n"
    "#   bad            = 3,17     factory-bad blocks (marked in nand.bin when the\n"
    "#                             card was created; listed here for reference)\n"
    "#   fail_program   = 9,10     blocks whose page program fails (status fail bit,\n"
    "#                             page unchanged)\n"
    "#   fail_erase     = 9        blocks whose erase fails (status fail bit, block\n"
    "#                             unchanged)\n"
    "#   flip           = PAGE:BYTE:BIT,...  that bit inverted in every read answer\n"
    "#                             of that page byte (BYTE counts data, then spare)\n"
    "#   stall          = N        the Nth card command after power-on never answers\n"
    "#                             (0 = none)\n"
    "#   power_cut      = N        power fails during the Nth page program or block\n"
    "#                             erase after power-on (0 = none): that operation is\n"
    "#                             left half done (a program stops part-way through\n"
    "#                             the page's data or spare bytes, an erase has erased\n"
    "#                             some of the block's first pages or none), and the\n"
    "#                             device is off the bus until replugged or reset\n"
    "#   power_cut_seed = 0        picks how far the interrupted operation got (the\n"
    "#                             same N and seed always leave the same card)\n"
    "#   file_server    = card|memory  what the main firmware's file server serves:\n"
    "#                             the card's FAT file system, or a tree in memory\n";

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::optional<std::vector<BitFlip>> parseFlipList(std::string_view text) {
    std::vector<BitFlip> flips;
    text = trim(text);
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = trim(text.substr(0, comma));
        const auto c1 = item.find(':');
        const auto c2 = c1 == std::string_view::npos ? c1 : item.find(':', c1 + 1);
        if (c2 == std::string_view::npos) return std::nullopt;
        const auto flip = parseBitFlip(item.substr(0, c1), item.substr(c1 + 1, c2 - c1 - 1), item.substr(c2 + 1));
        if (!flip) return std::nullopt;
        flips.push_back(*flip);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return flips;
}

std::string formatFlipList(const std::vector<BitFlip>& flips) {
    std::string text;
    for (const auto& f : flips) {
        if (!text.empty()) text += ',';
        text += std::to_string(f.page) + ':' + std::to_string(f.byte) + ':' + std::to_string(f.bit);
    }
    return text;
}

// Applies one `key = value` line; false with `error` for an unknown key or a
// bad value.
bool applySetting(DeviceConfig& config, std::string_view key, std::string_view value, bool& deviceGiven,
                  std::string& error) {
    auto fail = [&](std::string why) {
        error = std::move(why);
        return false;
    };
    auto blockList = [&](std::vector<uint32_t>& target) {
        const auto numbers = parseNumberList(value);
        if (!numbers) return fail("bad block list");
        target = *numbers;
        return true;
    };
    if (key == "size") {
        const auto size = parseSizeMb(value);
        if (!size) return fail("bad size");
        config.sizeMb = *size;
        return true;
    }
    if (key == "maker" || key == "device") {
        const auto code = parseByte(value);
        if (!code) return fail("bad " + std::string(key) + " code");
        (key == "maker" ? config.maker : config.deviceCode) = *code;
        deviceGiven = deviceGiven || key == "device";
        return true;
    }
    if (key == "reenumerate_ms" || key == "stall" || key == "power_cut" || key == "power_cut_seed") {
        const auto n = parseNumber(value);
        if (!n) return fail("bad number");
        uint32_t& target = key == "stall"       ? config.stallCommand
                           : key == "power_cut" ? config.powerCut
                           : key == "power_cut_seed" ? config.powerCutSeed
                                                     : config.reenumerateMs;
        target = *n;
        return true;
    }
    if (key == "file_server") {
        if (value != "card" && value != "memory") return fail("file_server is card or memory");
        config.fileServer = value == "card" ? FileServerStore::Card : FileServerStore::Memory;
        return true;
    }
    if (key == "bad") return blockList(config.badBlocks);
    if (key == "fail_program") return blockList(config.failProgram);
    if (key == "fail_erase") return blockList(config.failErase);
    if (key == "flip") {
        const auto flips = parseFlipList(value);
        if (!flips) return fail("bad flip list (PAGE:BYTE:BIT,...)");
        config.flips = *flips;
        return true;
    }
    return fail("unknown key '" + std::string(key) + "'");
}

// Checks block and page numbers against the card.
bool validate(const DeviceConfig& config, std::string& error) {
    const auto geometry = config.geometry();
    if (!geometry) {
        error = "no " + std::to_string(config.sizeMb) + " MB card from maker " + hexByte(config.maker);
        return false;
    }
    for (const auto* blocks : {&config.badBlocks, &config.failProgram, &config.failErase})
        for (const uint32_t b : *blocks)
            if (b >= geometry->blocks) {
                error = "block " + std::to_string(b) + " is beyond the card";
                return false;
            }
    for (const auto& f : config.flips)
        if (f.page >= geometry->pages() || f.byte >= geometry->pageBytes()) {
            error = "flip " + std::to_string(f.page) + ":" + std::to_string(f.byte) + " is beyond the card";
            return false;
        }
    return true;
}

}  // namespace

std::optional<CardGeometry> DeviceConfig::geometry() const {
    auto g = cardGeometry(sizeMb, maker);
    if (g) g->deviceCode = deviceCode;
    return g;
}

std::optional<DeviceConfig> defaultDeviceConfig(uint32_t sizeMb, uint8_t maker) {
    const auto g = cardGeometry(sizeMb, maker);
    if (!g) return std::nullopt;
    DeviceConfig config;
    config.sizeMb = sizeMb;
    config.maker = maker;
    config.deviceCode = g->deviceCode;
    return config;
}

std::optional<BitFlip> parseBitFlip(std::string_view page, std::string_view byte, std::string_view bit) {
    const auto p = parseNumber(trim(page));
    const auto b = parseNumber(trim(byte));
    const auto i = parseNumber(trim(bit));
    if (!p || !b || !i || *i > 7) return std::nullopt;
    return BitFlip{*p, *b, static_cast<uint8_t>(*i)};
}

std::optional<DeviceConfig> parseDeviceConfig(std::string_view text, std::string* error) {
    DeviceConfig config;
    bool deviceGiven = false;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        auto line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const auto eq = line.find('=');
        std::string problem = "expected key = value";
        if (eq != std::string_view::npos &&
            applySetting(config, trim(line.substr(0, eq)), trim(line.substr(eq + 1)), deviceGiven, problem))
            continue;
        setError(error, "device.conf line " + std::to_string(lineNumber) + ": " + problem);
        return std::nullopt;
    }
    if (!deviceGiven) {
        if (const auto g = cardGeometry(config.sizeMb, config.maker)) config.deviceCode = g->deviceCode;
    }
    std::string problem;
    if (!validate(config, problem)) {
        setError(error, "device.conf: " + problem);
        return std::nullopt;
    }
    return config;
}

std::string formatDeviceConfig(const DeviceConfig& config) {
    std::ostringstream out;
    out << HEADER << "\n"
        << "size = " << config.sizeMb << "M\n"
        << "maker = " << hexByte(config.maker) << "\n"
        << "device = " << hexByte(config.deviceCode) << "\n"
        << "reenumerate_ms = " << config.reenumerateMs << "\n"
        << "bad = " << formatNumberList(config.badBlocks) << "\n"
        << "fail_program = " << formatNumberList(config.failProgram) << "\n"
        << "fail_erase = " << formatNumberList(config.failErase) << "\n"
        << "flip = " << formatFlipList(config.flips) << "\n"
        << "stall = " << config.stallCommand << "\n"
        << "power_cut = " << config.powerCut << "\n"
        << "power_cut_seed = " << config.powerCutSeed << "\n"
        << "file_server = " << (config.fileServer == FileServerStore::Card ? "card" : "memory") << "\n";
    return out.str();
}

}  // namespace kestrel::sim
