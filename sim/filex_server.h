// The main firmware: the device's filex file server.
//
//   pipe 3  a command block (64-byte transfer: magic 0xA5, length 20,
//           direction, opcode, data length, three arguments). Any packet
//           on pipe 3 ends the exchange before it: unread answers and an
//           unfinished data phase are dropped. A packet that is not a
//           command block is ignored after that.
//   pipe 0  direction 1: the data phase, dataLength bytes taken from the
//           host's transfers (their padding to 64 bytes is dropped). The
//           command runs once the last byte arrived.
//   pipe 1  direction 0: the command runs at once; its data, zero-padded
//           to dataLength rounded up to 64 bytes, waits here.
//   pipe 5  the 4-byte status word (signed, little-endian), ready once the
//           command has run.
// A command whose data phase exceeds the 65,536-byte transfer buffer is not
// run: its status is -1 (and it delivers no data).
//
// Each command block counts as one firmware command for the fault plan: a
// stalled command is not run, answers nothing and never takes its data
// phase, until the next packet.
#pragma once

#include "filex/filex_wire.h"
#include "sim/filex_backend.h"
#include "sim/filex_session.h"
#include "sim/firmware_program.h"

#include <memory>
#include <optional>
#include <vector>

namespace kestrel::sim {

class FilexServerFirmware final : public FirmwareProgram {
public:
    // Serves `backend`, which the program keeps alive while it runs.
    FilexServerFirmware(DeviceHardware& hardware, std::shared_ptr<FilexBackend> backend)
        : hw_(hardware), backend_(std::move(backend)), session_(*backend_) {
        backend_->firmwareStarted();
    }
    FirmwareKind kind() const override { return FirmwareKind::Main; }
    WriteResult bulkWrite(uint32_t pipe, const uint8_t* data, size_t length) override;

private:
    void packet(const uint8_t* data, size_t length);
    void begin(const filex::FilexCommand& command);
    WriteResult dataOut(const uint8_t* data, size_t length);
    void run(const filex::FilexCommand& command, const std::vector<uint8_t>& data);
    void answerStatus(int32_t status);

    struct PendingData {
        filex::FilexCommand command;
        std::vector<uint8_t> bytes;
    };

    DeviceHardware& hw_;
    std::shared_ptr<FilexBackend> backend_;
    FilexSession session_;
    bool stalled_ = false;
    std::optional<PendingData> pending_;
};

}  // namespace kestrel::sim
