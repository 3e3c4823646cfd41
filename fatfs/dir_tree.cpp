#include "fatfs/dir_tree.h"

#include "fatfs/fs_results.h"

#include <vector>

namespace kestrel::fatfs {

namespace {

class TreeWalk {
public:
    TreeWalk(Directory& directory, const FatTable& fat, const TreeVisit& visit, OnDamage onDamage)
        : directory_(directory), fat_(fat), visit_(visit), skip_(onDamage == OnDamage::Skip),
          visited_(fat.clusterCount()) {}

    uint32_t walk(uint32_t top) {
        if (top != 0) visited_.enter(top);
        return walkDirectory(top, 0);
    }

private:
    uint32_t walkDirectory(uint32_t cluster, uint32_t depth) {
        // The entries first, then the subdirectories: a directory is read
        // whole before the walk leaves it.
        std::vector<FoundEntry> subdirectories;
        uint32_t stopped = FS_OK;
        const uint32_t read = directory_.forEachEntry(cluster, [&](const FoundEntry& found) {
            if (found.entry.isDot() && found.entry.isDirectory()) return false;
            stopped = visit_(found, depth);
            if (stopped == FS_OK && found.entry.isDirectory()) subdirectories.push_back(found);
            return stopped != FS_OK;
        });
        if (stopped != FS_OK) return stopped;
        if (read != FS_OK) return damaged(read);
        for (const FoundEntry& sub : subdirectories) {
            const uint32_t first = sub.entry.firstCluster();
            if (depth + 1 >= MAX_TREE_DEPTH || !fat_.isDataCluster(first) || !visited_.enter(first)) {
                if (damaged(FS_BROKEN_CHAIN) != FS_OK) return FS_BROKEN_CHAIN;
                continue;
            }
            if (const uint32_t error = walkDirectory(first, depth + 1)) return error;
        }
        return FS_OK;
    }

    uint32_t damaged(uint32_t error) const {
        // Only damage is passed over, not a card that stopped answering.
        return skip_ && error == FS_BROKEN_CHAIN ? FS_OK : error;
    }

    Directory& directory_;
    const FatTable& fat_;
    const TreeVisit& visit_;
    bool skip_;
    VisitedClusters visited_;
};

bool samePosition(const DirPosition& a, const DirPosition& b) {
    return a.directory == b.directory && a.cluster == b.cluster && a.offset == b.offset;
}

}  // namespace

uint32_t walkTree(Directory& directory, const FatTable& fat, uint32_t top, const TreeVisit& visit,
                  OnDamage onDamage) {
    return TreeWalk(directory, fat, visit, onDamage).walk(top);
}

uint32_t checkOwnChain(Directory& directory, const FatTable& fat, const FoundEntry& own) {
    const uint32_t first = own.entry.firstCluster();
    if (first == 0) return FS_OK;
    if (const uint32_t error = fat.checkChain(first)) return error;
    VisitedClusters chain(fat.clusterCount());
    for (uint32_t cluster = first; cluster != FAT_END;) {
        chain.enter(cluster);
        if (const uint32_t error = fat.nextLink(cluster, &cluster)) return error;
    }
    // Damage elsewhere in the tree is no reason to refuse this file.
    return walkTree(
        directory, fat, 0,
        [&](const FoundEntry& found, uint32_t) {
            if (samePosition(found.position, own.position)) return FS_OK;
            return chain.contains(found.entry.firstCluster()) ? FS_BROKEN_CHAIN : FS_OK;
        },
        OnDamage::Skip);
}

}  // namespace kestrel::fatfs
