// A driver-level client of the simulated Kestrel: the requests and command
// packets the product sends, without the product's link layer (no watchdog,
// no retries). The simulator's tools and tests use it to drive a device
// through any DeviceProvider (in process or KSIM).
#pragma once

#include "platform/device_provider.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::sim {

class DeviceClient {
public:
    static constexpr uint32_t PAGE_ANSWER = 576;
    static constexpr uint32_t SPARE_ANSWER = 64;
    static constexpr uint32_t PACKET = 64;
    static constexpr uint32_t CHUNK = 2048;  // the product's largest transfer

    explicit DeviceClient(std::shared_ptr<platform::DeviceProvider> provider) : provider_(std::move(provider)) {}

    // Opens "QlxUsb-0"; false with the open error.
    bool open(uint32_t* error = nullptr);
    // Polls open() until the device answers or `realMs` real milliseconds
    // have passed.
    bool waitForDevice(uint32_t realMs);
    bool isOpen() const { return connection_ != nullptr; }
    void close() { connection_.reset(); }

    // Raw requests; a closed client fails them with error 6.
    platform::ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength);
    platform::ControlResult bulkRead(uint32_t pipe, void* data, uint32_t length);
    platform::ControlResult bulkWrite(uint32_t pipe, const void* data, uint32_t length);
    platform::ControlResult resetPipe(uint32_t pipe);
    platform::ControlResult abortPipe(uint32_t pipe);
    platform::ControlResult setCpuHeld(bool held);
    platform::ControlResult download(uint16_t offset, const std::vector<uint8_t>& image);
    // The pipe count of CTL_GET_PIPE_INFO, or -1 when the request failed.
    int64_t pipeCount();

    // Holds the x51, downloads `image`, releases it and reopens the device
    // once it is back on the bus (at most `realMs` real milliseconds).
    bool loadFirmware(const std::vector<uint8_t>& image, uint32_t realMs = 20000);

    // Command packets (one 64-byte transfer on pipe 3) and their answers.
    static std::array<uint8_t, PACKET> packet(uint8_t op, uint32_t address, uint16_t count, uint8_t sm = 0);
    bool sendPacket(const std::array<uint8_t, PACKET>& packet);
    // Reads exactly `length` answer bytes in transfers of at most CHUNK.
    bool readAnswer(uint8_t* out, uint32_t length);

    bool readId(uint8_t id[4]);
    // The status register (byte 1 of the answer).
    bool readStatus(uint8_t& status);
    // Polls the status until the card is ready; the status register.
    bool waitReady(uint8_t& status, int attempts = 10000);
    bool readPages(uint32_t page, uint16_t count, std::vector<uint8_t>& answer);  // count x 576
    bool readSpares(uint32_t page, uint16_t count, std::vector<uint8_t>& answer); // count x 64
    // Programs page data and spare (one data phase, padded to 64 bytes).
    bool programPage(uint32_t page, const std::vector<uint8_t>& dataAndSpare);
    bool eraseBlock(uint32_t firstPage);
    bool readEeprom(uint16_t address, uint8_t out[32]);
    bool writeEeprom(uint16_t address, const uint8_t data[32]);

    // CTL_SIM_COMMAND; the answer text, or "error: request failed (N)".
    std::string simCommand(const std::string& text);

private:
    std::shared_ptr<platform::DeviceProvider> provider_;
    std::unique_ptr<platform::DeviceConnection> connection_;
};

// One `key = value` value of a statistics text; 0 when absent.
uint64_t statValue(const std::string& stats, const std::string& key);

}  // namespace kestrel::sim
