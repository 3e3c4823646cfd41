// kestrel mount and kestrel remote mount for real: the kestrel program
// mounts a kestrel-simd device through FUSE, and the system's own programs
// (cp, mv, diff, rsync, tar, df, truncate) work on the mount; afterwards
// the card's image passes fsck.fat and mtools lists the names. Skipped
// where this machine cannot mount FUSE file systems.
#include "tests/mount/mount_process.h"
#include "tests/mount/volume_fixture.h"
#include "platform/byte_order.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::mount::test {
namespace {

using cli::test::Outcome;

constexpr uint32_t SECTOR = 512;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class FuseTest : public cli::test::CliTest, public ::testing::WithParamInterface<Access> {
protected:
    sim::DeviceConfig deviceConfig() override { return *sim::defaultDeviceConfig(2, 0xEC); }

    void SetUp() override {
        if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no usable /dev/fuse here";
        if (std::system("command -v fusermount3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no fusermount3 (Debian: fuse3)";
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        mountpoint_ = std::filesystem::absolute(scratch("mnt")).string();
        std::filesystem::create_directory(mountpoint_);
    }

    bool remote() const { return GetParam() == Access::FileServer; }
    const std::string& mnt() const { return mountpoint_; }

    std::unique_ptr<MountProcess> startMount() {
        auto process = std::make_unique<MountProcess>(mountpoint_, remote());
        EXPECT_TRUE(process->mounted()) << "kestrel " << (remote() ? "remote " : "") << "mount did not mount";
        return process;
    }

    // A shell script run in the scratch folder with the mount in $M; its
    // exit code and output.
    Outcome sh(const std::string& script) {
        static int runs = 0;
        const std::string file = scratch("script" + std::to_string(++runs) + ".sh");
        std::ofstream(file) << "cd " << quoted(scratch("")) << " || exit 99\nM=" << quoted(mountpoint_) << "\n" << script;
        Outcome outcome;
        outcome.code = cli::test::runCaptured("sh", {file}, file + ".out", file + ".err");
        outcome.out = readText(file + ".out");
        outcome.err = readText(file + ".err");
        return outcome;
    }
    void shOk(const std::string& script) {
        const Outcome outcome = sh(script);
        EXPECT_EQ(outcome.code, 0) << script << "\n" << outcome.out << outcome.err;
    }

    // A host tree with files around sector, cluster and block sizes, long
    // names and nested folders (8.3-sized names in capitals: the library
    // keeps no case for them).
    void makeTree(const std::string& root) {
        const std::vector<std::pair<std::string, size_t>> files = {
            {"DATA/EMPTY.BIN", 0},
            {"DATA/ONE.BIN", 1},
            {"DATA/Sector minus one.bin", SECTOR - 1},
            {"DATA/SECTOR.BIN", SECTOR},
            {"DATA/Sector plus one.bin", SECTOR + 1},
            {"DATA/Cluster minus one.bin", CLUSTER_BYTES - 1},
            {"DATA/CLUSTER.BIN", CLUSTER_BYTES},
            {"DATA/Cluster plus one.bin", CLUSTER_BYTES + 1},
            {"DATA/Transfer block plus one.bin", 61441},
            {"DATA/Larger than a request.bin", 140001},
            {"Nested folder/README", 100},
            {"Nested folder/Deeper folder/Deepest file of all.txt", 2000},
        };
        uint32_t seed = 1;
        for (const auto& [name, size] : files) {
            const std::filesystem::path path = std::filesystem::path(root) / name;
            std::filesystem::create_directories(path.parent_path());
            cli::test::writePatternFile(path.string(), size, seed++);
        }
    }

    // After unmounting: the card's image passes fsck.fat -n, and mtools'
    // recursive listing of it.
    std::string checkCardImage() {
        ok({"backup", scratch("card.img")});
        const auto image = sim::test::readFile(scratch("card.img"));
        if (image.size() < SECTOR) {
            ADD_FAILURE() << "no card image";
            return {};
        }
        const uint64_t offset = uint64_t{loadLe32(image.data() + 454)} * SECTOR;
        cli::test::writeBytes(scratch("partition.img"),
                              std::vector<uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(offset), image.end()));
        const Outcome fsck = sh("fsck.fat -n partition.img");
        EXPECT_EQ(fsck.code, 0) << fsck.out << fsck.err;
        const Outcome listing = sh("mdir -/ -b -i card.img@@" + std::to_string(offset) + " ::/");
        EXPECT_EQ(listing.code, 0) << listing.err;
        return listing.out;
    }

private:
    std::string mountpoint_;
};

TEST_P(FuseTest, ATreeGoesInChangesAndComesBackTheSame) {
    makeTree(scratch("src"));
    {
        auto mounted = startMount();
        ASSERT_TRUE(mounted->mounted());
        shOk("cp -r src/. \"$M\"/ && diff -r src \"$M\"");
        // The same changes on both sides: overwrite with a shorter file,
        // append, truncate and grow, move (with the file server: by copy,
        // after EXDEV), replace by moving, delete, remove a folder.
        shOk(R"(for D in src "$M"; do
  printf short > "$D/DATA/Larger than a request.bin" &&
  printf appended >> "$D/DATA/SECTOR.BIN" &&
  truncate -s 1000 "$D/DATA/Cluster plus one.bin" &&
  truncate -s 9000 "$D/DATA/ONE.BIN" &&
  mv "$D/DATA/CLUSTER.BIN" "$D/Nested folder/Moved cluster file.bin" &&
  mv "$D/DATA/Sector minus one.bin" "$D/DATA/Sector plus one.bin" &&
  mkdir "$D/Moving folder" && printf x > "$D/Moving folder/X.TXT" && mv "$D/Moving folder" "$D/DATA/" &&
  rm "$D/DATA/EMPTY.BIN" "$D/Nested folder/Deeper folder/Deepest file of all.txt" &&
  rmdir "$D/Nested folder/Deeper folder" || exit 1
done
diff -r src "$M")");
        if (!remote()) {
            EXPECT_NE(sh("mkdir \"$M/lower\"").code, 0);  // the library would list it as LOWER
        }
        const Outcome df = sh("df -B1 --output=size,avail \"$M\" >df.txt && tail -1 df.txt");
        if (remote()) {
            EXPECT_NE(df.code, 0);  // no volume figures from the file server
        } else {
            ASSERT_EQ(df.code, 0) << df.err;
            std::istringstream figures(df.out);
            uint64_t size = 0;
            uint64_t avail = 0;
            figures >> size >> avail;
            EXPECT_EQ(mounted->unmount(), 0);
            const Outcome info = ok({"info"});
            EXPECT_NE(info.out.find(std::to_string(size) + " total"), std::string::npos) << df.out << info.out;
            EXPECT_NE(info.out.find(std::to_string(avail) + " free"), std::string::npos) << df.out << info.out;
        }
        if (mounted->mounted()) {
            EXPECT_EQ(mounted->unmount(), 0);
        }
        EXPECT_FALSE(mounted->mounted());
    }
    EXPECT_EQ(firmware(), "main");
    const std::string names = checkCardImage();
    for (const char* name : {"::/DATA/Sector plus one.bin", "::/DATA/Moving folder/X.TXT", "::/Nested folder/Moved cluster file.bin",
                             "::/Nested folder/README", "::/DATA/Transfer block plus one.bin"}) {
        EXPECT_NE(names.find(name), std::string::npos) << name << " in\n" << names;
    }
    EXPECT_EQ(names.find("Deeper folder"), std::string::npos) << names;
    EXPECT_EQ(names.find("EMPTY.BIN"), std::string::npos) << names;
}

TEST_P(FuseTest, CpRsyncAndTarWorkOnTheMount) {
    makeTree(scratch("src"));
    auto mounted = startMount();
    ASSERT_TRUE(mounted->mounted());
    // The file server cannot set times or attributes: programs are asked
    // not to keep them there.
    const std::string cp = remote() ? "cp -r" : "cp -a";
    const std::string rsync = remote() ? "rsync -r --delete" : "rsync -a --delete";
    const std::string untar = remote() ? "tar -x -m --no-same-owner --no-same-permissions" : "tar -x";
    shOk(cp + " src \"$M/CP\" && " + cp + " \"$M/CP\" out-cp && diff -r src out-cp");
    shOk(rsync + " src/ \"$M/RSYNC/\" && diff -r src \"$M/RSYNC\"");
    // Again after changes: a file gone, one new, one changed.
    shOk("rm src/DATA/ONE.BIN && printf new > 'src/DATA/A new file.txt' && printf changed >> src/Nested\\ folder/README && " +
         rsync + " src/ \"$M/RSYNC/\" && diff -r src \"$M/RSYNC\"");
    shOk("tar -cf tree.tar -C src . && mkdir \"$M/TAR\" && " + untar + " -f tree.tar -C \"$M/TAR\" && "
         "tar -cf back.tar -C \"$M/TAR\" . && mkdir out-tar && tar -xf back.tar -C out-tar && diff -r src out-tar");
    if (!remote()) {
        // cp -a kept the modification times (in two-second steps).
        shOk("a=$(stat -c %Y src/DATA/SECTOR.BIN); b=$(stat -c %Y \"$M/CP/DATA/SECTOR.BIN\"); "
             "[ $((a - a % 2)) -eq \"$b\" ]");
    }
    EXPECT_EQ(mounted->unmount(), 0);
    (void)checkCardImage();
}

// A file open while the device fails: calls answer EIO, nothing hangs, the
// mount unmounts, and a file closed before reads back intact.
TEST_P(FuseTest, AnUnpluggedDeviceGivesEioAndTheMountStillUnmounts) {
    cli::test::writePatternFile(scratch("kept.bin"), 9000, 40);
    auto mounted = startMount();
    ASSERT_TRUE(mounted->mounted());
    shOk("cp kept.bin \"$M/KEPT.BIN\"");
    const int fd = ::open((mnt() + "/Open during the fault.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> data(4096, 0x5A);
    EXPECT_EQ(::write(fd, data.data(), data.size()), 4096);
    ASSERT_EQ(simCommand("unplug"), "ok");
    (void)!::write(fd, data.data(), data.size());
    EXPECT_EQ(::fsync(fd), -1);
    EXPECT_EQ(errno, EIO);
    const int other = ::open((mnt() + "/KEPT.BIN").c_str(), O_RDONLY);
    EXPECT_EQ(other, -1);
    EXPECT_EQ(errno, EIO);
    if (other >= 0) ::close(other);
    ::close(fd);
    EXPECT_EQ(mounted->unmount(), 0);
    EXPECT_FALSE(mounted->mounted());
    ASSERT_EQ(simCommand("replug"), "ok");
    if (remote()) {
        ok({"remote", "get", "/KEPT.BIN", scratch("back.bin")});
    } else {
        ok({"get", "/KEPT.BIN", scratch("back.bin")});
    }
    EXPECT_TRUE(sim::test::readFile(scratch("back.bin")) == sim::test::readFile(scratch("kept.bin")));
}

TEST_P(FuseTest, AStalledDeviceGivesEioAndTheMountStillUnmounts) {
    cli::test::writePatternFile(scratch("kept.bin"), 9000, 41);
    auto mounted = startMount();
    ASSERT_TRUE(mounted->mounted());
    shOk("cp kept.bin \"$M/KEPT.BIN\"");
    const int fd = ::open((mnt() + "/KEPT.BIN").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(simCommand("stall 1"), "ok");
    std::vector<uint8_t> back(9000);
    EXPECT_EQ(::read(fd, back.data(), back.size()), -1);
    EXPECT_EQ(errno, EIO);
    ::close(fd);
    EXPECT_EQ(mounted->unmount(), 0);
    EXPECT_FALSE(mounted->mounted());
    if (remote()) {
        ok({"remote", "get", "/KEPT.BIN", scratch("back.bin")});
    } else {
        ok({"get", "/KEPT.BIN", scratch("back.bin")});
    }
    EXPECT_TRUE(sim::test::readFile(scratch("back.bin")) == sim::test::readFile(scratch("kept.bin")));
}

// SIGTERM and Ctrl+C end the mount cleanly: the file open at that moment
// is written, the device gets its main firmware back.
TEST_P(FuseTest, SignalsUnmountAndKeepOpenFiles) {
    for (const int signal : {SIGTERM, SIGINT}) {
        auto mounted = startMount();
        ASSERT_TRUE(mounted->mounted());
        const std::string name = "Open at signal " + std::to_string(signal) + ".bin";
        const int fd = ::open((mnt() + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        const auto data = cli::test::writePatternFile(scratch("data.bin"), 5000, static_cast<uint32_t>(signal));
        EXPECT_EQ(::write(fd, data.data(), data.size()), 5000);
        EXPECT_EQ(mounted->stop(signal), 0);
        ::close(fd);  // the mount is gone: nothing more to write
        EXPECT_FALSE(mounted->mounted());
        if (remote()) {
            ok({"remote", "get", "/" + name, scratch("back.bin")});
        } else {
            EXPECT_EQ(firmware(), "main");
            ok({"get", "/" + name, scratch("back.bin")});
        }
        EXPECT_TRUE(sim::test::readFile(scratch("back.bin")) == data) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, FuseTest, ::testing::Values(Access::Library, Access::FileServer), accessName);

// The background start reports what keeps the mount from coming, on the
// terminal and in its exit code, and mounts otherwise.
class MountCommandTest : public cli::test::CliTest {};

TEST_F(MountCommandTest, TheBackgroundStartReportsFailuresAndMounts) {
    if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no usable /dev/fuse here";
    const std::string mountpoint = std::filesystem::absolute(scratch("mnt")).string();
    Outcome missing = kestrel({"mount", mountpoint});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("not a directory"), std::string::npos) << missing.err;
    std::filesystem::create_directory(mountpoint);

    ASSERT_EQ(simCommand("unplug"), "ok");
    const Outcome absent = kestrel({"mount", mountpoint});
    EXPECT_EQ(absent.code, 1);
    EXPECT_NE(absent.err.find("cannot start the device"), std::string::npos) << absent.err;
    EXPECT_FALSE(isMountPoint(mountpoint));
    ASSERT_EQ(simCommand("replug"), "ok");

    // -c: an 8.3 name with small letters is stored in capitals.
    const Outcome started = kestrel({"mount", "-c", mountpoint});
    ASSERT_EQ(started.code, 0) << started.err;
    EXPECT_TRUE(isMountPoint(mountpoint));
    {
        std::ofstream(mountpoint + "/notes.txt") << "kept";
    }
    std::vector<std::string> listed;
    for (const auto& item : std::filesystem::directory_iterator(mountpoint)) listed.push_back(item.path().filename());
    EXPECT_EQ(listed, std::vector<std::string>{"NOTES.TXT"});
    EXPECT_EQ(std::system(("fusermount3 -u " + quoted(mountpoint)).c_str()), 0);
    EXPECT_FALSE(isMountPoint(mountpoint));
    // The background process ends by itself and puts the main firmware back.
    for (int i = 0; i < 3000 && firmware() != "main"; ++i) usleep(10000);
    EXPECT_EQ(firmware(), "main");

    const Outcome help = kestrel({"help", "mount"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: kestrel mount [-f] [-d] [-c] MOUNTPOINT"), std::string::npos);
    const Outcome remoteHelp = kestrel({"remote", "mount", "--help"});
    EXPECT_NE(remoteHelp.out.find("EXDEV"), std::string::npos) << remoteHelp.out;
}

}  // namespace
}  // namespace kestrel::mount::test
