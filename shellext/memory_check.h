// Checks of caller memory that COM methods are handed. They ask the
// system's memory map (no probing that could fault): `length` bytes at
// `address` are committed and may be written.
#pragma once

#include <cstddef>

namespace kestrel::shellext {

bool writableMemory(const void* address, size_t length);

}  // namespace kestrel::shellext
