// Which sectors of a disk image its FAT volume uses, judged from synthetic
// images: the layout the library formats (16 MB card: partition at 41,
// 32 sectors a cluster, two 3-sector FATs, 256 root entries, data from 64)
// and variations the library would not mount as they are.
#include "tools/image_layout.h"

#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kestrel::cli {
namespace {

constexpr uint32_t SECTOR = 512;
constexpr uint32_t TOTAL = 32000;
constexpr uint32_t START = 41;
constexpr uint32_t DATA = 64;
constexpr uint32_t PER_CLUSTER = 32;

class Image {
public:
    Image() : bytes_(size_t{TOTAL} * SECTOR, 0) {
        uint8_t* mbr = sector(0);
        storeLe32(mbr + 454, START);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        uint8_t* boot = sector(START);
        storeLe16(boot + 11, SECTOR);
        boot[13] = PER_CLUSTER;
        storeLe16(boot + 14, 1);
        boot[16] = 2;
        storeLe16(boot + 17, 256);
        storeLe16(boot + 19, TOTAL - START);
        boot[21] = 0xF8;
        storeLe16(boot + 22, 3);
        std::memcpy(boot + 54, "FAT12   ", 8);
        boot[510] = 0x55;
        boot[511] = 0xAA;
    }

    uint8_t* sector(uint32_t n) { return bytes_.data() + size_t{n} * SECTOR; }
    uint8_t* boot() { return sector(START); }
    // A FAT12 entry of the given copy (0 or 1).
    void setFat12(uint32_t copy, uint32_t cluster, uint32_t value) {
        uint8_t* fat = sector(START + 1 + copy * 3) + cluster * 3 / 2;
        const uint32_t pair = loadLe16(fat);
        storeLe16(fat, static_cast<uint16_t>(cluster & 1 ? (pair & 0x000F) | (value << 4)
                                                         : (pair & 0xF000) | (value & 0xFFF)));
    }
    SectorReader reader() {
        return [this](uint32_t n, uint8_t* data) {
            if (n >= TOTAL) return false;
            std::memcpy(data, sector(n), SECTOR);
            return true;
        };
    }

private:
    std::vector<uint8_t> bytes_;
};

uint32_t clusterSector(uint32_t cluster) { return DATA + (cluster - 2) * PER_CLUSTER; }

TEST(ImageLayoutTest, TheLibrarysOwnLayoutIsPlacedAsItsBootSectorSays) {
    Image image;
    const auto v = readVolumePlacement(image.reader(), TOTAL);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->partitionStart, START);
    EXPECT_EQ(v->fatStart, START + 1);
    EXPECT_EQ(v->dataStart, DATA);
    EXPECT_EQ(v->sectorsPerCluster, PER_CLUSTER);
    EXPECT_FALSE(v->fat16);
}

TEST(ImageLayoutTest, BootRecordMetadataAndTakenClustersOfEitherFatCopyAreInUse) {
    Image image;
    image.setFat12(0, 2, 0xFFF);  // even entry
    image.setFat12(0, 5, 0x006);  // odd entry, chained to 6
    image.setFat12(0, 6, 0xFFF);
    image.setFat12(1, 9, 0xFFF);  // taken in the second copy only
    const ImageLayout layout = ImageLayout::analyse(image.reader(), TOTAL);
    ASSERT_TRUE(layout.understood());
    EXPECT_TRUE(layout.sectorInUse(0));
    EXPECT_FALSE(layout.sectorInUse(1));          // hidden sectors
    EXPECT_FALSE(layout.sectorInUse(START - 1));
    for (uint32_t s = START; s < DATA; ++s) EXPECT_TRUE(layout.sectorInUse(s)) << s;
    EXPECT_TRUE(layout.anySectorInUse(clusterSector(2), PER_CLUSTER));
    EXPECT_FALSE(layout.anySectorInUse(clusterSector(3), 2 * PER_CLUSTER));
    EXPECT_TRUE(layout.sectorInUse(clusterSector(5) + PER_CLUSTER - 1));
    EXPECT_TRUE(layout.sectorInUse(clusterSector(6)));
    EXPECT_FALSE(layout.sectorInUse(clusterSector(7)));
    EXPECT_TRUE(layout.sectorInUse(clusterSector(9)));
    EXPECT_FALSE(layout.sectorInUse(TOTAL - 1));
}

TEST(ImageLayoutTest, Fat16EntriesAreSixteenBitsWide) {
    Image image;
    std::memcpy(image.boot() + 54, "FAT16   ", 8);
    storeLe16(image.boot() + 22, 8);  // 1000 entries need 4 sectors
    storeLe16(image.sector(START + 1) + 3 * 2, 0xFFFF);
    const ImageLayout layout = ImageLayout::analyse(image.reader(), TOTAL);
    ASSERT_TRUE(layout.understood());
    const uint32_t data = START + 1 + 2 * 8 + 16;
    EXPECT_FALSE(layout.sectorInUse(data));                    // cluster 2
    EXPECT_TRUE(layout.sectorInUse(data + PER_CLUSTER));       // cluster 3
    EXPECT_FALSE(layout.sectorInUse(data + 2 * PER_CLUSTER));  // cluster 4
}

TEST(ImageLayoutTest, VolumesTheLibraryWouldNotMountAsTheyAreUseEverySector) {
    const std::vector<std::pair<const char*, void (*)(Image&)>> variations = {
        {"no boot record signature", [](Image& i) { i.sector(0)[511] = 0; }},
        {"partition beyond the card", [](Image& i) { storeLe32(i.sector(0) + 454, TOTAL); }},
        {"no file-system type", [](Image& i) { std::memcpy(i.boot() + 54, "FAT32   ", 8); }},
        {"three FATs", [](Image& i) { i.boot()[16] = 3; }},
        {"no reserved sector", [](Image& i) { storeLe16(i.boot() + 14, 0); }},
        {"a FAT too small", [](Image& i) { storeLe16(i.boot() + 22, 2); }},
        {"sectors of 1024 bytes", [](Image& i) { storeLe16(i.boot() + 11, 1024); }},
        {"a floppy's media byte", [](Image& i) { i.boot()[21] = 0xF0; }},
    };
    for (const auto& [what, change] : variations) {
        Image image;
        change(image);
        EXPECT_FALSE(readVolumePlacement(image.reader(), TOTAL)) << what;
        const ImageLayout layout = ImageLayout::analyse(image.reader(), TOTAL);
        EXPECT_FALSE(layout.understood()) << what;
        EXPECT_TRUE(layout.sectorInUse(TOTAL - 1)) << what;
        EXPECT_TRUE(layout.sectorInUse(1)) << what;
    }
}

}  // namespace
}  // namespace kestrel::cli
