// Reading, writing and seeking open files: a one-sector write buffer in
// front of the card, direct writes for larger pieces, and the chain
// followed as the position moves.
#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"

#include <algorithm>
#include <vector>

namespace kestrel::fatfs {

void FileSystem::advance(OpenFile& file, uint32_t newPosition) {
    const uint32_t clusterBytes = volume_.clusterBytes();
    for (uint32_t crossed = newPosition / clusterBytes - file.position / clusterBytes; crossed > 0; --crossed) {
        file.previous = file.current;
        uint32_t next = FAT_END;
        if (fat_.isDataCluster(file.current) && fat_.nextLink(file.current, &next) != FS_OK) next = FAT_END;
        file.current = next;
        if (file.current == FAT_END) break;
    }
    file.position = newPosition;
    file.size = std::max(file.size, newPosition);
}

void FileSystem::placeAt(OpenFile& file, uint32_t position) {
    uint32_t cluster = file.firstCluster;
    uint32_t previous = 0;
    for (uint32_t i = position / volume_.clusterBytes(); i > 0 && cluster != FAT_END; --i) {
        previous = cluster;
        uint32_t next = FAT_END;
        if (fat_.nextLink(cluster, &next) != FS_OK) next = FAT_END;
        cluster = next;
    }
    file.current = cluster;
    file.previous = previous;
    file.position = position;
}

uint32_t FileSystem::readFromCard(OpenFile& file, uint8_t* buffer, uint32_t length) {
    const uint32_t clusterBytes = volume_.clusterBytes();
    uint32_t cluster = file.current;
    uint32_t offset = file.position % clusterBytes;
    for (uint32_t done = 0; done < length;) {
        if (cluster == FAT_END) return FS_DEVICE_FAILED;
        if (!fat_.isDataCluster(cluster)) return FS_BROKEN_CHAIN;
        const uint32_t piece = std::min(length - done, clusterBytes - offset);
        if (const uint32_t error = io_.read(cluster, offset, buffer + done, piece)) return error;
        done += piece;
        offset = 0;
        if (done < length) {
            if (const uint32_t error = fat_.nextLink(cluster, &cluster)) return error;
        }
    }
    advance(file, file.position + length);
    return FS_OK;
}

uint32_t FileSystem::readFile(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered) {
    *delivered = 0;
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    while (*delivered < length && file->position < file->size) {
        const uint32_t wanted = length - *delivered;
        const uint32_t bufferEnd = file->bufferStart + file->bufferCount;
        uint32_t piece = 0;
        if (file->bufferCount > 0 && file->position >= file->bufferStart && file->position < bufferEnd) {
            piece = std::min(wanted, bufferEnd - file->position);
            std::copy_n(file->buffer.begin() + (file->position - file->bufferStart), piece, buffer + *delivered);
            advance(*file, file->position + piece);
        } else {
            piece = std::min(wanted, file->size - file->position);
            if (file->bufferCount > 0 && file->position < file->bufferStart) {
                piece = std::min(piece, file->bufferStart - file->position);
            }
            if (const uint32_t error = readFromCard(*file, buffer + *delivered, piece)) return error;
        }
        *delivered += piece;
    }
    return *delivered < length ? FS_END : FS_OK;
}

uint32_t FileSystem::writeFile(uint32_t handle, const uint8_t* data, uint32_t length) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    if (!file->writable()) return FS_READ_ONLY;
    if (file->firstCluster < 2) return FS_BROKEN_CHAIN;  // no chain to write into
    if (file->bufferCount > 0 && file->position != file->bufferStart + file->bufferCount) {
        if (const uint32_t error = flush(*file)) return error;
    }
    if (file->bufferCount + length >= volume_.writeBufferSize) {
        if (const uint32_t error = flush(*file)) return error;
        const uint32_t result = directWrite(*file, data, length);
        file->bufferStart = file->position;
        return result;
    }
    if (file->bufferCount == 0) file->bufferStart = file->position;
    std::copy_n(data, length, file->buffer.begin() + file->bufferCount);
    file->bufferCount += length;
    advance(*file, file->position + length);
    return FS_OK;
}

uint32_t FileSystem::directWrite(OpenFile& file, const uint8_t* data, uint32_t length) {
    if (length == 0) return FS_OK;
    const uint32_t clusterBytes = volume_.clusterBytes();
    if (file.current == FAT_END) {
        uint32_t added = 0;
        if (const uint32_t error = fat_.linkNew(file.previous, &added)) return error;
        file.current = added;
    }
    uint32_t cluster = file.current;
    uint32_t offset = file.position % clusterBytes;
    for (uint32_t done = 0; done < length;) {
        // Never a pseudo cluster: that would write over the FAT or the root.
        if (!fat_.isDataCluster(cluster)) return FS_BROKEN_CHAIN;
        const uint32_t piece = std::min(length - done, clusterBytes - offset);
        if (const uint32_t error = io_.write(cluster, offset, data + done, piece)) return error;
        done += piece;
        offset = 0;
        if (done < length) {
            uint32_t next = 0;
            if (const uint32_t error = fat_.nextLink(cluster, &next)) return error;
            if (next == FAT_END) {
                if (const uint32_t error = fat_.linkNew(cluster, &next)) return error;
            }
            cluster = next;
        }
    }
    advance(file, file.position + length);
    return FS_OK;
}

uint32_t FileSystem::flush(OpenFile& file) {
    if (file.bufferCount == 0) return FS_OK;
    const uint32_t clusterBytes = volume_.clusterBytes();
    const uint32_t firstIndex = file.bufferStart / clusterBytes;
    const uint32_t lastIndex = (file.bufferStart + file.bufferCount - 1) / clusterBytes;
    uint32_t cluster = file.firstCluster;
    for (uint32_t index = 0; index <= lastIndex; ++index) {
        bool isNew = false;
        if (index > 0) {
            uint32_t next = 0;
            if (const uint32_t error = fat_.nextLink(cluster, &next)) return error;
            if (next == FAT_END) {
                if (const uint32_t error = fat_.linkNew(cluster, &next)) return error;
                isNew = true;
            }
            cluster = next;
        }
        if (!fat_.isDataCluster(cluster)) return FS_BROKEN_CHAIN;
        if (index < firstIndex) {
            if (isNew) {
                if (const uint32_t error = io_.fill(cluster, 0)) return error;
            }
            continue;
        }
        if (const uint32_t error = flushCluster(cluster, isNew, index * clusterBytes, file, index == lastIndex)) {
            return error;
        }
    }
    file.bufferCount = 0;
    file.bufferStart = file.position;
    if (file.current == FAT_END) placeAt(file, file.position);
    return FS_OK;
}

// Writes the buffered bytes that fall into one cluster. A cluster new to
// the chain is written whole: its sectors around the data hold zeros.
uint32_t FileSystem::flushCluster(uint32_t cluster, bool isNew, uint32_t clusterStart, const OpenFile& file,
                                  bool) {
    const uint32_t clusterBytes = volume_.clusterBytes();
    const uint32_t from = std::max(file.bufferStart, clusterStart);
    const uint32_t to = std::min(file.bufferStart + file.bufferCount, clusterStart + clusterBytes);
    const uint8_t* data = file.buffer.data() + (from - file.bufferStart);
    if (!isNew) return io_.write(cluster, from - clusterStart, data, to - from);
    std::vector<uint8_t> whole(clusterBytes, 0);
    std::copy(data, data + (to - from), whole.begin() + (from - clusterStart));
    return io_.write(cluster, 0, whole.data(), clusterBytes);
}

uint32_t FileSystem::seekFile(uint32_t handle, uint32_t origin, int32_t offset, uint32_t* previousPosition) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    *previousPosition = file->position;
    int64_t target = 0;
    switch (origin) {
    case 0: target = int64_t{file->position} + offset; break;
    case 1: target = offset; break;
    case 2: target = int64_t{file->size} + offset; break;
    default: return FS_INVALID;
    }
    target = std::clamp<int64_t>(target, 0, file->size);
    placeAt(*file, static_cast<uint32_t>(target));
    return FS_OK;
}

}  // namespace kestrel::fatfs
