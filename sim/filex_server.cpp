#include "sim/filex_server.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"

#include <algorithm>

namespace kestrel::sim {

using filex::Direction;
using filex::FilexCommand;

FirmwareProgram::WriteResult FilexServerFirmware::bulkWrite(uint32_t pipe, const uint8_t* data, size_t length) {
    if (pipe == driver::PIPE_COMMAND) {
        if (length > 0) packet(data, length);
        return WriteResult::Accepted;
    }
    if (pipe == driver::PIPE_DATA_OUT) return dataOut(data, length);
    return WriteResult::Accepted;
}

void FilexServerFirmware::packet(const uint8_t* data, size_t length) {
    hw_.pipes.discardAnswers();
    pending_.reset();
    stalled_ = false;
    if (!filex::isCommandBlock(data, static_cast<uint32_t>(std::min<size_t>(length, filex::COMMAND_TRANSFER))))
        return;
    ++hw_.counters.commands;
    stalled_ = hw_.faults.takeStall();
    if (!stalled_) begin(filex::decodeCommand(data));
}

void FilexServerFirmware::begin(const FilexCommand& command) {
    const auto direction = static_cast<Direction>(command.direction);
    if (filex::dataPhaseBytes(command) > filex::TRANSFER_BUFFER_SIZE) {
        answerStatus(-1);
        return;
    }
    if (direction == Direction::ToDevice && command.dataLength > 0) {
        pending_ = PendingData{command, {}};
        pending_->bytes.reserve(command.dataLength);
        return;
    }
    run(command, {});
}

FirmwareProgram::WriteResult FilexServerFirmware::dataOut(const uint8_t* data, size_t length) {
    if (stalled_) return WriteResult::Blocked;
    if (!pending_) return WriteResult::Accepted;  // no data phase expected: dropped
    auto& bytes = pending_->bytes;
    const size_t wanted = std::min<size_t>(length, pending_->command.dataLength - bytes.size());
    bytes.insert(bytes.end(), data, data + wanted);
    if (bytes.size() == pending_->command.dataLength) {
        const PendingData complete = std::move(*pending_);
        pending_.reset();
        run(complete.command, complete.bytes);
    }
    return WriteResult::Accepted;
}

void FilexServerFirmware::run(const FilexCommand& command, const std::vector<uint8_t>& data) {
    const auto direction = static_cast<Direction>(command.direction);
    if (direction != Direction::FromDevice && direction != Direction::ToDevice && direction != Direction::None) {
        answerStatus(-1);
        return;
    }
    FilexSession::Reply reply = session_.execute(command, data);
    if (direction == Direction::FromDevice) {
        // The host reads the whole rounded phase: pad with zeros, and never
        // deliver more than the command asked for.
        reply.data.resize(std::min<size_t>(reply.data.size(), command.dataLength));
        reply.data.resize(filex::dataPhaseBytes(command), 0);
        if (!reply.data.empty()) hw_.pipes.setAnswer(driver::PIPE_DATA_IN, std::move(reply.data));
    }
    answerStatus(reply.status);
}

void FilexServerFirmware::answerStatus(int32_t status) {
    std::vector<uint8_t> word(filex::STATUS_LENGTH);
    storeLe32(word.data(), static_cast<uint32_t>(status));
    hw_.pipes.setAnswer(driver::PIPE_STATUS, std::move(word));
}

}  // namespace kestrel::sim
