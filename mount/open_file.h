// One file as the mount holds it open, shared by every handle programs
// have on it. Writes that run from the start of an empty file to its end,
// the way files are copied, go straight to the card through one writer.
// Any other change (writing in the middle, appending to existing data,
// truncating to a length other than 0) takes the file's content into
// memory, and commit() writes it back whole. Until commit() the file on
// the card may be short of what was written; commit() (at flush, fsync,
// release, and the mount's end) brings it up to date.
//
// A failure of the card while the file is open is kept: every later call
// on it answers that error, and commit() does not write over the card
// with what might be a partial picture.
#pragma once

#include "mount/backend.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrel::mount {

class OpenFile {
public:
    OpenFile(Backend& backend, NodePath path, uint64_t size) : backend_(backend), path_(std::move(path)), size_(size) {}

    const NodePath& path() const { return path_; }
    void moveTo(NodePath path) { path_ = std::move(path); }
    uint64_t size() const { return size_; }
    bool changed() const { return changed_; }

    // A file just created (and open for writing through `writer`).
    void adoptWriter(std::unique_ptr<FileWriter> writer);

    // The count read (short only at the end), or -errno.
    [[nodiscard]] int32_t read(uint64_t offset, uint8_t* data, uint32_t length);
    // The count written, or -errno.
    [[nodiscard]] int32_t write(uint64_t offset, const uint8_t* data, uint32_t length);
    [[nodiscard]] int32_t truncate(uint64_t size);
    // Brings the card up to date with what was written.
    [[nodiscard]] int32_t commit();
    // As commit(), and a file still being written is made durable.
    [[nodiscard]] int32_t sync();
    // The file's entry is gone: its content stays readable and writable
    // in memory for the handles still open, and is never written back.
    void detach();
    // Closes whatever the file holds on the card, without writing.
    void drop();

private:
    enum class Mode { Clean, Streaming, Buffered };

    int32_t materialise();
    int32_t startWriter();
    int32_t fail(int32_t error);
    int32_t readClean(uint64_t offset, uint8_t* data, uint32_t length);

    Backend& backend_;
    NodePath path_;
    uint64_t size_;
    Mode mode_ = Mode::Clean;
    std::unique_ptr<FileReader> reader_;
    std::unique_ptr<FileWriter> writer_;
    std::vector<uint8_t> content_;  // Buffered: the whole file
    bool dirty_ = false;            // Buffered: content differs from the card
    bool detached_ = false;
    bool changed_ = false;          // written since it was opened
    int32_t error_ = 0;
};

}  // namespace kestrel::mount
