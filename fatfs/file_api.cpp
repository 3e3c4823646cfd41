// Files by path and by handle: create, open, close, pre-extension, removal,
// size, move, stat records.
#include "fatfs/file_system.h"

#include "fatfs/dir_tree.h"
#include "fatfs/fs_results.h"
#include "fatfs/path.h"
#include "platform/byte_order.h"

#include <algorithm>

namespace kestrel::fatfs {

uint32_t FileSystem::handlePrologue(uint32_t handle, OpenFile** file) {
    const FileHandle decoded = FileHandle::decode(handle);
    if (decoded.volume != 0) return FS_INVALID;
    if (const uint32_t error = ensureMounted()) return error;
    *file = files_.find(decoded.firstCluster, decoded.instance);
    return *file ? FS_OK : FS_NOT_OPEN;
}

uint32_t FileSystem::resolveParent(std::string_view path, uint32_t* parent) {
    if (const uint32_t error = prologue(path)) return error;
    return resolvePath(directory_, path, PathMode::Parent, parent);
}

uint32_t FileSystem::findInParent(std::string_view path, uint32_t* parent, FoundEntry* found) {
    if (const uint32_t error = resolveParent(path, parent)) return error;
    return directory_.findByName(*parent, finalComponent(path), found);
}

uint32_t FileSystem::createFile(std::string_view path, uint32_t overwrite, uint32_t* handle) {
    // Replacing a file frees its chain: not inside a batch.
    if (batch_ && overwrite != 0) return unbatched([&] { return createNow(path, overwrite, handle); });
    const uint32_t result = createNow(path, overwrite, handle);
    if (result == FS_OK && batch_) batchChains_.insert(FileHandle::decode(*handle).firstCluster);
    return result;
}

uint32_t FileSystem::createNow(std::string_view path, uint32_t overwrite, uint32_t* handle) {
    // A directory on the way that is missing is no reason to create the
    // file elsewhere: only the final component may be new.
    uint32_t parent = 0;
    if (const uint32_t error = resolveParent(path, &parent)) return error;
    const std::string_view name = finalComponent(path);
    FoundEntry existing;
    const uint32_t search = directory_.findByName(parent, name, &existing);
    if (search != FS_OK && search != FS_NOT_FOUND) return search;
    const bool replacing = search == FS_OK;
    // Everything that can refuse the new file is checked before an existing
    // one is touched: a refused overwrite leaves the old file as it was.
    // Replacing a directory would orphan everything below it.
    if (replacing && (overwrite != 1 || existing.entry.isDirectory() || existing.entry.isVolumeLabel())) {
        return FS_EXISTS;
    }
    if (!validNewName(name)) return FS_INVALID;
    // Removing the old file closes its handles, which makes room.
    const bool oldWasOpen = replacing && files_.countOf(existing.entry.firstCluster()) > 0;
    if (files_.full() && !oldWasOpen) return FS_TOO_MANY_FILES;
    const bool oldFreesCluster = replacing && existing.entry.firstCluster() >= 2;
    if (fat_.findFree() == 0 && !oldFreesCluster) return FS_DISK_FULL;
    if (replacing) {
        if (const uint32_t error = directory_.removeEntryByShortName(parent, existing.entry.name())) return error;
    }

    // The cluster reaches the card's FAT with the next store (at the latest
    // at the close). Should the write be cut off before that, the next
    // mount keeps the cluster from being handed out again (named_clusters).
    const uint32_t cluster = fat_.findFree();
    if (cluster == 0) return FS_DISK_FULL;
    volume_.fat.set(cluster, FAT_END);
    // The cluster is taken on the card before an entry names it: power
    // failing in between leaves a lost cluster, never an entry that points
    // at a free one (which the next file would then take as well).
    if (const uint32_t error = fat_.store()) {
        volume_.fat.set(cluster, FAT_FREE);
        return error;
    }

    OpenFile record;
    record.firstCluster = record.current = cluster;
    record.directory = parent;
    record.mode = MODE_CREATED;
    record.buffer.assign(volume_.writeBufferSize, 0);
    if (const uint32_t error = directory_.createEntry(parent, name, cluster, 0, false, &record.entry)) {
        volume_.fat.set(cluster, FAT_FREE);
        return error;
    }
    files_.add(std::move(record));
    *handle = FileHandle{cluster, 0, 0}.encode();
    return FS_OK;
}

uint32_t FileSystem::openFile(std::string_view path, uint32_t mode, uint32_t* handle) {
    uint32_t parent = 0;
    FoundEntry found;
    if (const uint32_t error = findInParent(path, &parent, &found)) return error;
    const bool writing = (mode & MODE_WRITE) != 0;
    // A directory's clusters hold its entries, and a label owns none:
    // neither is written as a file.
    if (writing && (found.entry.isDirectory() || found.entry.isVolumeLabel())) return FS_INVALID;
    // A damaged chain (broken, looping, or shared with another file) is
    // neither read nor written.
    if (const uint32_t error = checkOwnChain(directory_, fat_, found)) return error;
    // Refused before an empty file is given its first cluster.
    const bool needsCluster = writing && found.entry.firstCluster() == 0;
    if (!needsCluster && files_.freeInstance(found.entry.firstCluster()) >= MAX_INSTANCES) {
        return FS_TOO_MANY_INSTANCES;
    }
    if (files_.full()) return FS_TOO_MANY_FILES;
    if (needsCluster) {
        if (const uint32_t error = giveFirstCluster(found)) return error;
    }
    const uint32_t first = found.entry.firstCluster();
    const uint32_t instance = files_.freeInstance(first);
    OpenFile record;
    record.firstCluster = record.current = first;
    record.directory = parent;
    record.entry = found.position;
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
    if (batch_) batchChains_.insert(cluster);
    found.entry.setFirstCluster(static_cast<uint16_t>(cluster));
    if (const uint32_t error = fat_.store()) {
        volume_.fat.set(cluster, FAT_FREE);
        return error;
    }
    return directory_.writeEntry(found.position, found.entry);
}

uint32_t FileSystem::closeFile(uint32_t handle) {
    // A close may shorten or free the chain: inside a batch only for chains
    // the batch took itself (the card names none of their clusters).
    if (batch_ && !takenInBatch(FileHandle::decode(handle).firstCluster)) {
        return unbatched([&] { return closeNow(handle); });
    }
    return closeNow(handle);
}

uint32_t FileSystem::closeNow(uint32_t handle) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    if (file->writable()) {
        if (const uint32_t error = flush(*file)) return error;
        DirEntry entry;
        if (const uint32_t error = directory_.readEntry(file->entry, &entry)) return error;
        if (entry.isEnd() || entry.isDeleted() || entry.isLongName() || entry.firstCluster() != file->firstCluster) {
            // The slot holds another entry now: nothing is written into it,
            // and the record can never be closed otherwise.
            files_.remove(file);
            return FS_NOT_FOUND;
        }
        const uint32_t oldSize = entry.size();
        const uint64_t clusterBytes = volume_.clusterBytes();
        auto clustersFor = [clusterBytes](uint64_t bytes) { return (bytes + clusterBytes - 1) / clusterBytes; };
        const DateTime now = directory_.now();
        entry.setTime(file->stamped ? file->stampTime : encodeTime(now));
        entry.setDate(file->stamped ? file->stampDate : encodeDate(now));
        entry.setSize(file->size);
        // An empty file owns no cluster on the card (as every FAT reader
        // expects), once no other handle still writes through it.
        const bool releaseChain = file->size == 0 && files_.countOf(file->firstCluster) == 1;
        if (releaseChain) entry.setFirstCluster(0);
        // A file that grew: its clusters are linked on the card before the
        // entry claims them. Power failing in between leaves a chain longer
        // than the entry's size; the other order would leave an entry that
        // reaches into clusters the card's FAT calls free.
        if (clustersFor(file->size) > std::max<uint64_t>(1, clustersFor(oldSize))) {
            if (const uint32_t error = fat_.store()) return error;
        }
        if (const uint32_t error = directory_.writeEntry(file->entry, entry)) return error;
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
    if (batch_) return unbatched([&] { return removeFile(path); });
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

// A rename within one directory rewrites the entry in its own slot, with
// the old name's long name in the same write where it shares the entry's
// sector: power failing leaves the old name or the new one, never two
// entries sharing one chain. A long name reaching into the sector before
// goes first (power failing then leaves the file under its short name).
uint32_t FileSystem::renameInPlace(uint32_t directory, const FoundEntry& found, std::string_view newName) {
    if (!validEntryName(newName)) return FS_INVALID;
    ShortName shortName{};
    if (const uint32_t error = directory_.shortForm(directory, newName, &shortName)) return error;
    DirEntry renamed = found.entry;
    renamed.setName(shortName);
    return directory_.rewriteEntryWithoutLongName(found.position, renamed);
}

uint32_t FileSystem::moveFile(std::string_view source, std::string_view destination) {
    if (batch_) return unbatched([&] { return moveFile(source, destination); });
    if (names_.volumeOf(destination) != 0u) return FS_INVALID;
    if (const uint32_t error = prologue(source)) return error;
    uint32_t cluster = 0;
    if (resolvePath(directory_, source, PathMode::Target, &cluster) != FS_OK) return FS_MOVE_NOT_FOUND;
    const std::string_view sourceDir = directoryText(source), sourceName = finalComponent(source);
    const std::string_view destDir = directoryText(destination), destName = finalComponent(destination);
    if (sourceDir == destDir && sourceName == destName) return FS_OK;
    if (!validNewName(destName) || isDotName(sourceName)) return FS_INVALID;
    uint32_t destCluster = 0;
    if (resolvePath(directory_, destDir, PathMode::Target, &destCluster) != FS_OK) return FS_MOVE_NOT_FOUND;
    if (resolvePath(directory_, destination, PathMode::Target, &cluster) == FS_OK) return FS_EXISTS;

    uint32_t sourceCluster = 0;
    if (const uint32_t error = resolvePath(directory_, sourceDir, PathMode::Target, &sourceCluster)) return error;
    FoundEntry found;
    if (const uint32_t error = directory_.findByName(sourceCluster, sourceName, &found)) return error;
    if (found.entry.isVolumeLabel()) return FS_INVALID;
    // A directory cannot move into its own tree: it would be cut off. What
    // counts is where the destination lies, however its path is spelt.
    if (found.entry.isDirectory()) {
        bool inside = false;
        if (const uint32_t error = isWithin(destCluster, found.entry.firstCluster(), &inside)) return error;
        if (inside) return FS_INVALID;
    }
    if (sourceCluster == destCluster) return renameInPlace(sourceCluster, found, destName);
    // The new entry first: if it cannot be made, the old one still holds
    // the file.
    DirPosition moved;
    if (const uint32_t error = directory_.createEntry(destCluster, destName, found.entry.firstCluster(),
                                                      found.entry.size(), found.entry.isDirectory(), &moved)) {
        return error;
    }
    // Open handles of the file close into its new entry.
    files_.relocateEntry(found.position, moved);
    // A moved directory's ".." names its new parent before the old entry
    // goes. Power failing while both entries are on the card leaves the
    // one in the directory that ".." names (doubled_entries.cpp), so that
    // ".." is true at every point.
    if (found.entry.isDirectory()) {
        FoundEntry dotDot;
        const ShortName dotDotName = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
        if (const uint32_t error = directory_.search(found.entry.firstCluster(), SearchMode::ShortNameEquals,
                                                     {dotDotName, 0}, &dotDot)) {
            return error;
        }
        dotDot.entry.setFirstCluster(static_cast<uint16_t>(destCluster));
        if (const uint32_t error = directory_.writeEntry(dotDot.position, dotDot.entry)) return error;
    }
    DirEntry deleted;
    deleted.bytes[0] = ENTRY_DELETED;
    return directory_.rewriteEntryWithoutLongName(found.position, deleted);
}

// Whether `directory` is `top` or lies below it, found by climbing the
// ".." entries to the root. A climb that does not reach the root within as
// many steps as the volume has clusters meets a loop (11).
uint32_t FileSystem::isWithin(uint32_t directory, uint32_t top, bool* inside) {
    const ShortName dotDotName = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    for (uint32_t steps = 0; steps <= volume_.fat.count(); ++steps) {
        *inside = directory == top;
        if (*inside || directory == 0) return FS_OK;
        FoundEntry dotDot;
        if (const uint32_t error =
                directory_.search(directory, SearchMode::ShortNameEquals, {dotDotName, 0}, &dotDot)) {
            return error;
        }
        directory = dotDot.entry.firstCluster();
    }
    return FS_INVALID;
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
    // A file cannot become a directory, a label or a long-name entry, and a
    // directory stays a directory.
    auto attributes = static_cast<uint8_t>(loadLe32(stat));
    if (found.entry.isVolumeLabel() || (attributes & ATTR_VOLUME_LABEL) != 0) return FS_INVALID;
    if (found.entry.isDirectory()) {
        attributes |= ATTR_DIRECTORY;
    } else if ((attributes & ATTR_DIRECTORY) != 0) {
        return FS_INVALID;
    }
    found.entry.bytes[11] = attributes;
    found.entry.setTime(encodeTime(stat[16], stat[17], stat[18]));
    found.entry.setDate(encodeDate(loadLe16(stat + 12), stat[14], stat[15]));
    return directory_.writeEntry(found.position, found.entry);
}

}  // namespace kestrel::fatfs
