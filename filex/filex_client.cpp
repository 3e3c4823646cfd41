#include "filex/filex_client.h"

#include "platform/clock.h"

#include <cstring>

namespace kestrel::filex {

namespace {

// Holds the file mutex for one operation: from before it fills the transfer
// buffer until it has copied its results out.
class OperationLock {
public:
    explicit OperationLock(FilexLink& link)
        : mutex_(link.fileMutex()),
          owned_(mutex_ && mutex_->lock(platform::WAIT_FOREVER) == platform::WaitResult::Signalled) {}
    ~OperationLock() {
        if (owned_) mutex_->unlock();
    }
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;
    explicit operator bool() const { return owned_; }

private:
    platform::NamedMutex* mutex_;
    bool owned_;
};

int32_t resultOf(const ExchangeResult& exchange, int32_t failure) {
    return exchange.completed() ? exchange.word : failure;
}

// A count the device reports for a transfer of `length` bytes: beyond the
// length it is no count at all.
int32_t checkedCount(int32_t result, uint32_t length) {
    return result > static_cast<int64_t>(length) ? -1 : result;
}

unsigned hex(int32_t value) { return static_cast<unsigned>(value); }
unsigned address(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

}  // namespace

FilexClient::FilexClient(FilexNames names, bool traces) : trace_(traces), link_(trace_, std::move(names)) {}

ExchangeResult FilexClient::exchange(const FilexCommand& command) {
    const ExchangeResult result = link_.RunFilexOperation(command);
    lastCompleted_ = result.completed();
    return result;
}

int32_t FilexClient::pathOperation(Opcode opcode, const char* path, uint32_t argA, int32_t failure) {
    const size_t length = std::strlen(path) + 1;
    if (length > TRANSFER_BUFFER_SIZE) return failure;  // cannot travel in one data phase
    const auto command = makeCommand(opcode, Direction::ToDevice, static_cast<uint32_t>(length), argA);
    OperationLock lock(link_);
    lastCompleted_ = false;
    if (!lock) return failure;
    uint8_t* buffer = link_.transferBuffer();
    std::memset(buffer, 0, roundUpToPacket(length));
    std::memcpy(buffer, path, length);
    return resultOf(exchange(command), failure);
}

int32_t FilexClient::plainOperation(Opcode opcode, uint32_t argA, uint32_t argB, uint32_t argC) {
    const auto command = makeCommand(opcode, Direction::None, 0, argA, argB, argC);
    OperationLock lock(link_);
    lastCompleted_ = false;
    if (!lock) return -1;
    return resultOf(exchange(command), -1);
}

int32_t FilexClient::receiveOperation(Opcode opcode, uint32_t argA, uint32_t argB, uint32_t length, uint8_t* out,
                                      int32_t failure) {
    const auto command = makeCommand(opcode, Direction::FromDevice, length, argA, argB);
    OperationLock lock(link_);
    lastCompleted_ = false;
    if (!lock) {
        std::memset(out, 0, length);
        return failure;
    }
    uint8_t* buffer = link_.transferBuffer();
    std::memset(buffer, 0, roundUpToPacket(length));
    const int32_t result = resultOf(exchange(command), failure);
    std::memcpy(out, buffer, length);  // bytes the device did not deliver read as 0
    return result;
}

int32_t FilexClient::open(const char* path, int32_t flags) {
    if (!path) return -1;
    const int32_t result = pathOperation(Opcode::Open, path, static_cast<uint32_t>(flags), -1);
    trace_("hflx:_open('%s',%X)->%X\n", path, hex(flags), hex(result));
    return result;
}

int32_t FilexClient::fstat(int32_t fd, FilexStat* record) {
    if (!record) return -1;
    const int32_t result =
        receiveOperation(Opcode::Fstat, static_cast<uint32_t>(fd), 0, FilexStat::SIZE, record->bytes.data(), -1);
    trace_("hflx:_fstat(%X)->%X\n", hex(fd), hex(result));
    return result;
}

int32_t FilexClient::read(int32_t fd, void* buffer, uint32_t length) {
    if (!buffer || length > MAX_READ_WRITE) return 0;
    const int32_t result = checkedCount(
        receiveOperation(Opcode::Read, static_cast<uint32_t>(fd), length, length, static_cast<uint8_t*>(buffer), -1),
        length);
    trace_("hflx:_read(%X,%X,%d)->%X\n", hex(fd), address(buffer), static_cast<int>(length), hex(result));
    return result;
}

int32_t FilexClient::lseek(int32_t fd, int32_t offset, int32_t origin) {
    const int32_t result = plainOperation(Opcode::Lseek, static_cast<uint32_t>(fd), static_cast<uint32_t>(offset),
                                          static_cast<uint32_t>(origin));
    trace_("hflx:_lseek(%X,%d,%d)->%X\n", hex(fd), offset, origin, hex(result));
    return result;
}

int32_t FilexClient::write(int32_t fd, const void* buffer, uint32_t length) {
    if (!buffer || length > MAX_READ_WRITE) return 0;
    const auto command = makeCommand(Opcode::Write, Direction::ToDevice, length, static_cast<uint32_t>(fd), length);
    int32_t result = -1;
    {
        OperationLock lock(link_);
        lastCompleted_ = false;
        if (lock) {
            uint8_t* data = link_.transferBuffer();
            std::memcpy(data, buffer, length);
            // The padding up to the packet boundary carries no meaning; zeros
            // rather than whatever an earlier operation left there.
            std::memset(data + length, 0, roundUpToPacket(length) - length);
            result = checkedCount(resultOf(exchange(command), -1), length);
        }
    }
    trace_("hflx:_write(%X,%X,%d)->%X\n", hex(fd), address(buffer), static_cast<int>(length), hex(result));
    return result;
}

int32_t FilexClient::close(int32_t fd) {
    const int32_t result = plainOperation(Opcode::Close, static_cast<uint32_t>(fd));
    trace_("hflx:_close(%X)->%X\n", hex(fd), hex(result));
    return result;
}

int32_t FilexClient::unlink(const char* path) {
    if (!path) return -1;
    const int32_t result = pathOperation(Opcode::Unlink, path, 0, -1);
    trace_("hflx:_unlink('%s')->%X\n", path, hex(result));
    return result;
}

int32_t FilexClient::mkdir(const char* path, int32_t mode) {
    if (!path) return -1;
    const int32_t result = pathOperation(Opcode::Mkdir, path, static_cast<uint32_t>(mode), -1);
    trace_("hflx:_mkdir('%s',%d)->%X\n", path, mode, hex(result));
    return result;
}

int32_t FilexClient::rmdir(const char* path) {
    if (!path) return -1;
    const int32_t result = pathOperation(Opcode::Rmdir, path, 0, -1);
    trace_("hflx:_rmdir('%s')->%X\n", path, hex(result));
    return result;
}

int32_t FilexClient::fsync(int32_t fd) {
    const int32_t result = plainOperation(Opcode::Fsync, static_cast<uint32_t>(fd));
    trace_("hflx:_fsync(%X)->%X\n", hex(fd), hex(result));
    return result;
}

int32_t FilexClient::sync() {
    const int32_t result = plainOperation(Opcode::Sync, 0);
    trace_("hflx:_sync()->%X\n", hex(result));
    return result;
}

int32_t FilexClient::opendir(const char* path) {
    if (!path) return 0;
    const int32_t result = pathOperation(Opcode::Opendir, path, 0, 0);
    trace_("hflx:_opendir('%s')->%X\n", path, hex(result));
    return result;
}

int32_t FilexClient::readdir(int32_t dir, FilexDirEntry* record) {
    if (!record) return 0;
    const int32_t result = receiveOperation(Opcode::Readdir, static_cast<uint32_t>(dir), 0, FilexDirEntry::SIZE,
                                            record->bytes.data(), 0);
    record->terminateName();
    trace_("hflx:_readdir(%X)->%X '%s'\n", hex(dir), hex(result), record->nameText());
    return result;
}

int32_t FilexClient::rewinddir(int32_t dir) {
    const int32_t result = plainOperation(Opcode::Rewinddir, static_cast<uint32_t>(dir));
    trace_("hflx:_rewinddir(%X)->%X\n", hex(dir), hex(result));
    return result;
}

int32_t FilexClient::closedir(int32_t dir) {
    const int32_t result = plainOperation(Opcode::Closedir, static_cast<uint32_t>(dir));
    trace_("hflx:_closedir(%X)->%X\n", hex(dir), hex(result));
    return result;
}

}  // namespace kestrel::filex
