#include "tools/card_media.h"

#include "media/media_errors.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"

#include <algorithm>
#include <array>
#include <string>

namespace kestrel::cli {

namespace {

constexpr uint8_t CARD = 0;
constexpr size_t ID_ANSWER_BYTES = 4;
constexpr size_t ID_MAKER = 1;
constexpr size_t ID_DEVICE = 2;
constexpr uint8_t ERASED = 0xFF;

void checkMedia(uint32_t result, const std::string& what) { checkOryx(result, what); }

bool allErased(const uint8_t* data, size_t length) {
    return std::all_of(data, data + length, [](uint8_t b) { return b == ERASED; });
}

}  // namespace

CardIdentity CardMedia::identity() {
    std::array<uint8_t, ID_ANSWER_BYTES> answer{};
    if (!usbcReadID(CARD, answer.data())) fail("cannot read the card's ID: the device did not answer");
    return {answer[ID_MAKER], answer[ID_DEVICE]};
}

const media::CardGeometry& CardMedia::geometry() {
    const media::CardGeometry* row = nullptr;
    checkMedia(media_.maps().smGetGeometry(CARD, &row), "cannot identify the card");
    return *row;
}

std::vector<uint32_t> CardMedia::badBlocks() {
    (void)geometry();
    std::vector<uint32_t> bad;
    const auto& map = media_.maps().state().physicalMap;
    for (uint32_t block = 0; block < map.size(); ++block) {
        if (map[block] == media::MAP_BAD) bad.push_back(block);
    }
    return bad;
}

uint32_t CardMedia::readBlock(uint32_t block, std::vector<uint8_t>& data) {
    data.assign(blockBytes(), 0);
    const uint32_t result =
        media_.maps().smReadLogBlock(CARD, block, 0, data.data(), static_cast<uint32_t>(data.size()));
    if (result == media::MEDIA_BAD_BLOCK_NUMBER) {
        std::fill(data.begin(), data.end(), 0);
        return media::MEDIA_OK;
    }
    if (result == media::MEDIA_UNCORRECTABLE) return result;
    checkMedia(result, "cannot read logical block " + std::to_string(block));
    return media::MEDIA_OK;
}

void CardMedia::readSector(uint32_t sector, uint8_t* data) {
    const uint32_t result = media_.maps().smReadLogSector(CARD, sector, 0, data, media::SECTOR_BYTES);
    if (result == media::MEDIA_BAD_BLOCK_NUMBER) {
        std::fill_n(data, media::SECTOR_BYTES, 0);
        return;
    }
    checkMedia(result, "cannot read sector " + std::to_string(sector));
}

SectorReader CardMedia::sectorReader() {
    return [this](uint32_t sector, uint8_t* data) {
        try {
            readSector(sector, data);
            return true;
        } catch (const Failure&) {
            return false;
        }
    };
}

void CardMedia::writeBlock(uint32_t block, const uint8_t* data) {
    const std::string what = "cannot write logical block " + std::to_string(block);
    const uint32_t sectors = geometry().sectorsPerBlock;
    uint32_t old = 0;
    checkMedia(media_.maps().smAssignBlock(CARD, block, &old), what);
    for (uint32_t i = 0; i < sectors; ++i) {
        const uint8_t* sector = data + size_t{i} * media::SECTOR_BYTES;
        // An erased sector reads as 0xFF already, and the file system can
        // still program it in place later.
        if (i != 0 && allErased(sector, media::SECTOR_BYTES)) continue;
        const uint32_t result =
            media_.maps().smWriteLogBlock(CARD, block, i * media::SECTOR_BYTES, sector, media::SECTOR_BYTES);
        if (result != media::MEDIA_OK) {
            media_.maps().smRestoreBlock(CARD, block, old);
            checkMedia(result, what);
        }
    }
    if (old != 0) checkMedia(media_.maps().smReleaseBlock(CARD, old), what);
}

void CardMedia::discardBlock(uint32_t block) {
    (void)geometry();
    const auto& logical = media_.maps().state().logicalMap;
    const uint32_t physical = block < logical.size() ? logical[block] : 0;
    if (physical == 0) return;
    checkMedia(media_.maps().smReleaseBlock(CARD, physical), "cannot release logical block " + std::to_string(block));
}

}  // namespace kestrel::cli
