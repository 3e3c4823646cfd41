// Walking and searching directories, and reading and writing single entries.
#include "fatfs/directory.h"

#include "fatfs/fs_results.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t ENTRIES_PER_SECTOR = SECTOR / DIR_ENTRY;

bool matches(const DirEntry& entry, SearchMode mode, const SearchKey& key, uint32_t& seen) {
    switch (mode) {
    case SearchMode::ShortNameEquals: return entry.name() == key.name;
    case SearchMode::FirstCluster:
        return !entry.isDeleted() && !entry.isLongName() && entry.firstCluster() == key.number;
    case SearchMode::NthEntry:
        if (entry.isDeleted() || entry.isLongName()) return false;
        return seen++ == key.number;
    case SearchMode::NthSubdirectory:
        if (!entry.isDirectory() || entry.isDeleted() || entry.isDot() || entry.isLongName()) return false;
        return seen++ == key.number;
    case SearchMode::EndSlot: return false;  // handled at the end marker
    case SearchMode::DeletedSlot: return entry.isDeleted();
    }
    return false;
}

}  // namespace

uint32_t Directory::readDirSector(uint32_t cluster, uint32_t offset, uint8_t* sector) {
    if (!held_.empty() && held_.lookup(io_.sectorAt(cluster, offset), sector)) return FS_OK;
    cache_.validate(io_.writeCount());
    if (cache_.lookup(cluster, offset, sector)) return FS_OK;
    if (const uint32_t error = io_.read(cluster, offset, sector, SECTOR)) return error;
    cache_.store(cluster, offset, sector);
    return FS_OK;
}

uint32_t Directory::readDirBytes(const DirPosition& at, uint8_t* data, uint32_t length) {
    uint32_t cluster = at.cluster;
    uint32_t offset = at.offset;
    if (at.directory == 0) {
        const RegionStart root = io_.rootStart();
        cluster = root.cluster;
        offset = root.offset + at.offset;
    }
    // A sector at a time, through the held sectors and the cache.
    std::array<uint8_t, SECTOR> sector{};
    for (uint32_t done = 0; done < length;) {
        const uint32_t inSector = (at.offset + done) % SECTOR;
        const uint32_t piece = std::min(length - done, SECTOR - inSector);
        if (const uint32_t error = readDirSector(cluster, offset + done - inSector, sector.data())) return error;
        std::copy_n(sector.begin() + inSector, piece, data + done);
        done += piece;
    }
    return FS_OK;
}

uint32_t Directory::writeDirBytes(const DirPosition& at, const uint8_t* data, uint32_t length) {
    uint32_t cluster = at.cluster;
    uint32_t offset = at.offset;
    if (at.directory == 0) {
        const RegionStart root = io_.rootStart();
        cluster = root.cluster;
        offset = root.offset + at.offset;
    }
    if (held_.holding()) return holdDirBytes(cluster, offset, at.offset % SECTOR, data, length);
    return io_.write(cluster, offset, data, length);
}

uint32_t Directory::holdDirBytes(uint32_t cluster, uint32_t offset, uint32_t inSector, const uint8_t* data,
                                 uint32_t length) {
    std::array<uint8_t, SECTOR> sector{};
    for (uint32_t done = 0; done < length;) {
        const uint32_t at = (inSector + done) % SECTOR;
        const uint32_t piece = std::min(length - done, SECTOR - at);
        const uint32_t start = offset + done - at;
        if (const uint32_t error = readDirSector(cluster, start, sector.data())) return error;
        std::copy_n(data + done, piece, sector.begin() + at);
        try {
            held_.store(io_.sectorAt(cluster, start), cluster, start, sector.data());
        } catch (const std::bad_alloc&) {
            return FS_NO_MEMORY;
        }
        done += piece;
    }
    // What was read before may be stale now (listing cursors, cached
    // sectors): counted as a write.
    io_.noteWrite();
    return FS_OK;
}

uint32_t Directory::writeOutHeld() {
    const std::vector<HeldSector> sectors = held_.inOrder();
    held_.clear();
    // One write batch: consecutive sectors of one erase block reach the
    // card in one block copy, the blocks in ascending order.
    WriteBatch batch(io_);
    for (const HeldSector& sector : sectors) {
        if (const uint32_t error = io_.write(sector.cluster, sector.offset, sector.bytes.data(), SECTOR)) {
            return batch.finish(error);
        }
    }
    return batch.finish(FS_OK);
}

void Directory::dropHeld() {
    held_.clear();
    io_.noteWrite();
}

uint32_t Directory::readEntry(const DirPosition& at, DirEntry* entry) {
    return readDirBytes(at, entry->bytes.data(), DIR_ENTRY);
}

uint32_t Directory::writeEntry(const DirPosition& at, const DirEntry& entry) {
    return writeDirBytes(at, entry.bytes.data(), DIR_ENTRY);
}

uint32_t Directory::visitEntries(uint32_t directory,
                                 const std::function<bool(const DirEntry&, const DirPosition&)>& visit) {
    return walk(directory, visit);
}

uint32_t Directory::walk(uint32_t directory,
                         const std::function<bool(const DirEntry&, const DirPosition&)>& visit,
                         const DirPosition* from) {
    std::array<uint8_t, SECTOR> sector{};
    const auto visitSector = [&](const DirPosition& start) {
        for (uint32_t i = 0; i < ENTRIES_PER_SECTOR; ++i) {
            DirEntry entry;
            std::copy_n(sector.begin() + i * DIR_ENTRY, DIR_ENTRY, entry.bytes.begin());
            if (visit(entry, {start.directory, start.cluster, start.offset + i * DIR_ENTRY})) return true;
        }
        return false;
    };
    const uint32_t firstSector = from != nullptr ? from->offset / SECTOR : 0;
    if (directory == 0) {
        for (uint32_t s = firstSector; s < rootBytes() / SECTOR; ++s) {
            const DirPosition start{0, 0, s * SECTOR};
            if (const uint32_t error = readDirBytes(start, sector.data(), SECTOR)) return error;
            if (visitSector(start)) return FS_OK;
        }
        return FS_NOT_FOUND;
    }
    // A chain that comes back on itself ends the walk at the first revisit.
    VisitedClusters visited(volume_.fat.count());
    bool resuming = from != nullptr;
    if (resuming) {
        // The clusters before the resumed one count as visited, as they
        // would in a walk from the start.
        for (uint32_t cluster = directory; cluster != from->cluster;) {
            if (!fat_.isDataCluster(cluster) || !visited.enter(cluster)) return FS_BROKEN_CHAIN;
            if (const uint32_t error = fat_.nextLink(cluster, &cluster)) return error;
            if (cluster == FAT_END) return FS_BROKEN_CHAIN;
        }
    }
    for (uint32_t cluster = resuming ? from->cluster : directory;;) {
        if (!fat_.isDataCluster(cluster) || !visited.enter(cluster)) return FS_BROKEN_CHAIN;
        for (uint32_t s = resuming ? firstSector : 0; s < volume_.boot.sectorsPerCluster; ++s) {
            const DirPosition start{directory, cluster, s * SECTOR};
            if (const uint32_t error = readDirBytes(start, sector.data(), SECTOR)) return error;
            if (visitSector(start)) return FS_OK;
        }
        resuming = false;
        if (const uint32_t error = fat_.nextLink(cluster, &cluster)) return error;
        if (cluster == FAT_END) return FS_NOT_FOUND;
    }
}

uint32_t Directory::forEachEntry(uint32_t directory, const std::function<bool(const FoundEntry&)>& visit) {
    const uint32_t result = walk(directory, [&](const DirEntry& entry, const DirPosition& at) {
        if (entry.isEnd()) return true;
        if (entry.isDeleted() || entry.isLongName()) return false;
        return visit({entry, at});
    });
    return result == FS_NOT_FOUND ? FS_OK : result;
}

uint32_t Directory::search(uint32_t directory, SearchMode mode, const SearchKey& key, FoundEntry* found) {
    uint32_t seen = 0;
    bool hit = false;
    const uint32_t result = walk(directory, [&](const DirEntry& entry, const DirPosition& at) {
        if (entry.isEnd()) {
            if (mode == SearchMode::EndSlot) {
                *found = {entry, at};
                hit = true;
            }
            return true;  // nothing at or after the end marker is examined
        }
        if (!matches(entry, mode, key, seen)) return false;
        *found = {entry, at};
        hit = true;
        return true;
    });
    if (result != FS_OK) return result;
    return hit ? FS_OK : FS_NOT_FOUND;
}

uint32_t Directory::findByName(uint32_t directory, std::string_view name, FoundEntry* found) {
    SearchKey key;
    if (const uint32_t error = shortForm(directory, name, &key.name)) return error;
    return search(directory, SearchMode::ShortNameEquals, key, found);
}

uint32_t Directory::previous(const DirPosition& at, FoundEntry* found) {
    DirPosition before = at;
    if (at.offset >= DIR_ENTRY) {
        before.offset -= DIR_ENTRY;
    } else {
        if (at.directory == 0 || at.cluster == at.directory) return FS_NOT_FOUND;
        uint32_t cluster = at.directory;
        VisitedClusters visited(volume_.fat.count());
        for (;;) {
            uint32_t next = 0;
            if (!visited.enter(cluster) || fat_.nextLink(cluster, &next) != FS_OK || next == FAT_END) {
                return FS_BROKEN_CHAIN;
            }
            if (next == at.cluster) break;
            cluster = next;
        }
        before.cluster = cluster;
        before.offset = volume_.clusterBytes() - DIR_ENTRY;
    }
    found->position = before;
    return readEntry(before, &found->entry);
}

uint32_t Directory::nthEntries(uint32_t directory, uint32_t first, uint32_t count, uint32_t* delivered,
                                const std::function<void(uint32_t index, const FoundEntry&)>& deliver) {
    *delivered = 0;
    if (count == 0) return FS_OK;
    const uint64_t writes = io_.writeCount();
    const bool resume = cursor_.valid && cursor_.writes == writes && cursor_.directory == directory &&
                        cursor_.next != 0 && cursor_.next <= first;
    cursor_.valid = false;
    uint32_t seen = resume ? cursor_.next : 0;
    const DirPosition* from = resume ? &cursor_.last : nullptr;
    const DirPosition skipThrough = cursor_.last;
    bool skipping = resume;  // the entries of the resumed sector up to the last one delivered
    uint32_t done = 0;
    const uint32_t result = walk(
        directory,
        [&](const DirEntry& entry, const DirPosition& at) {
            if (skipping) {
                skipping = at.offset != skipThrough.offset;
                return false;
            }
            if (entry.isEnd()) return true;  // nothing at or after the end marker counts
            if (entry.isDeleted() || entry.isLongName()) return false;
            if (seen++ < first) return false;
            deliver(done++, {entry, at});
            if (done < count) return false;
            cursor_ = {true, directory, seen, at, writes};
            return true;
        },
        from);
    // Delivering reads (long names) but never writes; should it have,
    // the cursor is not trusted.
    if (cursor_.valid && io_.writeCount() != writes) cursor_.valid = false;
    if (result != FS_OK && result != FS_NOT_FOUND) return result;
    *delivered = done;
    return done == count ? FS_OK : FS_NOT_FOUND;
}

void Directory::dropCache() {
    cache_.clear();
    cursor_.valid = false;
}

uint32_t Directory::countEntries(uint32_t directory, uint32_t* count) {
    *count = 0;
    const uint32_t result = walk(directory, [&](const DirEntry& entry, const DirPosition&) {
        if (!entry.isEnd() && !entry.isDeleted() && !entry.isLongName()) ++*count;
        return false;
    });
    return result == FS_NOT_FOUND ? FS_OK : result;
}

}  // namespace kestrel::fatfs
