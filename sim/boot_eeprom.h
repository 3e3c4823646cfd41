// The controller's serial boot EEPROM: 65,536 bytes kept in the device
// folder's eeprom.bin (0xFF when new). Addresses wrap at the end of the chip.
#pragma once

#include "sim/backing_file.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::sim {

class BootEeprom {
public:
    static constexpr uint32_t SIZE = 65536;

    // Loads the chip from `image` (exactly SIZE bytes).
    explicit BootEeprom(std::unique_ptr<BackingFile> image);

    [[nodiscard]] static bool createImage(const std::string& path, std::string* error) {
        return BackingFile::create(path, SIZE, 0xFF, error);
    }

    void read(uint16_t address, uint8_t* out, size_t length) const;
    void write(uint16_t address, const uint8_t* data, size_t length);

private:
    std::unique_ptr<BackingFile> image_;
    std::array<uint8_t, SIZE> bytes_;
};

}  // namespace kestrel::sim
