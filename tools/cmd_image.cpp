// backup and restore: the card's logical sectors as a plain disk image.
#include "tools/card_media.h"
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/host_files.h"
#include "tools/host_output.h"
#include "tools/image_layout.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"

#include "media/media_errors.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

namespace kestrel::cli {

namespace {

constexpr uint32_t SECTOR = media::SECTOR_BYTES;

bool allZero(const std::vector<uint8_t>& data) {
    return std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0; });
}

// Sector reads of the image file for the layout analysis.
SectorReader imageReader(std::FILE* file) {
    return [file](uint32_t sector, uint8_t* data) {
        return std::fseek(file, static_cast<long>(sector) * static_cast<long>(SECTOR), SEEK_SET) == 0 &&
               std::fread(data, 1, SECTOR, file) == SECTOR;
    };
}

}  // namespace

int runBackup(CommandContext& context) {
    const std::string image = context.args.positional()[0];
    CardMedia card;
    const media::CardGeometry& g = card.geometry();
    // A failure leaves an image that was there as it was.
    HostOutput out(image);
    uint32_t uncorrectable = 0;
    ProgressBar bar(context.err, "backup", g.logicalBlocks, context.progress);
    std::vector<uint8_t> block;
    for (uint32_t b = 0; b < g.logicalBlocks; ++b) {
        stopIfInterrupted();
        if (card.readBlock(b, block) == media::MEDIA_UNCORRECTABLE) {
            ++uncorrectable;
            reportFailure(context, "logical block " + std::to_string(b) +
                                       " holds an uncorrectable ECC error; its bytes are saved as read");
        }
        out.write(block.data(), block.size());
        bar.update(b + 1);
    }
    out.commit();
    bar.finish();
    std::fprintf(context.out, "%s: %" PRIu32 " sectors (%" PRIu32 " bytes)\n", image.c_str(), g.totalSectors,
                 g.totalSectors * SECTOR);
    return uncorrectable == 0 ? EXIT_OK : EXIT_FAILED;
}

int runRestore(CommandContext& context) {
    const std::string image = context.args.positional()[0];
    CardMedia card;
    const media::CardGeometry& g = card.geometry();
    const uint64_t size = hostFileSize(image);
    if (size != uint64_t{g.totalSectors} * SECTOR) {
        fail(image + " holds " + std::to_string(size) + " bytes; this card takes an image of exactly " +
             std::to_string(uint64_t{g.totalSectors} * SECTOR) + " bytes");
    }
    HostFile in = openHostFile(image, false);
    const ImageLayout layout = ImageLayout::analyse(imageReader(in.get()), g.totalSectors);
    if (std::fseek(in.get(), 0, SEEK_SET) != 0) fail("cannot read " + image);

    uint32_t written = 0;
    try {
        ProgressBar bar(context.err, "restore", g.logicalBlocks, context.progress);
        std::vector<uint8_t> block(card.blockBytes());
        for (uint32_t b = 0; b < g.logicalBlocks; ++b) {
            stopIfInterrupted();
            readHostBytes(in.get(), image, block.data(), block.size());
            if (allZero(block) && !layout.anySectorInUse(b * g.sectorsPerBlock, g.sectorsPerBlock)) {
                card.discardBlock(b);
            } else {
                card.writeBlock(b, block.data());
                ++written;
            }
            bar.update(b + 1);
        }
        bar.finish();
    } catch (const Failure& failure) {
        throw Failure(failure.exitCode(), std::string(failure.what()) + "; the card holds part of the image now");
    }
    // The library's maps and file system state describe the old card.
    context.session.restart();
    std::fprintf(context.out, "%s: %" PRIu32 " sectors restored (%" PRIu32 " of %" PRIu32 " blocks written, %s)\n",
                 image.c_str(), g.totalSectors, written, g.logicalBlocks,
                 layout.understood() ? "the others hold no data" : "no FAT volume recognised, so every block");
    return EXIT_OK;
}

}  // namespace kestrel::cli
