// The SmartMedia card: raw pages (data followed by spare area) kept in the
// device folder's nand.bin, physical page after physical page. NAND rules:
// programming can only clear bits (the new bytes are ANDed into the page),
// an erase sets a whole block, data and spare, to 0xFF.
//
// Addresses come from the wire and are never trusted: pages and blocks
// beyond the card read as 0xFF and ignore writes.
#pragma once

#include "sim/backing_file.h"
#include "sim/card_geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::sim {

class NandCard {
public:
    NandCard(const CardGeometry& geometry, std::unique_ptr<BackingFile> image)
        : geometry_(geometry), image_(std::move(image)) {}

    // Writes a fresh card image: all 0xFF, each block of `badBlocks` carrying
    // the factory-bad mark in its first page's block status byte.
    [[nodiscard]] static bool createImage(const std::string& path, const CardGeometry& geometry,
                                          const std::vector<uint32_t>& badBlocks, std::string* error);

    const CardGeometry& geometry() const { return geometry_; }
    bool hasPage(uint64_t page) const { return page < geometry_.pages(); }
    bool hasBlock(uint64_t block) const { return block < geometry_.blocks; }
    uint64_t blockOfPage(uint64_t page) const { return page / geometry_.pagesPerBlock; }

    // The page's data and spare area (pageBytes()); all 0xFF beyond the card.
    std::vector<uint8_t> readPage(uint64_t page);

    // ANDs `length` bytes (at most pageBytes(), from the page's first data
    // byte on) into the page.
    void program(uint64_t page, const uint8_t* data, size_t length);

    void eraseBlock(uint64_t block);
    // Sets the block's first `pages` pages to 0xFF and leaves the rest as
    // they are: an erase that power failure stopped part-way.
    void erasePages(uint64_t block, uint32_t pages);

    // Puts the factory-bad mark into the block's status byte.
    void markBad(uint64_t block);

private:
    uint64_t offsetOf(uint64_t page) const { return page * geometry_.pageBytes(); }

    CardGeometry geometry_;
    std::unique_ptr<BackingFile> image_;
};

}  // namespace kestrel::sim
