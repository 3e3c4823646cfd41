// Replacing a device file so that a failure never costs the old one: the new
// contents are written under a temporary name in the same directory, then
// the entries are swapped (the old file to a second temporary name, the new
// one to the file's name) and the old contents removed. Until the swap, a
// failure leaves the old file as it was; at any moment, an interruption
// leaves both contents on the card, each under some name.
#pragma once

#include <string>

namespace kestrel::cli {

inline constexpr const char* TEMPORARY_NAME_PREFIX = "~KPUT";
inline constexpr const char* TEMPORARY_NAME_SUFFIX = ".TMP";

// The library path of a name in `oryxDirectory` ("dev0:\DIR\") that no entry
// has: ~KPUT0.TMP, ~KPUT1.TMP, ... skipping `taken`.
std::string freeTemporaryPath(const std::string& oryxDirectory, const std::string& taken = {});

// Gives `oryxPath` the file written at `freshPath` and removes the old
// contents. On a failure of the swap the old file is put back under its name
// and the fresh copy removed; `shownAs` names the file in the message.
void swapIntoPlace(const std::string& freshPath, const std::string& oryxPath, const std::string& shownAs);

// The directory part of a library path, up to and including its last "\".
std::string oryxDirectoryOf(const std::string& oryxPath);

}  // namespace kestrel::cli
