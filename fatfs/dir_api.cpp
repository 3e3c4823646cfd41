// The directory operations of the file API.
#include "fatfs/file_system.h"

#include "fatfs/dir_tree.h"
#include "fatfs/fs_results.h"
#include "fatfs/path.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t LONG_NAME_FIELD = 16;
constexpr uint32_t LONG_NAME_CHARS = 39;
constexpr uint32_t STAT_FIELD = 96;

void storeNameText(const ShortName& name, uint8_t* record) {
    std::fill_n(record, NAME_RECORD, 0);
    const std::string text = shortNameText(name);
    std::memcpy(record, text.data(), std::min(text.size(), NAME_RECORD - 1));
}

bool isDotName(const ShortName& name) {
    static const ShortName dot = {'.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static const ShortName dotDot = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    return name == dot || name == dotDot;
}

}  // namespace

uint32_t FileSystem::createDir(std::string_view path) {
    // A new directory's cluster and its entries reach the card in today's
    // order, not held.
    if (batch_) return unbatched([&] { return createDir(path); });
    uint32_t parent = 0;
    if (const uint32_t error = resolveParent(path, &parent)) return error;
    const std::string_view name = finalComponent(path);
    FoundEntry existing;
    const uint32_t search = directory_.findByName(parent, name, &existing);
    if (search == FS_OK) return FS_EXISTS;
    if (search != FS_NOT_FOUND) return search;
    if (!validNewName(name)) return FS_INVALID;

    const uint32_t cluster = fat_.findFree();
    if (cluster == 0) return FS_DISK_FULL;
    // Taken at once, so that the entries below cannot take it for growth.
    volume_.fat.set(cluster, FAT_END);
    uint32_t result = io_.fill(cluster, 0);
    if (result == FS_OK) result = directory_.createDotEntries(cluster, parent);
    // The new directory's cluster is taken on the card before its parent
    // names it: power failing in between leaves a lost cluster, never an
    // entry that points at a free one.
    if (result == FS_OK) result = fat_.store();
    if (result == FS_OK) result = directory_.createEntry(parent, name, cluster, 0, true);
    if (result != FS_OK) volume_.fat.set(cluster, FAT_FREE);
    return result;
}

uint32_t FileSystem::removeDir(std::string_view path, uint32_t recursive) {
    if (batch_) return unbatched([&] { return removeDir(path, recursive); });
    if (const uint32_t error = prologue(path)) return error;
    uint32_t parent = 0;
    if (const uint32_t error = resolvePath(directory_, path, PathMode::Parent, &parent)) return error;
    const std::string_view name = finalComponent(path);
    // "." and ".." are the directory itself and its parent, not entries to
    // remove: their parents would keep naming freed clusters.
    if (isDotName(name)) return FS_INVALID;
    FoundEntry target;
    if (directory_.findByName(parent, name, &target) != FS_OK) return FS_OK;  // already gone
    if (!target.entry.isDirectory()) return FS_INVALID;
    const uint32_t top = target.entry.firstCluster();
    if (recursive != 1) {
        // Empty means nothing but "." and "..": a ".profile" is content.
        for (uint32_t n = 0;; ++n) {
            FoundEntry entry;
            const uint32_t result = directory_.search(top, SearchMode::NthEntry, {{}, n}, &entry);
            if (result == FS_NOT_FOUND) break;
            if (result != FS_OK) return result;
            if (!isDotName(entry.entry.name())) return FS_NOT_EMPTY;
        }
    } else if (const uint32_t error = removeTree(top)) {
        return error;
    }
    return directory_.removeEntry(parent, name);
}

// Removes everything below the directory `top`, deepest first. The tree is
// checked whole before anything goes: a directory loop, a subdirectory
// that names the root, or a file whose chain is damaged or shared would
// have the removal delete what lies outside the tree, or never end.
uint32_t FileSystem::removeTree(uint32_t top) {
    if (const uint32_t error = fat_.checkChain(top)) return error;
    const uint32_t checked = walkTree(directory_, fat_, top, [this](const FoundEntry& found, uint32_t) {
        const uint32_t first = found.entry.firstCluster();
        return first == 0 && !found.entry.isDirectory() ? FS_OK : fat_.checkChain(first);
    });
    if (checked != FS_OK) return checked;
    for (;;) {
        uint32_t current = top;
        uint32_t parent = 0;
        ShortName currentName{};
        for (uint32_t depth = 0;; ++depth) {
            if (depth > MAX_TREE_DEPTH) return FS_BROKEN_CHAIN;
            FoundEntry sub;
            const uint32_t result = directory_.search(current, SearchMode::NthSubdirectory, {{}, 0}, &sub);
            if (result == FS_NOT_FOUND) break;
            if (result != FS_OK) return result;
            parent = current;
            current = sub.entry.firstCluster();
            currentName = sub.entry.name();
        }
        for (uint32_t n = 0;;) {
            FoundEntry entry;
            const uint32_t result = directory_.search(current, SearchMode::NthEntry, {{}, n}, &entry);
            if (result == FS_NOT_FOUND) break;
            if (result != FS_OK) return result;
            if (isDotName(entry.entry.name())) {
                ++n;
                continue;
            }
            if (const uint32_t error = directory_.removeEntryByShortName(current, entry.entry.name())) return error;
        }
        if (current == top) return FS_OK;
        if (const uint32_t error = directory_.removeEntryByShortName(parent, currentName)) return error;
    }
}

uint32_t FileSystem::getListNumDir(std::string_view path, uint32_t* count) {
    if (const uint32_t error = prologue(path)) return error;
    uint32_t target = 0;
    if (const uint32_t error = resolvePath(directory_, path, PathMode::Target, &target)) return error;
    return directory_.countEntries(target, count);
}

uint32_t FileSystem::listEntries(std::string_view path, uint32_t first, uint32_t count, uint32_t* delivered,
                                 const std::function<void(uint32_t index, const FoundEntry&)>& deliver) {
    if (const uint32_t error = prologue(path)) return error;
    uint32_t target = 0;
    if (const uint32_t error = resolvePath(directory_, path, PathMode::Target, &target)) return error;
    const uint32_t result = directory_.nthEntries(target, first, count, delivered, deliver);
    return result == FS_NOT_FOUND ? FS_END : result;
}

uint32_t FileSystem::readDir(std::string_view path, uint32_t first, uint32_t count, uint8_t* records,
                             uint32_t* delivered) {
    return listEntries(path, first, count, delivered, [records](uint32_t i, const FoundEntry& found) {
        storeNameText(found.entry.name(), records + static_cast<size_t>(i) * NAME_RECORD);
    });
}

void FileSystem::fillDirRecord(const FoundEntry& found, uint8_t* record) {
    std::fill_n(record, DIR_RECORD, 0);
    storeNameText(found.entry.name(), record);
    std::u16string longName;
    if (directory_.readLongName(found, &longName) == FS_OK) {
        for (size_t c = 0; c < std::min<size_t>(longName.size(), LONG_NAME_CHARS); ++c) {
            storeLe16(record + LONG_NAME_FIELD + 2 * c, longName[c]);
        }
    }
    storeStatRecord(found.entry, record + STAT_FIELD);
}

uint32_t FileSystem::readDirEx(std::string_view path, uint32_t first, uint32_t count, uint8_t* records,
                               uint32_t* delivered) {
    return listEntries(path, first, count, delivered, [this, records](uint32_t i, const FoundEntry& found) {
        fillDirRecord(found, records + static_cast<size_t>(i) * DIR_RECORD);
    });
}

uint32_t FileSystem::setLongName(std::string_view path, const uint16_t* longName) {
    // A long name may move the entry: inside a batch only for entries of
    // files the batch created (the card holds neither their old place nor
    // their new one).
    if (batch_) {
        uint32_t parent = 0;
        FoundEntry found;
        const bool own = findInParent(path, &parent, &found) == FS_OK && !found.entry.isDirectory() &&
                         takenInBatch(found.entry.firstCluster());
        if (!own) return unbatched([&] { return setLongNameNow(path, longName); });
    }
    return setLongNameNow(path, longName);
}

uint32_t FileSystem::setLongNameNow(std::string_view path, const uint16_t* longName) {
    if (const uint32_t error = prologue(path)) return error;
    uint32_t parent = 0;
    if (const uint32_t error = resolvePath(directory_, path, PathMode::Parent, &parent)) return error;
    if (isDotName(finalComponent(path))) return FS_INVALID;  // "." and ".." stay first in their directory
    std::u16string name;
    for (const uint16_t* c = longName; *c != 0; ++c) {
        if (name.size() >= LONG_NAME_CHARS) return FS_INVALID;
        name += static_cast<char16_t>(*c);
    }
    DirPosition from, to;
    const uint32_t result = directory_.setLongName(parent, finalComponent(path), name, &from, &to);
    // The short entry moved behind its new long name: open handles follow.
    if (result == FS_OK) files_.relocateEntry(from, to);
    return result;
}

}  // namespace kestrel::fatfs
