// The kestrel program end to end against a simulated device: the command
// line and its errors, files to and from the device, directory entries.
#include "tests/tools/cli_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// --- command line -------------------------------------------------------

TEST_F(CliTest, HelpGoesToStandardOutputAndBadCommandLinesExitWithTwoWithoutStartingTheDevice) {
    const Outcome help = ok({"--help"});
    EXPECT_TRUE(contains(help.out, "Commands:")) << help.out;
    EXPECT_TRUE(contains(help.out, "eeprom read FILE")) << help.out;
    const Outcome putHelp = ok({"help", "put"});
    EXPECT_TRUE(contains(putHelp.out, "usage: kestrel put [-r] HOST_PATH... [DEVICE_PATH]")) << putHelp.out;
    EXPECT_EQ(ok({"rmdir", "--help"}).out.rfind("usage: kestrel rmdir [-r]", 0), 0u);

    const uint64_t requests = counter("requests");
    const std::vector<std::vector<std::string>> wrong = {
        {},                                // no command
        {"frobnicate"},                    // unknown command
        {"ls", "-x"},                      // unknown option
        {"ls", "/", "/B"},                 // too many arguments
        {"get"},                           // missing argument
        {"format", "--label"},             // option without its value
        {"format", "--label", "TWELVE CHARS"},
        {"ls", "/A*B"},                    // no name holds '*'
        {"rm", "/MUSIC/../A"},             // '..' is not supported
        {"eeprom", "erase", "FILE"},
        {"put", "-r", "FOLDER"},           // a tree needs its destination
        {"get", "-r", "/A"},
        {"get", "/A", "/B*", "FOLDER"},    // every source is a device path
    };
    for (const auto& words : wrong) {
        const Outcome run = kestrel(words);
        std::string line;
        for (const auto& w : words) line += " " + w;
        EXPECT_EQ(run.code, 2) << "kestrel" << line << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << "kestrel" << line << "\n" << run.out;
        EXPECT_TRUE(contains(run.err, "usage: kestrel")) << "kestrel" << line << "\n" << run.err;
    }
    // Judged from the words alone: the device was never started.
    EXPECT_EQ(counter("requests"), requests);
    EXPECT_EQ(kestrel({"mkdir", "/OK", "/NOT:OK"}).code, 2);
    EXPECT_EQ(counter("requests"), requests);
}

// --- files ----------------------------------------------------------------

TEST_F(CliTest, FilesOfEveryBoundarySizeGoToTheDeviceAndComeBackUnchanged) {
    ok({"mkdir", "/DATA"});
    const std::vector<size_t> sizes = {0, 1, 512, 513, 5000, CLUSTER_BYTES + 1};
    std::vector<std::vector<uint8_t>> contents;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string host = scratch("F" + std::to_string(i) + ".BIN");
        contents.push_back(writePatternFile(host, sizes[i], static_cast<uint32_t>(i)));
        ok({"put", host, "/DATA"});
    }
    const Outcome listing = ok({"ls", "-l", "/DATA"});
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "F" + std::to_string(i) + ".BIN";
        EXPECT_TRUE(contains(listing.out, " " + std::to_string(sizes[i]) + "  ")) << listing.out;
        const std::string back = scratch("back-" + name);
        ok({"get", "/DATA/" + name, back});
        EXPECT_EQ(readFile(back), contents[i]) << name;
    }
    EXPECT_EQ(firmware(), "main");
}

TEST_F(CliTest, PutCarriesTheHostTimeAndGetGivesItBack) {
    const std::string host = scratch("TIMED.TXT");
    writePatternFile(host, 100, 1);
    std::tm local{};
    local.tm_year = 2002 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 5;
    local.tm_min = 6;
    local.tm_sec = 8;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    std::filesystem::last_write_time(host, std::chrono::file_clock::from_sys(when));

    ok({"put", host});
    const Outcome listing = ok({"ls", "-l"});
    EXPECT_TRUE(contains(listing.out, "2002-03-04 05:06:08  TIMED.TXT")) << listing.out;
    const std::string back = scratch("back.txt");
    ok({"get", "/timed.txt", back});
    const auto got = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(back));
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(got - when).count(), 0);
}

TEST_F(CliTest, PutNamesAndReplacesFilesAndGetNamesTheHostFile) {
    ok({"mkdir", "/MUSIC"});
    const std::string host = scratch("song.mp3");
    writePatternFile(host, 3000, 1);
    ok({"put", host});                  // into the root under its own name
    ok({"put", host, "/MUSIC"});        // into a directory
    ok({"put", host, "/MUSIC/B.MP3"});  // under a new name
    const auto second = writePatternFile(host, 700, 2);
    ok({"put", host, "/music/b.mp3"});  // replaces, whatever the case
    const Outcome listing = ok({"ls", "/MUSIC"});
    EXPECT_EQ(listing.out, "SONG.MP3\nB.MP3\n");
    EXPECT_EQ(ok({"ls"}).out, "MUSIC/\nSONG.MP3\n");

    // A name that is no 8.3 name becomes the long name of a new entry; a
    // name of 8.3 lengths that is no 8.3 name cannot be created.
    ok({"put", host, "/MUSIC/Long File Name.mp3"});
    const Outcome refused = kestrel({"put", host, "/MUSIC/a b.mp3"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(contains(refused.err, "must be an 8.3 name")) << refused.err;
    EXPECT_EQ(ok({"ls", "/MUSIC"}).out, "SONG.MP3\nB.MP3\nLong File Name.mp3\n");

    const std::string folder = scratch("in");
    std::filesystem::create_directory(folder);
    ok({"get", "/MUSIC/B.MP3", folder});  // into a host folder under the device name
    EXPECT_EQ(readFile(folder + "/B.MP3"), second);
}

TEST_F(CliTest, FailuresNameTheOryxResultAndLeaveNothingHalfWritten) {
    // More than the card holds: the pre-extension finds the disk full.
    const std::string big = scratch("BIG.BIN");
    writePatternFile(big, 2 * 1024 * 1024, 2);
    Outcome run = kestrel({"put", big});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "ORYX result 12 (disk full)")) << run.err;
    EXPECT_TRUE(contains(run.err, "the incomplete device file was removed")) << run.err;
    EXPECT_EQ(ok({"ls"}).out, "");

    run = kestrel({"get", "/NONE.TXT", scratch("none")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "no such file or directory: /NONE.TXT")) << run.err;
    EXPECT_FALSE(hostFileExists(scratch("none")));
    EXPECT_EQ(firmware(), "main");
}

TEST_F(CliTest, PutOverAFileTheCardHasNoRoomToReplaceKeepsTheOldFile) {
    // 500 KB + 200 KB on a card of about 980 KB: 600 KB do not fit even
    // where the old file's 200 KB were freed first.
    writePatternFile(scratch("FILLER.BIN"), 500 * 1024, 1);
    ok({"put", scratch("FILLER.BIN")});
    const auto old = writePatternFile(scratch("OLD.BIN"), 200 * 1024, 2);
    ok({"put", scratch("OLD.BIN")});
    writePatternFile(scratch("NEW.BIN"), 600 * 1024, 3);
    const Outcome run = kestrel({"put", scratch("NEW.BIN"), "/OLD.BIN"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "ORYX result 12 (disk full)")) << run.err;
    EXPECT_TRUE(contains(run.err, "/OLD.BIN was left as it was")) << run.err;
    EXPECT_EQ(ok({"ls"}).out, "FILLER.BIN\nOLD.BIN\n");  // no temporary file either
    ok({"get", "/OLD.BIN", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), old);

    // Room for both: replaced, and the space of the old contents is free again.
    const auto fresh = writePatternFile(scratch("NEW.BIN"), 150 * 1024, 4);
    ok({"put", scratch("NEW.BIN"), "/OLD.BIN"});
    ok({"get", "/OLD.BIN", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), fresh);
    EXPECT_EQ(ok({"ls"}).out, "FILLER.BIN\nOLD.BIN\n");
    writePatternFile(scratch("MORE.BIN"), 300 * 1024, 5);
    ok({"put", scratch("MORE.BIN")});
}

TEST_F(CliTest, PutHelpSaysWhatHappensToTheOldFileWhenSpaceRunsOut) {
    const Outcome help = ok({"help", "put"});
    EXPECT_TRUE(contains(help.out, "when space runs out")) << help.out;
    EXPECT_TRUE(contains(help.out, "the old file stays as it was")) << help.out;
}

// --- entries ----------------------------------------------------------------

TEST_F(CliTest, DirectoriesAreMadeListedMovedAndRemoved) {
    ok({"mkdir", "-p", "/A/B/C"});
    ok({"mkdir", "-p", "/A/B"});  // exists: no error with -p
    Outcome run = kestrel({"mkdir", "/A"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "/A exists")) << run.err;
    const std::string host = scratch("F.TXT");
    writePatternFile(host, 100, 1);
    ok({"put", host, "/A/B/C/F.TXT"});

    ok({"mv", "/A/B/C/F.TXT", "/A/G.TXT"});  // rename and move
    ok({"mv", "/A/B", "/"});                  // a directory into the root
    EXPECT_EQ(ok({"ls", "/"}).out, "A/\nB/\n");
    EXPECT_EQ(ok({"ls", "/B"}).out, "C/\n");
    EXPECT_EQ(ok({"ls", "/A"}).out, "G.TXT\n");

    run = kestrel({"mv", "/B", "/B/C"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "into itself")) << run.err;
    ok({"put", host, "/A/H.TXT"});
    run = kestrel({"mv", "/A/G.TXT", "/A/H.TXT"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "/A/H.TXT exists")) << run.err;

    run = kestrel({"rmdir", "/A"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "not empty")) << run.err;
    run = kestrel({"rm", "/B"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "is a directory")) << run.err;
    ok({"rmdir", "-r", "/A"});
    ok({"rmdir", "/B/C"});
    ok({"rmdir", "/B"});
    EXPECT_EQ(ok({"ls"}).out, "");
}

TEST_F(CliTest, RemovingSeveralFilesGoesOnPastAFailure) {
    const std::string host = scratch("F.TXT");
    writePatternFile(host, 10, 1);
    ok({"put", host, "/A.TXT"});
    ok({"put", host, "/B.TXT"});
    const Outcome run = kestrel({"rm", "/A.TXT", "/MISSING.TXT", "/B.TXT"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "kestrel rm: no such file or directory: /MISSING.TXT")) << run.err;
    EXPECT_EQ(ok({"ls"}).out, "");
}

}  // namespace
}  // namespace kestrel::cli::test
