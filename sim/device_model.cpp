#include "sim/device_model.h"

#include "sim/card_backend.h"
#include "sim/direct_card_commands.h"

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/driver_interface.h"
#include "platform/ksim_protocol.h"

#include <algorithm>
#include <cstring>

namespace kestrel::sim {

namespace {

using platform::ControlResult;

ControlResult success(uint32_t bytes = 0) { return {true, 0, bytes}; }
ControlResult failure(uint32_t error) { return {false, error, 0}; }

// Pipe information as the host's USB stack lays it out for a 32-bit driver:
// interface header, pipe count at 12, then 20 bytes per pipe.
constexpr uint32_t PIPE_RECORD_OFFSET = 16;
constexpr uint32_t PIPE_RECORD_LENGTH = 20;
constexpr uint8_t ENDPOINTS[PipeSet::COUNT] = {0x02, 0x82, 0x04, 0x01, 0x84, 0x81};
constexpr uint32_t BULK_PIPE_TYPE = 2;
constexpr uint32_t MAX_TRANSFER_SIZE = 0x10000;

class Connection final : public SimConnection {
public:
    Connection(std::shared_ptr<DeviceModel> model, uint64_t enumeration) : model_(std::move(model)) {
        handle_.enumeration = enumeration;
    }
    ControlResult control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength) override {
        return model_->control(handle_, code, in, inLength, out, outLength);
    }
    void cancel() override { model_->cancel(handle_); }

private:
    std::shared_ptr<DeviceModel> model_;
    DeviceModel::Handle handle_;
};

// The bytes a request moves over the bus.
uint32_t transferBytes(uint32_t code, uint32_t outLength) {
    switch (code) {
    case driver::CTL_BULK_READ:
    case driver::CTL_BULK_WRITE:
    case driver::CTL_DOWNLOAD:
        return outLength;
    default:
        return 0;
    }
}

}  // namespace

DeviceModel::DeviceModel(DeviceConfig config, std::unique_ptr<NandCard> card, std::unique_ptr<BootEeprom> eeprom,
                         std::unique_ptr<RequestTrace> trace)
    : config_(std::move(config)),
      card_(std::move(card)),
      eeprom_(std::move(eeprom)),
      trace_(std::move(trace)),
      faults_(config_),
      hardware_{*card_, *eeprom_, clock_, counters_, faults_, pipes_},
      reenumerateMs_(config_.reenumerateMs) {
    hardware_.files = config_.fileServer == FileServerStore::Card ? makeCardBackend(hardware_) : makeMemoryBackend();
    powerOn();
}

std::unique_ptr<SimConnection> DeviceModel::open(uint32_t, uint32_t, uint32_t& error) {
    std::lock_guard lock(mutex_);
    refreshBus();
    if (bus_ != Bus::Present) {
        error = driver::ERR_FILE_NOT_FOUND;
        return nullptr;
    }
    error = 0;
    return std::make_unique<Connection>(shared_from_this(), enumeration_);
}

void DeviceModel::cancel(Handle& handle) {
    std::lock_guard lock(mutex_);
    handle.cancelled = true;
    changed_.notify_all();
}

ControlResult DeviceModel::control(Handle& handle, uint32_t code, const void* in, uint32_t inLength, void* out,
                                   uint32_t outLength) {
    if (code == ksim::CTL_SIM_COMMAND) return simCommandRequest(in, inLength, out, outLength);
    if ((inLength > 0 && !in) || (outLength > 0 && !out)) return failure(driver::ERR_INVALID_PARAMETER);

    Lock lock(mutex_);
    refreshBus();
    ControlResult result;
    if (handle.cancelled) {
        result = failure(driver::ERR_OPERATION_ABORTED);
    } else if (!live(handle)) {
        result = failure(driver::ERR_DEVICE_NOT_CONNECTED);
    } else {
        ++counters_.requests;
        clock_.chargeRequest(transferBytes(code, outLength));
        result = dispatch(lock, handle, code, static_cast<const uint8_t*>(in), inLength,
                          static_cast<uint8_t*>(out), outLength);
        noticePowerLoss();
    }
    const uint64_t now = clock_.now();
    lock.unlock();
    if (trace_) trace_->record(now, code, in, inLength, out, outLength, result);
    return result;
}

ControlResult DeviceModel::dispatch(Lock& lock, Handle& handle, uint32_t code, const uint8_t* in,
                                    uint32_t inLength, uint8_t* out, uint32_t outLength) {
    const bool hasPipe = inLength >= 4;
    const uint32_t pipe = hasPipe ? loadLe32(in) : PipeSet::COUNT;
    switch (code) {
    case driver::CTL_GET_PIPE_INFO:
        return pipeInfo(out, outLength);
    case driver::CTL_VENDOR_REQUEST:
        return vendorRequest(in, inLength);
    case driver::CTL_RESET_PIPE:
    case driver::CTL_ABORT_PIPE:
        return pipeControl(code, in, inLength);
    case driver::CTL_BULK_READ:
        if (!PipeSet::exists(pipe) || !PipeSet::isIn(pipe)) return failure(driver::ERR_INVALID_PARAMETER);
        return bulkRead(lock, handle, pipe, out, outLength);
    case driver::CTL_BULK_WRITE:
        if (!PipeSet::exists(pipe) || PipeSet::isIn(pipe)) return failure(driver::ERR_INVALID_PARAMETER);
        return bulkWrite(lock, handle, pipe, out, outLength);
    case driver::CTL_DOWNLOAD:
        return download(in, inLength, out, outLength);
    default:
        return failure(driver::ERR_INVALID_FUNCTION);
    }
}

ControlResult DeviceModel::pipeInfo(uint8_t* out, uint32_t outLength) {
    if (outLength < driver::PIPE_INFO_LENGTH) return failure(driver::ERR_INVALID_PARAMETER);
    std::fill_n(out, driver::PIPE_INFO_LENGTH, uint8_t{0});
    storeLe16(out, static_cast<uint16_t>(PIPE_RECORD_OFFSET + PipeSet::COUNT * PIPE_RECORD_LENGTH));
    out[4] = 0xFF;  // vendor-specific interface class
    storeLe32(out + driver::PIPE_INFO_COUNT_OFFSET, PipeSet::COUNT);
    for (uint32_t i = 0; i < PipeSet::COUNT; ++i) {
        uint8_t* record = out + PIPE_RECORD_OFFSET + i * PIPE_RECORD_LENGTH;
        storeLe16(record, static_cast<uint16_t>(ModelledClock::PACKET_BYTES));
        record[2] = ENDPOINTS[i];
        storeLe32(record + 4, BULK_PIPE_TYPE);
        storeLe32(record + 8, 0x1000 + i);  // pipe handle
        storeLe32(record + 12, MAX_TRANSFER_SIZE);
    }
    return success(driver::PIPE_INFO_LENGTH);
}

ControlResult DeviceModel::vendorRequest(const uint8_t* in, uint32_t inLength) {
    if (inLength < driver::VENDOR_REQUEST_LENGTH) return failure(driver::ERR_INVALID_PARAMETER);
    const bool cpuControl = in[driver::VR_REQUEST] == driver::EZUSB_FIRMWARE_LOAD &&
                            loadLe16(in + driver::VR_VALUE) == driver::EZUSB_CPUCS;
    if (cpuControl) {
        if (in[driver::VR_DATA] & 1) holdCpu();
        else releaseCpu();
    }
    return success();
}

ControlResult DeviceModel::pipeControl(uint32_t code, const uint8_t* in, uint32_t inLength) {
    if (inLength < 4 || !PipeSet::exists(loadLe32(in))) return failure(driver::ERR_INVALID_PARAMETER);
    if (code == driver::CTL_ABORT_PIPE) {
        pipes_.abort(loadLe32(in));
        changed_.notify_all();
    }
    return success();
}

ControlResult DeviceModel::bulkRead(Lock& lock, Handle& handle, uint32_t pipe, uint8_t* out, uint32_t length) {
    const uint64_t generation = pipes_.abortGeneration(pipe);
    ++counters_.pendingTransfers;
    changed_.wait(lock, [&] {
        return length == 0 || pipes_.available(pipe) > 0 || pipes_.abortGeneration(pipe) != generation ||
               !live(handle) || handle.cancelled;
    });
    --counters_.pendingTransfers;
    if (!live(handle)) return failure(driver::ERR_DEVICE_NOT_CONNECTED);
    if (handle.cancelled || pipes_.abortGeneration(pipe) != generation)
        return failure(driver::ERR_OPERATION_ABORTED);
    const auto n = static_cast<uint32_t>(pipes_.take(pipe, out, length));
    counters_.bytesFromDevice += n;
    return success(n);
}

ControlResult DeviceModel::bulkWrite(Lock& lock, Handle& handle, uint32_t pipe, const uint8_t* data,
                                     uint32_t length) {
    counters_.bytesToDevice += length;
    if (program_->bulkWrite(pipe, data, length) == FirmwareProgram::WriteResult::Blocked)
        return waitForAbort(lock, handle, pipe);
    changed_.notify_all();
    return success(length);
}

ControlResult DeviceModel::waitForAbort(Lock& lock, Handle& handle, uint32_t pipe) {
    const uint64_t generation = pipes_.abortGeneration(pipe);
    ++counters_.pendingTransfers;
    changed_.wait(lock, [&] {
        return pipes_.abortGeneration(pipe) != generation || !live(handle) || handle.cancelled;
    });
    --counters_.pendingTransfers;
    return failure(live(handle) ? driver::ERR_OPERATION_ABORTED : driver::ERR_DEVICE_NOT_CONNECTED);
}

ControlResult DeviceModel::download(const uint8_t* in, uint32_t inLength, const uint8_t* image, uint32_t length) {
    if (inLength < 2 || !memory_.write(loadLe16(in), image, length)) return failure(driver::ERR_INVALID_PARAMETER);
    counters_.bytesToDevice += length;
    return success(length);
}

ControlResult DeviceModel::simCommandRequest(const void* in, uint32_t inLength, void* out, uint32_t outLength) {
    if (inLength > 0 && !in) return failure(driver::ERR_INVALID_PARAMETER);
    const std::string text = in ? std::string(static_cast<const char*>(in), inLength) : std::string();
    const std::string answer = command(text);
    const auto n = static_cast<uint32_t>(std::min<size_t>(answer.size(), outLength));
    if (n > 0) std::memcpy(out, answer.data(), n);
    return success(n);
}

void DeviceModel::holdCpu() {
    cpuHeld_ = true;
    run(FirmwareKind::None);
}

void DeviceModel::releaseCpu() {
    if (!cpuHeld_) return;
    cpuHeld_ = false;
    leaveBus(Bus::Reenumerating);
    backAtMs_ = platform::tickMs() + reenumerateMs_;
}

void DeviceModel::leaveBus(Bus state) {
    bus_ = state;
    ++enumeration_;
    run(FirmwareKind::None);
    changed_.notify_all();
}

void DeviceModel::powerOn() {
    hardware_.powerLost = false;
    memory_.loadPowerOnImage();
    cpuHeld_ = false;
    bus_ = Bus::Present;
    run(memory_.identify());
}

void DeviceModel::noticePowerLoss() {
    if (hardware_.powerLost && bus_ != Bus::Unplugged) leaveBus(Bus::Unplugged);
}

void DeviceModel::refreshBus() {
    noticePowerLoss();
    if (bus_ != Bus::Reenumerating || platform::tickMs() < backAtMs_) return;
    bus_ = Bus::Present;
    run(memory_.identify());
}

void DeviceModel::run(FirmwareKind kind) {
    pipes_.discardAnswers();
    program_ = startFirmware(kind, hardware_);
}

std::unique_ptr<usblink::CardCommands> DeviceModel::directCardCommands() {
    return std::make_unique<DirectCardCommands>(shared_from_this(), mutex_, hardware_);
}

SimCounters DeviceModel::counters() const {
    std::lock_guard lock(mutex_);
    return countersLocked();
}

SimCounters DeviceModel::countersLocked() const {
    SimCounters c = counters_;
    c.modelledMicros = clock_.now();
    return c;
}

}  // namespace kestrel::sim
