// Creating and removing directory entries.
#include "fatfs/directory.h"

#include "fatfs/dir_tree.h"
#include "fatfs/fs_results.h"

#include <algorithm>
#include <array>

namespace kestrel::fatfs {

bool validEntryName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos) return false;
    }
    return true;
}

bool isDotName(std::string_view name) { return name == "." || name == ".."; }

bool validNewName(std::string_view name) { return !isDotName(name) && validEntryName(name); }

DirEntry Directory::newEntry(const ShortName& name, uint32_t firstCluster, uint32_t size, bool isDirectory) const {
    DirEntry entry;
    entry.setName(name);
    entry.bytes[11] = isDirectory ? ATTR_DIRECTORY : ATTR_ARCHIVE;
    const DateTime now = clock_();
    entry.setTime(encodeTime(now));
    entry.setDate(encodeDate(now));
    entry.setFirstCluster(static_cast<uint16_t>(firstCluster));
    entry.setSize(size);
    return entry;
}

uint32_t Directory::createEntry(uint32_t directory, std::string_view name, uint32_t firstCluster, uint32_t size,
                                bool isDirectory, DirPosition* where) {
    // "." and ".." belong to every subdirectory already (createDotEntries).
    if (!validNewName(name)) return FS_INVALID;
    ShortName shortName;
    if (const uint32_t error = shortForm(directory, name, &shortName)) return error;
    const DirEntry entry = newEntry(shortName, firstCluster, size, isDirectory);

    DirPosition unused;
    DirPosition& at = where != nullptr ? *where : unused;
    FoundEntry slot;
    uint32_t result = search(directory, SearchMode::EndSlot, {}, &slot);
    if (result != FS_OK && result != FS_NOT_FOUND) return result;
    if (result == FS_NOT_FOUND && (directory == 0 || fat_.findFree() == 0)) {
        result = search(directory, SearchMode::DeletedSlot, {}, &slot);
        if (result == FS_NOT_FOUND) return directory == 0 ? FS_ROOT_FULL : FS_DISK_FULL;
        if (result != FS_OK) return result;
    }
    if (result == FS_OK) {
        at = slot.position;
        return writeEntry(slot.position, entry);
    }
    uint32_t added = 0;
    if (const uint32_t error = growDirectory(directory, &entry, &added)) return error;
    at = {directory, added, 0};
    return FS_OK;
}

uint32_t Directory::createDotEntries(uint32_t cluster, uint32_t parent) {
    ShortName dot, dotDot;
    dot.fill(' ');
    dotDot.fill(' ');
    dot[0] = dotDot[0] = dotDot[1] = '.';
    if (const uint32_t error = writeEntry({cluster, cluster, 0}, newEntry(dot, cluster, 0, true))) return error;
    return writeEntry({cluster, cluster, DIR_ENTRY}, newEntry(dotDot, parent, 0, true));
}

uint32_t Directory::lastCluster(uint32_t directory, uint32_t* last) {
    VisitedClusters visited(volume_.fat.count());
    for (uint32_t cluster = directory;;) {
        if (!fat_.isDataCluster(cluster) || !visited.enter(cluster)) return FS_BROKEN_CHAIN;
        uint32_t next = 0;
        if (const uint32_t error = fat_.nextLink(cluster, &next)) return error;
        if (next == FAT_END) {
            *last = cluster;
            return FS_OK;
        }
        cluster = next;
    }
}

// Appends a cluster to a subdirectory (`first` as its first entry, zeros
// after it) and stores the FAT.
uint32_t Directory::growDirectory(uint32_t directory, const DirEntry* first, uint32_t* added) {
    uint32_t last = 0;
    if (const uint32_t error = lastCluster(directory, &last)) return error;
    const uint32_t cluster = fat_.findFree();
    if (cluster == 0) return FS_DISK_FULL;
    // Taken before anything is written, so nothing else can take it.
    volume_.fat.set(cluster, FAT_END);
    std::array<uint8_t, SECTOR> sector{};
    // While directory writes are held, the cluster goes to the card as
    // zeros and its first entry is held with the other entries: once the
    // FAT links the cluster, it reads as an empty piece of directory.
    const bool holdFirst = held_.holding() && first != nullptr;
    if (first != nullptr && !holdFirst) std::copy(first->bytes.begin(), first->bytes.end(), sector.begin());
    for (uint32_t s = 0; s < volume_.boot.sectorsPerCluster; ++s) {
        if (const uint32_t error = io_.write(cluster, s * SECTOR, sector.data(), SECTOR)) {
            volume_.fat.set(cluster, FAT_FREE);
            return error;
        }
        sector.fill(0);
    }
    if (holdFirst) {
        if (const uint32_t error = holdDirBytes(cluster, 0, 0, first->bytes.data(), DIR_ENTRY)) {
            volume_.fat.set(cluster, FAT_FREE);
            return error;
        }
    }
    volume_.fat.set(last, static_cast<uint16_t>(cluster));
    *added = cluster;
    return fat_.store();
}

uint32_t Directory::removeEntry(uint32_t directory, std::string_view name) {
    FoundEntry found;
    if (const uint32_t error = findByName(directory, name, &found)) return error;
    return removeFound(found);
}

uint32_t Directory::removeEntryByShortName(uint32_t directory, const ShortName& name) {
    FoundEntry found;
    if (const uint32_t error = search(directory, SearchMode::ShortNameEquals, {name, 0}, &found)) return error;
    return removeFound(found);
}

uint32_t Directory::deleteLongNameEntriesBefore(const DirPosition& at) {
    DirPosition position = at;
    for (;;) {
        FoundEntry before;
        const uint32_t result = previous(position, &before);
        if (result == FS_NOT_FOUND) return FS_OK;
        if (result != FS_OK) return result;
        if (before.entry.attributes() != ATTR_LONG_NAME) return FS_OK;
        before.entry.bytes[0] = ENTRY_DELETED;
        if (const uint32_t error = writeEntry(before.position, before.entry)) return error;
        position = before.position;
    }
}

uint32_t Directory::removeFound(const FoundEntry& found) {
    // A chain that is damaged or shared cannot be freed without freeing
    // what belongs to other files: such an entry stays as it is.
    if (const uint32_t error = checkOwnChain(*this, fat_, found)) return error;
    DirEntry entry = found.entry;
    entry.bytes[0] = ENTRY_DELETED;
    if (const uint32_t error = rewriteEntryWithoutLongName(found.position, entry)) return error;
    // A first cluster of 0 owns nothing; an empty file's one cluster is
    // freed like any other chain.
    uint32_t freed = FS_OK;
    if (entry.firstCluster() != 0) {
        if (removed_) removed_(entry.firstCluster());
        freed = fat_.freeChain(entry.firstCluster());
    }
    const uint32_t stored = fat_.store();
    return freed != FS_OK ? freed : stored;
}

}  // namespace kestrel::fatfs
