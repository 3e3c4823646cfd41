// fsck.fat -n on a partition image, read as the power-cut sweep judges it.
// Counted, not problems, as what a cut between two writes of one update
// must be allowed to leave: clusters that no file reaches ("Reclaimed N
// unused clusters"), a chain longer than its file's size (clusters linked
// before the entry claimed them), and two FAT copies that differ while both
// are intact (a cut between the copies). Every other complaint is a
// problem: clusters shared by two files, entries reaching into free
// clusters, sizes beyond their chains, bad directory entries, a FAT copy or
// boot sector that is not intact.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::powercut {

struct FsckReport {
    uint32_t lostClusters = 0;
    uint32_t longChains = 0;
    uint32_t fatCopiesDiffer = 0;
    std::vector<std::string> problems;  // one per complaint, its lines joined
};

// Reads fsck.fat's output (its first line is the version, its last the
// summary of files and clusters).
FsckReport readFsckOutput(const std::string& output);

// Runs fsck.fat -n on `image`; a problem when it cannot run at all.
FsckReport runFsck(const std::string& image);

}  // namespace kestrel::powercut
