// kestrel put/get of many files and of trees, rm -r, and new entries that
// keep host names which are no 8.3 names as long names: one device session
// per command, per-file failures reported while the other files are copied.
#include "tests/tools/cli_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TransferManyTest : public CliTest {
protected:
    // A host tree: album/ with two pictures of long names and a subfolder
    // "Second day" with one more, an empty subfolder, and a file whose name
    // the device cannot keep.
    std::string makeAlbum() {
        const std::string album = scratch("album");
        fs::create_directories(album + "/Second day");
        writePatternFile(album + "/odd name.x", 10, 5);
        fs::create_directories(album + "/EMPTY");
        contents_["Holiday at the sea.jpg"] = writePatternFile(album + "/Holiday at the sea.jpg", 5000, 1);
        contents_["Holiday at the lake.jpg"] = writePatternFile(album + "/Holiday at the lake.jpg", 1, 2);
        contents_["NOTES.TXT"] = writePatternFile(album + "/NOTES.TXT", 0, 3);
        contents_["Second day/Sunset over the bay.jpg"] = writePatternFile(album + "/Second day/Sunset over the bay.jpg", 4096, 4);
        return album;
    }
    std::map<std::string, std::vector<uint8_t>> contents_;
};

TEST_F(TransferManyTest, ATreeGoesToTheDeviceWithItsNamesAndComesBackUnchanged) {
    const std::string album = makeAlbum();
    ok({"mkdir", "/PICS"});
    // Into an existing directory: under its own name. The file of a name the
    // device cannot keep fails alone.
    const Outcome put = kestrel({"put", "-r", album, "/PICS"});
    EXPECT_EQ(put.code, 1);
    EXPECT_TRUE(contains(put.err, "/PICS/album/odd name.x")) << put.err;
    EXPECT_EQ(ok({"ls", "/PICS/album"}).out,
              "EMPTY/\nHoliday at the lake.jpg\nHoliday at the sea.jpg\nNOTES.TXT\nSecond day/\n");
    // Short forms as the device makes them, tails unique in the directory.
    const std::string longListing = ok({"ls", "-l", "/PICS/album"}).out;
    EXPECT_TRUE(contains(longListing, "HOLIDA~1.JPG  Holiday at the lake.jpg")) << longListing;
    EXPECT_TRUE(contains(longListing, "HOLIDA~2.JPG  Holiday at the sea.jpg")) << longListing;
    EXPECT_TRUE(contains(longListing, "SECOND~1/     Second day")) << longListing;

    const std::string back = scratch("back");
    ok({"get", "-r", "/PICS/album", back});  // a missing host folder becomes the copy
    for (const auto& [name, bytes] : contents_) EXPECT_EQ(readFile(back + "/" + name), bytes) << name;
    EXPECT_TRUE(fs::is_directory(back + "/EMPTY"));

    // Again into the existing host folder: under the directory's name (an
    // 8.3 name, kept in capitals).
    ok({"get", "-r", "/PICS/album", back});
    EXPECT_EQ(readFile(back + "/ALBUM/Second day/Sunset over the bay.jpg"), contents_["Second day/Sunset over the bay.jpg"]);

    ok({"rm", "-r", "/PICS/album"});
    EXPECT_EQ(ok({"ls", "/PICS"}).out, "");
}

TEST_F(TransferManyTest, ManyFilesAreOneSessionAndAFailureLeavesTheOthersDone) {
    std::vector<std::string> hosts;
    std::vector<std::vector<uint8_t>> bytes;
    for (int i = 0; i < 5; ++i) {
        hosts.push_back(scratch("Photo number " + std::to_string(i) + ".jpg"));
        bytes.push_back(writePatternFile(hosts.back(), 700 + i, 10 + i));
    }
    ok({"mkdir", "/DIR"});
    // A session scans the card's spare areas once (what ls costs); writes
    // read spare areas too. Four files in one command pay one scan, where
    // four commands would pay four.
    uint64_t spares = counter("spare_reads");
    ok({"ls", "/DIR"});
    const uint64_t scan = counter("spare_reads") - spares;
    spares = counter("spare_reads");
    ok({"put", hosts[0], "/DIR"});
    const uint64_t oneFile = counter("spare_reads") - spares;
    spares = counter("spare_reads");
    const Outcome run = kestrel({"--progress", "put", hosts[1], scratch("missing.jpg"), hosts[2], hosts[3], hosts[4], "/DIR"});
    const uint64_t fourFiles = counter("spare_reads") - spares;
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "missing.jpg")) << run.err;
    EXPECT_GT(scan, 0u);
    EXPECT_LE(fourFiles + 2 * scan, 4 * oneFile) << "scan " << scan << ", one file " << oneFile;
    // One bar, naming the files as it goes.
    EXPECT_TRUE(contains(run.err, "put /DIR/Photo number 4.jpg [")) << run.err;
    EXPECT_TRUE(contains(run.err, "100%")) << run.err;

    const std::string folder = scratch("out");
    fs::create_directory(folder);
    const Outcome got = kestrel({"get", "/DIR/Photo number 0.jpg", "/DIR/NONE.JPG", "/DIR/Photo number 4.jpg",
                                 "/DIR/Photo number 2.jpg", folder});
    EXPECT_EQ(got.code, 1);
    EXPECT_TRUE(contains(got.err, "/DIR/NONE.JPG")) << got.err;
    for (int i : {0, 2, 4}) EXPECT_EQ(readFile(folder + "/Photo number " + std::to_string(i) + ".jpg"), bytes[i]) << i;

    // Several sources need an existing folder at the end.
    EXPECT_EQ(kestrel({"get", "/DIR/Photo number 0.jpg", "/DIR/Photo number 4.jpg", scratch("nowhere")}).code, 1);
    EXPECT_EQ(kestrel({"put", hosts[0], hosts[1], "/NOWHERE"}).code, 1);
    // A folder without -r is a failure of its own; the file beside it goes.
    const Outcome noTree = kestrel({"put", folder, hosts[0], "/"});
    EXPECT_EQ(noTree.code, 1);
    EXPECT_TRUE(contains(noTree.err, "put -r")) << noTree.err;
    EXPECT_EQ(ok({"ls", "/"}).out, "DIR/\nPhoto number 0.jpg\n");
}

// Many new files in one put: their entries and FAT changes reach the card
// together at the end of the command, so that a file costs little more
// than its data; each keeps its host file's time.
TEST_F(TransferManyTest, ManyNewFilesInOnePutShareTheirEntryAndFatWrites) {
    std::vector<std::string> hosts;
    std::vector<std::vector<uint8_t>> bytes;
    for (int i = 0; i < 12; ++i) {
        hosts.push_back(scratch("P" + std::to_string(i) + ".JPG"));
        bytes.push_back(writePatternFile(hosts.back(), 900 + i, 30 + i));
        fs::last_write_time(hosts.back(), fs::last_write_time(hosts.back()) - std::chrono::hours(24 * 400));
    }
    ok({"mkdir", "/ONE"});
    ok({"mkdir", "/MANY"});
    uint64_t erases = counter("block_erases");
    ok({"put", hosts[0], "/ONE"});
    const uint64_t oneFile = counter("block_erases") - erases;
    erases = counter("block_erases");
    std::vector<std::string> args = {"put"};
    args.insert(args.end(), hosts.begin(), hosts.end());
    args.push_back("/MANY");
    ok(args);
    const uint64_t twelveFiles = counter("block_erases") - erases;
    EXPECT_GT(oneFile, 0u);
    // One at a time, twelve files would cost twelve times one.
    EXPECT_LE(2 * twelveFiles, 12 * oneFile) << "one file " << oneFile << ", twelve " << twelveFiles;
    const std::string out = scratch("out");
    fs::create_directory(out);
    ok({"get", "-r", "/MANY", out});
    for (size_t i = 0; i < hosts.size(); ++i) {
        const std::string copy = out + "/MANY/P" + std::to_string(i) + ".JPG";
        EXPECT_EQ(readFile(copy), bytes[i]) << i;
        // The device keeps times to two seconds.
        const auto apart = fs::last_write_time(copy) - fs::last_write_time(hosts[i]);
        EXPECT_LE(std::chrono::abs(std::chrono::duration_cast<std::chrono::seconds>(apart)).count(), 2) << i;
    }
}

TEST_F(TransferManyTest, TwoSourcesOfOneNameNeverReplaceWhatTheCommandCopied) {
    fs::create_directories(scratch("one"));
    fs::create_directories(scratch("two"));
    const auto first = writePatternFile(scratch("one/Same name.bin"), 600, 1);
    const auto second = writePatternFile(scratch("two/Same name.bin"), 900, 2);
    writePatternFile(scratch("two/SAME NAME.BIN"), 300, 3);
    ok({"mkdir", "/IN"});
    // The device finds names without regard to case: one entry for both.
    const Outcome put = kestrel({"put", scratch("one/Same name.bin"), scratch("two/SAME NAME.BIN"), "/IN"});
    EXPECT_EQ(put.code, 1);
    EXPECT_TRUE(contains(put.err, "will not overwrite")) << put.err;
    EXPECT_EQ(ok({"ls", "/IN"}).out, "Same name.bin\n");

    ok({"mkdir", "/IN/SUB"});
    ok({"put", scratch("two/Same name.bin"), "/IN/SUB"});
    const std::string out = scratch("out");
    fs::create_directory(out);
    const Outcome get = kestrel({"get", "/IN/Same name.bin", "/IN/SUB/Same name.bin", out});
    EXPECT_EQ(get.code, 1);
    EXPECT_TRUE(contains(get.err, "will not overwrite")) << get.err;
    EXPECT_EQ(readFile(out + "/Same name.bin"), first);
    // A later command may replace it, as a single get always has.
    ok({"get", "/IN/SUB/Same name.bin", out});
    EXPECT_EQ(readFile(out + "/Same name.bin"), second);
}

TEST_F(TransferManyTest, DevicesListsTheSimulatedDevice) {
    const Outcome listed = kestrel({"devices"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "simulator")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "6 pipes")) << listed.out;
    EXPECT_EQ(kestrel({"devices", "extra"}).code, 2);
    const Outcome help = kestrel({"help", "devices"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.out, "KESTREL_USB")) << help.out;
    EXPECT_TRUE(contains(ok({"--help"}).out, "devices")) ;
}

TEST_F(TransferManyTest, NewNamesThatTheDeviceCannotKeepAreRefusedAndNothingIsLeft) {
    const std::string host = scratch("F.TXT");
    writePatternFile(host, 10, 1);
    for (const std::string name : {"/a b.txt", "/Trailing.", "/Holiday at the sea "}) {
        const Outcome run = kestrel({"put", host, name});
        EXPECT_EQ(run.code, 2) << name << ": " << run.err;
    }
    // A replaced entry keeps its long name; mkdir makes long names too.
    ok({"put", host, "/A long file name.txt"});
    ok({"put", host, "/a LONG file NAME.txt"});
    ok({"mkdir", "/My Music Collection"});
    EXPECT_EQ(kestrel({"mkdir", "/My Music"}).code, 2);  // 8.3 lengths: no long name would be kept
    EXPECT_EQ(ok({"ls"}).out, "A long file name.txt\nMy Music Collection/\n");
}

}  // namespace
}  // namespace kestrel::cli::test
