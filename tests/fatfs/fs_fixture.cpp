#include "tests/fatfs/fs_fixture.h"

#include <cstdio>
#include <fstream>
#include <random>

#include "platform/byte_order.h"
#include "tests/sim/sim_test_support.h"

namespace kestrel::fatfs::test {

void FsTest::makeCard(uint32_t sizeMb, bool format) {
    fs_.reset();
    card_ = std::make_unique<media::test::SimCard>(sizeMb);
    ASSERT_TRUE(card_->ok());
    fs_ = std::make_unique<FileSystem>(card_->media(), nullptr, [this] { return now_; });
    ASSERT_EQ(fs_->init(), FS_OK);
    if (!format) return;
    uint32_t bad = 0;
    ASSERT_EQ(fs_->formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
}

void FsTest::writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    uint32_t handle = 0;
    ASSERT_EQ(fs().createFile(path, 1, &handle), FS_OK) << path;
    ASSERT_EQ(fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), FS_OK) << path;
    ASSERT_EQ(fs().closeFile(handle), FS_OK) << path;
}

std::vector<uint8_t> FsTest::readWhole(const std::string& path) {
    uint32_t size = 0;
    EXPECT_EQ(fs().getSizeFile(path, &size), FS_OK) << path;
    uint32_t handle = 0;
    EXPECT_EQ(fs().openFile(path, 1, &handle), FS_OK) << path;
    std::vector<uint8_t> data(size);
    uint32_t delivered = 0;
    EXPECT_EQ(fs().readFile(handle, data.data(), size, &delivered), FS_OK) << path;
    EXPECT_EQ(delivered, size);
    EXPECT_EQ(fs().closeFile(handle), FS_OK);
    return data;
}

std::vector<uint8_t> FsTest::sector(uint32_t number) {
    std::vector<uint8_t> data(512);
    EXPECT_EQ(card().maps().smReadLogSector(0, number, 0, data.data(), 512), 0u) << number;
    return data;
}

void FsTest::overwriteSector(uint32_t number, const std::vector<uint8_t>& data) {
    const uint32_t k = geometry().sectorsPerBlock;
    ASSERT_EQ(fs().clusters().writeInBlock(number / k, (number % k) * 512, data.data(), 512), FS_OK);
}

std::vector<std::string> FsTest::list(const std::string& path) {
    std::vector<std::string> names;
    uint32_t count = 0;
    EXPECT_EQ(fs().getListNumDir(path, &count), FS_OK) << path;
    std::vector<uint8_t> records(16 * (count + 1));
    uint32_t delivered = 0;
    const uint32_t result = fs().readDir(path, 0, count + 1, records.data(), &delivered);
    EXPECT_EQ(result, FS_END) << path;
    for (uint32_t i = 0; i < delivered; ++i) names.emplace_back(reinterpret_cast<const char*>(&records[16 * i]));
    return names;
}

uint32_t FsTest::freeClusters() const {
    uint32_t free = 0;
    const FatImage& fat = fs_->volume().fat;
    for (uint32_t c = 2; c < fat.count(); ++c) free += fat.get(c) == FAT_FREE;
    return free;
}

void FsTest::exportImage(const std::string& path, uint32_t firstSector) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint8_t> data(512);
    for (uint32_t s = firstSector; s < geometry().totalSectors; ++s) {
        if (card().maps().smReadLogSector(0, s, 0, data.data(), 512) != 0) std::fill(data.begin(), data.end(), 0);
        out.write(reinterpret_cast<const char*>(data.data()), 512);
    }
}

uint32_t FsTest::partitionStart() { return loadLe32(&sector(0)[454]); }

const media::CardGeometry& FsTest::geometry() {
    const media::CardGeometry* row = nullptr;
    EXPECT_EQ(card().maps().smGetGeometry(0, &row), 0u);
    return *row;
}

std::vector<uint8_t> FsTest::cardBytes() {
    std::vector<uint8_t> bytes(size_t{geometry().totalSectors} * 512, 0);
    for (uint32_t s = 0; s < geometry().totalSectors; ++s) {
        (void)card().maps().smReadLogSector(0, s, 0, bytes.data() + size_t{s} * 512, 512);
    }
    return bytes;
}

::testing::AssertionResult FsTest::cardPassesFsck() {
#ifndef _WIN32
    if (!runShell("command -v fsck.fat").second) return ::testing::AssertionSuccess();
    sim::test::TempFolder folder;
    exportImage(folder.file("part.img"), partitionStart());
    return fsckClean(folder.file("part.img"));
#else
    return ::testing::AssertionSuccess();
#endif
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

#ifndef _WIN32
std::pair<std::string, bool> runShell(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"", false};
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    return {output, pclose(pipe) == 0};
}

::testing::AssertionResult fsckClean(const std::string& partitionImage) {
    const auto result = runShell("fsck.fat -n '" + partitionImage + "'");
    if (result.second) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << result.first;
}
#endif

std::vector<uint8_t> patternBytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace kestrel::fatfs::test
