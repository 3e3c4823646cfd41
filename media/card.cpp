#include "media/card.h"

#include "media/media_errors.h"
#include "media/spare_area.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrel::media {

namespace {

constexpr uint32_t ID_ANSWER = 4;
constexpr uint32_t STATUS_ANSWER = 2;
constexpr uint32_t PAGE_ANSWER = 576;
constexpr uint32_t SPARE_ANSWER = 64;
constexpr uint8_t STATUS_READY = 0x40;
constexpr uint8_t STATUS_FAIL = 0x01;
constexpr uint32_t COMMAND_DONE = 1;

}  // namespace

uint32_t Card::ensureIdentified(uint8_t card) { return identified() ? MEDIA_OK : smIdentify(card); }

uint32_t Card::smIdentify(uint8_t card) {
    state_.identified = 0;
    std::array<uint8_t, ID_ANSWER> id{};
    (void)commands_.readId(card, id.data());  // no answer leaves zeros: no known maker
    const auto maker = makerIndexOf(id[1]);
    if (!maker) return finish(MEDIA_UNKNOWN_CARD);
    const auto size = sizeIndexOf(*maker, id[2]);
    if (!size) return finish(MEDIA_UNKNOWN_CARD);
    state_.makerIndex = *maker;
    state_.sizeIndex = *size;
    state_.pageSize = pageSizeOf(*size);
    state_.identified = CardState::IDENTIFIED;
    return finish(MEDIA_OK);
}

uint32_t Card::smProbeCard() {
    std::array<uint8_t, ID_ANSWER> id{};
    (void)commands_.readId(0, id.data());
    id.fill(0);
    (void)commands_.readId(0, id.data());
    const uint32_t result = makerIndexOf(id[1]) ? MEDIA_OK : MEDIA_UNKNOWN_CARD;
    state_.identified = 0;
    return finish(result);
}

uint32_t Card::smWaitReady(uint8_t card) {
    for (uint32_t poll = 0; poll < READY_POLL_LIMIT; ++poll) {
        std::array<uint8_t, STATUS_ANSWER> status{};
        if (commands_.readStatus(card, status.data()) != COMMAND_DONE) return MEDIA_NOT_READY;
        if (status[1] & STATUS_READY) return (status[1] & STATUS_FAIL) ? MEDIA_OPERATION_FAILED : MEDIA_OK;
    }
    return MEDIA_NOT_READY;
}

uint32_t Card::smProgramPage(uint8_t card, uint32_t byteAddress, const uint8_t* data, const uint8_t* spare) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t spareBytes = smallPages() ? SPARE_HALF_BYTES : SPARE_BYTES;
    std::array<uint8_t, SECTOR_BYTES + SPARE_BYTES> page{};
    std::copy_n(data, state_.pageSize, page.begin());
    std::copy_n(spare, spareBytes, page.begin() + state_.pageSize);
    const auto length = static_cast<uint16_t>(state_.pageSize + spareBytes);
    if (commands_.programPage(card, pageOf(byteAddress), length, page.data()) != COMMAND_DONE) {
        return finish(MEDIA_NOT_READY);
    }
    return finish(smWaitReady(card));
}

uint32_t Card::smReadPage(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t column = byteAddress % HALF_BYTES;
    const uint32_t pageBytes = state_.pageSize + (smallPages() ? SPARE_HALF_BYTES : SPARE_BYTES);
    if (length > pageBytes - column) return finish(MEDIA_OUT_OF_RANGE);
    std::array<uint8_t, PAGE_ANSWER> answer{};
    if (commands_.readPages(card, pageOf(byteAddress), 1, answer.data()) != COMMAND_DONE) {
        return finish(MEDIA_NOT_READY);
    }
    std::copy_n(answer.begin() + column, length, buffer);
    return finish(MEDIA_OK);
}

uint32_t Card::smReadPageHigh(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t column = byteAddress % HALF_BYTES;
    if (smallPages() || length > HALF_BYTES + SPARE_HALF_BYTES - column) return finish(MEDIA_OUT_OF_RANGE);
    std::array<uint8_t, PAGE_ANSWER> answer{};
    if (commands_.readPages(card, pageOf(byteAddress), 1, answer.data()) != COMMAND_DONE) {
        return finish(MEDIA_NOT_READY);
    }
    std::copy_n(answer.begin() + HALF_BYTES + column, length, buffer);
    return finish(MEDIA_OK);
}

uint32_t Card::smReadSpare(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    // Callers pass sector or half-sector addresses, so the column is 0; it
    // is taken within the spare area so that no address reads past it.
    const uint32_t spareBytes = smallPages() ? SPARE_HALF_BYTES : SPARE_BYTES;
    const uint32_t column = byteAddress % spareBytes;
    if (length > spareBytes - column) return finish(MEDIA_OUT_OF_RANGE);
    std::array<uint8_t, SPARE_ANSWER> answer{};
    if (commands_.readSpare(card, pageOf(byteAddress), 1, answer.data()) != COMMAND_DONE) {
        return finish(MEDIA_NOT_READY);
    }
    std::copy_n(answer.begin() + column, length, buffer);
    return finish(MEDIA_OK);
}

uint32_t Card::smEraseBlock(uint8_t card, uint32_t byteAddress) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    if (commands_.eraseBlock(card, pageOf(byteAddress)) != COMMAND_DONE) return finish(MEDIA_NOT_READY);
    return finish(smWaitReady(card));
}

uint32_t Card::smReadIdBytes(uint8_t card, uint8_t* buffer, uint32_t length) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    if (length < 2 || length > ID_ANSWER - 1) return finish(MEDIA_OUT_OF_RANGE);
    std::array<uint8_t, ID_ANSWER> id{};
    if (commands_.readId(card, id.data()) != COMMAND_DONE) return finish(MEDIA_NOT_READY);
    std::copy_n(id.begin() + 1, length, buffer);
    return finish(MEDIA_OK);
}

uint32_t Card::smWriteSector(uint8_t card, uint32_t sector, const uint8_t* data512, const uint8_t* spare16) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t address = sector * SECTOR_BYTES;
    if (!smallPages()) return smProgramPage(card, address, data512, spare16);
    if (const uint32_t error = smProgramPage(card, address, data512, spare16)) return error;
    return smProgramPage(card, address + HALF_BYTES, data512 + HALF_BYTES, spare16 + SPARE_HALF_BYTES);
}

uint32_t Card::smReadSectorData(uint8_t card, uint32_t sector, uint8_t* data512) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t address = sector * SECTOR_BYTES;
    if (!smallPages()) return smReadPage(card, address, data512, SECTOR_BYTES);
    if (const uint32_t error = smReadPage(card, address, data512, HALF_BYTES)) return error;
    return smReadPage(card, address + HALF_BYTES, data512 + HALF_BYTES, HALF_BYTES);
}

uint32_t Card::smReadSectorSpare(uint8_t card, uint32_t sector, uint8_t* spare16) {
    if (const uint32_t error = ensureIdentified(card)) return error;
    const uint32_t address = sector * SECTOR_BYTES;
    if (!smallPages()) return smReadSpare(card, address, spare16, SPARE_BYTES);
    if (const uint32_t error = smReadSpare(card, address, spare16, SPARE_HALF_BYTES)) return error;
    return smReadSpare(card, address + HALF_BYTES, spare16 + SPARE_HALF_BYTES, SPARE_HALF_BYTES);
}

}  // namespace kestrel::media
