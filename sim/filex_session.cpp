#include "sim/filex_session.h"

#include "filex/filex_records.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestrel::sim {

namespace {

using filex::FilexCommand;
using filex::Opcode;
using Reply = FilexSession::Reply;

constexpr uint32_t MODE_FOLDER = 0x4000;
constexpr uint32_t MODE_FILE = 0x8000;
constexpr uint32_t BLOCK = 512;

// Seconds since 1970 of an MS-DOS date and time (0 for an invalid date).
uint32_t unixSeconds(uint16_t date, uint16_t time) {
    using namespace std::chrono;
    const year_month_day day{year{1980 + (date >> 9)}, month{static_cast<unsigned>((date >> 5) & 15)},
                             std::chrono::day{static_cast<unsigned>(date & 31)}};
    if (!day.ok()) return 0;
    const auto since = sys_days{day}.time_since_epoch();
    const int64_t seconds = duration_cast<std::chrono::seconds>(since).count() + (time >> 11) * 3600 +
                            ((time >> 5) & 63) * 60 + (time & 31) * 2;
    return static_cast<uint32_t>(seconds);
}

std::vector<uint8_t> statRecord(const FileInfo& info) {
    std::vector<uint8_t> record(filex::FilexStat::SIZE, 0);
    uint8_t* r = record.data();
    const bool readOnly = (info.attributes & filex::ATTR_READ_ONLY) != 0;
    const uint32_t permissions = info.directory ? 0755 : (readOnly ? 0444 : 0644);
    const uint32_t stamp = unixSeconds(info.dosDate, info.dosTime);
    storeLe32(r + 4, info.id);
    storeLe32(r + 8, (info.directory ? MODE_FOLDER : MODE_FILE) | permissions);
    storeLe32(r + 12, 1);
    storeLe32(r + filex::FilexStat::FILE_SIZE, info.size);
    storeLe32(r + 32, stamp);
    storeLe32(r + 36, stamp);
    storeLe32(r + 40, stamp);
    storeLe32(r + 44, BLOCK);
    storeLe32(r + 48, (info.size + BLOCK - 1) / BLOCK);
    storeLe32(r + 52, info.attributes);
    storeLe32(r + 56, info.dosTime);
    storeLe32(r + 60, info.dosDate);
    return record;
}

std::vector<uint8_t> entryRecord(const DirectoryEntry& entry) {
    filex::FilexDirEntry record;
    storeLe32(record.bytes.data(), entry.info.id);
    storeLe16(record.bytes.data() + 4, static_cast<uint16_t>(filex::FilexDirEntry::SIZE));
    record.setName(entry.name);
    storeLe16(record.bytes.data() + 6, static_cast<uint16_t>(record.name().size()));
    record.setAttributes(entry.info.attributes);
    record.setDosTime(entry.info.dosTime);
    record.setDosDate(entry.info.dosDate);
    record.setFileSize(entry.info.size);
    return {record.bytes.begin(), record.bytes.end()};
}

Reply status(int32_t value) { return Reply{value, {}}; }

// The backend's flags for the flags of an _open: write-only with create
// and without append (0x201, how files are copied onto the device) also
// truncates, so that a shorter copy leaves no old tail behind.
uint32_t backendOpenFlags(uint32_t flags) {
    const bool writeOnly = (flags & OPEN_ACCESS_MASK) == OPEN_WRITE_ONLY;
    const bool replaces = writeOnly && (flags & OPEN_CREATE) != 0 && (flags & OPEN_APPEND) == 0;
    return replaces ? flags | OPEN_TRUNCATE : flags;
}

}  // namespace

bool pathOf(const std::vector<uint8_t>& data, std::string& path) {
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    if (end == data.end()) return false;
    path.assign(data.begin(), end);
    return true;
}

int32_t FilexSession::outcome(int64_t result, int32_t failure) {
    if (result < 0) return failure;
    return static_cast<int32_t>(std::min<int64_t>(result, std::numeric_limits<int32_t>::max()));
}

FilexFile* FilexSession::file(uint32_t descriptor) { return files_.use(static_cast<int32_t>(descriptor)); }

FilexDirectory* FilexSession::directory(uint32_t handle) { return directories_.use(static_cast<int32_t>(handle)); }

Reply FilexSession::execute(const FilexCommand& command, const std::vector<uint8_t>& data) {
    switch (static_cast<Opcode>(command.opcode)) {
    case Opcode::Open: return open(command, data);
    case Opcode::Fstat: return fstat(command);
    case Opcode::Read: return read(command);
    case Opcode::Lseek: return lseek(command);
    case Opcode::Write: return write(command, data);
    case Opcode::Close: return close(command);
    case Opcode::Unlink:
    case Opcode::Mkdir:
    case Opcode::Rmdir: return pathCall(command, data);
    case Opcode::Fsync: return fsync(command);
    case Opcode::Sync: return status(outcome(backend_.sync()));
    case Opcode::Opendir: return opendir(command, data);
    case Opcode::Readdir: return readdir(command);
    case Opcode::Rewinddir: return rewinddir(command);
    case Opcode::Closedir: return closedir(command);
    }
    return status(outcome(-FX_EINVAL));
}

Reply FilexSession::open(const FilexCommand& command, const std::vector<uint8_t>& data) {
    std::string path;
    if (!pathOf(data, path)) return status(outcome(-FX_EINVAL));
    if (!files_.makeRoom()) return status(outcome(-FX_EMFILE));
    std::unique_ptr<FilexFile> opened;
    const uint32_t flags = backendOpenFlags(command.argA);
    int32_t error = backend_.open(path, flags, opened);
    // The card's file system holds fewer open files than the table.
    if (error == -FX_EMFILE && files_.reclaimIdle()) error = backend_.open(path, flags, opened);
    if (error < 0) return status(outcome(error));
    return status(outcome(files_.add(std::move(opened))));
}

Reply FilexSession::fstat(const FilexCommand& command) {
    FilexFile* f = file(command.argA);
    if (!f) return status(outcome(-FX_EBADF));
    FileInfo info;
    if (const int32_t error = f->stat(info); error < 0) return status(outcome(error));
    return Reply{outcome(0), statRecord(info)};
}

Reply FilexSession::read(const FilexCommand& command) {
    FilexFile* f = file(command.argA);
    if (!f) return status(outcome(-FX_EBADF));
    // Never more than the data phase can carry, whatever the length says.
    const uint32_t length = std::min(command.argB, command.dataLength);
    std::vector<uint8_t> bytes(length);
    const int32_t count = f->read(bytes.data(), length);
    if (count < 0) return status(outcome(count));
    bytes.resize(static_cast<size_t>(count));
    return Reply{outcome(count), std::move(bytes)};
}

Reply FilexSession::lseek(const FilexCommand& command) {
    FilexFile* f = file(command.argA);
    if (!f) return status(outcome(-FX_EBADF));
    const int64_t before = f->seek(0, SEEK_FROM_CURRENT);
    const int64_t position = f->seek(static_cast<int32_t>(command.argB), static_cast<int32_t>(command.argC));
    if (position > std::numeric_limits<int32_t>::max()) {
        (void)f->seek(before, SEEK_FROM_START);  // a position the answer cannot carry is not taken
        return status(outcome(-FX_EOVERFLOW));
    }
    return status(outcome(position));
}

Reply FilexSession::write(const FilexCommand& command, const std::vector<uint8_t>& data) {
    FilexFile* f = file(command.argA);
    if (!f) return status(outcome(-FX_EBADF));
    const auto length = static_cast<uint32_t>(std::min<size_t>(command.argB, data.size()));
    return status(outcome(f->write(data.data(), length)));
}

Reply FilexSession::close(const FilexCommand& command) {
    const std::unique_ptr<FilexFile> closing = files_.remove(static_cast<int32_t>(command.argA));
    if (!closing) return status(outcome(-FX_EBADF));
    return status(outcome(closing->close()));
}

Reply FilexSession::pathCall(const FilexCommand& command, const std::vector<uint8_t>& data) {
    std::string path;
    if (!pathOf(data, path)) return status(outcome(-FX_EINVAL));
    switch (static_cast<Opcode>(command.opcode)) {
    case Opcode::Unlink: return status(outcome(backend_.unlink(path)));
    case Opcode::Mkdir: return status(outcome(backend_.mkdir(path, command.argA)));
    default: return status(outcome(backend_.rmdir(path)));
    }
}

Reply FilexSession::fsync(const FilexCommand& command) {
    FilexFile* f = file(command.argA);
    return status(outcome(f ? f->sync() : -FX_EBADF));
}

Reply FilexSession::opendir(const FilexCommand&, const std::vector<uint8_t>& data) {
    std::string path;
    if (!pathOf(data, path)) return status(outcome(-FX_EINVAL, 0));
    if (!directories_.makeRoom()) return status(outcome(-FX_EMFILE, 0));
    std::unique_ptr<FilexDirectory> opened;
    if (const int32_t error = backend_.openDirectory(path, opened); error < 0) return status(outcome(error, 0));
    return status(outcome(directories_.add(std::move(opened)), 0));
}

Reply FilexSession::readdir(const FilexCommand& command) {
    FilexDirectory* d = directory(command.argA);
    if (!d) return status(outcome(-FX_EBADF, 0));
    DirectoryEntry entry;
    const int32_t result = d->next(entry);
    if (result <= 0) return status(outcome(result, 0));
    return Reply{outcome(1), entryRecord(entry)};
}

Reply FilexSession::rewinddir(const FilexCommand& command) {
    FilexDirectory* d = directory(command.argA);
    if (!d) return status(outcome(-FX_EBADF));
    d->rewind();
    return status(outcome(0));
}

Reply FilexSession::closedir(const FilexCommand& command) {
    if (!directories_.remove(static_cast<int32_t>(command.argA))) return status(outcome(-FX_EBADF));
    return status(outcome(0));
}

}  // namespace kestrel::sim
