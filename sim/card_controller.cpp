#include "sim/card_controller.h"

#include <algorithm>

namespace kestrel::sim {

std::vector<uint8_t> CardController::readPages(uint64_t page, uint32_t count) {
    hw_.clock.startCardWork(count * ModelledClock::PAGE_READ_US);
    hw_.counters.pageReads += count;
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * PAGE_ANSWER, 0xFF);
    for (uint32_t i = 0; i < count; ++i) {
        const auto content = hw_.card.readPage(page + i);
        uint8_t* slot = bytes.data() + static_cast<size_t>(i) * PAGE_ANSWER;
        std::copy(content.begin(), content.end(), slot);
        hw_.faults.applyFlips(page + i, 0, slot, content.size());
    }
    return bytes;
}

std::vector<uint8_t> CardController::readSpares(uint64_t page, uint32_t count) {
    hw_.clock.startCardWork(count * ModelledClock::PAGE_READ_US);
    hw_.counters.spareReads += count;
    const auto& g = hw_.card.geometry();
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * SPARE_ANSWER, 0xFF);
    for (uint32_t i = 0; i < count; ++i) {
        const auto content = hw_.card.readPage(page + i);
        uint8_t* slot = bytes.data() + static_cast<size_t>(i) * SPARE_ANSWER;
        std::copy(content.begin() + g.pageSize, content.end(), slot);
        hw_.faults.applyFlips(page + i, g.pageSize, slot, g.spareSize);
    }
    return bytes;
}

std::vector<uint8_t> CardController::readId(uint8_t sm) const {
    const auto& g = hw_.card.geometry();
    return {sm, g.maker, g.deviceCode, ID_SIGNATURE};
}

std::vector<uint8_t> CardController::readStatus() const {
    uint8_t status = 0;
    if (!hw_.clock.cardBusy()) status = STATUS_READY | (hw_.lastCardOperationFailed ? STATUS_FAIL : 0);
    return {0, status};
}

void CardController::eraseBlock(uint64_t page) {
    const uint64_t block = hw_.card.blockOfPage(page);
    hw_.clock.startCardWork(ModelledClock::BLOCK_ERASE_US);
    ++hw_.counters.blockErases;
    if (hw_.powerLost || hw_.faults.takePowerCut()) return tornErase(block);
    hw_.lastCardOperationFailed = hw_.card.hasBlock(block) && hw_.faults.eraseFails(block);
    if (!hw_.lastCardOperationFailed) hw_.card.eraseBlock(block);
}

void CardController::program(uint64_t page, const std::vector<uint8_t>& bytes) {
    const uint64_t block = hw_.card.blockOfPage(page);
    hw_.clock.startCardWork(ModelledClock::PAGE_PROGRAM_US);
    ++hw_.counters.pagePrograms;
    if (hw_.powerLost || hw_.faults.takePowerCut()) return tornProgram(page, bytes);
    hw_.lastCardOperationFailed = hw_.card.hasBlock(block) && hw_.faults.programFails(block);
    if (!hw_.lastCardOperationFailed) hw_.card.program(page, bytes.data(), bytes.size());
}

void CardController::tornErase(uint64_t block) {
    hw_.lastCardOperationFailed = true;
    if (hw_.powerLost) return;
    hw_.powerLost = true;
    // None, some or all of the block's pages, from its first on.
    hw_.card.erasePages(block, static_cast<uint32_t>(hw_.faults.powerCutTear() % (hw_.card.geometry().pagesPerBlock + 1)));
}

void CardController::tornProgram(uint64_t page, const std::vector<uint8_t>& bytes) {
    hw_.lastCardOperationFailed = true;
    if (hw_.powerLost || bytes.empty()) return;
    hw_.powerLost = true;
    // Half the cuts stop inside the data bytes (the spare area stays as it
    // was), half inside the spare bytes (the data are complete).
    const uint64_t tear = hw_.faults.powerCutTear();
    const size_t dataBytes = std::min<size_t>(bytes.size(), hw_.card.geometry().pageSize);
    const size_t spareBytes = bytes.size() - dataBytes;
    const size_t done = (tear & 1) == 0 || spareBytes == 0 ? (tear >> 1) % dataBytes
                                                           : dataBytes + (tear >> 1) % spareBytes;
    hw_.card.program(page, bytes.data(), done);
}

}  // namespace kestrel::sim
