// Walks over a whole directory tree, and the check that a file's chain is
// its own. A damaged volume may hold a subdirectory entry that names the
// root, an ancestor or a directory met before: every walk stops there with
// the chain error instead of going round for ever, and none goes deeper
// than MAX_TREE_DEPTH.
#pragma once

#include "fatfs/directory.h"
#include "fatfs/fat_table.h"

#include <cstdint>
#include <functional>

namespace kestrel::fatfs {

// Deeper than any path can reach (259 bytes, two per level).
inline constexpr uint32_t MAX_TREE_DEPTH = 130;

// Called for every entry of the tree (not "." and ".."), a directory's
// entry before its contents; a result other than 0 ends the walk with it.
using TreeVisit = std::function<uint32_t(const FoundEntry& found, uint32_t depth)>;

enum class OnDamage { Stop, Skip };

// Visits the tree below the directory `top` (0: the root). A subdirectory
// entry that names no data cluster (the root included) or a directory met
// before, one deeper than MAX_TREE_DEPTH, or a directory that cannot be
// read, ends the walk with its error (24 for the first three); with
// OnDamage::Skip the walk passes over it instead.
[[nodiscard]] uint32_t walkTree(Directory& directory, const FatTable& fat, uint32_t top, const TreeVisit& visit,
                                OnDamage onDamage = OnDamage::Stop);

// 0 when the chain of the entry `own` is sound (FatTable::checkChain) and
// no other entry of the volume begins inside it; 24 otherwise. An entry
// without a first cluster owns nothing and passes.
[[nodiscard]] uint32_t checkOwnChain(Directory& directory, const FatTable& fat, const FoundEntry& own);

}  // namespace kestrel::fatfs
