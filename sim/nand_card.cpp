#include "sim/nand_card.h"

#include <algorithm>

namespace kestrel::sim {

bool NandCard::createImage(const std::string& path, const CardGeometry& geometry,
                           const std::vector<uint32_t>& badBlocks, std::string* error) {
    if (!BackingFile::create(path, geometry.imageBytes(), 0xFF, error)) return false;
    auto image = BackingFile::open(path, geometry.imageBytes(), error);
    if (!image) return false;
    NandCard card(geometry, std::move(image));
    for (const uint32_t block : badBlocks) {
        if (!card.hasBlock(block)) {
            if (error) *error = "bad block " + std::to_string(block) + " is beyond the card";
            return false;
        }
        card.markBad(block);
    }
    return true;
}

std::vector<uint8_t> NandCard::readPage(uint64_t page) {
    std::vector<uint8_t> bytes(geometry_.pageBytes(), 0xFF);
    if (hasPage(page) && !image_->readAt(offsetOf(page), bytes.data(), bytes.size()))
        std::fill(bytes.begin(), bytes.end(), 0xFF);
    return bytes;
}

void NandCard::program(uint64_t page, const uint8_t* data, size_t length) {
    if (!hasPage(page)) return;
    auto bytes = readPage(page);
    length = std::min(length, bytes.size());
    for (size_t i = 0; i < length; ++i) bytes[i] &= data[i];
    (void)image_->writeAt(offsetOf(page), bytes.data(), bytes.size());
}

void NandCard::eraseBlock(uint64_t block) {
    if (!hasBlock(block)) return;
    const std::vector<uint8_t> erased(static_cast<size_t>(geometry_.pagesPerBlock) * geometry_.pageBytes(), 0xFF);
    (void)image_->writeAt(offsetOf(block * geometry_.pagesPerBlock), erased.data(), erased.size());
}

void NandCard::erasePages(uint64_t block, uint32_t pages) {
    if (!hasBlock(block)) return;
    pages = std::min(pages, geometry_.pagesPerBlock);
    const std::vector<uint8_t> erased(static_cast<size_t>(pages) * geometry_.pageBytes(), 0xFF);
    (void)image_->writeAt(offsetOf(block * geometry_.pagesPerBlock), erased.data(), erased.size());
}

void NandCard::markBad(uint64_t block) {
    if (!hasBlock(block)) return;
    const uint8_t mark = FACTORY_BAD_MARK;
    const uint64_t firstPage = block * geometry_.pagesPerBlock;
    (void)image_->writeAt(offsetOf(firstPage) + geometry_.pageSize + BLOCK_STATUS_BYTE, &mark, 1);
}

}  // namespace kestrel::sim
