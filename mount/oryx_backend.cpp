#include "mount/oryx_backend.h"

#include "oryx/oryx.h"
#include "mount/names.h"
#include "mount/short_alias.h"

#include <cerrno>
#include <cstring>

namespace kestrel::mount {

namespace {

constexpr const char* ROOT = "dev0:\\";
constexpr size_t LIBRARY_PATH_MAX = 259;
constexpr uint32_t ATTRIBUTE_READ_ONLY = 0x01;
constexpr uint32_t ATTRIBUTE_VOLUME_LABEL = 0x08;
constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t MODE_READ = 0;
constexpr uint32_t MODE_WRITE = 2;
constexpr uint32_t ORIGIN_START = 1;
constexpr uint32_t ORIGIN_END = 2;
constexpr uint32_t MEDIA_NOT_ANSWERING = 31;
constexpr size_t LONG_NAME_UNITS = sizeof(oryx_dir_record::longName) / sizeof(uint16_t);

std::string childPath(const std::string& directory, const std::string& shortName) {
    return directory == ROOT ? directory + shortName : directory + "\\" + shortName;
}

uint16_t dosDateOf(const oryx_stat& stat) {
    if (stat.year <= 1980 && stat.month == 0) return 0;
    const uint32_t year = stat.year >= 1980 ? stat.year - 1980u : 0u;
    return static_cast<uint16_t>((year << 9) | (static_cast<uint32_t>(stat.month) << 5) | stat.day);
}

// The stat record's second field holds the stored two-second count.
uint16_t dosTimeOf(const oryx_stat& stat) {
    return static_cast<uint16_t>((static_cast<uint32_t>(stat.hour) << 11) | (static_cast<uint32_t>(stat.minute) << 5) |
                                 stat.second);
}

NodeInfo infoOf(const oryx_stat& stat) {
    NodeInfo info;
    info.directory = (stat.attributes & ATTRIBUTE_DIRECTORY) != 0;
    info.readOnly = (stat.attributes & ATTRIBUTE_READ_ONLY) != 0;
    info.size = info.directory ? 0 : stat.size;
    info.dosDate = dosDateOf(stat);
    info.dosTime = dosTimeOf(stat);
    return info;
}

std::vector<uint16_t> unitsOf(const std::string& name) {
    std::vector<uint16_t> units(name.begin(), name.end());
    units.push_back(0);
    return units;
}

class OryxReader : public FileReader {
public:
    OryxReader(OryxBackend& backend, oryx_handle handle) : backend_(backend), handle_(handle) {}
    ~OryxReader() override { (void)mt_smCloseFile(handle_); }

    int32_t read(uint64_t offset, uint8_t* data, uint32_t length) override {
        if (offset > INT32_MAX) return 0;
        if (offset != position_) {
            uint32_t previous = 0;
            if (const uint32_t result = mt_smSeekFile(handle_, ORIGIN_START, static_cast<int32_t>(offset), &previous)) {
                return backend_.errnoOf(result);
            }
            position_ = offset;
        }
        uint32_t delivered = 0;
        const uint32_t result = mt_smReadFile(handle_, data, length, &delivered);
        if (result != ORYX_OK && result != ORYX_END) {
            position_ = UINT64_MAX;  // unknown after a failure: seek again
            return backend_.errnoOf(result);
        }
        position_ += delivered;
        return static_cast<int32_t>(delivered);
    }

private:
    OryxBackend& backend_;
    oryx_handle handle_;
    uint64_t position_ = 0;
};

// A file written from its start. The data is gathered in memory and
// written when the file is closed or synced, so that its length is known
// then: the file is made anew, extended to that length with pre-erased
// clusters (where clusters are erase blocks, as put does), written and
// closed, and given its long name again (making it anew drops it). Beyond
// GATHER_LIMIT bytes the file is written as the data comes.
class OryxWriter : public FileWriter {
public:
    static constexpr size_t GATHER_LIMIT = 32u << 20;

    OryxWriter(OryxBackend& backend, std::string path, std::string shortName, std::string name, bool preExtend)
        : backend_(backend), path_(std::move(path)), shortName_(std::move(shortName)), name_(std::move(name)),
          preExtend_(preExtend) {}
    ~OryxWriter() override {
        if (open_) (void)mt_smCloseFile(handle_);
    }

    int32_t write(const uint8_t* data, uint32_t length) override {
        if (finished_) return -EBADF;
        if (open_) return backend_.errnoOf(mt_smWriteFile(handle_, data, length));
        gathered_.insert(gathered_.end(), data, data + length);
        if (gathered_.size() <= GATHER_LIMIT) return 0;
        return writeGathered(false);
    }

    // The library brings a file's entry and FAT up to date only when it is
    // closed: close, then open it again for writing at its end.
    int32_t sync() override {
        if (const int32_t result = finish()) return result;
        oryx_handle handle = 0;
        if (const uint32_t result = mt_smOpenFile(path_.c_str(), MODE_WRITE, &handle)) return backend_.errnoOf(result);
        uint32_t previous = 0;
        if (const uint32_t result = mt_smSeekFile(handle, ORIGIN_END, 0, &previous)) {
            (void)mt_smCloseFile(handle);
            return backend_.errnoOf(result);
        }
        handle_ = handle;
        open_ = true;
        finished_ = false;
        return 0;
    }

    int32_t finish() override {
        if (finished_) return -EBADF;
        if (!open_) {
            if (const int32_t result = writeGathered(preExtend_)) {
                finished_ = true;
                return result;
            }
        }
        finished_ = true;
        open_ = false;
        const uint32_t closed = mt_smCloseFile(handle_);
        if (closed != ORYX_OK) {
            (void)mt_smCloseFile(handle_);  // a failed close keeps the record open
            return backend_.errnoOf(closed);
        }
        if (named_) return 0;
        named_ = true;
        if (name_ == shortName_) return 0;
        std::vector<uint16_t> units(name_.begin(), name_.end());
        units.push_back(0);
        return backend_.errnoOf(mt_smSetLongName(path_.c_str(), units.data()));
    }

private:
    // Makes the file anew and writes what was gathered; the file stays
    // open for what follows.
    int32_t writeGathered(bool extend) {
        oryx_handle handle = 0;
        if (const uint32_t result = mt_smCreateFile(path_.c_str(), 1, &handle)) return backend_.errnoOf(result);
        handle_ = handle;
        open_ = true;
        named_ = false;
        if (extend && !gathered_.empty()) {
            if (const uint32_t result = mt_smFileExtend(handle_, static_cast<uint32_t>(gathered_.size()))) {
                return backend_.errnoOf(result);
            }
        }
        if (!gathered_.empty()) {
            const uint32_t result = mt_smWriteFile(handle_, gathered_.data(), static_cast<uint32_t>(gathered_.size()));
            if (result != ORYX_OK) return backend_.errnoOf(result);
        }
        gathered_.clear();
        gathered_.shrink_to_fit();
        return 0;
    }

    OryxBackend& backend_;
    std::string path_;
    std::string shortName_;
    std::string name_;
    bool preExtend_;
    std::vector<uint8_t> gathered_;
    oryx_handle handle_ = 0;
    bool open_ = false;
    bool finished_ = false;
    bool named_ = true;  // the entry has its name until it is made anew
};

}  // namespace

struct OryxBackend::Entry {
    std::string shortName;
    std::string name;  // the long name, else the short name
    oryx_stat stat{};

    bool isDirectory() const { return (stat.attributes & ATTRIBUTE_DIRECTORY) != 0; }
};

struct OryxBackend::Place {
    std::string directory;  // library path of the parent
    std::string shortName;  // the new entry's
    std::string path;       // library path of the new entry
};

std::unique_ptr<OryxBackend> OryxBackend::start(std::string& error) {
    const uint32_t result = mt_smInit();
    if (result != ORYX_OK) {
        usbcClose();
        error = "the device did not start (ORYX result " + std::to_string(result) + ")";
        return nullptr;
    }
    return std::unique_ptr<OryxBackend>(new OryxBackend());
}

OryxBackend::~OryxBackend() { usbcClose(); }

int32_t OryxBackend::errnoOf(uint32_t result) {
    switch (result) {
    case ORYX_OK: return 0;
    case ORYX_INVALID: return -EINVAL;
    case ORYX_DISK_FULL:
    case ORYX_ROOT_FULL: return -ENOSPC;
    case ORYX_TOO_MANY_INSTANCES:
    case ORYX_TOO_MANY_FILES: return -EMFILE;
    case ORYX_EXISTS: return -EEXIST;
    case ORYX_NOT_EMPTY: return -ENOTEMPTY;
    case ORYX_NOT_OPEN:
    case ORYX_READ_ONLY: return -EBADF;
    case ORYX_MOVE_NOT_FOUND:
    case ORYX_NOT_FOUND: return -ENOENT;
    case ORYX_NO_MEMORY: return -ENOMEM;
    case ORYX_DEVICE_FAILED:
    case MEDIA_NOT_ANSWERING: lost_ = true; return -EIO;
    default: return -EIO;
    }
}

int32_t OryxBackend::entries(const std::string& directory, std::vector<Entry>& out) {
    out.clear();
    uint32_t count = 0;
    if (const uint32_t result = mt_smGetListNumDir(directory.c_str(), &count)) return errnoOf(result);
    if (count == 0) return 0;
    std::vector<oryx_dir_record> records(count);
    uint32_t delivered = 0;
    // The count includes entries behind an end marker: fewer records (19)
    // is no failure.
    const uint32_t result = mt_smReadDirEx(directory.c_str(), 0, count, records.data(), &delivered);
    if (result != ORYX_OK && result != ORYX_END) return errnoOf(result);
    for (uint32_t i = 0; i < delivered && i < count; ++i) {
        Entry entry;
        entry.shortName.assign(records[i].shortName, strnlen(records[i].shortName, sizeof records[i].shortName));
        uint16_t units[LONG_NAME_UNITS];
        std::memcpy(units, records[i].longName, sizeof units);  // the packed record may place it unaligned
        for (size_t k = 0; k < LONG_NAME_UNITS && units[k] != 0; ++k) {
            entry.name += units[k] < 0x80 ? static_cast<char>(units[k]) : '?';
        }
        if (entry.name.empty()) entry.name = entry.shortName;
        entry.stat = records[i].stat;
        const bool label = (entry.stat.attributes & ATTRIBUTE_VOLUME_LABEL) != 0 && !entry.isDirectory();
        if (entry.shortName == "." || entry.shortName == ".." || label) continue;
        out.push_back(std::move(entry));
    }
    return 0;
}

int32_t OryxBackend::find(const NodePath& path, Entry& entry, std::string& libraryPath) {
    libraryPath = ROOT;
    std::vector<Entry> here;
    for (size_t i = 0; i < path.size(); ++i) {
        if (const int32_t result = entries(libraryPath, here)) return result;
        const Entry* found = nullptr;
        for (const auto& candidate : here) {
            if (sameName(candidate.name, path[i]) || sameName(candidate.shortName, path[i])) {
                found = &candidate;
                break;
            }
        }
        if (!found) return -ENOENT;
        if (i + 1 < path.size() && !found->isDirectory()) return -ENOTDIR;
        libraryPath = childPath(libraryPath, found->shortName);
        entry = *found;
    }
    if (libraryPath.size() > LIBRARY_PATH_MAX) return -ENAMETOOLONG;
    return 0;
}

int32_t OryxBackend::place(const NodePath& path, Place& place) {
    if (path.empty()) return -EEXIST;
    if (const int32_t result = checkNewName(path.back())) return result;
    if (libraryWouldChange(path.back()) && !(capitals_ && libraryWouldOnlyCapitalise(path.back()))) return -EINVAL;
    const NodePath parentPath(path.begin(), path.end() - 1);
    Entry parent;
    if (const int32_t result = find(parentPath, parent, place.directory)) return result;
    if (!parentPath.empty() && !parent.isDirectory()) return -ENOTDIR;
    std::vector<Entry> siblings;
    if (const int32_t result = entries(place.directory, siblings)) return result;
    std::vector<std::string> taken;
    for (const auto& sibling : siblings) {
        if (sameName(sibling.name, path.back()) || sameName(sibling.shortName, path.back())) return -EEXIST;
        taken.push_back(sibling.shortName);
    }
    place.shortName = shortAliasFor(path.back(), taken);
    if (place.shortName.empty()) return -ENOSPC;
    place.path = childPath(place.directory, place.shortName);
    if (place.path.size() > LIBRARY_PATH_MAX) return -ENAMETOOLONG;
    return 0;
}

int32_t OryxBackend::nameEntry(const std::string& libraryPath, const std::string& shortName, const std::string& name) {
    if (name == shortName || (capitals_ && libraryWouldOnlyCapitalise(name))) return 0;
    const auto units = unitsOf(name);
    return errnoOf(mt_smSetLongName(libraryPath.c_str(), units.data()));
}

int32_t OryxBackend::stat(const NodePath& path, NodeInfo& info) {
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    info = path.empty() ? NodeInfo{true, false, 0, 0, 0} : infoOf(entry.stat);
    return 0;
}

int32_t OryxBackend::list(const NodePath& path, std::vector<DirItem>& items) {
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    if (!path.empty() && !entry.isDirectory()) return -ENOTDIR;
    std::vector<Entry> here;
    if (const int32_t result = entries(libraryPath, here)) return result;
    items.clear();
    for (const auto& e : here) items.push_back({e.name, infoOf(e.stat)});
    return 0;
}

int32_t OryxBackend::openRead(const NodePath& path, std::unique_ptr<FileReader>& reader) {
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    if (path.empty() || entry.isDirectory()) return -EISDIR;
    oryx_handle handle = 0;
    if (const uint32_t result = mt_smOpenFile(libraryPath.c_str(), MODE_READ, &handle)) return errnoOf(result);
    reader = std::make_unique<OryxReader>(*this, handle);
    return 0;
}

// The file is created (or emptied), closed and named at once, so that it
// exists under its name; naming moves the entry, which an open file's
// record would not follow, and an emptied file's entry is made anew without
// the long name it had. The writer makes it anew once more with its data.
int32_t OryxBackend::openWrite(const NodePath& path, std::unique_ptr<FileWriter>& writer) {
    Entry entry;
    std::string libraryPath;
    const int32_t found = find(path, entry, libraryPath);
    if (found != 0 && found != -ENOENT) return found;
    std::string shortName;
    std::string name;
    if (found == 0) {
        if (path.empty() || entry.isDirectory()) return -EISDIR;
        shortName = entry.shortName;
        name = entry.name;
    } else {
        Place where;
        if (const int32_t result = place(path, where)) return result;
        libraryPath = where.path;
        shortName = where.shortName;
        name = path.back();
    }
    oryx_handle handle = 0;
    if (const uint32_t result = mt_smCreateFile(libraryPath.c_str(), found == 0 ? 1 : 0, &handle)) {
        return errnoOf(result);
    }
    if (const uint32_t result = mt_smCloseFile(handle)) {
        (void)mt_smCloseFile(handle);
        return errnoOf(result);
    }
    if (const int32_t result = nameEntry(libraryPath, shortName, name)) {
        if (found != 0) (void)mt_smRemoveFile(libraryPath.c_str());
        return result;
    }
    writer = std::make_unique<OryxWriter>(*this, libraryPath, shortName, name, preExtend_);
    return 0;
}

int32_t OryxBackend::removeFile(const NodePath& path) {
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    if (path.empty() || entry.isDirectory()) return -EISDIR;
    return errnoOf(mt_smRemoveFile(libraryPath.c_str()));
}

int32_t OryxBackend::makeDirectory(const NodePath& path) {
    Place where;
    if (const int32_t result = place(path, where)) return result;
    if (const uint32_t result = mt_smCreateDir(where.path.c_str(), 0)) return errnoOf(result);
    if (const int32_t result = nameEntry(where.path, where.shortName, path.back())) {
        (void)mt_smRemoveDir(where.path.c_str(), 0);
        return result;
    }
    return 0;
}

int32_t OryxBackend::removeDirectory(const NodePath& path) {
    if (path.empty()) return -EBUSY;
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    if (!entry.isDirectory()) return -ENOTDIR;
    std::vector<Entry> inside;
    if (const int32_t result = entries(libraryPath, inside)) return result;
    if (!inside.empty()) return -ENOTEMPTY;
    return errnoOf(mt_smRemoveDir(libraryPath.c_str(), 0));
}

int32_t OryxBackend::rename(const NodePath& from, const NodePath& to) {
    if (from.empty() || to.empty()) return -EBUSY;
    Entry entry;
    std::string source;
    if (const int32_t result = find(from, entry, source)) return result;
    Place where;
    if (const int32_t result = place(to, where)) return result;
    if (const uint32_t result = mt_smMoveFile(source.c_str(), where.path.c_str())) {
        return result == ORYX_MOVE_NOT_FOUND ? -ENOENT : errnoOf(result);
    }
    return nameEntry(where.path, where.shortName, to.back());
}

int32_t OryxBackend::setTime(const NodePath& path, uint16_t dosDate, uint16_t dosTime) {
    if (path.empty()) return -EPERM;  // the root has no entry to carry a time
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    oryx_stat stat{};
    if (const uint32_t result = mt_smReadStat(libraryPath.c_str(), &stat)) return errnoOf(result);
    stat.year = static_cast<uint16_t>(1980 + (dosDate >> 9));
    stat.month = static_cast<uint8_t>((dosDate >> 5) & 0x0F);
    stat.day = static_cast<uint8_t>(dosDate & 0x1F);
    stat.hour = static_cast<uint8_t>(dosTime >> 11);
    stat.minute = static_cast<uint8_t>((dosTime >> 5) & 0x3F);
    stat.second = static_cast<uint8_t>((dosTime & 0x1F) * 2);  // whole seconds on writing
    return errnoOf(mt_smWriteStat(libraryPath.c_str(), &stat));
}

int32_t OryxBackend::setReadOnly(const NodePath& path, bool readOnly) {
    if (path.empty()) return -EPERM;
    Entry entry;
    std::string libraryPath;
    if (const int32_t result = find(path, entry, libraryPath)) return result;
    oryx_stat stat{};
    if (const uint32_t result = mt_smReadStat(libraryPath.c_str(), &stat)) return errnoOf(result);
    if (((stat.attributes & ATTRIBUTE_READ_ONLY) != 0) == readOnly) return 0;
    stat.attributes = readOnly ? stat.attributes | ATTRIBUTE_READ_ONLY : stat.attributes & ~ATTRIBUTE_READ_ONLY;
    stat.second = static_cast<uint8_t>(stat.second * 2);  // read as the two-second count, written as seconds
    return errnoOf(mt_smWriteStat(libraryPath.c_str(), &stat));
}

int32_t OryxBackend::space(VolumeSpace& space) {
    oryx_volume_info info{};
    if (const uint32_t result = mt_smGetVolInfo(ROOT, &info)) return errnoOf(result);
    space.totalBytes = info.totalBytes;
    space.freeBytes = info.freeBytes;
    space.clusterBytes = info.sectorsPerCluster * info.bytesPerSector;
    return 0;
}

}  // namespace kestrel::mount
