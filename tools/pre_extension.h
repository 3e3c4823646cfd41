// Whether put may pre-extend a file with mt_smFileExtend.
//
// The extension gives the erase blocks of the clusters it adds, and the
// block of the file's first cluster, fresh erased physical blocks. That is
// harmless where every cluster is exactly one erase block, as on volumes
// the library formats. On volumes made elsewhere (restored images) whose
// clusters are smaller than an erase block, or not aligned to one, those
// blocks also hold clusters of other files, which the extension would
// erase. There files are written without it; the writes then copy blocks
// as needed.
#pragma once

namespace kestrel::cli {

// Reads the card's boot record and boot sector below the file system.
bool clustersAreEraseBlocks();

}  // namespace kestrel::cli
