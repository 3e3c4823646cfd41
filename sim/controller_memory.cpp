#include "sim/controller_memory.h"

#include <algorithm>

namespace kestrel::sim {

namespace {

// x51 reset vector: LJMP to the main loop, which follows the tag.
constexpr uint8_t POWER_ON_CODE[] = {0x02, 0x00, 0x20};
constexpr uint32_t POWER_ON_TAG_OFFSET = 0x10;

size_t find(const std::array<uint8_t, ControllerMemory::SIZE>& bytes, std::string_view tag) {
    const auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    return static_cast<size_t>(at - bytes.begin());
}

}  // namespace

const char* firmwareName(FirmwareKind kind) {
    switch (kind) {
    case FirmwareKind::FileSystem: return "ffs";
    case FirmwareKind::Main: return "main";
    case FirmwareKind::None: break;
    }
    return "none";
}

void ControllerMemory::loadPowerOnImage() {
    bytes_.fill(0);
    std::copy(std::begin(POWER_ON_CODE), std::end(POWER_ON_CODE), bytes_.begin());
    std::copy(MAIN_TAG.begin(), MAIN_TAG.end(), bytes_.begin() + POWER_ON_TAG_OFFSET);
}

bool ControllerMemory::write(uint32_t offset, const uint8_t* data, size_t length) {
    if (offset > SIZE || length > SIZE - offset) return false;
    std::copy_n(data, length, bytes_.begin() + offset);
    return true;
}

FirmwareKind ControllerMemory::identify() const {
    const size_t fileSystem = find(bytes_, FILE_SYSTEM_TAG);
    const size_t main = find(bytes_, MAIN_TAG);
    if (fileSystem == SIZE && main == SIZE) return FirmwareKind::None;
    return fileSystem < main ? FirmwareKind::FileSystem : FirmwareKind::Main;
}

}  // namespace kestrel::sim
