// Long names: up to 39 16-bit characters in long-name entries placed just
// before their short entry, read for listings and written by renaming the
// short entry into place behind them.
#include "fatfs/directory.h"

#include "fatfs/fs_results.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <vector>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t CHARS_PER_ENTRY = 13;
constexpr uint32_t MAX_LONG_NAME = 39;
constexpr uint32_t MAX_ENTRIES_READ = 4;
constexpr uint8_t LAST_ENTRY = 0x40;
// Byte offsets of the 13 characters of a long-name entry.
constexpr uint32_t CHAR_OFFSETS[CHARS_PER_ENTRY] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

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
        if (result == FS_NOT_FOUND || !before.entry.isLongName()) {
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

uint32_t Directory::setLongName(uint32_t directory, std::string_view shortName, const std::u16string& longName) {
    for (char16_t c : longName) {
        if (c < 0x20 || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos) return FS_INVALID;
    }
    if (longName.empty() || fitsShortForm(longName)) return FS_OK;
    const uint32_t n = static_cast<uint32_t>(longName.size());
    const uint32_t entries = (n - 1) / CHARS_PER_ENTRY + 2;

    FoundEntry file;
    if (const uint32_t error = findByName(directory, shortName, &file)) return error;
    DirPosition slot;
    if (const uint32_t error = freeRunForLongName(directory, entries, &slot)) return error;

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

    // The new run first: if it cannot be written, the old entry still
    // holds the file.
    if (const uint32_t error = writeRun(slot, run)) return error;
    DirEntry old = file.entry;
    old.bytes[0] = ENTRY_DELETED;
    std::fill(old.bytes.begin() + 26, old.bytes.end(), 0);
    if (const uint32_t error = writeEntry(file.position, old)) return error;
    return deleteLongNameEntriesBefore(file.position);
}

uint32_t Directory::writeRun(const DirPosition& slot, const std::vector<uint8_t>& run) {
    const uint32_t regionBytes = slot.directory == 0 ? rootBytes() : volume_.clusterBytes();
    const uint32_t here = std::min<uint32_t>(static_cast<uint32_t>(run.size()), regionBytes - slot.offset);
    if (const uint32_t error = writeDirBytes(slot, run.data(), here)) return error;
    if (here == run.size()) return FS_OK;
    uint32_t next = 0;
    if (fat_.nextLink(slot.cluster, &next) != FS_OK || next == FAT_END) return FS_BROKEN_CHAIN;
    return writeDirBytes({slot.directory, next, 0}, run.data() + here, static_cast<uint32_t>(run.size()) - here);
}

}  // namespace kestrel::fatfs
