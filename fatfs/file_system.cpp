#include "fatfs/file_system.h"

#include "fatfs/fs_results.h"
#include "fatfs/path.h"

#include <algorithm>

namespace kestrel::fatfs {

namespace {

constexpr uint32_t RANDOM_RANGE = 32768;

}  // namespace

FileSystem::FileSystem(media::Media& media, std::function<bool()> startDevice, Clock clock)
    : media_(media),
      startDevice_(std::move(startDevice)),
      clock_(std::move(clock)),
      io_(media.maps(), media.pool(), volume_),
      fat_(volume_, io_, media.maps(), media.pool()),
      directory_(volume_, io_, fat_, [this] { return static_cast<uint32_t>(random_() % RANDOM_RANGE); }, clock_) {
    // Handles of a removed file become "not open": their buffers and
    // clusters must not reach clusters that now belong to other files.
    directory_.setRemovalListener([this](uint32_t firstCluster) { files_.dropFile(firstCluster); });
}

uint32_t FileSystem::init() {
    // A batch left open reaches the card before everything is dropped; its
    // failure is the result when the reset itself succeeds.
    const uint32_t written = endBatch(0);
    const uint32_t seconds = clock_().second;
    random_.seed(seconds);
    media_.maps().seed(seconds);
    const bool started = !startDevice_ || startDevice_();
    media_.pool().rebuild();
    if (started) (void)media_.card().smProbeCard();
    media_.maps().smFreeMaps();
    volume_.fat.clear();
    files_.clear();
    callbacks_ = {};
    volume_.mounted = 0;
    directory_.dropCache();
    names_.reset();
    return started ? written : FS_DEVICE_FAILED;
}

uint32_t FileSystem::registerCallBack(uint32_t, uint32_t type, Callback function) {
    if (type >= callbacks_.size()) return FS_INVALID;
    callbacks_[type] = function;
    return FS_OK;
}

uint32_t FileSystem::unregisterCallBack(uint32_t, uint32_t type) {
    if (type >= callbacks_.size()) return FS_INVALID;
    callbacks_[type] = nullptr;
    return FS_OK;
}

uint32_t FileSystem::mountVol(uint32_t volume, std::string_view name) { return names_.setName(volume, name); }

uint32_t FileSystem::unmountVol(uint32_t volume) {
    // An open batch is written out by the unmount.
    const uint32_t written = volume == 0 ? endBatch(0) : FS_OK;
    directory_.dropCache();
    const uint32_t result = names_.resetName(volume);
    return result != FS_OK ? result : written;
}

uint32_t FileSystem::prologue(std::string_view path) {
    if (names_.volumeOf(path) != 0u) return FS_INVALID;
    return ensureMounted();
}

uint32_t FileSystem::ensureMounted() {
    if (volume_.isMounted()) return FS_OK;
    directory_.dropCache();
    const uint32_t result = mount();
    if (result == FS_BAD_PARTITION_TABLE || result == FS_BAD_BOOT_SECTOR || result == FS_NO_FAT_COPY) {
        return FS_VOLUME_UNUSABLE;
    }
    return result;
}

uint32_t FileSystem::getVolInfo(std::string_view path, uint32_t* info) {
    if (const uint32_t error = prologue(path)) return error;
    const uint32_t s = volume_.boot.sectorsPerCluster;
    const uint32_t clusterBytes = s * SECTOR;
    const uint32_t n = volume_.boot.totalSectors / s + 1;
    uint32_t freeBytes = 0, usedBytes = 0, bad = 0;
    for (uint32_t c = 2; c <= n + 1; ++c) {
        const uint16_t entry = volume_.fat.get(c);
        if (!volume_.fat.contains(c) || entry == FAT_FREE) {
            freeBytes += clusterBytes;
        } else if (entry == FAT_BAD) {
            ++bad;
        } else {
            usedBytes += clusterBytes;
        }
    }
    info[0] = n * clusterBytes;
    info[1] = usedBytes;
    info[2] = freeBytes;
    info[3] = bad;
    info[4] = s;
    info[5] = SECTOR;
    return FS_OK;
}

}  // namespace kestrel::fatfs
