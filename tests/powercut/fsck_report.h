// fsck.fat -n on a partition image, read as the power-cut sweep judges it:
// clusters that no file reaches ("Reclaimed N unused clusters") are
// counted; every other complaint (clusters shared by two files, entries
// pointing at free clusters, sizes that do not fit their chains, bad
// directory entries, an unreadable boot sector) is a problem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::powercut {

struct FsckReport {
    uint32_t lostClusters = 0;
    std::vector<std::string> problems;  // one per complaint, its lines joined
};

// Reads fsck.fat's output (its first line is the version, its last the
// summary of files and clusters).
FsckReport readFsckOutput(const std::string& output);

// Runs fsck.fat -n on `image`; a problem when it cannot run at all.
FsckReport runFsck(const std::string& image);

}  // namespace kestrel::powercut
