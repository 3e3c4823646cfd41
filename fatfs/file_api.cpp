// Files by path and by handle: create, open, close, pre-extension, removal,
// size, move, stat records.
#include "fatfs/file_system.h"

#include "fatfs/dir_tree.h"
#include "fatfs/fs_results.h"
#include "fatfs/path.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kestrel::fatfs {

namespace {

constexpr uint8_t CARD = 0;

std::string upperText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

uint32_t FileSystem::handlePrologue(uint32_t handle, OpenFile** file) {
    const FileHandle decoded = FileHandle::decode(handle);
    if (decoded.volume != 0) return FS_INVALID;
    if (const uint32_t error = ensureMounted()) return error;
    *file = files_.find(decoded.firstCluster, decoded.instance);
    return *file ? FS_OK : FS_NOT_OPEN;
}

uint32_t FileSystem::findInParent(std::string_view path, uint32_t* parent, FoundEntry* found) {
    if (const uint32_t error = prologue(path)) return error;
    if (const uint32_t error = resolvePath(directory_, path, PathMode::Parent, parent)) return error;
    return directory_.findByName(*parent, finalComponent(path), found);
}

uint32_t FileSystem::createFile(std::string_view path, uint32_t overwrite, uint32_t* handle) {
    uint32_t parent = 0;
    FoundEntry existing;
    const uint32_t search = findInParent(path, &parent, &existing);
    const std::string_view name = finalComponent(path);
    if (search == FS_OK) {
        // Replacing a directory would orphan everything below it.
        if (overwrite != 1 || existing.entry.isDirectory()) return FS_EXISTS;
        // A file that cannot be removed (its chain damaged or shared) is
        // not replaced: a second entry of the same name would follow it.
        if (const uint32_t error = directory_.removeEntry(parent, name)) return error;
    } else if (search != FS_NOT_FOUND) {
        return search;
    }
    if (files_.full()) return FS_TOO_MANY_FILES;
    const uint32_t cluster = fat_.findFree();
    if (cluster == 0) return FS_DISK_FULL;
    volume_.fat.set(cluster, FAT_END);

    OpenFile record;
    record.firstCluster = record.current = cluster;
    record.directory = parent;
    record.mode = MODE_CREATED;
    record.buffer.assign(volume_.writeBufferSize, 0);
    OpenFile& added = files_.add(std::move(record));
    if (const uint32_t error = directory_.createEntry(parent, name, cluster, 0, false)) {
        files_.remove(&added);
        volume_.fat.set(cluster, FAT_FREE);
        return error;
    }
    *handle = FileHandle{cluster, 0, 0}.encode();
    return FS_OK;
}

uint32_t FileSystem::openFile(std::string_view path, uint32_t mode, uint32_t* handle) {
    uint32_t parent = 0;
    FoundEntry found;
    if (const uint32_t error = findInParent(path, &parent, &found)) return error;
    // A damaged chain (broken, looping, or shared with another file) is
    // neither read nor written.
    if (const uint32_t error = checkOwnChain(directory_, fat_, found)) return error;
    if ((mode & MODE_WRITE) != 0 && found.entry.firstCluster() == 0 && !found.entry.isDirectory()) {
        if (const uint32_t error = giveFirstCluster(found)) return error;
    }
    const uint32_t first = found.entry.firstCluster();
    const uint32_t instance = files_.freeInstance(first);
    if (instance >= MAX_INSTANCES) return FS_TOO_MANY_INSTANCES;
    if (files_.full()) return FS_TOO_MANY_FILES;
    OpenFile record;
    record.firstCluster = record.current = first;
    record.directory = parent;
    record.size = found.entry.size();
    record.mode = mode;
    record.instance = instance;
    record.buffer.assign(volume_.writeBufferSize, 0);
    files_.add(std::move(record));
    *handle = FileHandle{first, instance, 0}.encode();
    return FS_OK;
}

// An empty file opened for writing gets a cluster to write into, on the
// card at once so that the entry never names a free cluster.
uint32_t FileSystem::giveFirstCluster(FoundEntry& found) {
    const uint32_t cluster = fat_.findFree();
    if (cluster == 0) return FS_DISK_FULL;
    volume_.fat.set(cluster, FAT_END);
    found.entry.setFirstCluster(static_cast<uint16_t>(cluster));
    if (const uint32_t error = fat_.store()) {
        volume_.fat.set(cluster, FAT_FREE);
        return error;
    }
    return directory_.writeEntry(found.position, found.entry);
}

uint32_t FileSystem::closeFile(uint32_t handle) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    if (file->writable()) {
        if (const uint32_t error = flush(*file)) return error;
        FoundEntry found;
        if (const uint32_t error =
                directory_.search(file->directory, SearchMode::FirstCluster, {{}, file->firstCluster}, &found)) {
            return error;
        }
        const DateTime now = directory_.now();
        found.entry.setTime(encodeTime(now));
        found.entry.setDate(encodeDate(now));
        found.entry.setSize(file->size);
        // An empty file owns no cluster on the card (as every FAT reader
        // expects), once no other handle still writes through it.
        const bool releaseChain = file->size == 0 && files_.countOf(file->firstCluster) == 1;
        if (releaseChain) found.entry.setFirstCluster(0);
        if (const uint32_t error = directory_.writeEntry(found.position, found.entry)) return error;
        if (releaseChain) {
            (void)fat_.freeChain(file->firstCluster);
        } else {
            fat_.truncate(file->firstCluster, file->size);
        }
        if (const uint32_t error = fat_.store()) return error;
    }
    files_.remove(file);
    return FS_OK;
}

uint32_t FileSystem::chainLength(uint32_t first, uint32_t* last) {
    uint32_t length = 0;
    if (fat_.checkChain(first, &length) != FS_OK) return 0;
    uint32_t cluster = first;
    for (uint32_t next = 0; fat_.nextLink(cluster, &next) == FS_OK && next != FAT_END;) cluster = next;
    *last = cluster;
    return length;
}

uint32_t FileSystem::fileExtend(uint32_t handle, uint32_t bytes) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    const uint64_t clusterBytes = volume_.clusterBytes();
    const uint64_t size = file->size;
    const uint32_t c0 = static_cast<uint32_t>((size + clusterBytes - 1) / clusterBytes);
    const uint32_t c1 = static_cast<uint32_t>((size + bytes + clusterBytes - 1) / clusterBytes);
    if (c1 == c0) return FS_OK;
    uint32_t last = 0;
    const uint32_t length = chainLength(file->firstCluster, &last);
    if (length == 0) return FS_BROKEN_CHAIN;
    if (size != 0 || length != 1) {
        // A file that holds data keeps its chain and its blocks: the
        // clusters still missing go behind its last cluster.
        return c1 > length ? fat_.extendContiguous(last, c1 - length) : FS_OK;
    }
    if (const uint32_t error = fat_.extendContiguous(file->firstCluster, c1 - c0)) return error;
    // The first cluster is erased too, so that the data can be programmed
    // from its start (where its block holds nothing else).
    return fat_.eraseWholeBlocks(file->firstCluster, 1);
}

uint32_t FileSystem::removeFile(std::string_view path) {
    uint32_t parent = 0;
    FoundEntry found;
    if (const uint32_t error = findInParent(path, &parent, &found)) return error;
    if (found.entry.isDirectory()) return FS_INVALID;  // directories go through removeDir
    return directory_.removeEntryByShortName(parent, found.entry.name());
}

uint32_t FileSystem::getSizeFile(std::string_view path, uint32_t* size) {
    *size = 0;
    uint32_t parent = 0;
    FoundEntry found;
    if (const uint32_t error = findInParent(path, &parent, &found)) return error;
    *size = found.entry.size();
    return FS_OK;
}

uint32_t FileSystem::moveFile(std::string_view source, std::string_view destination) {
    if (names_.volumeOf(destination) != 0u) return FS_INVALID;
    if (const uint32_t error = prologue(source)) return error;
    uint32_t cluster = 0;
    if (resolvePath(directory_, source, PathMode::Target, &cluster) != FS_OK) return FS_MOVE_NOT_FOUND;
    const std::string_view sourceDir = directoryText(source), sourceName = finalComponent(source);
    const std::string_view destDir = directoryText(destination), destName = finalComponent(destination);
    if (sourceDir == destDir && sourceName == destName) return FS_OK;
    uint32_t destCluster = 0;
    if (resolvePath(directory_, destDir, PathMode::Target, &destCluster) != FS_OK) return FS_MOVE_NOT_FOUND;
    if (resolvePath(directory_, destination, PathMode::Target, &cluster) == FS_OK) return FS_EXISTS;

    uint32_t sourceCluster = 0;
    if (const uint32_t error = resolvePath(directory_, sourceDir, PathMode::Target, &sourceCluster)) return error;
    FoundEntry found;
    if (const uint32_t error = directory_.findByName(sourceCluster, sourceName, &found)) return error;
    // A directory cannot move into its own tree: it would be cut off.
    const std::string inside = upperText(source) + "\\";
    if (found.entry.isDirectory() && upperText(destDir).rfind(inside, 0) == 0) return FS_INVALID;
    // The new entry first: if it cannot be made, the old one still holds
    // the file.
    if (const uint32_t error = directory_.createEntry(destCluster, destName, found.entry.firstCluster(),
                                                      found.entry.size(), found.entry.isDirectory())) {
        return error;
    }
    DirEntry deleted;
    deleted.bytes[0] = ENTRY_DELETED;
    if (const uint32_t error = directory_.writeEntry(found.position, deleted)) return error;
    if (const uint32_t error = directory_.deleteLongNameEntriesBefore(found.position)) return error;
    if (!found.entry.isDirectory()) return FS_OK;
    // The moved directory's ".." names its new parent.
    FoundEntry dotDot;
    const ShortName dotDotName = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    if (const uint32_t error = directory_.search(found.entry.firstCluster(), SearchMode::ShortNameEquals,
                                                 {dotDotName, 0}, &dotDot)) {
        return error;
    }
    dotDot.entry.setFirstCluster(static_cast<uint16_t>(destCluster));
    return directory_.writeEntry(dotDot.position, dotDot.entry);
}

uint32_t FileSystem::findStatEntry(std::string_view path, FoundEntry* found) {
    if (const uint32_t error = prologue(path)) return error;
    uint32_t parent = 0;
    if (resolvePath(directory_, path, PathMode::Parent, &parent) != FS_OK) {
        uint32_t target = 0;
        const uint32_t result = resolvePath(directory_, path, PathMode::Target, &target);
        if (result != FS_OK) return result;
        return target == 0 ? FS_ROOT_STAT : FS_INVALID;
    }
    return directory_.findByName(parent, finalComponent(path), found);
}

uint32_t FileSystem::readStat(std::string_view path, uint8_t* stat) {
    FoundEntry found;
    if (const uint32_t error = findStatEntry(path, &found)) return error;
    storeStatRecord(found.entry, stat);
    return FS_OK;
}

uint32_t FileSystem::writeStat(std::string_view path, const uint8_t* stat) {
    FoundEntry found;
    if (const uint32_t error = findStatEntry(path, &found)) return error;
    found.entry.bytes[11] = static_cast<uint8_t>(loadLe32(stat));
    found.entry.setTime(encodeTime(stat[16], stat[17], stat[18]));
    found.entry.setDate(encodeDate(loadLe16(stat + 12), stat[14], stat[15]));
    return directory_.writeEntry(found.position, found.entry);
}

}  // namespace kestrel::fatfs
