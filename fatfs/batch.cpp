// Write batches over several operations: FAT stores and directory writes
// held in memory, written out FAT first and directory sectors after, so
// that power failing during the write-out leaves at most lost clusters.
// Data clusters go to the card as they are written; the clusters they use
// are free in the card's FAT until the write-out, and no cluster the card
// still names is freed inside a batch (such operations write the batch out
// first and then run unbatched), so none is handed out again before the
// card has let go of it.
#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"
#include "platform/byte_order.h"

namespace kestrel::fatfs {

void FileSystem::holdChanges(bool on) {
    fat_.setDeferred(on);
    directory_.setHolding(on);
}

bool FileSystem::takenInBatch(uint32_t firstCluster) const { return batchChains_.count(firstCluster) != 0; }

uint32_t FileSystem::beginBatch(uint32_t volume) {
    if (volume != 0) return FS_INVALID;
    if (batch_) return FS_OK;
    // Mounted first: the mount's own repairs reach the card as always.
    if (const uint32_t error = ensureMounted()) return error;
    batch_ = true;
    batchChains_.clear();
    holdChanges(true);
    return FS_OK;
}

uint32_t FileSystem::endBatch(uint32_t volume) {
    if (volume != 0) return FS_INVALID;
    if (!batch_) return FS_OK;
    const uint32_t result = writeOutBatch();
    batch_ = false;
    batchChains_.clear();
    holdChanges(false);
    return result;
}

uint32_t FileSystem::writeOutBatch() {
    fat_.setDeferred(false);
    directory_.setHolding(false);
    uint32_t result = FS_OK;
    if (volume_.isMounted()) {
        // The FAT first: an entry reaches the card only once its clusters
        // are taken there.
        result = fat_.store();
        if (result == FS_OK) {
            result = directory_.writeOutHeld();
        } else {
            directory_.dropHeld();
        }
    } else {
        directory_.dropHeld();
    }
    batchChains_.clear();
    if (result != FS_OK) {
        // Memory is ahead of the card, which holds part of the batch or
        // none of it: the batch ends and the next operation mounts afresh.
        batch_ = false;
        volume_.mounted = 0;
        directory_.dropCache();
        return result;
    }
    holdChanges(batch_);
    return FS_OK;
}

uint32_t FileSystem::unbatched(const std::function<uint32_t()>& work) {
    if (const uint32_t error = writeOutBatch()) return error;
    if (!batch_) return work();
    batch_ = false;
    holdChanges(false);
    const uint32_t result = work();
    // The work may have ended in a state the card does not share (a failed
    // write): the batch goes on only over a mounted volume.
    batch_ = volume_.isMounted();
    holdChanges(batch_);
    return result;
}

uint32_t FileSystem::setFileTime(uint32_t handle, const uint8_t* stat) {
    OpenFile* file = nullptr;
    if (const uint32_t error = handlePrologue(handle, &file)) return error;
    if (!file->writable()) return FS_READ_ONLY;
    file->stamped = true;
    file->stampTime = encodeTime(stat[16], stat[17], stat[18]);
    file->stampDate = encodeDate(loadLe16(stat + 12), stat[14], stat[15]);
    return FS_OK;
}

}  // namespace kestrel::fatfs
