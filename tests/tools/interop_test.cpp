// The card as other FAT tools see it, through disk images: a volume the
// library formatted and filled passes dosfstools' check and mtools reads
// every file from the image; a volume mkfs.fat made, filled by mtools and
// restored onto the card is listed and read by kestrel, and stays intact
// when kestrel writes to it. Linux only: the other tools are Linux programs.
#include "tests/tools/cli_fixture.h"

#include "platform/byte_order.h"
#include "platform/environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;

namespace fs = std::filesystem;

constexpr uint32_t SECTOR = 512;
// A 16 MB card, which holds a 1 MiB file comfortably: 32000 sectors, one
// cluster of 32 sectors a block.
constexpr uint32_t CARD_16_MB = 16;
constexpr uint32_t SECTORS_16_MB = 32000;
constexpr uint32_t CLUSTER_16_MB = 16384;

// A program of the host, looked up in PATH and in the system folders that
// hold dosfstools' programs.
std::string hostProgram(const std::string& name) {
    std::vector<std::string> folders = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
    if (const auto path = platform::getEnv("PATH")) {
        std::stringstream list(*path);
        for (std::string folder; std::getline(list, folder, ':');) folders.insert(folders.begin(), folder);
    }
    for (const auto& folder : folders) {
        const fs::path candidate = fs::path(folder) / name;
        std::error_code error;
        if (!folder.empty() && fs::is_regular_file(candidate, error)) return candidate.string();
    }
    return {};
}

class InteropTest : public CliTest {
protected:
    sim::DeviceConfig deviceConfig() override { return *sim::defaultDeviceConfig(CARD_16_MB, 0xEC); }

    void SetUp() override {
        if (ON_WINDOWS) GTEST_SKIP() << "dosfstools and mtools are Linux programs: the Linux build runs these checks";
        for (const char* name : {"fsck.fat", "mkfs.fat", "mcopy", "mmd"}) {
            programs_[name] = hostProgram(name);
            if (programs_[name].empty()) GTEST_SKIP() << name << " is not installed (scripts/setup installs it)";
        }
        CliTest::SetUp();
    }

    // A host program; its exit code, output in `output`.
    int tool(const std::string& name, const std::vector<std::string>& arguments, std::string* output = nullptr) {
        const std::string out = scratch("tool-out.txt");
        const std::string err = scratch("tool-err.txt");
        const int code = runCaptured(programs_[name], arguments, out, err);
        const auto o = readFile(out), e = readFile(err);
        if (output) *output = std::string(o.begin(), o.end()) + std::string(e.begin(), e.end());
        return code;
    }

    // fsck.fat -n on the partition of `image` that begins at `offset`.
    void expectCleanCheck(const std::string& image, uint64_t offset) {
        const auto bytes = readFile(image);
        const std::string partition = scratch("partition.img");
        writeBytes(partition, std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end()));
        std::string report;
        EXPECT_EQ(tool("fsck.fat", {"-n", partition}, &report), 0) << report;
    }

    // The bytes mcopy reads for `path` from the volume at `offset`.
    std::vector<uint8_t> mcopyRead(const std::string& image, uint64_t offset, const std::string& path) {
        const std::string out = scratch("mcopy-out.bin");
        const std::string err = scratch("mcopy-err.txt");
        const int code =
            runCaptured(programs_["mcopy"], {"-i", image + "@@" + std::to_string(offset), "::" + path, "-"}, out, err);
        const auto message = readFile(err);
        EXPECT_EQ(code, 0) << "mcopy " << path << ": " << std::string(message.begin(), message.end());
        return readFile(out);
    }

    std::map<std::string, std::string> programs_;
};

TEST_F(InteropTest, AVolumeTheLibraryFilledPassesFsckAndMcopyReadsEveryFile) {
    ok({"mkdir", "/DIR"});
    const std::vector<size_t> sizes = {0, 1, 511, 512, 513, 5000, CLUSTER_16_MB, CLUSTER_16_MB + 1, 1024 * 1024};
    std::map<std::string, std::vector<uint8_t>> files;  // device path -> contents
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "F" + std::to_string(i) + ".BIN";
        const std::string path = (i % 2 ? "/DIR/" : "/") + name;
        files[path] = writePatternFile(scratch(name), sizes[i], static_cast<uint32_t>(i));
        ok({"put", scratch(name), path});
    }
    ok({"mv", "/F4.BIN", "/DIR/MOVED.BIN"});
    files["/DIR/MOVED.BIN"] = files["/F4.BIN"];
    files.erase("/F4.BIN");

    const std::string image = scratch("card.img");
    ok({"backup", image});
    const auto bytes = readFile(image);
    ASSERT_EQ(bytes.size(), size_t{SECTORS_16_MB} * SECTOR);
    const uint64_t offset = uint64_t{loadLe32(bytes.data() + 454)} * SECTOR;
    EXPECT_EQ(offset, 41u * SECTOR);  // the library's layout for this card
    expectCleanCheck(image, offset);
    for (const auto& [path, contents] : files) EXPECT_TRUE(mcopyRead(image, offset, path) == contents) << path;
}

TEST_F(InteropTest, AMkfsVolumeRestoredOntoTheCardIsReadAndKeptIntactByKestrel) {
    // A card-sized image: a boot record written here, a volume by mkfs.fat
    // with 4 KiB clusters (four to an erase block, not aligned to blocks).
    constexpr uint32_t START = 63;
    constexpr uint32_t VOLUME_SECTORS = 31936;
    std::vector<uint8_t> disk(size_t{SECTORS_16_MB} * SECTOR, 0);
    const uint8_t entry[8] = {0x80, 1, 1, 0, 0x01, 3, 0xD0, 0xF3};
    std::copy(std::begin(entry), std::end(entry), disk.begin() + 446);
    storeLe32(disk.data() + 454, START);
    storeLe32(disk.data() + 458, VOLUME_SECTORS);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    const std::string image = scratch("mkfs.img");
    writeBytes(image, disk);
    std::string report;
    ASSERT_EQ(tool("mkfs.fat", {"-F", "12", "-S", "512", "-s", "8", "-M", "0xF8", "-h", std::to_string(START),
                                "--offset", std::to_string(START), "-a", "-n", "MKFSVOL", image,
                                std::to_string(VOLUME_SECTORS / 2)},
                   &report),
              0)
        << report;
    const std::string volume = image + "@@" + std::to_string(START * SECTOR);
    const auto hello = writePatternFile(scratch("hello.txt"), 300, 1);
    const auto big = writePatternFile(scratch("big.bin"), 1024 * 1024, 2);
    ASSERT_EQ(tool("mcopy", {"-i", volume, scratch("hello.txt"), "::/Hello World.txt"}, &report), 0) << report;
    ASSERT_EQ(tool("mmd", {"-i", volume, "::/SUB"}, &report), 0) << report;
    ASSERT_EQ(tool("mcopy", {"-i", volume, scratch("big.bin"), "::/SUB/BIG.BIN"}, &report), 0) << report;

    ok({"restore", image});
    const Outcome root = ok({"ls", "-l", "/"});
    EXPECT_TRUE(root.out.find("  Hello World.txt\n") != std::string::npos) << root.out;
    EXPECT_TRUE(root.out.find(" SUB/") != std::string::npos) << root.out;
    ok({"get", "/hello world.txt", scratch("hello.back")});  // by its long name
    EXPECT_EQ(readFile(scratch("hello.back")), hello);
    EXPECT_TRUE(ok({"info"}).out.find("label \"MKFSVOL\"") != std::string::npos);

    // Writes into a volume whose clusters share erase blocks.
    const auto added = writePatternFile(scratch("NEW.BIN"), 5000, 3);
    ok({"put", scratch("NEW.BIN"), "/SUB/NEW.BIN"});
    ok({"mkdir", "/SUB/D2"});
    ok({"put", scratch("NEW.BIN"), "/SUB/D2/NEW2.BIN"});
    ok({"get", "/SUB/BIG.BIN", scratch("big.back")});
    EXPECT_TRUE(readFile(scratch("big.back")) == big) << "a file sharing erase blocks with new clusters changed";
    // A file named by its long name is replaced and moved with that name.
    const auto greeting = writePatternFile(scratch("greeting.txt"), 700, 4);
    ok({"put", scratch("greeting.txt"), "/HELLO WORLD.TXT"});
    ok({"mv", "/Hello World.txt", "/SUB"});
    const Outcome sub = ok({"ls", "/SUB"});
    EXPECT_TRUE(sub.out.find("Hello World.txt\n") != std::string::npos) << sub.out;
    EXPECT_EQ(ok({"ls", "/"}).out, "SUB/\n");

    const std::string after = scratch("after.img");
    ok({"backup", after});
    expectCleanCheck(after, START * SECTOR);
    EXPECT_TRUE(mcopyRead(after, START * SECTOR, "/SUB/BIG.BIN") == big);
    EXPECT_TRUE(mcopyRead(after, START * SECTOR, "/SUB/Hello World.txt") == greeting);
    EXPECT_TRUE(mcopyRead(after, START * SECTOR, "/SUB/NEW.BIN") == added);
    EXPECT_TRUE(mcopyRead(after, START * SECTOR, "/SUB/D2/NEW2.BIN") == added);
}

}  // namespace
}  // namespace kestrel::cli::test

namespace kestrel::cli::test {
namespace {

// The default 1 MB card, checked with fsck.fat.
class SmallCardInteropTest : public InteropTest {
protected:
    sim::DeviceConfig deviceConfig() override { return CliTest::deviceConfig(); }
};

TEST_F(SmallCardInteropTest, AReplacedFileLeavesNoTemporaryFileAndTheVolumePassesFsck) {
    writePatternFile(scratch("A.BIN"), 300 * 1024, 1);
    ok({"put", scratch("A.BIN")});
    const auto replaced = writePatternFile(scratch("A.BIN"), 9000, 2);
    ok({"put", scratch("A.BIN")});
    // A put that fails for lack of space ends with the volume consistent too.
    writePatternFile(scratch("HUGE.BIN"), 1500 * 1024, 3);
    EXPECT_EQ(kestrel({"put", scratch("HUGE.BIN"), "/A.BIN"}).code, 1);
    EXPECT_EQ(ok({"ls"}).out, "A.BIN\n");
    ok({"get", "/A.BIN", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), replaced);

    const std::string image = scratch("card.img");
    ok({"backup", image});
    const auto bytes = readFile(image);
    ASSERT_GE(bytes.size(), size_t{SECTOR});
    expectCleanCheck(image, uint64_t{loadLe32(bytes.data() + 454)} * SECTOR);
}

}  // namespace
}  // namespace kestrel::cli::test
