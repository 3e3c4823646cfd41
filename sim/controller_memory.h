// The EZ-USB controller's 64 KiB of x51 memory, written by CTL_DOWNLOAD, and
// the recognition of the program it holds. A program announces itself by a
// tag text anywhere in memory; when several tags are present the one at the
// lowest address wins (the code the x51 reaches first).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrel::sim {

enum class FirmwareKind { None, FileSystem, Main };

inline constexpr std::string_view FILE_SYSTEM_TAG = "KESTREL-FFS";
inline constexpr std::string_view MAIN_TAG = "KESTREL-MAIN";

// "ffs", "main", "none".
const char* firmwareName(FirmwareKind kind);

class ControllerMemory {
public:
    static constexpr uint32_t SIZE = 65536;

    // Power-on contents: the device's main firmware.
    ControllerMemory() { loadPowerOnImage(); }
    void loadPowerOnImage();

    // Writes `length` bytes at `offset`; false (nothing written) when they
    // would run past the end of memory.
    [[nodiscard]] bool write(uint32_t offset, const uint8_t* data, size_t length);

    FirmwareKind identify() const;

private:
    std::array<uint8_t, SIZE> bytes_;
};

}  // namespace kestrel::sim
