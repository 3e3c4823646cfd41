// Fuzz target: the device's file server (the main firmware) taking command
// blocks and data phases from the host, over an in-memory backend of 1 MB.
// Each input is a fresh server; its bytes are a list of steps:
//
//   kind 0  a command block: direction (1 byte), opcode (1), data length
//           (4), arguments A, B, C (4 each); sent as one 64-byte transfer
//           on pipe 3 with the right magic and block length
//   kind 1  a raw transfer on pipe 3: length (1 byte), the bytes
//   kind 2  a transfer on pipe 0 (a data phase): length (2 bytes, at most
//           8192), the bytes, zeros where the input ran out
//   kind 3  the host reads: pipe 1 or 5 (1 byte: even 1, odd 5), length (2)
//
// The kind is the low two bits of the step's first byte. Checked beyond the
// sanitizers: the answers a command block leaves (checkAnswers).
#include "filex/filex_wire.h"
#include "fuzz/fuzz_support.h"
#include "platform/driver_interface.h"
#include "sim/backing_file.h"
#include "sim/boot_eeprom.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/filex_server.h"
#include "sim/firmware_program.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kestrel::fuzz {
namespace {

constexpr uint64_t BACKEND_CAPACITY = 1u << 20;
constexpr uint32_t MAX_DATA_TRANSFER = 8192;

class FilexTarget {
public:
    FilexTarget() {
        prepareEnvironment();
        makeDeviceFolder(folder_.path(), 1);
        const auto config = sim::readDeviceConfig(folder_.path());
        if (!config || !config->geometry()) fail("device configuration");
        geometry_ = *config->geometry();
    }

    void run(const uint8_t* data, size_t size) {
        std::string error;
        auto nandImage = sim::BackingFile::open(sim::folderFile(folder_.path(), sim::NAND_FILE),
                                                geometry_.pages() * geometry_.pageBytes(), &error);
        auto eepromImage = sim::BackingFile::open(sim::folderFile(folder_.path(), sim::EEPROM_FILE),
                                                  sim::BootEeprom::SIZE, &error);
        if (!nandImage || !eepromImage) fail("device files: " + error);
        sim::NandCard card(geometry_, std::move(nandImage));
        sim::BootEeprom eeprom(std::move(eepromImage));
        sim::ModelledClock clock;
        sim::SimCounters counters;
        sim::FaultPlan faults;
        sim::PipeSet pipes;
        sim::DeviceHardware hardware{card, eeprom, clock, counters, faults, pipes};
        sim::FilexServerFirmware server(hardware, sim::makeMemoryBackend(BACKEND_CAPACITY));

        ByteReader input(data, size);
        while (!input.empty()) step(input, server, pipes);
    }

private:
    // A command without a data phase to the device runs at once: one status
    // word waits on pipe 5, and a command with data from the device leaves
    // exactly its rounded data phase on pipe 1.
    static void checkAnswers(const filex::FilexCommand& command, sim::PipeSet& pipes) {
        const auto direction = static_cast<filex::Direction>(command.direction);
        const uint64_t phase = filex::dataPhaseBytes(command);
        const bool waitsForData = direction == filex::Direction::ToDevice && command.dataLength > 0 &&
                                  phase <= filex::TRANSFER_BUFFER_SIZE;
        if (waitsForData) return;
        if (pipes.available(driver::PIPE_STATUS) != filex::STATUS_LENGTH)
            fail("a command that ran left no single status word");
        const uint64_t expected =
            direction == filex::Direction::FromDevice && phase <= filex::TRANSFER_BUFFER_SIZE ? phase : 0;
        if (pipes.available(driver::PIPE_DATA_IN) != expected) fail("a data phase from the device of the wrong size");
    }

    static void step(ByteReader& input, sim::FilexServerFirmware& server, sim::PipeSet& pipes) {
        switch (input.u8() & 3) {
        case 0: {
            filex::FilexCommand command;
            command.direction = input.u8();
            command.opcode = input.u8();
            command.dataLength = input.u32();
            command.argA = input.u32();
            command.argB = input.u32();
            command.argC = input.u32();
            std::vector<uint8_t> block(filex::COMMAND_TRANSFER, 0);
            filex::encodeCommand(command, block.data());
            (void)server.bulkWrite(driver::PIPE_COMMAND, block.data(), block.size());
            checkAnswers(command, pipes);
            break;
        }
        case 1: {
            const std::vector<uint8_t> bytes = input.bytes(input.u8());
            (void)server.bulkWrite(driver::PIPE_COMMAND, bytes.data(), bytes.size());
            break;
        }
        case 2: {
            const size_t length = std::min<size_t>(input.u16(), MAX_DATA_TRANSFER);
            std::vector<uint8_t> bytes = input.bytes(length);
            bytes.resize(length, 0);
            (void)server.bulkWrite(driver::PIPE_DATA_OUT, bytes.data(), bytes.size());
            break;
        }
        default: {
            const uint32_t pipe = (input.u8() & 1) == 0 ? driver::PIPE_DATA_IN : driver::PIPE_STATUS;
            std::vector<uint8_t> out(input.u16());
            (void)pipes.take(pipe, out.data(), out.size());
            break;
        }
        }
    }

    TempFolder folder_;
    sim::CardGeometry geometry_{};
};

}  // namespace
}  // namespace kestrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kestrel::fuzz::FilexTarget target;
    target.run(data, size);
    return 0;
}
