#include "sim/card_backend.h"

#include "fatfs/dir_entry.h"
#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "platform/byte_order.h"
#include "sim/card_names.h"
#include "sim/controller_card_commands.h"

#include <algorithm>
#include <array>
#include <functional>

namespace kestrel::sim {

namespace {

using fatfs::FileSystem;

constexpr size_t LONG_NAME_LIMIT = 39;
constexpr uint32_t LIST_BATCH = 32;
constexpr uint8_t ATTR_READ_ONLY = 0x01;
constexpr uint8_t ATTR_VOLUME_LABEL = 0x08;
constexpr uint32_t MODE_READ = 1;
constexpr uint32_t MODE_WRITE = 3;
// The zeros that fill a gap before a write past the end go in pieces of this size.
constexpr uint32_t GAP_PIECE = 32768;
constexpr const char* VOLUME = "dev0:\\";
// Characters no FAT name holds (besides the control characters). A
// backslash would also be taken as a separator by the file system's own
// path walk, past the checks made here.
constexpr std::string_view FORBIDDEN = "\\/:*?\"<>|";

// True when the card's FAT file system can hold `name`.
bool fatCanHold(std::string_view name) {
    const bool onlyDotsAndSpaces = name.find_first_not_of(". ") == std::string_view::npos;
    return !onlyDotsAndSpaces && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || FORBIDDEN.find(c) != std::string_view::npos;
    });
}

// The components of an absolute path (splitPath), each a name the card can
// hold: 0, or -EINVAL before anything is looked up or changed.
int32_t cardComponents(std::string_view path, std::vector<std::string>& components) {
    if (!splitPath(path, components)) return -FX_EINVAL;
    const bool holdable = std::all_of(components.begin(), components.end(), [](const std::string& c) { return fatCanHold(c); });
    return holdable ? 0 : -FX_EINVAL;
}

int32_t errorOf(uint32_t result) {
    switch (result) {
    case fatfs::FS_OK: return 0;
    case fatfs::FS_NOT_FOUND:
    case fatfs::FS_MOVE_NOT_FOUND: return -FX_ENOENT;
    case fatfs::FS_EXISTS: return -FX_EEXIST;
    case fatfs::FS_DISK_FULL:
    case fatfs::FS_ROOT_FULL: return -FX_ENOSPC;
    case fatfs::FS_INVALID: return -FX_EINVAL;
    case fatfs::FS_NOT_EMPTY: return -FX_ENOTEMPTY;
    case fatfs::FS_TOO_MANY_FILES:
    case fatfs::FS_TOO_MANY_INSTANCES: return -FX_EMFILE;
    case fatfs::FS_READ_ONLY: return -FX_EBADF;
    default: return -FX_EIO;
    }
}

// An entry of a directory on the card, as a listing shows it.
struct Listed {
    std::string shortName;  // "README.TXT"
    std::string name;       // the long name when there is one, else the short name
    FileInfo info;
};

FileInfo infoOf(const uint8_t* stat) {
    FileInfo info;
    info.attributes = static_cast<uint8_t>(loadLe32(stat));
    info.directory = (info.attributes & fatfs::ATTR_DIRECTORY) != 0;
    info.size = loadLe32(stat + 8);
    const uint32_t year = loadLe16(stat + 12);
    info.dosDate = static_cast<uint16_t>(((year > 1980 ? year - 1980 : 0) << 9) | (stat[14] << 5) | stat[15]);
    info.dosTime = static_cast<uint16_t>((stat[16] << 11) | (stat[17] << 5) | stat[18]);
    info.id = loadLe32(stat + 4);
    return info;
}

class CardBackend;

class CardFile final : public FilexFile {
public:
    CardFile(FileSystem& fs, std::string cardPath, uint32_t handle, uint32_t flags)
        : fs_(fs), cardPath_(std::move(cardPath)), handle_(handle), flags_(flags) {}
    ~CardFile() override { (void)close(); }

    int32_t read(uint8_t* out, uint32_t length) override;
    int32_t write(const uint8_t* data, uint32_t length) override;
    int64_t seek(int64_t offset, int32_t origin) override;
    int32_t stat(FileInfo& info) override;
    int32_t sync() override;
    int32_t close() override;

private:
    bool readable() const { return (flags_ & OPEN_ACCESS_MASK) != OPEN_WRITE_ONLY; }
    bool writable() const { return (flags_ & OPEN_ACCESS_MASK) != OPEN_READ_ONLY; }
    uint32_t size();
    uint32_t moveTo(uint32_t position);
    // -ENOSPC when the file cannot grow from `end` to `newEnd` bytes: never
    // beyond the card's capacity, and a gap only when the card has room
    // for it and the write behind it.
    int32_t checkRoom(uint32_t end, uint64_t newEnd);
    // Zeros from `end` up to the position, in pieces.
    int32_t fillGap(uint32_t end);

    FileSystem& fs_;
    std::string cardPath_;
    uint32_t handle_;
    uint32_t flags_;
    int64_t position_ = 0;
    bool open_ = true;
    std::array<uint32_t, 6> volume_{};  // the volume's figures (getVolInfo), read when needed
    uint64_t capacity_ = 0;             // the card's data bytes; 0 until read
};

uint32_t CardFile::size() {
    uint32_t previous = 0, end = 0;
    (void)fs_.seekFile(handle_, 2, 0, &previous);
    (void)fs_.seekFile(handle_, 1, static_cast<int32_t>(previous), &end);
    return end;
}

uint32_t CardFile::moveTo(uint32_t position) {
    uint32_t previous = 0;
    return fs_.seekFile(handle_, 1, static_cast<int32_t>(position), &previous);
}

int32_t CardFile::read(uint8_t* out, uint32_t length) {
    if (!open_ || !readable()) return -FX_EBADF;
    if (position_ >= size()) return 0;
    if (const uint32_t error = moveTo(static_cast<uint32_t>(position_))) return errorOf(error);
    uint32_t delivered = 0;
    const uint32_t result = fs_.readFile(handle_, out, length, &delivered);
    if (result != fatfs::FS_OK && result != fatfs::FS_END) return errorOf(result);
    position_ += delivered;
    return static_cast<int32_t>(delivered);
}

int32_t CardFile::write(const uint8_t* data, uint32_t length) {
    if (!open_ || !writable()) return -FX_EBADF;
    const uint32_t end = size();
    if (flags_ & OPEN_APPEND) position_ = end;
    if (const int32_t error = checkRoom(end, static_cast<uint64_t>(position_) + length)) return error;
    if (position_ > end) {
        if (const int32_t error = fillGap(end)) return error;
    }
    if (const uint32_t error = moveTo(static_cast<uint32_t>(position_))) return errorOf(error);
    if (const uint32_t error = fs_.writeFile(handle_, data, length)) return errorOf(error);
    position_ += length;
    return static_cast<int32_t>(length);
}

int32_t CardFile::checkRoom(uint32_t end, uint64_t newEnd) {
    if (newEnd <= end) return 0;
    const bool gap = position_ > end;
    if (capacity_ == 0 || gap) {
        if (const uint32_t error = fs_.getVolInfo(VOLUME, volume_.data())) return errorOf(error);
        capacity_ = volume_[0];
    }
    const uint64_t cluster = uint64_t{volume_[4]} * volume_[5];
    if (newEnd > capacity_ || cluster == 0) return -FX_ENOSPC;
    if (!gap) return 0;  // the write itself finds out whether the card has room
    // A gap is filled only when the write that follows it fits as well, so
    // that a write that cannot succeed does not leave the file grown.
    const uint64_t slack = (end + cluster - 1) / cluster * cluster - end;
    return newEnd - end > slack + volume_[2] ? -FX_ENOSPC : 0;
}

int32_t CardFile::fillGap(uint32_t end) {
    if (const uint32_t error = moveTo(end)) return errorOf(error);
    const std::vector<uint8_t> zeros(GAP_PIECE, 0);
    for (uint64_t left = static_cast<uint64_t>(position_) - end; left > 0;) {
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(left, GAP_PIECE));
        if (const uint32_t error = fs_.writeFile(handle_, zeros.data(), piece)) return errorOf(error);
        left -= piece;
    }
    return 0;
}

int64_t CardFile::seek(int64_t offset, int32_t origin) {
    if (!open_) return -FX_EBADF;
    int64_t base = 0;
    if (origin == SEEK_FROM_CURRENT) {
        base = position_;
    } else if (origin == SEEK_FROM_END) {
        base = size();
    } else if (origin != SEEK_FROM_START) {
        return -FX_EINVAL;
    }
    if (base + offset < 0 || base + offset > UINT32_MAX) return -FX_EINVAL;
    position_ = base + offset;
    return position_;
}

int32_t CardFile::stat(FileInfo& info) {
    if (!open_) return -FX_EBADF;
    uint8_t record[fatfs::STAT_RECORD];
    if (const uint32_t error = fs_.readStat(cardPath_, record)) return errorOf(error);
    info = infoOf(record);
    info.size = size();  // the entry learns the size only at close
    return 0;
}

int32_t CardFile::sync() {
    if (!open_) return -FX_EBADF;
    if (!writable()) return 0;
    // Closing brings entry, chain and FAT onto the card; the file opens
    // again at once.
    if (const uint32_t error = fs_.closeFile(handle_)) return errorOf(error);
    const uint32_t reopened = fs_.openFile(cardPath_, MODE_WRITE, &handle_);
    open_ = reopened == fatfs::FS_OK;
    return errorOf(reopened);
}

int32_t CardFile::close() {
    if (!open_) return 0;
    open_ = false;
    return errorOf(fs_.closeFile(handle_));
}

class CardDirectory final : public FilexDirectory {
public:
    explicit CardDirectory(std::vector<Listed> entries) : entries_(std::move(entries)) {}
    int32_t next(DirectoryEntry& entry) override {
        if (at_ >= entries_.size()) return 0;
        entry.name = entries_[at_].name;
        entry.info = entries_[at_].info;
        ++at_;
        return 1;
    }
    void rewind() override { at_ = 0; }

private:
    std::vector<Listed> entries_;
    size_t at_ = 0;
};

class CardBackend final : public FilexBackend {
public:
    explicit CardBackend(DeviceHardware& hardware) : commands_(hardware), media_(commands_), fs_(media_, nullptr) {
        (void)fs_.init();
    }

    int32_t open(std::string_view path, uint32_t flags, std::unique_ptr<FilexFile>& file) override;
    int32_t openDirectory(std::string_view path, std::unique_ptr<FilexDirectory>& directory) override;
    int32_t unlink(std::string_view path) override;
    int32_t mkdir(std::string_view path, uint32_t mode) override;
    int32_t rmdir(std::string_view path) override;
    int32_t sync() override { return 0; }
    // Another program may have written the card: maps, mount and open
    // files are forgotten.
    void firmwareStarted() override { (void)fs_.init(); }

private:
    int32_t list(const std::string& cardDirectory, std::vector<Listed>& entries);
    // Walks the components to a directory's card path ("dev0:\A\B\").
    int32_t directoryPath(const std::vector<std::string>& components, size_t count, std::string& cardPath);
    // The entry `name` in the directory at `cardDirectory`.
    int32_t find(const std::string& cardDirectory, std::string_view name, Listed& found);
    int32_t parentAndName(std::string_view path, std::string& cardDirectory, std::string& name);
    // After creating `name`, gives the entry the file system made for it
    // (the one `isNew` picks) `name` as its long name where its short name
    // does not show `name` as it is.
    int32_t nameNewEntry(const std::string& cardDirectory, std::string_view name,
                         const std::function<bool(const Listed&)>& isNew);
    int32_t createFile(const std::string& cardDirectory, std::string_view name, uint32_t& handle);
    // Takes back an entry just made (the one `isNew` picks) when the
    // operation that made it fails after all.
    void removeNewEntry(const std::string& cardDirectory, const std::function<bool(const Listed&)>& isNew);
    // Empties an existing file by creating it again under its short name;
    // it keeps its name.
    int32_t recreateFile(const std::string& cardDirectory, const Listed& entry, uint32_t& handle);

    ControllerCardCommands commands_;
    media::Media media_;
    FileSystem fs_;
};

int32_t CardBackend::list(const std::string& cardDirectory, std::vector<Listed>& entries) {
    entries.clear();
    std::vector<uint8_t> records(LIST_BATCH * fatfs::DIR_RECORD);
    for (uint32_t first = 0;; first += LIST_BATCH) {
        uint32_t delivered = 0;
        const uint32_t result = fs_.readDirEx(cardDirectory, first, LIST_BATCH, records.data(), &delivered);
        if (result != fatfs::FS_OK && result != fatfs::FS_END) return errorOf(result);
        for (uint32_t i = 0; i < delivered; ++i) {
            const uint8_t* record = records.data() + size_t{i} * fatfs::DIR_RECORD;
            Listed entry;
            entry.shortName = reinterpret_cast<const char*>(record);
            for (size_t c = 0; c < LONG_NAME_LIMIT; ++c) {
                const uint16_t unit = loadLe16(record + 16 + 2 * c);
                if (unit == 0) break;
                entry.name += static_cast<char>(unit < 0x100 ? unit : '?');
            }
            if (entry.name.empty()) entry.name = entry.shortName;
            entry.info = infoOf(record + 96);
            if (entry.info.attributes & ATTR_VOLUME_LABEL && !entry.info.directory) continue;
            if (entry.info.id == 0) entry.info.id = static_cast<uint32_t>(std::hash<std::string>{}(cardDirectory + entry.shortName)) | 0x80000000u;
            entries.push_back(std::move(entry));
        }
        if (result == fatfs::FS_END) return 0;
    }
}

int32_t CardBackend::find(const std::string& cardDirectory, std::string_view name, Listed& found) {
    std::vector<Listed> entries;
    if (const int32_t error = list(cardDirectory, entries)) return error;
    for (auto& entry : entries) {
        if (sameName(entry.name, name) || sameName(entry.shortName, name)) {
            found = std::move(entry);
            return 0;
        }
    }
    return -FX_ENOENT;
}

int32_t CardBackend::directoryPath(const std::vector<std::string>& components, size_t count, std::string& cardPath) {
    cardPath = "dev0:\\";
    for (size_t i = 0; i < count; ++i) {
        Listed entry;
        if (const int32_t error = find(cardPath, components[i], entry)) return error;
        if (!entry.info.directory) return -FX_ENOTDIR;
        cardPath += entry.shortName + "\\";
    }
    return 0;
}

int32_t CardBackend::parentAndName(std::string_view path, std::string& cardDirectory, std::string& name) {
    std::vector<std::string> components;
    if (const int32_t error = cardComponents(path, components)) return error;
    if (components.empty()) return -FX_EISDIR;
    if (const int32_t error = directoryPath(components, components.size() - 1, cardDirectory)) return error;
    name = components.back();
    return 0;
}

int32_t CardBackend::nameNewEntry(const std::string& cardDirectory, std::string_view name,
                                  const std::function<bool(const Listed&)>& isNew) {
    std::vector<Listed> entries;
    if (const int32_t error = list(cardDirectory, entries)) return error;
    for (const auto& entry : entries) {
        if (isNew(entry)) return errorOf(nameEntry(fs_, cardDirectory + entry.shortName, name));
    }
    return -FX_EIO;
}

int32_t CardBackend::createFile(const std::string& cardDirectory, std::string_view name, uint32_t& handle) {
    if (name.size() > LONG_NAME_LIMIT) return -FX_ENAMETOOLONG;
    if (const uint32_t error = fs_.createFile(cardDirectory + std::string(name), 1, &handle)) return errorOf(error);
    const uint32_t cluster = handle & 0xFFFFu;
    const auto isNew = [cluster](const Listed& e) { return e.info.id == cluster; };
    const int32_t named = nameNewEntry(cardDirectory, name, isNew);
    if (named != 0) {
        (void)fs_.closeFile(handle);
        removeNewEntry(cardDirectory, isNew);
    }
    return named;
}

void CardBackend::removeNewEntry(const std::string& cardDirectory, const std::function<bool(const Listed&)>& isNew) {
    std::vector<Listed> entries;
    if (list(cardDirectory, entries) != 0) return;
    for (const auto& entry : entries) {
        if (!isNew(entry)) continue;
        const std::string cardPath = cardDirectory + entry.shortName;
        (void)(entry.info.directory ? fs_.removeDir(cardPath, 0) : fs_.removeFile(cardPath));
        return;
    }
}

int32_t CardBackend::recreateFile(const std::string& cardDirectory, const Listed& entry, uint32_t& handle) {
    const std::string cardPath = cardDirectory + entry.shortName;
    if (const uint32_t error = fs_.createFile(cardPath, 1, &handle)) return errorOf(error);
    const int32_t named = errorOf(nameEntry(fs_, cardPath, entry.name));
    if (named != 0) (void)fs_.closeFile(handle);
    return named;
}

int32_t CardBackend::open(std::string_view path, uint32_t flags, std::unique_ptr<FilexFile>& file) {
    std::string directory, name;
    if (const int32_t error = parentAndName(path, directory, name)) return error;
    const bool write = (flags & OPEN_ACCESS_MASK) != OPEN_READ_ONLY;
    if ((flags & OPEN_ACCESS_MASK) == OPEN_ACCESS_MASK) return -FX_EINVAL;
    Listed entry;
    const int32_t search = find(directory, name, entry);
    uint32_t handle = 0;
    if (search == 0) {
        if ((flags & OPEN_CREATE) && (flags & OPEN_EXCLUSIVE)) return -FX_EEXIST;
        if (entry.info.directory) return -FX_EISDIR;
        if (write && (entry.info.attributes & ATTR_READ_ONLY)) return -FX_EACCES;
        if (write && (flags & OPEN_TRUNCATE)) {
            if (const int32_t error = recreateFile(directory, entry, handle)) return error;
        } else if (const uint32_t error = fs_.openFile(directory + entry.shortName, write ? MODE_WRITE : MODE_READ, &handle)) {
            return errorOf(error);
        }
    } else if (search == -FX_ENOENT && (flags & OPEN_CREATE)) {
        if (const int32_t error = createFile(directory, name, handle)) return error;
    } else {
        return search;
    }
    Listed opened;
    if (const int32_t error = find(directory, entry.name.empty() ? name : entry.name, opened)) {
        (void)fs_.closeFile(handle);
        if (search != 0) {
            const uint32_t cluster = handle & 0xFFFFu;
            removeNewEntry(directory, [cluster](const Listed& e) { return e.info.id == cluster; });
        }
        return error;
    }
    file = std::make_unique<CardFile>(fs_, directory + opened.shortName, handle, flags);
    return 0;
}

int32_t CardBackend::openDirectory(std::string_view path, std::unique_ptr<FilexDirectory>& directory) {
    std::vector<std::string> components;
    if (const int32_t error = cardComponents(path, components)) return error;
    std::string cardPath;
    if (const int32_t error = directoryPath(components, components.size(), cardPath)) return error;
    std::vector<Listed> entries;
    if (const int32_t error = list(cardPath, entries)) return error;
    directory = std::make_unique<CardDirectory>(std::move(entries));
    return 0;
}

int32_t CardBackend::unlink(std::string_view path) {
    std::string directory, name;
    if (const int32_t error = parentAndName(path, directory, name)) return error;
    Listed entry;
    if (const int32_t error = find(directory, name, entry)) return error;
    if (entry.info.directory) return -FX_EISDIR;
    if (entry.info.attributes & ATTR_READ_ONLY) return -FX_EACCES;
    return errorOf(fs_.removeFile(directory + entry.shortName));
}

int32_t CardBackend::mkdir(std::string_view path, uint32_t) {
    std::string directory, name;
    if (const int32_t error = parentAndName(path, directory, name)) return error == -FX_EISDIR ? -FX_EEXIST : error;
    if (name.size() > LONG_NAME_LIMIT) return -FX_ENAMETOOLONG;
    Listed existing;
    if (find(directory, name, existing) == 0) return -FX_EEXIST;
    std::vector<Listed> before;
    if (const int32_t error = list(directory, before)) return error;
    if (const uint32_t error = fs_.createDir(directory + std::string(name))) return errorOf(error);
    const auto isNew = [&before](const Listed& e) {
        return std::none_of(before.begin(), before.end(), [&e](const Listed& b) { return b.shortName == e.shortName; });
    };
    const int32_t named = nameNewEntry(directory, name, isNew);
    if (named != 0) removeNewEntry(directory, isNew);
    return named;
}

int32_t CardBackend::rmdir(std::string_view path) {
    std::vector<std::string> components;
    if (const int32_t error = cardComponents(path, components)) return error;
    if (components.empty()) return -FX_EBUSY;
    std::string directory;
    if (const int32_t error = directoryPath(components, components.size() - 1, directory)) return error;
    Listed entry;
    if (const int32_t error = find(directory, components.back(), entry)) return error;
    if (!entry.info.directory) return -FX_ENOTDIR;
    return errorOf(fs_.removeDir(directory + entry.shortName, 0));
}

}  // namespace

std::shared_ptr<FilexBackend> makeCardBackend(DeviceHardware& hardware) {
    return std::make_shared<CardBackend>(hardware);
}

}  // namespace kestrel::sim
