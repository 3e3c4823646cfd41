// The card of a simulated Kestrel read back after the device was stopped:
// its files through the ORYX file system (the code the update tool's
// library runs over the file-system firmware, here over the card's pages
// directly), and the FAT volume checked with the host's fsck.fat (started
// from the Windows test program as a Unix program of wine's host).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class CardReadback {
public:
    // Opens the stopped device's folder; check ready().
    explicit CardReadback(const std::string& deviceFolder);
    ~CardReadback();
    CardReadback(const CardReadback&) = delete;
    CardReadback& operator=(const CardReadback&) = delete;

    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    // A file's bytes by ORYX path ("dev0:\\ALBUM\\ONE.MP3"); none when the
    // file system does not find or read it.
    std::optional<std::vector<uint8_t>> file(const std::string& oryxPath);
    // The number of entries of a folder (with "." and ".."), by ORYX path.
    std::optional<uint32_t> entries(const std::string& oryxPath);
    // fsck.fat -n over the partition: clean, or its report.
    ::testing::AssertionResult fsckClean();

private:
    struct Parts;
    Parts* parts_ = nullptr;
    std::string folder_;
    bool ready_ = false;
    std::string error_;
};

}  // namespace kestrel::shellext::test
