#include "sim/direct_card_commands.h"

#include <algorithm>

namespace kestrel::sim {

namespace {

uint32_t deliver(const std::vector<uint8_t>& bytes, uint8_t* answer) {
    std::copy(bytes.begin(), bytes.end(), answer);
    return 1;
}

}  // namespace

uint32_t DirectCardCommands::readId(uint8_t sm, uint8_t* answer) {
    std::lock_guard lock(mutex_);
    return deliver(card_.readId(sm), answer);
}

uint32_t DirectCardCommands::readStatus(uint8_t, uint8_t* answer) {
    std::lock_guard lock(mutex_);
    hardware_.clock.waitForCard();
    return deliver(card_.readStatus(), answer);
}

uint32_t DirectCardCommands::readPages(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) {
    std::lock_guard lock(mutex_);
    return deliver(card_.readPages(page, count), answer);
}

uint32_t DirectCardCommands::readSpare(uint8_t, uint32_t page, uint8_t count, uint8_t* answer) {
    std::lock_guard lock(mutex_);
    return deliver(card_.readSpares(page, count), answer);
}

uint32_t DirectCardCommands::programPage(uint8_t, uint32_t page, uint16_t length, const uint8_t* data) {
    std::lock_guard lock(mutex_);
    card_.program(page, std::vector<uint8_t>(data, data + length));
    return 1;
}

uint32_t DirectCardCommands::eraseBlock(uint8_t, uint32_t page) {
    std::lock_guard lock(mutex_);
    card_.eraseBlock(page);
    return 1;
}

}  // namespace kestrel::sim
