// The operation log's line buffer, and which update groups the files
// present allow.
#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/update_files.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace kestrel::fwupdate::test {
namespace {

std::string fileText(const std::string& path) {
    const auto bytes = sim::test::readFile(path);
    return {bytes.begin(), bytes.end()};
}

TEST(OperationLog, LinesAreAppendedAndEchoedToTheConsole) {
    sim::test::TempFolder folder;
    std::FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    OperationLog log(folder.file("log.txt"), console);
    EXPECT_EQ(log.printf("dwnl> Creating %s ... ", "dev0:\\A"), 27);
    EXPECT_EQ(log.printf("error %d", 12), 8);
    EXPECT_EQ(fileText(folder.file("log.txt")), "dwnl> Creating dev0:\\A ... error 12");
    std::rewind(console);
    char echoed[64] = {};
    EXPECT_EQ(std::fread(echoed, 1, sizeof echoed - 1, console), 35u);
    EXPECT_STREQ(echoed, "dwnl> Creating dev0:\\A ... error 12");
    std::fclose(console);
}

TEST(OperationLog, ALineBeyondTheBufferIsCutNotOverflowed) {
    sim::test::TempFolder folder;
    OperationLog log(folder.file("log.txt"), nullptr);
    const std::string path(400, 'p');
    EXPECT_EQ(log.printf("dwnl> Creating %s ... ", path.c_str()), 255);
    EXPECT_EQ(log.printf("done"), 4);
    const std::string text = fileText(folder.file("log.txt"));
    EXPECT_EQ(text, ("dwnl> Creating " + path).substr(0, 255) + "done");
}

TEST(OperationLog, ALogThatCannotBeWrittenDropsTheLineButEchoesIt) {
    sim::test::TempFolder folder;
    std::FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    OperationLog log(folder.file("missing-folder/log.txt"), console);
    EXPECT_EQ(log.printf("fmt> %s", "x"), 6);
    std::rewind(console);
    char echoed[16] = {};
    EXPECT_EQ(std::fread(echoed, 1, sizeof echoed - 1, console), 6u);
    std::fclose(console);
}

TEST(UpdateFiles, EachGroupNeedsAllItsFiles) {
    const std::vector<std::string> all{"vxb_main.iic", "L1_1.BIN", "L2_1.MI", "FPGA.BIR"};
    struct Case {
        std::vector<std::string> missing;
        bool eeprom, main;
    };
    const Case cases[] = {
        {{}, true, true},
        {{"vxb_main.iic"}, false, true},
        {{"L1_1.BIN"}, true, false},
        {{"L2_1.MI"}, true, false},
        {{"FPGA.BIR"}, true, false},
        {{"vxb_main.iic", "FPGA.BIR"}, false, false},
    };
    for (const auto& c : cases) {
        sim::test::TempFolder folder;
        for (const auto& name : all) {
            if (std::find(c.missing.begin(), c.missing.end(), name) == c.missing.end())
                std::ofstream(folder.file(name)) << "x";
        }
        const UpdateFiles files = findUpdateFiles(hostFilesIn(folder.path()));
        EXPECT_EQ(files.eeprom, c.eeprom) << c.missing.size();
        EXPECT_EQ(files.main, c.main) << c.missing.size();
        EXPECT_EQ(files.noneAvailable(), !c.eeprom && !c.main);
    }
}

}  // namespace
}  // namespace kestrel::fwupdate::test
