// The device's file server on the card itself: what the ORYX file system
// writes (the update tool's side, with the file-system firmware) is what
// filex lists and reads (Explorer's side, with the main firmware), and what
// filex writes the file system reads back, long names included.
#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "filex/filex_client.h"
#include "media/media.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/device_provider.h"
#include "sim/sim_device.h"
#include "tests/filex/filex_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>

namespace kestrel::filex::test {
namespace {

std::vector<uint8_t> bytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(length);
    for (auto& b : out) b = static_cast<uint8_t>(random());
    return out;
}

class CardRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim::test::createFolder(folder_.path(), *sim::defaultDeviceConfig(4, sim::MAKER_EC)));
        std::string error;
        device_ = sim::SimDevice::openFolder(folder_.path(), &error);
        ASSERT_TRUE(device_) << error;
        platform::installDeviceProvider(sim::makeInProcessProvider(device_));
        commands_ = device_->directCardCommands();
        media_ = std::make_unique<media::Media>(*commands_);
        fs_ = std::make_unique<fatfs::FileSystem>(*media_, nullptr);
        ASSERT_EQ(fs_->init(), fatfs::FS_OK);
        uint32_t bad = 0;
        ASSERT_EQ(fs_->formatVol("dev0:", "NO NAME", 0, &bad, {}), fatfs::FS_OK);
        client_ = std::make_unique<FilexClient>(uniqueNames(), false);
        auto device = device_;
        hang_ = std::make_unique<sim::test::Watchdog>([device] { device->command("unplug"); });
    }
    void TearDown() override {
        client_.reset();
        hang_.reset();
        platform::installDeviceProvider(nullptr);
    }

    // The device restarts with the main firmware, as after the update tool's
    // usbcClose: the file server forgets what it knew of the card.
    void restartDevice() { ASSERT_EQ(device_->command("reset"), "ok"); }

    void oryxWrite(const std::string& path, const std::vector<uint8_t>& data) {
        uint32_t handle = 0;
        ASSERT_EQ(fs_->createFile(path, 1, &handle), fatfs::FS_OK) << path;
        ASSERT_EQ(fs_->fileExtend(handle, static_cast<uint32_t>(data.size())), fatfs::FS_OK);
        ASSERT_EQ(fs_->writeFile(handle, data.data(), static_cast<uint32_t>(data.size())), fatfs::FS_OK);
        ASSERT_EQ(fs_->closeFile(handle), fatfs::FS_OK);
    }

    std::vector<uint8_t> oryxRead(const std::string& path) {
        uint32_t size = 0, handle = 0, delivered = 0;
        EXPECT_EQ(fs_->getSizeFile(path, &size), fatfs::FS_OK) << path;
        EXPECT_EQ(fs_->openFile(path, 1, &handle), fatfs::FS_OK) << path;
        std::vector<uint8_t> data(size);
        EXPECT_EQ(fs_->readFile(handle, data.data(), size, &delivered), fatfs::FS_OK);
        EXPECT_EQ(fs_->closeFile(handle), fatfs::FS_OK);
        return data;
    }

    // The long names the update tool's side lists in `cardDirectory`, by
    // short name ("" for an entry without one).
    std::map<std::string, std::u16string> oryxLongNames(const std::string& cardDirectory) {
        std::map<std::string, std::u16string> names;
        std::vector<uint8_t> records(16 * fatfs::DIR_RECORD);
        uint32_t delivered = 0;
        const uint32_t result = fs_->readDirEx(cardDirectory, 0, 16, records.data(), &delivered);
        EXPECT_TRUE(result == fatfs::FS_OK || result == fatfs::FS_END) << result;
        for (uint32_t i = 0; i < delivered; ++i) {
            const uint8_t* record = &records[i * fatfs::DIR_RECORD];
            std::u16string longName;
            for (size_t at = 16; at < 96 && (record[at] != 0 || record[at + 1] != 0); at += 2) {
                longName += static_cast<char16_t>(record[at] | record[at + 1] << 8);
            }
            names[reinterpret_cast<const char*>(record)] = longName;
        }
        return names;
    }

    // The size that _fstat reports for `path`, opened for reading.
    uint32_t filexSize(const std::string& path) {
        const int32_t fd = client_->open(path.c_str(), OPEN_READ);
        EXPECT_GT(fd, 0) << path;
        FilexStat stat;
        EXPECT_EQ(client_->fstat(fd, &stat), 0);
        EXPECT_EQ(client_->close(fd), 0);
        return stat.fileSize();
    }

    // The card's partition as a disk image (sectors that hold nothing read
    // as zeros), through the update tool's side.
    void exportPartition(const std::string& path) {
        ASSERT_EQ(fs_->init(), fatfs::FS_OK);
        uint32_t size = 0;
        (void)fs_->getSizeFile("dev0:\\NONE", &size);  // mounts
        const media::CardGeometry* row = nullptr;
        ASSERT_EQ(media_->maps().smGetGeometry(0, &row), 0u);
        std::vector<uint8_t> sector(512);
        ASSERT_EQ(media_->maps().smReadLogSector(0, 0, 0, sector.data(), 512), 0u);
        const uint32_t first = loadLe32(&sector[454]);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (uint32_t s = first; s < row->totalSectors; ++s) {
            if (media_->maps().smReadLogSector(0, s, 0, sector.data(), 512) != 0) std::fill(sector.begin(), sector.end(), 0);
            out.write(reinterpret_cast<const char*>(sector.data()), 512);
        }
    }

    sim::test::TempFolder folder_;
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<usblink::CardCommands> commands_;
    std::unique_ptr<media::Media> media_;
    std::unique_ptr<fatfs::FileSystem> fs_;
    std::unique_ptr<FilexClient> client_;
    std::unique_ptr<sim::test::Watchdog> hang_;
};

TEST_F(CardRoadTest, FilesWrittenThroughOryxAreListedAndReadThroughFilex) {
    ASSERT_EQ(fs_->createDir("dev0:\\MUSIC"), fatfs::FS_OK);
    oryxWrite("dev0:\\L1_1.BIN", bytes(70000, 1));
    oryxWrite("dev0:\\MUSIC\\SONG.MP3", bytes(5000, 2));
    const std::u16string longName = u"My favourite song.mp3";
    std::vector<uint16_t> name(longName.begin(), longName.end());
    name.push_back(0);
    ASSERT_EQ(fs_->setLongName("dev0:\\MUSIC\\SONG.MP3", name.data()), fatfs::FS_OK);
    restartDevice();

    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"MUSIC", "L1_1.BIN"}));
    EXPECT_EQ((*root)[1].size, 70000u);
    EXPECT_EQ((*root)[0].attributes & 0x10, 0x10);
    const auto music = listFolder(*client_, "/MUSIC");
    ASSERT_TRUE(music);
    EXPECT_EQ(namesOf(*music), (std::vector<std::string>{".", "..", "My favourite song.mp3"}));
    EXPECT_EQ(getFile(*client_, "/L1_1.BIN"), bytes(70000, 1));
    EXPECT_EQ(getFile(*client_, "/music/my FAVOURITE song.MP3"), bytes(5000, 2));  // names match without case
    EXPECT_EQ(getFile(*client_, "/MUSIC/SONG.MP3"), bytes(5000, 2));                // and by short name
}

TEST_F(CardRoadTest, FilesWrittenThroughFilexAreReadThroughOryx) {
    restartDevice();
    ASSERT_EQ(client_->mkdir("/Pictures", 0), 0);
    ASSERT_TRUE(putFile(*client_, "/Pictures/Holiday at the sea.jpg", bytes(130000, 3)));
    ASSERT_TRUE(putFile(*client_, "/NOTES.TXT", bytes(10, 4)));
    ASSERT_TRUE(putFile(*client_, "/NOTES.TXT", bytes(7, 5)));  // replaced, and shorter
    EXPECT_EQ(client_->mkdir("/pictures", 0), -1);                // exists
    EXPECT_EQ(client_->rmdir("/Pictures"), -1);                   // not empty

    // The update tool's side: the file-system firmware, the card mounted anew.
    ASSERT_EQ(fs_->init(), fatfs::FS_OK);
    EXPECT_EQ(oryxRead("dev0:\\NOTES.TXT"), bytes(7, 5));
    std::vector<uint8_t> records(3 * fatfs::DIR_RECORD);
    uint32_t delivered = 0;
    ASSERT_EQ(fs_->readDirEx("dev0:\\PICTURES", 0, 3, records.data(), &delivered), fatfs::FS_OK);
    const std::string shortName(reinterpret_cast<const char*>(&records[2 * fatfs::DIR_RECORD]));
    std::u16string longName;
    for (size_t at = 16; records[2 * fatfs::DIR_RECORD + at] != 0; at += 2) {
        longName += static_cast<char16_t>(records[2 * fatfs::DIR_RECORD + at]);
    }
    EXPECT_EQ(longName, u"Holiday at the sea.jpg");
    EXPECT_EQ(oryxRead("dev0:\\PICTURES\\" + shortName), bytes(130000, 3));

    restartDevice();
    EXPECT_EQ(client_->unlink("/Pictures/holiday AT the sea.jpg"), 0);
    EXPECT_EQ(client_->rmdir("/Pictures"), 0);
    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"NOTES.TXT"}));
}

TEST_F(CardRoadTest, CopiesOntoTheDeviceReplaceWhatAFileHeld) {
    restartDevice();
    ASSERT_EQ(client_->mkdir("/Docs", 0), 0);
    // 0x201, as the extension copies a file onto the device: a long file
    // written again short is the short one, under one entry with its name.
    for (const std::string path : {"/notes.txt", "/Docs/Holiday at the sea.jpg", "/LOG.TXT"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(putFile(*client_, path, bytes(130000, 6), OPEN_CREATE_WRITE));
        ASSERT_TRUE(putFile(*client_, path, bytes(10, 7), OPEN_CREATE_WRITE));
        EXPECT_EQ(filexSize(path), 10u);
        EXPECT_EQ(getFile(*client_, path), bytes(10, 7));
    }
    const auto docs = listFolder(*client_, "/Docs");
    ASSERT_TRUE(docs);
    EXPECT_EQ(namesOf(*docs), (std::vector<std::string>{".", "..", "Holiday at the sea.jpg"}));
    EXPECT_EQ((*docs)[2].size, 10u);

    // Read and write (0x202) keeps the tail.
    ASSERT_TRUE(putFile(*client_, "/LOG.TXT", {'x'}, 0x202));
    auto expected = bytes(10, 7);
    expected[0] = 'x';
    EXPECT_EQ(getFile(*client_, "/LOG.TXT"), expected);

    ASSERT_EQ(fs_->init(), fatfs::FS_OK);
    EXPECT_EQ(oryxRead("dev0:\\NOTES.TXT"), bytes(10, 7));
    EXPECT_EQ(oryxRead("dev0:\\DOCS\\HOLIDA~1.JPG"), bytes(10, 7));
}

TEST_F(CardRoadTest, NamesKeepTheCaseTheyWereGiven) {
    oryxWrite("dev0:\\OLD.TXT", bytes(100, 8));  // as the update tool writes: no long name
    restartDevice();
    ASSERT_EQ(client_->mkdir("/Music", 0), 0);
    ASSERT_TRUE(putFile(*client_, "/Music/song.mp3", bytes(5000, 9)));
    ASSERT_TRUE(putFile(*client_, "/ReadMe", bytes(20, 10)));
    ASSERT_TRUE(putFile(*client_, "/a b.txt", bytes(30, 11)));
    ASSERT_TRUE(putFile(*client_, "/CAPS.TXT", bytes(40, 12)));
    ASSERT_TRUE(putFile(*client_, "/old.txt", bytes(50, 13), OPEN_CREATE_WRITE));  // replaced, keeps its name

    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    // The replaced file's entry was made anew, at the end.
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"Music", "ReadMe", "a b.txt", "CAPS.TXT", "OLD.TXT"}));
    const auto music = listFolder(*client_, "/music");
    ASSERT_TRUE(music);
    EXPECT_EQ(namesOf(*music), (std::vector<std::string>{".", "..", "song.mp3"}));
    EXPECT_EQ(getFile(*client_, "/MUSIC/SONG.MP3"), bytes(5000, 9));
    EXPECT_EQ(getFile(*client_, "/readme"), bytes(20, 10));
    EXPECT_EQ(getFile(*client_, "/AB~1.TXT"), bytes(30, 11)) << "found by short name too";
    EXPECT_EQ(client_->mkdir("/MUSIC", 0), -1) << "exists";

    // The update tool's side lists the same names and finds the files by
    // their short names.
    ASSERT_EQ(fs_->init(), fatfs::FS_OK);
    const auto names = oryxLongNames("dev0:\\");
    EXPECT_EQ(names, (std::map<std::string, std::u16string>{{"OLD.TXT", u""},
                                                            {"MUSIC", u"Music"},
                                                            {"README", u"ReadMe"},
                                                            {"AB~1.TXT", u"a b.txt"},
                                                            {"CAPS.TXT", u""}}));
    EXPECT_EQ(oryxLongNames("dev0:\\MUSIC\\")["SONG.MP3"], u"song.mp3");
    EXPECT_EQ(oryxRead("dev0:\\MUSIC\\SONG.MP3"), bytes(5000, 9));
    EXPECT_EQ(oryxRead("dev0:\\OLD.TXT"), bytes(50, 13));

    // Removal takes the long-name entry along.
    restartDevice();
    EXPECT_EQ(client_->unlink("/Music/song.mp3"), 0);
    EXPECT_EQ(client_->rmdir("/music"), 0);
    EXPECT_EQ(client_->unlink("/readme"), 0);
    const auto after = listFolder(*client_, "/");
    ASSERT_TRUE(after);
    EXPECT_EQ(namesOf(*after), (std::vector<std::string>{"a b.txt", "CAPS.TXT", "OLD.TXT"}));
}

#ifndef _WIN32
TEST_F(CardRoadTest, FilesWrittenThroughFilexPassTheFatCheck) {
    const char* fsck = "/usr/sbin/fsck.fat";
    if (std::FILE* probe = std::fopen(fsck, "rb")) {
        std::fclose(probe);
    } else {
        GTEST_SKIP() << "fsck.fat is not installed (scripts/setup installs it)";
    }
    restartDevice();
    ASSERT_EQ(client_->mkdir("/Pictures", 0), 0);
    ASSERT_EQ(client_->mkdir("/Pictures/2002", 0), 0);
    ASSERT_TRUE(putFile(*client_, "/Pictures/2002/Holiday at the sea.jpg", bytes(300000, 14), OPEN_CREATE_WRITE));
    ASSERT_TRUE(putFile(*client_, "/notes.txt", bytes(130000, 15), OPEN_CREATE_WRITE));
    ASSERT_TRUE(putFile(*client_, "/notes.txt", bytes(5000, 16), OPEN_CREATE_WRITE));  // shorter: clusters freed
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(putFile(*client_, "/Pictures/picture number " + std::to_string(i) + ".jpg", bytes(2000 + i, 17 + i),
                            OPEN_CREATE_WRITE));
    }
    ASSERT_TRUE(putFile(*client_, "/gone.bin", bytes(70000, 40), OPEN_CREATE_WRITE));
    ASSERT_EQ(client_->unlink("/gone.bin"), 0);
    ASSERT_TRUE(putFile(*client_, "/empty", {}, OPEN_CREATE_WRITE));

    const std::string image = folder_.file("partition.img");
    exportPartition(image);
    std::string report;
    std::FILE* pipe = popen((std::string(fsck) + " -n '" + image + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) report.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << report;
    EXPECT_EQ(oryxRead("dev0:\\NOTES.TXT"), bytes(5000, 16));
}
#endif

TEST_F(CardRoadTest, AnUnformattedCardAnswersEveryOperationWithAFailure) {
    sim::test::TempFolder blank;
    ASSERT_TRUE(sim::test::createFolder(blank.path(), *sim::defaultDeviceConfig(2, sim::MAKER_EC)));
    std::string error;
    auto device = sim::SimDevice::openFolder(blank.path(), &error);
    ASSERT_TRUE(device) << error;
    platform::installDeviceProvider(sim::makeInProcessProvider(device));
    EXPECT_EQ(client_->opendir("/"), 0);
    EXPECT_EQ(client_->open("/A.TXT", OPEN_REPLACE), -1);
    EXPECT_EQ(client_->mkdir("/D", 0), -1);
}

}  // namespace
}  // namespace kestrel::filex::test

namespace kestrel::filex::test {
namespace {

// The card's free bytes, as the update tool's side counts them afresh.
uint32_t freeBytes(fatfs::FileSystem& fs) {
    EXPECT_EQ(fs.init(), fatfs::FS_OK);
    uint32_t info[6] = {};
    EXPECT_EQ(fs.getVolInfo("dev0:\\", info), fatfs::FS_OK);
    return info[2];
}

TEST_F(CardRoadTest, NamesTheCardCannotHoldAreRefusedBeforeAnythingChanges) {
    restartDevice();
    ASSERT_EQ(client_->mkdir("/A", 0), 0);
    // A backslash would be a separator to the card's file system: the
    // name would land in another folder than the one the path names.
    EXPECT_EQ(client_->open("/A\\B.TXT", OPEN_CREATE_WRITE), -1);
    EXPECT_EQ(client_->open("/A/..\\C.TXT", OPEN_CREATE_WRITE), -1);
    EXPECT_EQ(client_->mkdir("/Q\\R", 0), -1);
    EXPECT_EQ(client_->opendir("/A\\.."), 0);
    for (const char c : std::string(":*?\"<>|\x01\x1f")) {
        const std::string name = std::string("/x") + c + "y.txt";
        SCOPED_TRACE(static_cast<int>(c));
        EXPECT_EQ(client_->open(name.c_str(), OPEN_CREATE_WRITE), -1);
        EXPECT_EQ(client_->mkdir(name.c_str(), 0), -1);
    }
    EXPECT_EQ(client_->mkdir("/...", 0), -1) << "a name of dots only";

    const auto root = listFolder(*client_, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(namesOf(*root), (std::vector<std::string>{"A"}));
    const auto a = listFolder(*client_, "/A");
    ASSERT_TRUE(a);
    EXPECT_EQ(namesOf(*a), (std::vector<std::string>{".", ".."}));
    // Names FAT holds in long names only are still taken.
    EXPECT_TRUE(putFile(*client_, "/A/a+b;c=d [1].txt", bytes(5, 9)));
    EXPECT_EQ(getFile(*client_, "/A/A+B;C=D [1].TXT"), bytes(5, 9));
}

TEST_F(CardRoadTest, AWriteBeyondTheCardFailsAtOnceAndGapsAreFilledWithZeros) {
    restartDevice();
    ASSERT_TRUE(putFile(*client_, "/fill.bin", bytes(2500000, 10)));
    const uint32_t before = freeBytes(*fs_);
    ASSERT_GT(before, 0u);

    const int32_t fd = client_->open("/gap.bin", OPEN_UPDATE);
    ASSERT_GT(fd, 0);
    const uint8_t byte = 0x42;
    const uint64_t programsBefore = device_->counters().pagePrograms;
    // Far beyond the card's capacity: refused before any gap is filled.
    ASSERT_EQ(client_->lseek(fd, 2000000000, 0), 2000000000);
    EXPECT_EQ(client_->write(fd, &byte, 1), -1);
    // Within the capacity but beyond the free space: refused as well,
    // without growing the file up to where the card ran full.
    ASSERT_EQ(client_->lseek(fd, static_cast<int32_t>(before + 1), 0), static_cast<int32_t>(before + 1));
    EXPECT_EQ(client_->write(fd, &byte, 1), -1);
    EXPECT_EQ(device_->counters().pagePrograms, programsBefore) << "the refused writes wrote nothing to the card";
    FilexStat stat;
    ASSERT_EQ(client_->fstat(fd, &stat), 0);
    EXPECT_EQ(stat.fileSize(), 0u);

    // A gap that fits (several fill pieces and a remainder) reads as zeros.
    ASSERT_EQ(client_->lseek(fd, 100000, 0), 100000);
    EXPECT_EQ(client_->write(fd, "abc", 3), 3);
    ASSERT_EQ(client_->close(fd), 0);
    std::vector<uint8_t> expected(100000, 0);
    expected.insert(expected.end(), {'a', 'b', 'c'});
    EXPECT_EQ(getFile(*client_, "/gap.bin"), expected);
    ASSERT_EQ(client_->unlink("/gap.bin"), 0);
    EXPECT_EQ(freeBytes(*fs_), before) << "the refused writes took no space";
}

TEST_F(CardRoadTest, FilesLeftOpenByCrashedClientsAreReclaimedOnceIdle) {
    restartDevice();
    // The card's file system holds fewer open files than the server's table.
    std::vector<int32_t> left;
    for (int i = 0; i < 17; ++i) {
        const int32_t fd = client_->open(("/f" + std::to_string(i)).c_str(), OPEN_CREATE_WRITE);
        if (fd == -1) break;
        left.push_back(fd);
    }
    ASSERT_FALSE(left.empty());
    ASSERT_LT(left.size(), 17u) << "no limit reached";
    EXPECT_EQ(client_->open("/late.txt", OPEN_CREATE_WRITE), -1) << "none idle long enough yet";

    platform::sleepMs(8200);  // past the client's exchange watchdog time
    const int32_t fd = client_->open("/late.txt", OPEN_CREATE_WRITE);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(client_->write(fd, "late", 4), 4);
    EXPECT_EQ(client_->close(fd), 0);
    EXPECT_EQ(getFile(*client_, "/late.txt"), (std::vector<uint8_t>{'l', 'a', 't', 'e'}));
    EXPECT_EQ(client_->write(left.front(), "x", 1), -1) << "the reclaimed descriptor";
}

}  // namespace
}  // namespace kestrel::filex::test
