#include "sim/backing_file.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace kestrel::sim {

namespace {

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

std::unique_ptr<BackingFile> BackingFile::open(const std::string& path, uint64_t expectedSize,
                                               std::string* error) {
    std::error_code ec;
    const auto actual = std::filesystem::file_size(path, ec);
    if (ec) {
        setError(error, path + ": " + ec.message());
        return nullptr;
    }
    if (actual != expectedSize) {
        setError(error, path + ": " + std::to_string(actual) + " bytes, expected " +
                            std::to_string(expectedSize));
        return nullptr;
    }
    auto stream = std::make_unique<std::fstream>();
    // Unbuffered: every write reaches the file before the call returns, and a
    // page read moves just the page.
    stream->rdbuf()->pubsetbuf(nullptr, 0);
    stream->open(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!stream->is_open()) {
        setError(error, path + ": cannot open for reading and writing");
        return nullptr;
    }
    return std::unique_ptr<BackingFile>(new BackingFile(std::move(stream), expectedSize));
}

bool BackingFile::create(const std::string& path, uint64_t size, uint8_t fill, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::vector<char> chunk(1u << 20, static_cast<char>(fill));
    for (uint64_t left = size; out && left > 0;) {
        const auto n = static_cast<std::streamsize>(std::min<uint64_t>(left, chunk.size()));
        out.write(chunk.data(), n);
        left -= static_cast<uint64_t>(n);
    }
    out.close();
    if (!out) setError(error, path + ": cannot write");
    return static_cast<bool>(out);
}

bool BackingFile::readAt(uint64_t offset, void* data, size_t length) {
    if (!inside(offset, length)) return false;
    stream_->clear();
    stream_->seekg(static_cast<std::streamoff>(offset));
    stream_->read(static_cast<char*>(data), static_cast<std::streamsize>(length));
    return static_cast<bool>(*stream_);
}

bool BackingFile::writeAt(uint64_t offset, const void* data, size_t length) {
    if (!inside(offset, length)) return false;
    stream_->clear();
    stream_->seekp(static_cast<std::streamoff>(offset));
    stream_->write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    stream_->flush();
    return static_cast<bool>(*stream_);
}

}  // namespace kestrel::sim
