// Thousands of random file operations against a model (paths to contents)
// on cards with failing blocks and flipped bits: every read matches the
// model, everything survives remounts, and the card stays a clean FAT
// volume.
#include "platform/byte_order.h"
#include "tests/fatfs/fs_fixture.h"
#include "tests/sim/sim_test_support.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace kestrel::fatfs::test {
namespace {

struct ModelCase {
    uint32_t sizeMb;
    uint32_t operations;
};

class ModelTest : public FsTest, public ::testing::WithParamInterface<ModelCase> {
protected:
    void SetUp() override {}

    void makeFaultyCard(uint32_t sizeMb) {
        card_ = std::make_unique<media::test::SimCard>(sizeMb, 0xEC, [](sim::DeviceConfig& c) {
            // Blocks spread over the card whose programs or erases fail, and
            // single-bit flips on data bytes of a few pages.
            const uint32_t blocks = c.geometry()->blocks;
            for (uint32_t b = 7; b < blocks; b += blocks / 9) c.failProgram.push_back(b);
            for (uint32_t b = 11; b < blocks; b += blocks / 7) c.failErase.push_back(b);
            const uint32_t pages = blocks * c.geometry()->pagesPerBlock;
            for (uint32_t p = 40; p < pages; p += pages / 23) c.flips.push_back({p, (p * 7) % 256, static_cast<uint8_t>(p % 8)});
        });
        ASSERT_TRUE(card_->ok());
        fs_ = std::make_unique<FileSystem>(card_->media(), nullptr, [this] { return now_; });
        ASSERT_EQ(fs_->init(), FS_OK);
        uint32_t bad = 0;
        ASSERT_EQ(fs_->formatVol("dev0:", "NO NAME", 0, &bad, {}), FS_OK);
    }

    std::string randomPath() {
        const std::string directory = directories_.empty() || random_() % 3 == 0
                                          ? ""
                                          : *std::next(directories_.begin(), random_() % directories_.size());
        return directory + "\\F" + std::to_string(random_() % 40) + ".BIN";
    }

    void create(const std::string& path) {
        std::vector<uint8_t> data = patternBytes(random_() % 9000, random_());
        uint32_t handle = 0;
        const uint32_t result = fs().createFile("dev0:" + path, 1, &handle);
        ASSERT_EQ(result, FS_OK) << path;
        if (random_() % 2) {
            ASSERT_EQ(fs().fileExtend(handle, static_cast<uint32_t>(data.size())), FS_OK);
        }
        for (size_t at = 0; at < data.size();) {
            const size_t piece = std::min<size_t>(data.size() - at, 1 + random_() % 3000);
            ASSERT_EQ(fs().writeFile(handle, data.data() + at, static_cast<uint32_t>(piece)), FS_OK) << path;
            at += piece;
        }
        ASSERT_EQ(fs().closeFile(handle), FS_OK) << path;
        files_[path] = data;
    }

    void patch(const std::string& path) {
        std::vector<uint8_t>& model = files_[path];
        uint32_t handle = 0, previous = 0;
        ASSERT_EQ(fs().openFile("dev0:" + path, 3, &handle), FS_OK) << path;
        const uint32_t at = model.empty() ? 0 : static_cast<uint32_t>(random_() % (model.size() + 1));
        ASSERT_EQ(fs().seekFile(handle, 1, static_cast<int32_t>(at), &previous), FS_OK);
        const auto data = patternBytes(1 + random_() % 2000, random_());
        ASSERT_EQ(fs().writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), FS_OK) << path;
        ASSERT_EQ(fs().closeFile(handle), FS_OK) << path;
        if (model.size() < at + data.size()) model.resize(at + data.size());
        std::copy(data.begin(), data.end(), model.begin() + at);
    }

    void check(const std::string& path) { ASSERT_EQ(readWhole("dev0:" + path), files_[path]) << path; }

    void step() {
        const uint32_t choice = random_() % 100;
        const std::string path = randomPath();
        const bool exists = files_.count(path) != 0;
        if (choice < 30) {
            if (usedBytes() < capacity_ / 3) create(path);
        } else if (choice < 50 && exists) {
            patch(path);
        } else if (choice < 70 && exists) {
            check(path);
        } else if (choice < 80 && exists) {
            ASSERT_EQ(fs().removeFile("dev0:" + path), FS_OK) << path;
            files_.erase(path);
        } else if (choice < 85 && directories_.size() < 4) {
            const std::string directory = "\\D" + std::to_string(random_() % 6);
            const uint32_t result = fs().createDir("dev0:" + directory);
            ASSERT_TRUE(result == FS_OK || (result == FS_EXISTS && directories_.count(directory))) << result;
            directories_.insert(directory);
        } else if (choice < 92 && exists) {
            const std::string target = randomPath();
            const uint32_t result = fs().moveFile("dev0:" + path, "dev0:" + target);
            if (target == path) {
                ASSERT_EQ(result, FS_OK);
            } else if (files_.count(target)) {
                ASSERT_EQ(result, FS_EXISTS);
            } else {
                ASSERT_EQ(result, FS_OK) << path << " -> " << target;
                files_[target] = files_[path];
                files_.erase(path);
            }
        } else if (choice < 94) {
            ASSERT_EQ(fs().init(), FS_OK);  // remount from the card
        }
    }

    size_t usedBytes() const {
        size_t used = 0;
        for (const auto& [path, data] : files_) used += data.size() + 8192;
        return used;
    }

    std::mt19937 random_{2024};
    std::map<std::string, std::vector<uint8_t>> files_;
    std::set<std::string> directories_;
    size_t capacity_ = 0;
};

TEST_P(ModelTest, RandomOperationsMatchTheModel) {
    makeFaultyCard(GetParam().sizeMb);
    capacity_ = size_t{GetParam().sizeMb} << 20;
    for (uint32_t i = 0; i < GetParam().operations; ++i) {
        ASSERT_NO_FATAL_FAILURE(step()) << "operation " << i;
    }
    // Everything, again after a fresh scan of the whole card.
    card().maps().smFreeMaps();
    ASSERT_EQ(fs().init(), FS_OK);
    for (const auto& [path, data] : files_) ASSERT_NO_FATAL_FAILURE(check(path));
    EXPECT_GT(files_.size(), 10u);
    EXPECT_GT(card().counters().blockErases, GetParam().operations / 4);
    EXPECT_GT(card().counters().pagePrograms, 0u);
    // The injected faults were met: blocks were retired.
    const auto& map = card().maps().state().physicalMap;
    EXPECT_GT(std::count(map.begin(), map.end(), media::MAP_BAD), 1);

#ifndef _WIN32
    if (!runShell("command -v fsck.fat").second) return;
    sim::test::TempFolder folder;
    exportImage(folder.file("part.img"), partitionStart());
    EXPECT_TRUE(fsckClean(folder.file("part.img")));
#endif
}

INSTANTIATE_TEST_SUITE_P(Cards, ModelTest, ::testing::Values(ModelCase{4, 1500}, ModelCase{32, 1000}),
                         [](const auto& info) { return std::to_string(info.param.sizeMb) + "MB"; });

}  // namespace
}  // namespace kestrel::fatfs::test
