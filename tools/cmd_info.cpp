// info: the card, its geometry row, bad blocks and the volume.
#include "tools/card_media.h"
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/device_path.h"
#include "tools/oryx_result.h"

#include "oryx/oryx.h"
#include "platform/byte_order.h"

#include <array>
#include <cinttypes>
#include <string>

namespace kestrel::cli {

namespace {

constexpr uint32_t SECTOR = media::SECTOR_BYTES;
constexpr size_t LISTED_BAD_BLOCKS = 16;

std::string blockList(const std::vector<uint32_t>& blocks) {
    std::string text;
    for (size_t i = 0; i < blocks.size() && i < LISTED_BAD_BLOCKS; ++i) {
        text += (i ? ", " : "") + std::to_string(blocks[i]);
    }
    if (blocks.size() > LISTED_BAD_BLOCKS) text += ", ...";
    return text;
}

std::string trimmed(const uint8_t* bytes, size_t length) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

void printCard(std::FILE* out, CardMedia& card) {
    const CardIdentity id = card.identity();
    const media::CardGeometry& g = card.geometry();
    std::fprintf(out, "card:               maker 0x%02X, device 0x%02X, %u MB\n", id.maker, id.device,
                 1u << card.sizeIndex());
    std::fprintf(out, "geometry:           %" PRIu32 " cylinders, %" PRIu32 " heads, %" PRIu32 " sectors per track\n",
                 g.cylinders, g.heads, g.sectorsPerTrack);
    std::fprintf(out, "sectors:            %" PRIu32 " of %" PRIu32 " bytes\n", g.totalSectors, g.bytesPerSector);
    std::fprintf(out, "blocks:             %" PRIu32 " physical, %" PRIu32 " logical, %" PRIu32
                      " sectors (%" PRIu32 " pages of %" PRIu32 " bytes) each\n",
                 g.physicalBlocks, g.logicalBlocks, g.sectorsPerBlock, g.pagesPerBlock, g.pageSize);
    const auto bad = card.badBlocks();
    std::fprintf(out, "bad blocks:         %u%s%s%s\n", static_cast<unsigned>(bad.size()), bad.empty() ? "" : " (", blockList(bad).c_str(),
                 bad.empty() ? "" : ")");
}

// Type and label from the boot sector, which the volume information lacks.
void printBootSector(std::FILE* out, CardMedia& card) {
    std::array<uint8_t, SECTOR> sector{};
    card.readSector(0, sector.data());
    card.readSector(loadLe32(sector.data() + 454), sector.data());
    std::fprintf(out, "file system:        %s, label \"%s\"\n", trimmed(sector.data() + 54, 8).c_str(),
                 trimmed(sector.data() + 43, 11).c_str());
}

}  // namespace

int runInfo(CommandContext& context) {
    CardMedia card;
    printCard(context.out, card);
    oryx_volume_info info{};
    const uint32_t result = mt_smGetVolInfo(ORYX_ROOT, &info);
    if (result != 0) {
        std::fprintf(context.out, "volume:             none, %s\n", describeOryxResult(result).c_str());
        return result == ORYX_VOLUME_UNUSABLE ? EXIT_OK : EXIT_FAILED;
    }
    printBootSector(context.out, card);
    std::fprintf(context.out, "volume bytes:       %" PRIu32 " total, %" PRIu32 " used, %" PRIu32 " free\n",
                 static_cast<uint32_t>(info.totalBytes), static_cast<uint32_t>(info.usedBytes),
                 static_cast<uint32_t>(info.freeBytes));
    std::fprintf(context.out, "clusters:           %" PRIu32 " bytes (%" PRIu32 " sectors of %" PRIu32
                              " bytes), %" PRIu32 " bad\n",
                 static_cast<uint32_t>(info.sectorsPerCluster * info.bytesPerSector),
                 static_cast<uint32_t>(info.sectorsPerCluster), static_cast<uint32_t>(info.bytesPerSector),
                 static_cast<uint32_t>(info.badClusters));
    return EXIT_OK;
}

}  // namespace kestrel::cli
