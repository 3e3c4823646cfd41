// A fixed-size file that holds part of the simulated device's state
// (nand.bin, eeprom.bin). Every write goes to the file at once, so the folder
// can be inspected while the device runs and survives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace kestrel::sim {

class BackingFile {
public:
    // Opens an existing file for reading and writing; null with `error` when
    // it is missing or not `expectedSize` bytes long.
    [[nodiscard]] static std::unique_ptr<BackingFile> open(const std::string& path, uint64_t expectedSize,
                                                           std::string* error = nullptr);

    // Creates (or truncates) `path` with `size` bytes of `fill`.
    [[nodiscard]] static bool create(const std::string& path, uint64_t size, uint8_t fill,
                                     std::string* error = nullptr);

    uint64_t size() const { return size_; }

    // Positioned access. False when the range is not inside the file or the
    // I/O failed.
    [[nodiscard]] bool readAt(uint64_t offset, void* data, size_t length);
    [[nodiscard]] bool writeAt(uint64_t offset, const void* data, size_t length);

private:
    BackingFile(std::unique_ptr<std::fstream> stream, uint64_t size) : stream_(std::move(stream)), size_(size) {}
    bool inside(uint64_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }

    std::unique_ptr<std::fstream> stream_;
    uint64_t size_;
};

}  // namespace kestrel::sim
