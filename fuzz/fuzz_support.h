// Shared by the fuzz targets: the environment they run in, a temporary
// device folder, and a reader that takes typed values off the fuzzer's
// bytes (zeros once they run out, so every input is a complete one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::fuzz {

// Shortens every scaled wait of the code (KESTREL_TIME_SCALE), unless the
// environment chose a scale already. Call before anything reads the clock.
void prepareEnvironment();

// Prints `what` and aborts: the harness itself could not be set up, or an
// invariant the target checks was broken (libFuzzer keeps the input).
[[noreturn]] void fail(const std::string& what);

// A folder of its own under the system's temporary folder, removed with it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// Makes a fresh simulated device (blank card of `sizeMb`, maker 0xEC) in
// `folder`; fails the run when that is not possible.
void makeDeviceFolder(const std::string& folder, uint32_t sizeMb);

// A whole file's bytes (empty when it cannot be read), and a whole file
// written; the device folders' snapshots.
std::vector<uint8_t> readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    size_t left() const { return empty() ? 0 : size_ - at_; }

    uint8_t u8();
    uint16_t u16();  // little-endian
    uint32_t u32();  // little-endian
    // At most `n` bytes (fewer at the end).
    std::vector<uint8_t> bytes(size_t n);
    std::string text(size_t n);
    std::vector<uint8_t> rest() { return bytes(left()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace kestrel::fuzz
