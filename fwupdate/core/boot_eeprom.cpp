// The boot EEPROM update: the image written in chunks of 32 bytes at
// addresses 0, 32, 64, ..., then read back and compared.
#include "fwupdate/core/messages.h"
#include "fwupdate/core/text_format.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include "platform/clock.h"

#include <array>
#include <cstring>

namespace kestrel::fwupdate {

namespace {

constexpr uint32_t CHUNK = 32;
// The chip's write cycle, waited after every chunk.
constexpr uint32_t WRITE_CYCLE_MS = 25;
// The bytes that fill the image's last chunk up to 32: the value of an
// erased cell, so that the chip holds nothing beyond the image.
constexpr uint8_t FILL = 0xFF;

// An image that delivers more than its size said still ends at 100.
uint32_t percentOf(uint64_t handled, uint64_t size) {
    if (size == 0 || handled >= size) return 100;
    return static_cast<uint32_t>(handled * 100 / size);
}

}  // namespace

bool UpdateTool::eepromImageFits(HostFile& image, const std::string& name) {
    const std::optional<HostFileStatus> status = image.status();
    const uint64_t size = status ? status->size : 0;
    if (size <= EEPROM_BYTES) return true;
    // Beyond 65536 bytes the 16-bit addresses wrap and the image's tail
    // would overwrite its own start.
    view_.showMessage(box::eepromImageTooLarge(name, size));
    return false;
}

bool UpdateTool::WriteBootEeprom(HostFile& image) {
    const std::optional<HostFileStatus> status = image.status();
    const uint64_t size = status ? status->size : 0;
    view_.setActionText(text::UPDATING_EEPROM);
    view_.setPercentText(percentText(0));
    view_.setProgress(0);
    if (!eepromImageFits(image, EEPROM_IMAGE)) {
        view_.setActionText("");
        return false;
    }

    std::array<uint8_t, CHUNK> chunk{};
    uint64_t handled = 0;
    for (uint32_t address = 0; address < EEPROM_BYTES; address += CHUNK) {
        chunk.fill(FILL);
        const size_t n = image.read(chunk.data(), CHUNK);
        if (n == 0) break;
        if (oryx_.writeLC(static_cast<uint16_t>(address), chunk.data()) == 0) {
            view_.showMessage(box::eepromWriteError());
            view_.setActionText("");
            view_.setProgress(0);
            return false;
        }
        view_.pumpMessages();
        platform::sleepMs(WRITE_CYCLE_MS);
        handled += n;
        if (size != 0) {
            view_.setActionText(text::UPDATING_EEPROM);
            const uint32_t percent = percentOf(handled, size);
            view_.setPercentText(percentText(percent));
            view_.setProgress(percent);
        }
    }
    return true;
}

bool UpdateTool::VerifyBootEeprom(HostFile& image) {
    const std::optional<HostFileStatus> status = image.status();
    const uint64_t size = status ? status->size : 0;
    view_.setActionText(text::VERIFYING_EEPROM);
    view_.setPercentText("");
    view_.setProgress(0);
    if (!image.rewind()) {
        view_.showMessage(box::eepromReadError());
        return false;
    }

    std::array<uint8_t, CHUNK> fromFile{};
    std::array<uint8_t, CHUNK> readBack{};
    uint64_t handled = 0;
    for (uint32_t address = 0; address < EEPROM_BYTES; address += CHUNK) {
        const size_t n = image.read(fromFile.data(), CHUNK);
        if (n == 0) break;
        if (oryx_.readLC(static_cast<uint16_t>(address), readBack.data()) == 0) {
            view_.showMessage(box::eepromReadError());
            view_.setActionText("");
            view_.setPercentText("");
            view_.setProgress(0);
            return false;
        }
        if (std::memcmp(fromFile.data(), readBack.data(), n) != 0) {
            view_.showMessage(box::verifyError());
            return false;
        }
        handled += n;
        if (size != 0) {
            const uint32_t percent = percentOf(handled, size);
            view_.setPercentText(percentText(percent));
            view_.setProgress(percent);
        }
        view_.pumpMessages();
    }
    return true;
}

}  // namespace kestrel::fwupdate
