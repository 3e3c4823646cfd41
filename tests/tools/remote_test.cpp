// kestrel remote end to end against a simulated device running its main
// firmware: files to and from the device through its file server, entries,
// progress, the command line and its errors, and a device that is gone.
#include "tests/tools/cli_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kestrel::cli::test {
namespace {

using sim::test::readFile;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using RemoteTest = CliTest;

TEST_F(RemoteTest, FilesGoToTheDeviceAndComeBackThroughItsFileServer) {
    ok({"remote", "mkdir", "/Docs"});
    // Three write blocks and a part; then the same file shorter.
    const std::string host = scratch("Report 2002.txt");
    const auto long_ = writePatternFile(host, 3 * 61440 + 100, 1);
    const Outcome put = ok({"--progress", "remote", "put", host, "/Docs"});
    EXPECT_TRUE(contains(put.err, "put /Docs/Report 2002.txt [")) << put.err;
    EXPECT_TRUE(contains(put.err, "100%")) << put.err;
    const std::string back = scratch("back.bin");
    ok({"remote", "get", "/docs/REPORT 2002.TXT", back});
    EXPECT_EQ(readFile(back), long_);

    const auto short_ = writePatternFile(host, 5000, 2);
    ok({"remote", "put", host, "/Docs/Report 2002.txt"});
    const Outcome listing = ok({"remote", "ls", "-l", "/Docs"});
    EXPECT_TRUE(contains(listing.out, "      5000  ")) << listing.out;
    EXPECT_TRUE(contains(listing.out, "  Report 2002.txt\n")) << listing.out;
    EXPECT_FALSE(contains(listing.out, std::to_string(long_.size()))) << "replaced, not kept:\n" << listing.out;
    const std::string into = scratch("into");
    std::filesystem::create_directory(into);
    const Outcome got = ok({"--progress", "remote", "get", "/Docs/Report 2002.txt", into});
    EXPECT_TRUE(contains(got.err, "get /Docs/Report 2002.txt [")) << got.err;
    EXPECT_EQ(readFile((std::filesystem::path(into) / "Report 2002.txt").string()), short_)
        << "a folder receives the file under its name";
    EXPECT_EQ(firmware(), "main");

    // The library's side sees the same entries, names and data.
    const Outcome oryx = ok({"ls", "-l", "/DOCS"});
    EXPECT_TRUE(contains(oryx.out, "Report 2002.txt")) << oryx.out;
    const std::string viaOryx = scratch("oryx.bin");
    ok({"get", "/DOCS/Report 2002.txt", viaOryx});
    EXPECT_EQ(readFile(viaOryx), short_);
    // And what the library writes, the file server lists.
    const std::string small = scratch("SMALL.BIN");
    const auto smallData = writePatternFile(small, 700, 3);
    ok({"put", small, "/DOCS"});
    EXPECT_EQ(ok({"remote", "ls", "/Docs"}).out, "Report 2002.txt\nSMALL.BIN\n");
    ok({"remote", "get", "/Docs/small.bin", scratch("small-back.bin")});
    EXPECT_EQ(readFile(scratch("small-back.bin")), smallData);
}

TEST_F(RemoteTest, EntriesAreMadeAndRemovedAndFailuresDoNotStopTheOtherArguments) {
    ok({"remote", "mkdir", "-p", "/Music/Live/2002", "/Music"});
    const std::string host = scratch("song.mp3");
    writePatternFile(host, 3000, 4);
    ok({"remote", "put", host, "/Music/Live"});
    ok({"remote", "put", host, "/Music/other.mp3"});
    EXPECT_EQ(ok({"remote", "ls", "/Music/Live"}).out, "2002/\nsong.mp3\n");

    EXPECT_EQ(kestrel({"remote", "mkdir", "/Music"}).code, 1) << "exists";
    const Outcome rmdir = kestrel({"remote", "rmdir", "/Music/Live", "/Music/Live/2002"});
    EXPECT_EQ(rmdir.code, 1);
    EXPECT_TRUE(contains(rmdir.err, "kestrel remote rmdir: cannot remove /Music/Live: it is not empty")) << rmdir.err;
    const Outcome rm = kestrel({"remote", "rm", "/Music/missing.mp3", "/Music/Live", "/Music/other.mp3"});
    EXPECT_EQ(rm.code, 1);
    EXPECT_TRUE(contains(rm.err, "no such file: /Music/missing.mp3")) << rm.err;
    EXPECT_TRUE(contains(rm.err, "/Music/Live is a directory")) << rm.err;
    EXPECT_EQ(ok({"remote", "ls", "/Music"}).out, "Live/\n") << "the other arguments were still carried out";
    ok({"remote", "rm", "/Music/Live/SONG.MP3"});
    ok({"remote", "rmdir", "/Music/Live", "/Music"});
    EXPECT_EQ(ok({"remote", "ls"}).out, "");
    EXPECT_EQ(kestrel({"remote", "ls", "/Music"}).code, 1);
    EXPECT_EQ(kestrel({"remote", "get", "/nothing.txt", scratch("x")}).code, 1);
    EXPECT_FALSE(hostFileExists(scratch("x")));
}

// The host's temporary files a replacing put keeps the old contents in.
std::set<std::string> keptCopies() {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), error))
        if (entry.path().filename().string().rfind("kestrel-kept-", 0) == 0) names.insert(entry.path().string());
    return names;
}

TEST_F(RemoteTest, APutOverAFileTheCardHasNoRoomForPutsTheOldFileBack) {
    // 500 KB + 200 KB on a card of about 980 KB: 600 KB do not fit even
    // where the old file's 200 KB were given up.
    writePatternFile(scratch("FILLER.BIN"), 500 * 1024, 1);
    ok({"put", scratch("FILLER.BIN")});
    const auto old = writePatternFile(scratch("OLD.BIN"), 200 * 1024 + 1, 2);
    ok({"remote", "put", scratch("OLD.BIN")});
    writePatternFile(scratch("NEW.BIN"), 600 * 1024, 3);
    const std::set<std::string> before = keptCopies();
    const Outcome run = kestrel({"remote", "put", scratch("NEW.BIN"), "/OLD.BIN"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "cannot write /OLD.BIN (is the device full?); /OLD.BIN was left as it was"))
        << run.err;
    ok({"remote", "get", "/OLD.BIN", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), old);
    EXPECT_EQ(keptCopies(), before) << "the host copy of the old file is gone";

    // A put that fits replaces the file and keeps nothing on the host.
    const auto small = writePatternFile(scratch("SMALL.BIN"), 1000, 4);
    ok({"remote", "put", scratch("SMALL.BIN"), "/OLD.BIN"});
    ok({"remote", "get", "/OLD.BIN", scratch("back.bin")});
    EXPECT_EQ(readFile(scratch("back.bin")), small);
    EXPECT_EQ(keptCopies(), before);

    // A new file that does not fit is removed, as before.
    const Outcome fresh = kestrel({"remote", "put", scratch("NEW.BIN"), "/FRESH.BIN"});
    EXPECT_EQ(fresh.code, 1);
    EXPECT_TRUE(contains(fresh.err, "the incomplete device file was removed")) << fresh.err;
    EXPECT_EQ(ok({"remote", "ls"}).out, "FILLER.BIN\nOLD.BIN\n");
}

TEST_F(RemoteTest, HelpAndBadCommandLines) {
    const Outcome help = ok({"remote", "--help"});
    EXPECT_TRUE(contains(help.out, "Remote commands:")) << help.out;
    EXPECT_TRUE(contains(help.out, "remote put HOST_PATH [DEVICE_PATH]")) << help.out;
    EXPECT_EQ(ok({"help", "remote", "rmdir"}).out.rfind("usage: kestrel remote rmdir DEVICE_PATH...", 0), 0u);
    EXPECT_EQ(ok({"remote", "ls", "--help"}).out.rfind("usage: kestrel remote ls [-l] [PATH]", 0), 0u);
    EXPECT_TRUE(contains(ok({"--help"}).out, "remote ls|get|put|rm|mkdir|rmdir"));

    const uint64_t requests = counter("requests");
    const std::vector<std::vector<std::string>> wrong = {
        {"remote"}, {"remote", "frob"}, {"remote", "ls", "-x"}, {"remote", "get"}, {"remote", "ls", "/A*B"},
        {"remote", "rm", "/a/../b"}, {"remote", "put", "a", "b", "c"},
    };
    for (const auto& words : wrong) {
        const Outcome run = kestrel(words);
        std::string line;
        for (const auto& w : words) line += " " + w;
        EXPECT_EQ(run.code, 2) << "kestrel" << line << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << "kestrel" << line << "\n" << run.out;
        EXPECT_TRUE(contains(run.err, "usage: kestrel remote")) << "kestrel" << line << "\n" << run.err;
    }
    EXPECT_EQ(counter("requests"), requests) << "judged from the words alone";
}

TEST_F(RemoteTest, AnAbsentDeviceFailsWithAMessage) {
    ASSERT_EQ(simCommand("unplug"), "ok");
    const Outcome run = kestrel({"remote", "ls"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.err, "kestrel remote ls: cannot reach the device's file server")) << run.err;
    ASSERT_EQ(simCommand("replug"), "ok");
    ok({"remote", "ls"});
}

}  // namespace
}  // namespace kestrel::cli::test
