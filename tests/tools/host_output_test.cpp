// A host file written through HostOutput takes its place only when
// committed; until then a file already there stays as it was.
#include "tools/failure.h"
#include "tools/host_output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace kestrel::cli {
namespace {

namespace fs = std::filesystem;

class HostOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("host-output-test-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {})); }
    static void put(const std::string& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    static std::string text(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    fs::path folder_;
};

TEST_F(HostOutputTest, AnUncommittedOutputLeavesTheFileThereAsItWasAndNothingBesideIt) {
    put(path("a.bin"), "the user's own file");
    {
        HostOutput out(path("a.bin"));
        out.write("new", 3);
        EXPECT_EQ(text(path("a.bin")), "the user's own file") << "written before the commit";
        EXPECT_EQ(entries(), 2u) << "the temporary file lies beside it";
        EXPECT_EQ(fs::path(out.temporaryPath()).parent_path(), fs::path(path("a.bin")).parent_path());
    }
    EXPECT_EQ(text(path("a.bin")), "the user's own file");
    EXPECT_EQ(entries(), 1u);
    {
        HostOutput out(path("new.bin"));
        out.write("x", 1);
    }
    EXPECT_FALSE(fs::exists(path("new.bin"))) << "no partial file under the name";
    EXPECT_EQ(entries(), 1u);
}

TEST_F(HostOutputTest, ACommitPutsTheWholeFileInPlace) {
    put(path("a.bin"), "a longer old file than the new one");
    HostOutput out(path("a.bin"));
    out.write("new", 3);
    out.write(" file", 5);
    out.commit();
    EXPECT_EQ(text(path("a.bin")), "new file");
    HostOutput fresh(path("b.bin"));
    fresh.commit();
    EXPECT_TRUE(fs::exists(path("b.bin")));
    EXPECT_EQ(text(path("b.bin")), "");
    EXPECT_EQ(entries(), 2u);
}

TEST_F(HostOutputTest, AFolderThatCannotTakeTheFileFailsWithItsName) {
    try {
        HostOutput out(path("missing/a.bin"));
        FAIL() << "made a file in a folder that is not there";
    } catch (const Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("cannot open " + path("missing/a.bin")), std::string::npos)
            << failure.what();
    }
    fs::create_directory(path("dir"));
    HostOutput over(path("dir"));
    EXPECT_THROW(over.commit(), Failure) << "a folder is not replaced by a file";
    EXPECT_TRUE(fs::is_directory(path("dir")));
}

}  // namespace
}  // namespace kestrel::cli
