// The file-system tests' fixture: a simulated card of a chosen size reached
// through the direct card commands, a file system over it with a fixed
// clock, initialised and quick-formatted.
#pragma once

#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrel::fatfs::test {

inline DateTime fixedTime() { return {2024, 5, 17, 13, 45, 30}; }

class FsTest : public ::testing::Test {
protected:
    // A card of `sizeMb`; formatted when `format` is set (with the label
    // "NO NAME", which FAT tools take for "no label").
    void makeCard(uint32_t sizeMb, bool format = true);
    void SetUp() override { makeCard(2); }

    FileSystem& fs() { return *fs_; }
    media::test::SimCard& card() { return *card_; }

    // Creates `path` holding `data` (written in one piece) and closes it.
    void writeFile(const std::string& path, const std::vector<uint8_t>& data);
    std::vector<uint8_t> readWhole(const std::string& path);
    // A raw card sector through the media layer.
    std::vector<uint8_t> sector(uint32_t number);
    // Rewrites a raw card sector (copy-on-write through the cluster layer).
    void overwriteSector(uint32_t number, const std::vector<uint8_t>& data);
    std::vector<std::string> list(const std::string& path);
    uint32_t freeClusters() const;
    // The card's logical sectors from `firstSector` on as an image file;
    // sectors of blocks never written read as zeros.
    void exportImage(const std::string& path, uint32_t firstSector = 0);
    // The first sector of the partition, from the partition table.
    uint32_t partitionStart();
    // The card's geometry row (identifying the card when needed).
    const media::CardGeometry& geometry();
    // Every logical sector of the card, in order (unwritten blocks as zeros).
    std::vector<uint8_t> cardBytes();
    // fsck.fat -n on the card's partition; success where the tool is missing.
    ::testing::AssertionResult cardPassesFsck();

    std::unique_ptr<media::test::SimCard> card_;
    std::unique_ptr<FileSystem> fs_;
    DateTime now_ = fixedTime();
};

std::vector<uint8_t> bytesOf(const std::string& text);

#ifndef _WIN32
// Runs a shell command: its output (standard output and error) and whether
// it exited with 0.
std::pair<std::string, bool> runShell(const std::string& command);
// fsck.fat -n on an image of a partition: clean, or its report.
::testing::AssertionResult fsckClean(const std::string& partitionImage);
#endif
std::vector<uint8_t> patternBytes(size_t length, uint32_t seed);

}  // namespace kestrel::fatfs::test
