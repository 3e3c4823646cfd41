// The global memory blocks that the data object hands out for its items:
// the file group descriptor ("FileGroupDescriptor": a 32-bit count and one
// 332-byte FILEDESCRIPTORA record per entry) and the identifier-list array
// ("Shell IDList Array": count C, the offset of the folder's absolute
// identifier, C offsets of the entry lists, then the lists with their
// three-byte terminators and one spare zero byte).
#pragma once

#include "shellext/shell_api.h"

#include <vector>

namespace kestrel::shellext {

inline constexpr DWORD DESCRIPTOR_FLAGS =
    FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME | FD_FILESIZE | FD_PROGRESSUI;
static_assert(DESCRIPTOR_FLAGS == 0x407C);
static_assert(sizeof(FILEDESCRIPTORA) == 332);

// The record of an entry (a list relative to the data object's folder):
// its names cleaned into a host relative path, its attributes, size and
// time; all zero when an element of the list cannot be read.
FILEDESCRIPTORA descriptorOf(LPCITEMIDLIST entry);

// The blocks; null when memory cannot be had.
HGLOBAL fileGroupDescriptorBlock(const std::vector<LPCITEMIDLIST>& entries);
HGLOBAL idListArrayBlock(LPCITEMIDLIST folder, const std::vector<LPCITEMIDLIST>& entries);

}  // namespace kestrel::shellext
