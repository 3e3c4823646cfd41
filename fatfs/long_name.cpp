// Long names: up to 39 16-bit characters in long-name entries placed just
// before their short entry, read for listings and written in front of the
// short entry where free slots allow, else by moving the short entry into
// place behind them.
#include "fatfs/directory.h"

#include "fatfs/fs_results.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t CHARS_PER_ENTRY = 13;
constexpr uint32_t MAX_LONG_NAME = 39;
constexpr uint32_t MAX_ENTRIES_READ = 4;
constexpr uint8_t LAST_ENTRY = 0x40;
// Byte offsets of the 13 characters of a long-name entry.
constexpr uint32_t CHAR_OFFSETS[CHARS_PER_ENTRY] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

DirPosition sectorStart(const DirPosition& at) { return {at.directory, at.cluster, at.offset - at.offset % SECTOR}; }

uint8_t checksum(const ShortName& name) {
    uint32_t sum = 0;
    for (uint8_t byte : name) sum = (((sum & 1u) << 7) + (sum >> 1) + byte) & 0xFFu;
    return static_cast<uint8_t>(sum);
}

// A long name that the short form holds as it is is not stored.
bool fitsShortForm(const std::u16string& name) {
    const size_t n = name.size();
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos) return n >= 1 && n <= 8;
    if (name[0] == u'.') return false;  // ".abc" has no short form of its own
    const size_t e = n - dot - 1;
    return n < 12 && e <= 3 && n - e - 1 <= 8;
}

}  // namespace

uint32_t Directory::readLongName(const FoundEntry& shortEntry, std::u16string* name) {
    name->clear();
    std::u16string chars;
    const uint8_t sum = checksum(shortEntry.entry.name());
    DirPosition position = shortEntry.position;
    for (uint32_t used = 0; used < MAX_ENTRIES_READ; ++used) {
        FoundEntry before;
        const uint32_t result = previous(position, &before);
        if (result != FS_OK && result != FS_NOT_FOUND) return result;
        // A deleted long-name entry belongs to no name any more.
        if (result == FS_NOT_FOUND || !before.entry.isLongName() || before.entry.isDeleted()) {
            return used == 0 ? FS_NO_LONG_NAME : FS_LONG_NAME_INVALID;
        }
        // Each entry must belong to this short name and follow the one
        // before it: a run left behind by another name is no name of this one.
        const uint8_t sequence = before.entry.bytes[0];
        if ((sequence & 0xBFu) != used + 1 || before.entry.bytes[13] != sum) return FS_LONG_NAME_INVALID;
        for (uint32_t offset : CHAR_OFFSETS) {
            if (chars.size() < MAX_LONG_NAME) chars += static_cast<char16_t>(loadLe16(&before.entry.bytes[offset]));
        }
        if (sequence & LAST_ENTRY) {
            *name = chars.substr(0, chars.find(u'\0'));
            return FS_OK;
        }
        position = before.position;
    }
    return FS_LONG_NAME_INVALID;
}

uint32_t Directory::freeRunForLongName(uint32_t directory, uint32_t entries, DirPosition* slot) {
    const uint32_t bytes = entries * DIR_ENTRY;
    const uint32_t regionBytes = directory == 0 ? rootBytes() : volume_.clusterBytes();
    FoundEntry end;
    const uint32_t result = search(directory, SearchMode::EndSlot, {}, &end);
    if (result != FS_OK && result != FS_NOT_FOUND) return result;
    if (result == FS_OK) {
        *slot = end.position;
        if (slot->offset + bytes <= regionBytes) return FS_OK;
        if (directory == 0) return FS_ROOT_FULL;
        if (volume_.fat.get(slot->cluster) != FAT_END) return FS_OK;  // the run continues in the next cluster
        uint32_t added = 0;
        return growDirectory(directory, nullptr, &added);
    }
    // No end marker: a run of deleted entries inside one cluster, so that
    // no live entry is overwritten.
    uint32_t runLength = 0;
    bool hit = false;
    const uint32_t walked = walk(directory, [&](const DirEntry& entry, const DirPosition& at) {
        if (at.offset == 0) runLength = 0;
        if (!entry.isDeleted()) {
            runLength = 0;
            return false;
        }
        if (runLength++ == 0) *slot = at;
        hit = runLength == entries;
        return hit;
    });
    if (walked != FS_OK && walked != FS_NOT_FOUND) return walked;
    if (hit) return FS_OK;
    if (directory == 0) return FS_ROOT_FULL;
    uint32_t added = 0;
    if (const uint32_t error = growDirectory(directory, nullptr, &added)) return error;
    *slot = {directory, added, 0};
    return FS_OK;
}

uint32_t Directory::setLongName(uint32_t directory, std::string_view shortName, const std::u16string& longName,
                               DirPosition* from, DirPosition* to) {
    for (char16_t c : longName) {
        if (c < 0x20 || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos) return FS_INVALID;
    }
    FoundEntry file;
    if (const uint32_t error = findByName(directory, shortName, &file)) return error;
    *from = *to = file.position;
    // A name the short form holds is not stored, and the long name the
    // entry had is no longer its name.
    if (longName.empty() || fitsShortForm(longName)) return deleteLongNameEntriesBefore(file.position);
    const uint32_t n = static_cast<uint32_t>(longName.size());
    const uint32_t entries = (n - 1) / CHARS_PER_ENTRY + 2;

    DirPosition slot;
    if (!slotsInFront(file.position, entries - 1, &slot)) {
        if (const uint32_t error = freeRunForLongName(directory, entries, &slot)) return error;
    }

    const uint8_t sum = checksum(file.entry.name());
    std::vector<uint8_t> run(entries * DIR_ENTRY, 0xFF);
    for (uint32_t k = 0; k + 1 < entries; ++k) {
        uint8_t* entry = &run[(entries - 2 - k) * DIR_ENTRY];
        entry[0] = static_cast<uint8_t>((k + 1) | (k + 2 == entries ? LAST_ENTRY : 0));
        entry[11] = ATTR_LONG_NAME;
        entry[12] = 0;
        entry[13] = sum;
        entry[26] = entry[27] = 0;
        for (uint32_t c = 0; c < CHARS_PER_ENTRY; ++c) {
            const uint32_t index = k * CHARS_PER_ENTRY + c;
            if (index <= n) storeLe16(entry + CHAR_OFFSETS[c], index < n ? longName[index] : 0);
        }
    }
    std::copy(file.entry.bytes.begin(), file.entry.bytes.end(), run.end() - DIR_ENTRY);

    // Run, old entry and the old long name all in one sector: one write
    // changes them together, so that power failing leaves the old name or
    // the new one and never two short entries for one chain.
    bool written = false;
    if (const uint32_t error = writeRunOverEntry(slot, run, file.position, to, &written)) return error;
    if (written) return FS_OK;
    // Otherwise the new run first: if it cannot be written, the old entry
    // still holds the file. Power failing before the old entry is deleted
    // leaves both; the next mount removes one (doubled_entries.cpp).
    if (const uint32_t error = writeRun(slot, run, to)) return error;
    DirEntry old = file.entry;
    old.bytes[0] = ENTRY_DELETED;
    std::fill(old.bytes.begin() + 26, old.bytes.end(), 0);
    return rewriteEntryWithoutLongName(file.position, old);
}

bool Directory::slotsInFront(const DirPosition& at, uint32_t count, DirPosition* first) {
    // Within the entry's own sector only, so that one write replaces them.
    if (at.offset % SECTOR < count * DIR_ENTRY) return false;
    std::array<uint8_t, SECTOR> sector{};
    const DirPosition start = sectorStart(at);
    if (readDirBytes(start, sector.data(), SECTOR) != FS_OK) return false;
    const uint32_t index = (at.offset % SECTOR) / DIR_ENTRY;
    for (uint32_t i = index - count; i < index; ++i) {
        DirEntry entry;
        std::copy_n(sector.begin() + i * DIR_ENTRY, DIR_ENTRY, entry.bytes.begin());
        // Deleted slots, or the long name the entry has now.
        if (!entry.isDeleted() && entry.attributes() != ATTR_LONG_NAME) return false;
    }
    *first = {at.directory, at.cluster, at.offset - count * DIR_ENTRY};
    return true;
}

uint32_t Directory::writeRunOverEntry(const DirPosition& slot, const std::vector<uint8_t>& run,
                                      const DirPosition& old, DirPosition* last, bool* written) {
    *written = false;
    const auto size = static_cast<uint32_t>(run.size());
    const DirPosition start = sectorStart(old);
    if (!(sectorStart(slot) == start) || slot.offset % SECTOR + size > SECTOR) return FS_OK;
    std::array<uint8_t, SECTOR> sector{};
    if (const uint32_t error = readDirBytes(start, sector.data(), SECTOR)) return error;
    const uint32_t oldIndex = (old.offset % SECTOR) / DIR_ENTRY;
    // The old long name must lie in this sector too: one that reaches into
    // the sector before is left to the writes one entry at a time.
    bool inSector = false;
    if (const uint32_t error = deleteLongNameInSector(start, oldIndex, sector.data(), &inSector)) return error;
    if (!inSector) return FS_OK;
    uint8_t* oldEntry = &sector[oldIndex * DIR_ENTRY];
    oldEntry[0] = ENTRY_DELETED;
    std::fill(oldEntry + 26, oldEntry + DIR_ENTRY, 0);
    std::copy(run.begin(), run.end(), sector.begin() + slot.offset % SECTOR);
    if (const uint32_t error = writeDirBytes(start, sector.data(), SECTOR)) return error;
    *last = {slot.directory, slot.cluster, slot.offset + size - DIR_ENTRY};
    *written = true;
    return FS_OK;
}

uint32_t Directory::deleteLongNameInSector(const DirPosition& start, uint32_t index, uint8_t* sector,
                                           bool* inSector) {
    uint32_t first = index;
    while (first > 0 && sector[(first - 1) * DIR_ENTRY + 11] == ATTR_LONG_NAME) --first;
    *inSector = true;
    if (first == 0) {
        FoundEntry before;
        const uint32_t result = previous(start, &before);
        if (result != FS_OK && result != FS_NOT_FOUND) return result;
        *inSector = result == FS_NOT_FOUND || before.entry.attributes() != ATTR_LONG_NAME;
    }
    if (*inSector) {
        for (uint32_t i = first; i < index; ++i) sector[i * DIR_ENTRY] = ENTRY_DELETED;
    }
    return FS_OK;
}

uint32_t Directory::rewriteEntryWithoutLongName(const DirPosition& at, const DirEntry& entry) {
    std::array<uint8_t, SECTOR> sector{};
    const DirPosition start = sectorStart(at);
    if (const uint32_t error = readDirBytes(start, sector.data(), SECTOR)) return error;
    const uint32_t index = (at.offset % SECTOR) / DIR_ENTRY;
    bool inSector = false;
    if (const uint32_t error = deleteLongNameInSector(start, index, sector.data(), &inSector)) return error;
    if (!inSector) {
        // Across a sector boundary: the long name first, so that power
        // failing in between leaves no long name in front of a deleted
        // entry.
        if (const uint32_t error = deleteLongNameEntriesBefore(at)) return error;
        return writeEntry(at, entry);
    }
    std::copy(entry.bytes.begin(), entry.bytes.end(), sector.begin() + index * DIR_ENTRY);
    return writeDirBytes(start, sector.data(), SECTOR);
}

uint32_t Directory::writeRun(const DirPosition& slot, const std::vector<uint8_t>& run, DirPosition* last) {
    const uint32_t regionBytes = slot.directory == 0 ? rootBytes() : volume_.clusterBytes();
    const auto size = static_cast<uint32_t>(run.size());
    const uint32_t here = std::min<uint32_t>(size, regionBytes - slot.offset);
    if (const uint32_t error = writeDirBytes(slot, run.data(), here)) return error;
    if (here == size) {
        *last = {slot.directory, slot.cluster, slot.offset + size - DIR_ENTRY};
        return FS_OK;
    }
    uint32_t next = 0;
    if (fat_.nextLink(slot.cluster, &next) != FS_OK || next == FAT_END) return FS_BROKEN_CHAIN;
    *last = {slot.directory, next, size - here - DIR_ENTRY};
    return writeDirBytes({slot.directory, next, 0}, run.data() + here, size - here);
}

}  // namespace kestrel::fatfs
