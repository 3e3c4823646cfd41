// Removing the temporary copies that Open made of device files
// (temporary_copy.h) once no program can still be using them: when a device
// root folder is made (the next start of the extension) and when it is
// released. Only the extension's own folder of copies is looked at, and in
// it only folders named as folders of copies; in those only plain files
// whose creation and last write times are both older than
// STALE_COPY_AGE_SECONDS and that no program holds open are removed, and
// then the folder when it is left empty. Anything else stays.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::shellext {

// `now` is a time in FILETIME units (100 ns since 1601, UTC). The number
// of files removed.
size_t removeStaleTemporaryCopies(uint64_t now);
// The same at the current time.
size_t removeStaleTemporaryCopies();

}  // namespace kestrel::shellext
