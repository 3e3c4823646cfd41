// The card of a simulated device as a FAT tool sees it: the partition's
// logical sectors, read through the media layer straight from the device
// folder (its server stopped), written to an image file.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kestrel::fwupdate::test {

// Writes the partition the card's master boot record names to `image`.
::testing::AssertionResult exportPartition(const std::string& deviceFolder, const std::string& image);

#ifndef _WIN32
// fsck.fat -n on `image`: clean, or its report. The update formats with an
// empty label, which the library stores as eleven spaces in the boot
// sector; fsck.fat wants "NO NAME" there and says so. That remark alone is
// accepted; any other finding fails.
::testing::AssertionResult fsckClean(const std::string& image);
#endif

}  // namespace kestrel::fwupdate::test
