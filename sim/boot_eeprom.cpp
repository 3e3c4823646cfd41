#include "sim/boot_eeprom.h"

#include <algorithm>
#include <cstddef>

namespace kestrel::sim {

BootEeprom::BootEeprom(std::unique_ptr<BackingFile> image) : image_(std::move(image)) {
    bytes_.fill(0xFF);
    if (!image_->readAt(0, bytes_.data(), bytes_.size())) bytes_.fill(0xFF);
}

void BootEeprom::read(uint16_t address, uint8_t* out, size_t length) const {
    for (size_t i = 0; i < length; ++i) out[i] = bytes_[(address + i) % SIZE];
}

void BootEeprom::write(uint16_t address, const uint8_t* data, size_t length) {
    size_t at = address;
    while (length > 0) {
        const size_t run = std::min(length, SIZE - at);
        std::copy(data, data + run, bytes_.begin() + static_cast<std::ptrdiff_t>(at));
        (void)image_->writeAt(at, data, run);
        data += run;
        length -= run;
        at = 0;
    }
}

}  // namespace kestrel::sim
