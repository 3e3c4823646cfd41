// Splitting the command line into its four parts and recognising commands.
#include "fwupdate/core/command_line.h"

#include <gtest/gtest.h>

namespace kestrel::fwupdate::test {
namespace {

void expectWords(const std::string& line, const char* w1, const char* w2, const char* w3, const char* rest) {
    const CommandLineWords words = splitCommandLine(line);
    EXPECT_EQ(words.word1, w1) << '"' << line << '"';
    EXPECT_EQ(words.word2, w2) << '"' << line << '"';
    EXPECT_EQ(words.word3, w3) << '"' << line << '"';
    EXPECT_EQ(words.rest, rest) << '"' << line << '"';
}

TEST(CommandLineSplit, WordsEndAtSpacesAndTheRestKeepsItsOwn) {
    expectWords("", "", "", "", "");
    expectWords("C", "C", "", "", "");
    expectWords("x download l1 file.bin", "x", "download", "l1", "file.bin");
    expectWords("x   download    l1     my  file.bin ", "x", "download", "l1", "my  file.bin ");
    expectWords("C smartmedia format", "C", "smartmedia", "format", "");
    expectWords("a b", "a", "b", "", "");
    expectWords("a b c   ", "a", "b", "c", "");
    // Only the space separates: a tab is part of a word.
    expectWords("a\tb c", "a\tb", "c", "", "");
}

TEST(CommandLineSplit, ALeadingSpaceLeavesWordOneEmpty) {
    expectWords(" download l1 file", "", "download", "l1", "file");
    expectWords("   smartmedia format", "", "smartmedia", "format", "");
}

TEST(CommandLineSplit, OverlongPartsAreCutWithoutSpillingIntoTheNext) {
    const std::string longWord(2000, 'w');
    const CommandLineWords words = splitCommandLine("x " + longWord + " l1 " + std::string(3000, 'r'));
    EXPECT_EQ(words.word1, "x");
    EXPECT_EQ(words.word2, std::string(MAX_PART, 'w'));
    EXPECT_EQ(words.word3, "l1");
    EXPECT_EQ(words.rest, std::string(MAX_PART, 'r'));

    const CommandLineWords first = splitCommandLine(std::string(1500, 'C') + " smartmedia format");
    EXPECT_EQ(first.word1.size(), MAX_PART);
    EXPECT_EQ(first.word2, "smartmedia");
    EXPECT_EQ(first.word3, "format");
}

TEST(CommandLineRecognise, WordsTwoAndThreeNameTheCommandCaseIncluded) {
    const std::pair<const char*, Command> cases[] = {
        {"x download l1 f", Command::DownloadL1},
        {"x download l2 f", Command::DownloadL2},
        {"x download fpga f", Command::DownloadFpga},
        {"x download anchor f", Command::DownloadAnchor},
        {"x download remote f", Command::DownloadRemote},
        {"C smartmedia format", Command::FormatNormal},
        {"C smartmedia rescueformat", Command::FormatRescue},
        {"download l1 f", Command::None},  // words 1 and 2, not 2 and 3
        {"x Download l1 f", Command::None},
        {"x download L1 f", Command::None},
        {"x SmartMedia format", Command::None},
        {"x smartmedia Format", Command::None},
        {"x download l3 f", Command::None},
        {"x smartmedia", Command::None},
        {"", Command::None},
    };
    for (const auto& [line, command] : cases)
        EXPECT_EQ(recogniseCommand(splitCommandLine(line)), command) << '"' << line << '"';
}

TEST(CommandLineRecognise, ARemoteDownloadKeepsTheFilesOwnName) {
    EXPECT_EQ(remoteDevicePath("notes.txt"), "dev0:\\notes.txt");
    EXPECT_EQ(remoteDevicePath("/tmp/a/B.BIN"), "dev0:\\B.BIN");
    EXPECT_EQ(remoteDevicePath("C:\\Work\\x.dat"), "dev0:\\x.dat");
    EXPECT_EQ(remoteDevicePath("D:y.bin"), "dev0:\\y.bin");
}

}  // namespace
}  // namespace kestrel::fwupdate::test
