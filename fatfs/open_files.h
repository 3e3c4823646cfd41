// Open files: the handle callers hold (first cluster, instance, volume),
// the record the library keeps per handle, and the list of at most ten.
#pragma once

#include "fatfs/dir_entry.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

namespace kestrel::fatfs {

inline constexpr uint32_t MAX_OPEN_FILES = 10;
inline constexpr uint32_t MAX_INSTANCES = 10;
inline constexpr uint32_t MODE_WRITE = 2;
inline constexpr uint32_t MODE_CREATED = 3;

struct FileHandle {
    uint32_t firstCluster = 0;
    uint32_t instance = 0;
    uint32_t volume = 0;

    // Bit 31 is ignored.
    static FileHandle decode(uint32_t handle) {
        return {handle & 0xFFFFu, (handle >> 16) & 0xFFu, (handle >> 24) & 0x7Fu};
    }
    uint32_t encode() const { return (firstCluster & 0xFFFFu) | ((instance & 0xFFu) << 16) | ((volume & 0x7Fu) << 24); }
};

struct OpenFile {
    uint32_t firstCluster = 0;
    uint32_t directory = 0;  // first cluster of the directory holding the entry
    // Where the file's own entry lies: the close writes the size there. An
    // entry is never looked up by first cluster, which a damaged card may
    // give to two entries.
    DirPosition entry;
    uint32_t position = 0;
    uint32_t current = 0;    // cluster holding the byte at the position (0xFFFF at the chain's end)
    uint32_t previous = 0;   // cluster before the current one, 0 for the first
    uint32_t size = 0;
    uint32_t mode = 0;
    uint32_t instance = 0;
    uint32_t bufferStart = 0;
    uint32_t bufferCount = 0;
    std::vector<uint8_t> buffer;
    // The close's time stamp when given beforehand (FAT encodings).
    bool stamped = false;
    uint16_t stampTime = 0;
    uint16_t stampDate = 0;

    bool writable() const { return (mode & MODE_WRITE) != 0; }
};

class OpenFiles {
public:
    OpenFile* find(uint32_t firstCluster, uint32_t instance);
    // The lowest instance number not open for this first cluster, or
    // MAX_INSTANCES when all are.
    uint32_t freeInstance(uint32_t firstCluster) const;
    // The number of open records of the file starting at `firstCluster`.
    uint32_t countOf(uint32_t firstCluster) const {
        uint32_t count = 0;
        for (const auto& f : files_) count += f.firstCluster == firstCluster;
        return count;
    }
    bool full() const { return files_.size() >= MAX_OPEN_FILES; }
    OpenFile& add(OpenFile file);
    void remove(const OpenFile* file);
    void clear() { files_.clear(); }
    // Forgets every record of the file starting at `firstCluster`.
    void dropFile(uint32_t firstCluster) {
        files_.remove_if([firstCluster](const OpenFile& f) { return f.firstCluster == firstCluster; });
    }
    size_t size() const { return files_.size(); }
    // Every record whose entry lay at `from` now finds it at `to` (the entry
    // was moved by a rename or a move).
    void relocateEntry(const DirPosition& from, const DirPosition& to) {
        for (auto& f : files_) {
            if (f.entry == from) {
                f.entry = to;
                f.directory = to.directory;
            }
        }
    }

private:
    std::list<OpenFile> files_;
};

}  // namespace kestrel::fatfs
