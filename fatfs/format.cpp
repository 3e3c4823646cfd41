// The format: physical format of the card, then the logical layout (master
// boot record, boot sector, FAT copies, root directory), then a mount.
#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"
#include "fatfs/layout.h"

#include <array>

namespace kestrel::fatfs {

namespace {

constexpr uint8_t CARD = 0;

}  // namespace

uint32_t FileSystem::formatVol(std::string_view path, std::string_view label, uint32_t mode, uint32_t* badBlocks,
                               const FormatProgress& progress) {
    if (names_.volumeOf(path) != 0u) return FS_INVALID;
    // An open batch is written out first (and ends): the format replaces
    // what it wrote anyway, so its failure does not stop the format.
    (void)endBatch(0);
    uint32_t bad = 0;
    if (const uint32_t error = media_.maps().smFormatMedia(CARD, mode == 1 ? 1 : 0, &bad, progress)) return error;
    *badBlocks = bad;
    // The layout is written below the cluster layer: nothing read before
    // stays true.
    directory_.dropCache();
    if (const uint32_t error = writeLayout(label)) return error;
    (void)mount();
    return FS_OK;
}

uint32_t FileSystem::writeSectorAt(uint32_t sector, const uint8_t* data) {
    const media::CardGeometry* row = nullptr;
    if (const uint32_t error = media_.maps().smGetGeometry(CARD, &row)) return error;
    const uint32_t k = row->sectorsPerBlock;
    return media_.maps().smWriteLogBlock(CARD, sector / k, (sector % k) * SECTOR, data, SECTOR);
}

uint32_t FileSystem::writeLayout(std::string_view label) {
    auto& maps = media_.maps();
    const media::CardGeometry* row = nullptr;
    if (const uint32_t error = maps.smGetGeometry(CARD, &row)) return error;
    const media::CardGeometry geometry = *row;
    const Layout layout = layoutFor(geometry);
    const uint32_t k = layout.sectorsPerCluster;
    const uint32_t h = layout.hiddenSectors;
    const SectorBytes zeros{};

    const uint32_t bootBlock = h / k;
    for (uint32_t block : {0u, bootBlock}) {
        uint32_t old = 0;
        if (const uint32_t error = maps.smAssignBlock(CARD, block, &old)) return error;
        if (old != 0) {
            if (const uint32_t error = maps.smReleaseBlock(CARD, old)) return error;
        }
        if (bootBlock == 0) break;  // one block holds both
    }
    // The master boot record is written last: until it is on the card
    // there is no volume to mount, so that a format cut short leaves none
    // rather than one whose FATs or root directory were never written.
    for (uint32_t s = bootBlock * k; bootBlock != 0 && s < h; ++s) {
        if (const uint32_t error = writeSectorAt(s, zeros.data())) return error;
    }
    if (const uint32_t error = writeSectorAt(h, bootSector(layout, geometry, label).data())) return error;

    for (uint32_t block = h / k + 1; block <= (h + 2 * layout.sectorsPerFat + Layout::ROOT_SECTORS) / k; ++block) {
        uint32_t old = 0;
        (void)maps.smAssignBlock(CARD, block, &old);
    }
    auto buffer = media_.pool().take();
    if (!buffer) return FS_NO_MEMORY;
    uint32_t sector = h + 1;
    for (uint32_t copy = 0; copy < Layout::FAT_COUNT; ++copy) {
        if (const uint32_t error = writeSectorAt(sector++, firstFatSector().data())) return error;
        for (uint32_t s = 1; s < layout.sectorsPerFat; ++s) {
            if (const uint32_t error = writeSectorAt(sector++, zeros.data())) return error;
        }
    }
    for (uint32_t s = 0; s < Layout::ROOT_SECTORS; ++s) {
        if (const uint32_t error = writeSectorAt(sector++, zeros.data())) return error;
    }
    // Block 0 from its first sector on, so that no sector of it is
    // programmed twice.
    if (const uint32_t error = writeSectorAt(0, masterBootRecord(layout, geometry).data())) return error;
    for (uint32_t s = 1; s < k; ++s) {
        if (s >= h && bootBlock == 0) break;
        if (const uint32_t error = writeSectorAt(s, zeros.data())) return error;
    }
    return FS_OK;
}

}  // namespace kestrel::fatfs
