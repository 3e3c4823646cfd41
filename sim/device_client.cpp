#include "sim/device_client.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"
#include "sim/text_numbers.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

namespace kestrel::sim {

namespace {

constexpr uint32_t ERR_INVALID_HANDLE = 6;
constexpr uint8_t OP_READ_PAGES = 2, OP_READ_SPARES = 3, OP_PROGRAM = 4, OP_ERASE = 5, OP_READ_ID = 6,
                  OP_READ_EEPROM = 7, OP_WRITE_EEPROM = 8, OP_STATUS = 9;
constexpr uint8_t EEPROM_CHUNK = 32;
constexpr uint8_t STATUS_READY = 0x40;

uint32_t roundUpToPacket(size_t length) {
    return static_cast<uint32_t>((length + DeviceClient::PACKET - 1) / DeviceClient::PACKET * DeviceClient::PACKET);
}

}  // namespace

bool DeviceClient::open(uint32_t* error) {
    uint32_t code = 0;
    connection_ = provider_->open(driver::DEVICE_NAME, driver::ACCESS_READ | driver::ACCESS_WRITE,
                                  driver::SHARE_READ | driver::SHARE_WRITE, code);
    if (error) *error = connection_ ? 0 : code;
    return connection_ != nullptr;
}

bool DeviceClient::waitForDevice(uint32_t realMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!open()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

platform::ControlResult DeviceClient::control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                              uint32_t outLength) {
    if (!connection_) return {false, ERR_INVALID_HANDLE, 0};
    return connection_->control(code, in, inLength, out, outLength);
}

platform::ControlResult DeviceClient::bulkRead(uint32_t pipe, void* data, uint32_t length) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return control(driver::CTL_BULK_READ, index, sizeof index, data, length);
}

platform::ControlResult DeviceClient::bulkWrite(uint32_t pipe, const void* data, uint32_t length) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return control(driver::CTL_BULK_WRITE, index, sizeof index, const_cast<void*>(data), length);
}

platform::ControlResult DeviceClient::resetPipe(uint32_t pipe) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return control(driver::CTL_RESET_PIPE, index, sizeof index, nullptr, 0);
}

platform::ControlResult DeviceClient::abortPipe(uint32_t pipe) {
    uint8_t index[4];
    storeLe32(index, pipe);
    return control(driver::CTL_ABORT_PIPE, index, sizeof index, nullptr, 0);
}

platform::ControlResult DeviceClient::setCpuHeld(bool held) {
    uint8_t request[driver::VENDOR_REQUEST_LENGTH] = {};
    request[driver::VR_REQUEST] = driver::EZUSB_FIRMWARE_LOAD;
    storeLe16(request + driver::VR_VALUE, driver::EZUSB_CPUCS);
    storeLe16(request + driver::VR_LENGTH, 1);
    request[driver::VR_DATA] = held ? 1 : 0;
    return control(driver::CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0);
}

platform::ControlResult DeviceClient::download(uint16_t offset, const std::vector<uint8_t>& image) {
    uint8_t start[2];
    storeLe16(start, offset);
    return control(driver::CTL_DOWNLOAD, start, sizeof start, const_cast<uint8_t*>(image.data()),
                   static_cast<uint32_t>(image.size()));
}

int64_t DeviceClient::pipeCount() {
    std::vector<uint8_t> info(driver::PIPE_INFO_LENGTH);
    const auto r = control(driver::CTL_GET_PIPE_INFO, nullptr, 0, info.data(), driver::PIPE_INFO_LENGTH);
    if (!r.ok || r.bytes < driver::PIPE_INFO_COUNT_OFFSET + 4) return -1;
    return loadLe32(info.data() + driver::PIPE_INFO_COUNT_OFFSET);
}

bool DeviceClient::loadFirmware(const std::vector<uint8_t>& image, uint32_t realMs) {
    if (!setCpuHeld(true).ok) return false;
    if (!image.empty() && !download(0, image).ok) return false;
    if (!setCpuHeld(false).ok) return false;
    close();
    return waitForDevice(realMs);
}

std::array<uint8_t, DeviceClient::PACKET> DeviceClient::packet(uint8_t op, uint32_t address, uint16_t count,
                                                               uint8_t sm) {
    std::array<uint8_t, PACKET> p{};
    p[0] = op;
    p[1] = sm;
    storeLe32(p.data() + 2, address);
    storeLe16(p.data() + 6, count);
    return p;
}

bool DeviceClient::sendPacket(const std::array<uint8_t, PACKET>& packet) {
    return bulkWrite(driver::PIPE_COMMAND, packet.data(), PACKET).ok;
}

bool DeviceClient::readAnswer(uint8_t* out, uint32_t length) {
    std::vector<uint8_t> bounce(CHUNK);
    while (length > 0) {
        const uint32_t chunk = std::min(length, CHUNK);
        const auto r = bulkRead(driver::PIPE_DATA_IN, bounce.data(), roundUpToPacket(chunk));
        if (!r.ok || r.bytes == 0) return false;
        const uint32_t n = std::min(r.bytes, length);
        out = std::copy_n(bounce.begin(), n, out);
        length -= n;
    }
    return true;
}

bool DeviceClient::readId(uint8_t id[4]) {
    return sendPacket(packet(OP_READ_ID, 0, 1)) && readAnswer(id, 4);
}

bool DeviceClient::readStatus(uint8_t& status) {
    uint8_t answer[2];
    if (!sendPacket(packet(OP_STATUS, 0, 1)) || !readAnswer(answer, 2)) return false;
    status = answer[1];
    return true;
}

bool DeviceClient::waitReady(uint8_t& status, int attempts) {
    for (int i = 0; i < attempts; ++i) {
        if (!readStatus(status)) return false;
        if (status & STATUS_READY) return true;
    }
    return false;
}

bool DeviceClient::readPages(uint32_t page, uint16_t count, std::vector<uint8_t>& answer) {
    answer.assign(size_t{count} * PAGE_ANSWER, 0);
    return sendPacket(packet(OP_READ_PAGES, page, count)) &&
           readAnswer(answer.data(), static_cast<uint32_t>(answer.size()));
}

bool DeviceClient::readSpares(uint32_t page, uint16_t count, std::vector<uint8_t>& answer) {
    answer.assign(size_t{count} * SPARE_ANSWER, 0);
    return sendPacket(packet(OP_READ_SPARES, page, count)) &&
           readAnswer(answer.data(), static_cast<uint32_t>(answer.size()));
}

bool DeviceClient::programPage(uint32_t page, const std::vector<uint8_t>& dataAndSpare) {
    std::vector<uint8_t> transfer(dataAndSpare);
    transfer.resize(roundUpToPacket(transfer.size()), 0);
    return sendPacket(packet(OP_PROGRAM, page, static_cast<uint16_t>(dataAndSpare.size()))) &&
           bulkWrite(driver::PIPE_DATA_OUT, transfer.data(), static_cast<uint32_t>(transfer.size())).ok;
}

bool DeviceClient::eraseBlock(uint32_t firstPage) { return sendPacket(packet(OP_ERASE, firstPage, 0)); }

bool DeviceClient::readEeprom(uint16_t address, uint8_t out[32]) {
    std::array<uint8_t, PACKET> p{};
    p[0] = OP_READ_EEPROM;
    p[1] = EEPROM_CHUNK;
    storeBe16(p.data() + 2, address);
    return sendPacket(p) && readAnswer(out, EEPROM_CHUNK);
}

bool DeviceClient::writeEeprom(uint16_t address, const uint8_t data[32]) {
    std::array<uint8_t, PACKET> p{};
    p[0] = OP_WRITE_EEPROM;
    p[1] = EEPROM_CHUNK;
    storeBe16(p.data() + 2, address);
    std::copy_n(data, EEPROM_CHUNK, p.begin() + 4);
    return sendPacket(p);
}

std::string DeviceClient::simCommand(const std::string& text) {
    std::vector<char> answer(16384);
    const auto r = control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()), answer.data(),
                           static_cast<uint32_t>(answer.size()));
    if (!r.ok) return "error: request failed (" + std::to_string(r.error) + ")";
    return std::string(answer.data(), r.bytes);
}

uint64_t statValue(const std::string& stats, const std::string& key) {
    std::istringstream lines(stats);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || trim(std::string_view(line).substr(0, eq)) != key) continue;
        uint64_t value = 0;
        std::istringstream(line.substr(eq + 1)) >> value;
        return value;
    }
    return 0;
}

}  // namespace kestrel::sim
