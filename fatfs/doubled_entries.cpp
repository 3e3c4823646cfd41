// Two directory entries that name one chain. A move to another directory
// writes the new entry before it deletes the old one, and a long name that
// does not fit in front of its entry is written with a copy of the entry
// behind it before the old entry is deleted: power failing between the two
// writes leaves both. Removing either name would then free the other's
// data, so the mount removes one of the two, deterministically:
//
//   - a directory named in two different directories: the entry in the
//     directory that its ".." names stays, the other goes. A move writes
//     the new entry, then points ".." at the new parent, then deletes the
//     old entry: cut before ".." is rewritten, the move is undone; cut
//     after it, the move is completed; ".." is true either way;
//   - otherwise (files, or one directory twice in one directory): the entry
//     with the older time stamp is the old one and is removed. A move
//     stamps the new entry with the time of the move, never earlier than
//     the file's last write; a long name copies the entry unchanged. When
//     the stamps are equal, the entry met first is removed: the copy of a
//     long name goes to the end of the directory, behind the old entry, and
//     the walk reads the root before the directories below it.
//
// Either way the file stays once, with its whole chain and size, under its
// old name or place or its new one. Only the entry is removed (its long
// name first, then the entry), never its chain, and only for pairs that the
// two writes leave: entries of the same kind and size, and for a directory
// neither inside its own tree. Three or more entries on one chain, or any
// other pair, are damage of another kind and are left as they are (such a
// chain is neither read nor written).
#include "fatfs/file_system.h"

#include "fatfs/dir_tree.h"
#include "fatfs/fs_results.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace kestrel::fatfs {

namespace {

bool pairFromOneWrite(const FoundEntry& a, const FoundEntry& b) {
    return a.entry.isDirectory() == b.entry.isDirectory() && a.entry.size() == b.entry.size();
}

uint32_t stamp(const DirEntry& entry) { return (uint32_t{entry.date()} << 16) | entry.time(); }

}  // namespace

uint32_t FileSystem::staleOfPair(const FoundEntry& first, const FoundEntry& second, const FoundEntry** stale) {
    *stale = nullptr;
    if (!pairFromOneWrite(first, second)) return FS_OK;
    const uint32_t firstParent = first.position.directory, secondParent = second.position.directory;
    if (first.entry.isDirectory() && firstParent != secondParent) {
        // A move never puts a directory inside its own tree: an entry there
        // is damage of another kind (a loop), not a move cut short.
        const uint32_t moved = first.entry.firstCluster();
        for (const uint32_t parent : {firstParent, secondParent}) {
            bool inside = true;
            if (isWithin(parent, moved, &inside) != FS_OK || inside) return FS_OK;
        }
        const ShortName dotDotName = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
        FoundEntry dotDot;
        if (const uint32_t error =
                directory_.search(moved, SearchMode::ShortNameEquals, {dotDotName, 0}, &dotDot)) {
            return error;
        }
        const uint32_t parent = dotDot.entry.firstCluster();
        if (parent == firstParent) *stale = &second;
        if (parent == secondParent) *stale = &first;
        return FS_OK;
    }
    *stale = stamp(second.entry) < stamp(first.entry) ? &second : &first;
    return FS_OK;
}

uint32_t FileSystem::dropEntry(const FoundEntry& found) {
    // Power failing before this is on the card leaves the pair, which the
    // next mount takes up again and decides the same way.
    DirEntry deleted = found.entry;
    deleted.bytes[0] = ENTRY_DELETED;
    std::fill(deleted.bytes.begin() + 26, deleted.bytes.end(), 0);
    return directory_.rewriteEntryWithoutLongName(found.position, deleted);
}

void FileSystem::removeDoubledEntries() {
    std::map<uint32_t, std::vector<FoundEntry>> byChain;
    // A directory that cannot be read is passed over: this only undoes
    // interrupted moves.
    (void)walkTree(
        directory_, fat_, 0,
        [&](const FoundEntry& found, uint32_t) {
            const uint32_t first = found.entry.firstCluster();
            if (!found.entry.isVolumeLabel() && fat_.isDataCluster(first)) byChain[first].push_back(found);
            return FS_OK;
        },
        OnDamage::Skip);
    for (const auto& [chain, entries] : byChain) {
        if (entries.size() != 2) continue;
        const FoundEntry* stale = nullptr;
        if (staleOfPair(entries[0], entries[1], &stale) != FS_OK || stale == nullptr) continue;
        // A card that fails here still mounts; the pair stays for the next.
        if (dropEntry(*stale) != FS_OK) return;
    }
}

}  // namespace kestrel::fatfs
