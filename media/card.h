// Card 0 at page and sector level: identification from the ID answer, byte
// addresses turned into page numbers for 256- and 512-byte pages, page,
// spare and sector reads and writes, erases judged by the status poll, and
// reads of physical blocks with the ECC checked sector by sector.
//
// Every operation identifies the card first when it is not identified, and
// returns a media error code (media_errors.h). A device command that the
// device does not carry out ends the operation with 31.
//
// Not thread-safe: the caller serialises.
#pragma once

#include "media/card_tables.h"
#include "usblink/card_commands.h"

#include <array>
#include <cstdint>

namespace kestrel::media {

struct CardState {
    static constexpr uint8_t IDENTIFIED = 10;
    uint8_t identified = 0;
    uint32_t makerIndex = 0;
    uint32_t sizeIndex = 0;
    uint32_t pageSize = 0;
    uint32_t lastMediaError = 0;
};

class Card {
public:
    // Status reads before smWaitReady gives up.
    static constexpr uint32_t READY_POLL_LIMIT = 1'440'000;

    explicit Card(usblink::CardCommands& commands) : commands_(commands) {}
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    const CardState& state() const { return state_; }
    bool identified() const { return state_.identified == CardState::IDENTIFIED; }
    // The row of the identified card.
    const CardGeometry& geometry() const { return geometryRow(state_.sizeIndex); }

    uint32_t smIdentify(uint8_t card);
    // Start-up probe: the card answers with a known maker. Leaves the card
    // not identified, so the next access identifies it afresh.
    uint32_t smProbeCard();
    // 0 ready and passed, 1 ready and failed, 31 no ready bit.
    uint32_t smWaitReady(uint8_t card);

    // Page data (page-size bytes) and the page's spare bytes (16, or 8 on
    // 256-byte-page cards).
    uint32_t smProgramPage(uint8_t card, uint32_t byteAddress, const uint8_t* data, const uint8_t* spare);
    // `length` bytes of the page answer (data, then spare) from column
    // byteAddress mod 256.
    uint32_t smReadPage(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length);
    // 512-byte pages only: from column 256 + byteAddress mod 256.
    uint32_t smReadPageHigh(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length);
    uint32_t smReadSpare(uint8_t card, uint32_t byteAddress, uint8_t* buffer, uint32_t length);
    uint32_t smEraseBlock(uint8_t card, uint32_t byteAddress);
    // `length` (2 or 3) bytes of the ID answer from its maker byte on.
    uint32_t smReadIdBytes(uint8_t card, uint8_t* buffer, uint32_t length);

    uint32_t smWriteSector(uint8_t card, uint32_t sector, const uint8_t* data512, const uint8_t* spare16);
    uint32_t smReadSectorData(uint8_t card, uint32_t sector, uint8_t* data512);
    uint32_t smReadSectorSpare(uint8_t card, uint32_t sector, uint8_t* spare16);

    // A byte range of a physical block. Every sector the range touches is
    // read whole and checked (one wrong bit per half corrected in `buffer`,
    // never on the card), partial sectors included. 14 after the whole range
    // when a half the range reaches into was uncorrectable.
    uint32_t smReadPhysBlock(uint8_t card, uint32_t block, uint32_t offset, uint8_t* buffer, uint32_t length);

private:
    uint32_t ensureIdentified(uint8_t card);
    uint32_t finish(uint32_t result) { return state_.lastMediaError = result; }
    uint32_t pageOf(uint32_t byteAddress) const { return byteAddress / state_.pageSize; }
    bool smallPages() const { return state_.pageSize == HALF_BYTES; }

    // One whole sector (at a sector's address) with the ECC of each half
    // checked and corrected; `halfBad` tells which half was uncorrectable.
    uint32_t readCheckedSector(uint8_t card, uint32_t address, uint8_t* buffer, std::array<bool, 2>& halfBad);

    usblink::CardCommands& commands_;
    CardState state_;
};

}  // namespace kestrel::media
