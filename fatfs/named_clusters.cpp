// Clusters that a directory entry names although the FAT calls them free.
// A write that was cut off (the device unplugged, the program killed)
// before its close stored the FAT leaves such an entry behind. Handing the
// cluster to the next file would give two entries one chain: removing the
// old name would then free the new file's data. The mount therefore marks
// each such cluster as a one-cluster chain in the FAT image: it is never
// handed out again, the old entry reads as far as that cluster holds its
// data, and removing the entry frees just that cluster. Nothing is written
// by the mount itself; the card's FAT follows at the next store.
#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"

#include <vector>

namespace kestrel::fatfs {

void FileSystem::reserveNamedClusters() {
    FatImage& fat = volume_.fat;
    // Each directory is read once, so a directory that names an ancestor
    // as a subdirectory cannot keep the scan going.
    std::vector<bool> queued(fat.count(), false);
    std::vector<uint32_t> pending{0};
    while (!pending.empty()) {
        const uint32_t directory = pending.back();
        pending.pop_back();
        // A directory that cannot be read is left as it is: the scan only
        // keeps clusters from being handed out twice.
        (void)directory_.visitEntries(directory, [&](const DirEntry& entry, const DirPosition&) {
            if (entry.isEnd()) return true;
            if (entry.isDeleted() || entry.isLongName() || entry.isDot() || entry.isVolumeLabel()) return false;
            const uint32_t cluster = entry.firstCluster();
            if (cluster < 2 || !fat.contains(cluster)) return false;
            if (fat.get(cluster) == FAT_FREE) fat.set(cluster, FAT_END);
            if (entry.isDirectory() && !queued[cluster]) {
                queued[cluster] = true;
                pending.push_back(cluster);
            }
            return false;
        });
    }
}

}  // namespace kestrel::fatfs
