#include "tests/media/sim_card.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrel::media::test {

bool LoggingCardCommands::dropped() {
    if (dropCountdown == 0) return false;
    return --dropCountdown == 0;
}

uint32_t LoggingCardCommands::readId(uint8_t sm, uint8_t* answer) {
    calls.push_back({CardCall::ReadId, 0, 0, {}});
    if (dropped()) return 0;
    const uint32_t result = next_.readId(sm, answer);
    if (idOverride) {
        answer[1] = idOverride->first;
        answer[2] = idOverride->second;
    }
    return result;
}

uint32_t LoggingCardCommands::readStatus(uint8_t sm, uint8_t* answer) {
    calls.push_back({CardCall::ReadStatus, 0, 0, {}});
    if (dropped()) return 0;
    return next_.readStatus(sm, answer);
}

uint32_t LoggingCardCommands::readPages(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) {
    calls.push_back({CardCall::ReadPages, page, count, {}});
    if (dropped()) return 0;
    return next_.readPages(sm, page, count, answer);
}

uint32_t LoggingCardCommands::readSpare(uint8_t sm, uint32_t page, uint8_t count, uint8_t* answer) {
    calls.push_back({CardCall::ReadSpare, page, count, {}});
    if (dropped()) return 0;
    return next_.readSpare(sm, page, count, answer);
}

uint32_t LoggingCardCommands::programPage(uint8_t sm, uint32_t page, uint16_t length, const uint8_t* data) {
    calls.push_back({CardCall::Program, page, length, std::vector<uint8_t>(data, data + length)});
    if (dropped()) return 0;
    return next_.programPage(sm, page, length, data);
}

uint32_t LoggingCardCommands::eraseBlock(uint8_t sm, uint32_t page) {
    calls.push_back({CardCall::Erase, page, 0, {}});
    if (dropped()) return 0;
    return next_.eraseBlock(sm, page);
}

SimCard::SimCard(uint32_t sizeMb, uint8_t maker, const std::function<void(sim::DeviceConfig&)>& adjust) {
    auto config = sim::defaultDeviceConfig(sizeMb, maker);
    if (!config) {
        ADD_FAILURE() << "no " << sizeMb << " MB card of maker " << int(maker);
        return;
    }
    if (adjust) adjust(*config);
    geometry_ = *config->geometry();
    if (!sim::test::createFolder(folder_.path(), *config)) return;
    std::string error;
    device_ = sim::SimDevice::openFolder(folder_.path(), &error);
    if (!device_) {
        ADD_FAILURE() << error;
        return;
    }
    direct_ = device_->directCardCommands();
    logging_ = std::make_unique<LoggingCardCommands>(*direct_);
    media_ = std::make_unique<Media>(*logging_);
    media_->maps().seed(1);
}

std::vector<uint8_t> SimCard::rawPage(uint64_t page) const {
    const uint32_t bytes = geometry_.pageBytes();
    return sim::test::readFileRange(folder_.file("nand.bin"), page * bytes, bytes);
}

std::vector<uint8_t> SimCard::rawSectorData(uint32_t sector) const {
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < pagesPerSector(); ++i) {
        const auto page = rawPage(uint64_t{sector} * pagesPerSector() + i);
        data.insert(data.end(), page.begin(), page.begin() + pageSize());
    }
    return data;
}

std::vector<uint8_t> SimCard::rawSectorSpare(uint32_t sector) const {
    std::vector<uint8_t> spare;
    for (uint32_t i = 0; i < pagesPerSector(); ++i) {
        const auto page = rawPage(uint64_t{sector} * pagesPerSector() + i);
        spare.insert(spare.end(), page.begin() + pageSize(), page.end());
    }
    return spare;
}

void SimCard::programSector(uint32_t sector, const std::vector<uint8_t>& data, const std::vector<uint8_t>& spare) {
    for (uint32_t i = 0; i < pagesPerSector(); ++i) {
        std::vector<uint8_t> page(data.begin() + i * pageSize(), data.begin() + (i + 1) * pageSize());
        page.insert(page.end(), spare.begin() + i * spareSize(), spare.begin() + (i + 1) * spareSize());
        direct_->programPage(0, sector * pagesPerSector() + i, static_cast<uint16_t>(page.size()), page.data());
    }
}

std::vector<uint8_t> sectorPattern(uint32_t seed) { return sim::test::pattern(512, seed); }

}  // namespace kestrel::media::test
