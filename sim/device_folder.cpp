#include "sim/device_folder.h"

#include "sim/boot_eeprom.h"
#include "sim/nand_card.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrel::sim {

namespace fs = std::filesystem;

namespace {

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

std::string folderFile(const std::string& folder, const char* name) {
    return (fs::path(folder) / name).string();
}

bool createDeviceFolder(const std::string& folder, const DeviceConfig& config, std::string* error) {
    const auto geometry = config.geometry();
    if (!geometry) {
        setError(error, "no such card");
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        setError(error, folder + ": " + ec.message());
        return false;
    }
    if (fs::exists(folderFile(folder, NAND_FILE))) {
        setError(error, folder + " already holds a device");
        return false;
    }
    if (!NandCard::createImage(folderFile(folder, NAND_FILE), *geometry, config.badBlocks, error)) return false;
    if (!BootEeprom::createImage(folderFile(folder, EEPROM_FILE), error)) return false;
    if (!writeTextFile(folderFile(folder, CONFIG_FILE), formatDeviceConfig(config))) {
        setError(error, folderFile(folder, CONFIG_FILE) + ": cannot write");
        return false;
    }
    return true;
}

std::optional<DeviceConfig> readDeviceConfig(const std::string& folder, std::string* error) {
    const std::string path = folderFile(folder, CONFIG_FILE);
    const auto text = readTextFile(path);
    if (!text) {
        setError(error, path + ": cannot read");
        return std::nullopt;
    }
    return parseDeviceConfig(*text, error);
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeTextFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    return !ec;
}

}  // namespace kestrel::sim
