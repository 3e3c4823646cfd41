// Directory contents on the card: walking a directory a sector at a time
// (the root region, or a subdirectory's cluster chain), the search modes,
// short forms of names with numeric tails, creating and removing entries,
// and long names. Cluster 0 names the root directory.
#pragma once

#include "fatfs/cluster_io.h"
#include "fatfs/dir_entry.h"
#include "fatfs/dir_sector_cache.h"
#include "fatfs/fat_table.h"
#include "fatfs/held_dir_sectors.h"
#include "fatfs/time_stamp.h"
#include "fatfs/volume.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::fatfs {

struct FoundEntry {
    DirEntry entry;
    DirPosition position;
};

enum class SearchMode { ShortNameEquals, FirstCluster, NthEntry, NthSubdirectory, EndSlot, DeletedSlot };

struct SearchKey {
    ShortName name{};
    uint32_t number = 0;  // first cluster, or n
};

class Directory {
public:
    // `random` gives numbers from 0 to 32767 for the random short-name tails.
    Directory(Volume& volume, ClusterIo& io, FatTable& fat, std::function<uint32_t()> random, Clock clock)
        : volume_(volume), io_(io), fat_(fat), random_(std::move(random)), clock_(std::move(clock)) {}

    // 23 when nothing is found, 24 for a broken chain.
    uint32_t search(uint32_t directory, SearchMode mode, const SearchKey& key, FoundEntry* found);
    uint32_t findByName(uint32_t directory, std::string_view name, FoundEntry* found);
    // The entry just before `at`, across cluster boundaries; 23 at the start.
    uint32_t previous(const DirPosition& at, FoundEntry* found);
    // Calls `visit` for every entry up to the end marker that is neither
    // deleted nor a long-name entry; `visit` returns true to stop.
    uint32_t forEachEntry(uint32_t directory, const std::function<bool(const FoundEntry&)>& visit);
    // Every entry from the start of the directory, a sector at a time, until
    // `visit` returns true.
    uint32_t visitEntries(uint32_t directory, const std::function<bool(const DirEntry&, const DirPosition&)>& visit);
    // Entries that are neither free, deleted nor long-name entries, over
    // every sector of the directory.
    uint32_t countEntries(uint32_t directory, uint32_t* count);
    // The n-th entries (NthEntry) for n = first ... first + count - 1, in
    // one pass over the directory, each handed to `deliver` with its index
    // from 0. 23 when the directory ends before them all (`delivered`
    // says how many came). A call that asks for the entries just after
    // the last call's, with nothing written in between, goes on where
    // that call stopped instead of reading the directory from its start.
    uint32_t nthEntries(uint32_t directory, uint32_t first, uint32_t count, uint32_t* delivered,
                        const std::function<void(uint32_t index, const FoundEntry&)>& deliver);
    // Forgets the cached directory sectors and where the last listing
    // stopped: for when the volume is mounted, formatted or reset.
    void dropCache();

    // While holding, directory writes stay in memory (and reads see them)
    // until writeOutHeld() puts them on the card.
    void setHolding(bool on) { held_.setHolding(on); }
    bool holding() const { return held_.holding(); }
    bool anyHeld() const { return !held_.empty(); }
    // The held sectors to the card, in sector order; they are dropped
    // whatever the result.
    [[nodiscard]] uint32_t writeOutHeld();
    // Forgets the held sectors (the card's state is read again).
    void dropHeld();

    uint32_t readEntry(const DirPosition& at, DirEntry* entry);
    uint32_t writeEntry(const DirPosition& at, const DirEntry& entry);

    // The 11-byte form of `name`, with a tail unique in `directory` when the
    // name does not fit.
    uint32_t shortForm(uint32_t directory, std::string_view name, ShortName* out);

    // "." and ".." are refused (11). `where` receives the entry's position.
    uint32_t createEntry(uint32_t directory, std::string_view name, uint32_t firstCluster, uint32_t size,
                         bool isDirectory, DirPosition* where = nullptr);
    // "." and ".." as the first two entries of the new directory `cluster`
    // (already filled with zeros).
    uint32_t createDotEntries(uint32_t cluster, uint32_t parent);
    // Marks the entry and its long-name entries deleted, frees its chain and
    // stores the FAT.
    uint32_t removeEntry(uint32_t directory, std::string_view name);
    uint32_t removeEntryByShortName(uint32_t directory, const ShortName& name);
    // Marks the long-name entries just before `at` deleted.
    uint32_t deleteLongNameEntriesBefore(const DirPosition& at);
    // Writes `entry` at `at` (the entry renamed, or marked deleted) and
    // marks the long-name entries before it deleted: in one sector write
    // when they lie in the entry's sector, so that power failing leaves no
    // part of a long name without its entry.
    uint32_t rewriteEntryWithoutLongName(const DirPosition& at, const DirEntry& entry);

    // The long name of `shortEntry`: 22 when it has none, 9 when the
    // entries in front of it do not make a complete name of that entry
    // (a sequence number out of order, or a checksum of another short name).
    uint32_t readLongName(const FoundEntry& shortEntry, std::u16string* name);
    // `from` receives where the short entry was, `to` where it is now (the
    // same place when the name is not stored).
    uint32_t setLongName(uint32_t directory, std::string_view shortName, const std::u16string& longName,
                         DirPosition* from, DirPosition* to);

    DateTime now() const { return clock_(); }
    const FatTable& fat() const { return fat_; }

    // Told the first cluster of every entry removed (open handles of a
    // removed file must not write into clusters handed out again).
    void setRemovalListener(std::function<void(uint32_t firstCluster)> listener) {
        removed_ = std::move(listener);
    }

private:
    DirEntry newEntry(const ShortName& name, uint32_t firstCluster, uint32_t size, bool isDirectory) const;
    // Calls `visit` for each entry, a sector at a time, from the start of
    // the directory; `visit` returns true to stop.
    // From the sector that holds `from` when it is given.
    uint32_t walk(uint32_t directory, const std::function<bool(const DirEntry&, const DirPosition&)>& visit,
                  const DirPosition* from = nullptr);
    // One 512-byte piece of a directory at the cluster layer's (cluster,
    // offset), from the cache when it holds it.
    uint32_t readDirSector(uint32_t cluster, uint32_t offset, uint8_t* sector);
    uint32_t readDirBytes(const DirPosition& at, uint8_t* data, uint32_t length);
    uint32_t writeDirBytes(const DirPosition& at, const uint8_t* data, uint32_t length);
    // Lays `length` bytes at the cluster layer's (cluster, offset), the
    // offset `inSector` into its sector, over the held sectors.
    uint32_t holdDirBytes(uint32_t cluster, uint32_t offset, uint32_t inSector, const uint8_t* data,
                          uint32_t length);
    uint32_t rootBytes() const { return volume_.boot.rootEntries * DIR_ENTRY; }
    uint32_t removeFound(const FoundEntry& found);
    uint32_t growDirectory(uint32_t directory, const DirEntry* first, uint32_t* added);
    uint32_t lastCluster(uint32_t directory, uint32_t* last);
    uint32_t freeRunForLongName(uint32_t directory, uint32_t entries, DirPosition* slot);
    // Writes consecutive entries from `slot` on, into the next cluster of
    // the chain when they do not fit.
    // `last` receives the position of the run's last entry.
    uint32_t writeRun(const DirPosition& slot, const std::vector<uint8_t>& run, DirPosition* last);
    // Whether the `count` entries just before `at` lie in its sector and are
    // deleted or long-name entries; `first` receives the first of them.
    bool slotsInFront(const DirPosition& at, uint32_t count, DirPosition* first);
    // Writes `run` at `slot` and deletes the entry at `old` with its long
    // name in one sector write; `written` stays false (nothing written) when
    // they do not all lie in one sector.
    // Marks deleted, in `sector` (read from `start`), the long-name
    // entries just before entry `index`; `inSector` is false (and nothing
    // marked) when they continue into the sector before.
    uint32_t deleteLongNameInSector(const DirPosition& start, uint32_t index, uint8_t* sector, bool* inSector);
    uint32_t writeRunOverEntry(const DirPosition& slot, const std::vector<uint8_t>& run, const DirPosition& old,
                               DirPosition* last, bool* written);

    Volume& volume_;
    ClusterIo& io_;
    FatTable& fat_;
    std::function<uint32_t()> random_;
    Clock clock_;
    std::function<void(uint32_t)> removed_;
    DirSectorCache cache_;
    HeldDirSectors held_;
    // Where the last nthEntries() stopped: the entry with index `next` - 1
    // of `directory` lies at `last`. Valid while the write count is
    // `writes`.
    struct ListingCursor {
        bool valid = false;
        uint32_t directory = 0;
        uint32_t next = 0;
        DirPosition last;
        uint64_t writes = 0;
    } cursor_;
};

// False for names holding characters no FAT name may hold: control
// characters and " * / : < > ? \ |.
bool validEntryName(std::string_view name);
bool isDotName(std::string_view name);
// A name a new entry may take: valid, and neither "." nor "..".
bool validNewName(std::string_view name);

}  // namespace kestrel::fatfs
