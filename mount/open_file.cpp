#include "mount/open_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel::mount {

namespace {

constexpr uint32_t COPY_BLOCK = 65536;
// A file is taken into memory for changes in place; the card's files are
// small, but a limit keeps a mistaken program from exhausting memory.
constexpr uint64_t MEMORY_LIMIT = 512ull * 1024 * 1024;

}  // namespace

void OpenFile::adoptWriter(std::unique_ptr<FileWriter> writer) {
    writer_ = std::move(writer);
    mode_ = Mode::Streaming;
    size_ = 0;
    changed_ = true;
}

int32_t OpenFile::fail(int32_t error) {
    if (error != 0 && error_ == 0) error_ = error;
    return error;
}

int32_t OpenFile::readClean(uint64_t offset, uint8_t* data, uint32_t length) {
    if (!reader_) {
        if (detached_) return -EIO;
        if (const int32_t result = backend_.openRead(path_, reader_)) return result;
    }
    uint32_t total = 0;
    while (total < length) {
        const int32_t got = reader_->read(offset + total, data + total, length - total);
        if (got < 0) return got;
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(total);
}

int32_t OpenFile::read(uint64_t offset, uint8_t* data, uint32_t length) {
    if (error_) return error_;
    if (offset >= size_) return 0;
    length = static_cast<uint32_t>(std::min<uint64_t>(length, size_ - offset));
    if (mode_ == Mode::Streaming) {
        if (const int32_t result = commit()) return result;
    }
    if (mode_ == Mode::Buffered) {
        std::memcpy(data, content_.data() + offset, length);
        return static_cast<int32_t>(length);
    }
    return readClean(offset, data, length);
}

int32_t OpenFile::startWriter() {
    reader_.reset();
    writer_.reset();
    if (const int32_t result = backend_.openWrite(path_, writer_)) return fail(result);
    mode_ = Mode::Streaming;
    size_ = 0;
    return 0;
}

int32_t OpenFile::write(uint64_t offset, const uint8_t* data, uint32_t length) {
    if (error_) return error_;
    if (offset + length > MEMORY_LIMIT) return -EFBIG;
    changed_ = true;
    if (mode_ == Mode::Clean && size_ == 0 && offset == 0 && !detached_) {
        if (const int32_t result = startWriter()) return result;
    }
    if (mode_ == Mode::Streaming && offset == size_) {
        if (const int32_t result = writer_->write(data, length)) return fail(result);
        size_ += length;
        return static_cast<int32_t>(length);
    }
    if (const int32_t result = materialise()) return result;
    if (offset + length > content_.size()) content_.resize(offset + length, 0);
    std::memcpy(content_.data() + offset, data, length);
    size_ = content_.size();
    dirty_ = true;
    return static_cast<int32_t>(length);
}

int32_t OpenFile::truncate(uint64_t size) {
    if (error_) return error_;
    if (size > MEMORY_LIMIT) return -EFBIG;
    if (size == size_) return 0;
    changed_ = true;
    if (size == 0 && !detached_) {
        if (mode_ == Mode::Streaming) (void)writer_->finish();
        content_.clear();
        dirty_ = false;
        return startWriter();
    }
    if (const int32_t result = materialise()) return result;
    content_.resize(size, 0);
    size_ = size;
    dirty_ = true;
    return 0;
}

// The whole file into memory; a file being written is closed first, so
// that what it holds can be read back.
int32_t OpenFile::materialise() {
    if (mode_ == Mode::Buffered) return 0;
    if (mode_ == Mode::Streaming) {
        const int32_t result = writer_->finish();
        writer_.reset();
        mode_ = Mode::Clean;
        if (result) return fail(result);
    }
    std::vector<uint8_t> content(size_);
    for (uint64_t at = 0; at < size_;) {
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(COPY_BLOCK, size_ - at));
        const int32_t got = readClean(at, content.data() + at, piece);
        if (got < 0) return fail(got);
        if (got == 0) break;  // the card holds less than its entry says
        at += static_cast<uint32_t>(got);
    }
    reader_.reset();
    content_ = std::move(content);
    size_ = content_.size();
    mode_ = Mode::Buffered;
    return 0;
}

int32_t OpenFile::commit() {
    if (error_) return error_;
    if (detached_) return 0;
    if (mode_ == Mode::Streaming) {
        const int32_t result = writer_->finish();
        writer_.reset();
        mode_ = Mode::Clean;
        return fail(result);
    }
    if (mode_ != Mode::Buffered || !dirty_) return 0;
    std::unique_ptr<FileWriter> writer;
    if (const int32_t result = backend_.openWrite(path_, writer)) return fail(result);
    for (uint64_t at = 0; at < content_.size(); at += COPY_BLOCK) {
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(COPY_BLOCK, content_.size() - at));
        if (const int32_t result = writer->write(content_.data() + at, piece)) return fail(result);
    }
    if (const int32_t result = writer->finish()) return fail(result);
    dirty_ = false;
    reader_.reset();
    return 0;
}

int32_t OpenFile::sync() {
    if (error_) return error_;
    if (mode_ == Mode::Streaming && !detached_) return fail(writer_->sync());
    return commit();
}

void OpenFile::detach() {
    if (mode_ != Mode::Buffered && !error_) (void)materialise();
    drop();
    detached_ = true;
}

void OpenFile::drop() {
    reader_.reset();
    writer_.reset();
}

}  // namespace kestrel::mount
