// The card addressed by logical blocks and sectors, for the commands that
// work below the file system (info, backup, restore): the media layer over
// the library's own exported device commands. The library's file system
// keeps maps of its own; after a change made here it must be reset
// (mt_smInit) before it is used again.
#pragma once

#include "oryx/exported_card_commands.h"
#include "media/card_tables.h"
#include "media/media.h"
#include "tools/image_layout.h"

#include <cstdint>
#include <vector>

namespace kestrel::cli {

struct CardIdentity {
    uint8_t maker = 0;
    uint8_t device = 0;
};

class CardMedia {
public:
    CardMedia() : media_(commands_) {}
    CardMedia(const CardMedia&) = delete;
    CardMedia& operator=(const CardMedia&) = delete;

    // The maker and device code of the card's ID.
    CardIdentity identity();
    // The card's geometry row (the maps are built on the way); fails
    // (Failure) for a card that is missing or not in the tables.
    const media::CardGeometry& geometry();
    uint32_t sizeIndex() { return media_.maps().state().sizeIndex; }
    // Physical blocks marked bad, in block order.
    std::vector<uint32_t> badBlocks();

    uint32_t blockBytes() { return geometry().sectorsPerBlock * media::SECTOR_BYTES; }
    // One logical block: `data` gets blockBytes() bytes, zeros when the
    // block is not mapped. Returns 0, or 14 when a sector was uncorrectable
    // (its bytes as read are kept); fails on any other media error.
    uint32_t readBlock(uint32_t block, std::vector<uint8_t>& data);
    // One logical sector (512 bytes), zeros when its block is not mapped.
    void readSector(uint32_t sector, uint8_t* data);
    // readSector() as a SectorReader (false instead of a failure).
    SectorReader sectorReader();
    // Gives the logical block a fresh erased physical block, programs the
    // sectors of `data` that are not all 0xFF (the first always, by which
    // the block is found again), and releases the block it had.
    void writeBlock(uint32_t block, const uint8_t* data);
    // Leaves the logical block without a physical block (reads as zeros).
    void discardBlock(uint32_t block);

private:
    oryx::ExportedCardCommands commands_;
    media::Media media_;
};

}  // namespace kestrel::cli
