// The FAT12/FAT16 file system of one card as one object: the volume name,
// the mount (lazy, on the first operation that needs it), the format, the
// volume information and the directory operations. The exported mt_sm*
// functions are a thin facade over one process-wide instance; the
// simulated device's file server and the tests make their own.
//
// Not thread-safe: callers serialise every call.
#pragma once

#include "fatfs/cluster_io.h"
#include "fatfs/directory.h"
#include "fatfs/fat_table.h"
#include "fatfs/open_files.h"
#include "fatfs/time_stamp.h"
#include "fatfs/volume.h"
#include "fatfs/volume_names.h"
#include "media/media.h"

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <string_view>

namespace kestrel::fatfs {

inline constexpr size_t NAME_RECORD = 16;
inline constexpr size_t DIR_RECORD = 116;
inline constexpr size_t VOLUME_INFO_WORDS = 6;

using FormatProgress = media::FormatProgress;

class FileSystem {
public:
    // `startDevice` loads the file-system firmware and starts the link (true
    // on success); `clock` gives the local time for time stamps.
    FileSystem(media::Media& media, std::function<bool()> startDevice, Clock clock = localNow);
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    uint32_t init();
    uint32_t mountVol(uint32_t volume, std::string_view name);
    uint32_t unmountVol(uint32_t volume);
    uint32_t getVolInfo(std::string_view path, uint32_t* info);
    uint32_t formatVol(std::string_view path, std::string_view label, uint32_t mode, uint32_t* badBlocks,
                       const FormatProgress& progress);

    uint32_t createDir(std::string_view path);
    uint32_t removeDir(std::string_view path, uint32_t recursive);
    uint32_t getListNumDir(std::string_view path, uint32_t* count);
    // `records`: `count` name records of 16 bytes.
    uint32_t readDir(std::string_view path, uint32_t first, uint32_t count, uint8_t* records, uint32_t* delivered);
    // `records`: `count` directory records of 116 bytes.
    uint32_t readDirEx(std::string_view path, uint32_t first, uint32_t count, uint8_t* records,
                       uint32_t* delivered);
    // `longName`: zero-terminated 16-bit characters.
    uint32_t setLongName(std::string_view path, const uint16_t* longName);

    uint32_t createFile(std::string_view path, uint32_t overwrite, uint32_t* handle);
    uint32_t openFile(std::string_view path, uint32_t mode, uint32_t* handle);
    uint32_t readFile(uint32_t handle, uint8_t* buffer, uint32_t length, uint32_t* delivered);
    uint32_t writeFile(uint32_t handle, const uint8_t* data, uint32_t length);
    // origin 0: from the position, 1: from the start, 2: from the end.
    uint32_t seekFile(uint32_t handle, uint32_t origin, int32_t offset, uint32_t* previousPosition);
    uint32_t closeFile(uint32_t handle);
    uint32_t fileExtend(uint32_t handle, uint32_t bytes);
    uint32_t removeFile(std::string_view path);
    uint32_t getSizeFile(std::string_view path, uint32_t* size);
    uint32_t moveFile(std::string_view source, std::string_view destination);
    // `stat`: the 20-byte stat record.
    uint32_t readStat(std::string_view path, uint8_t* stat);
    uint32_t writeStat(std::string_view path, const uint8_t* stat);

    // A write batch over several operations (batch.cpp): FAT stores and
    // directory writes stay in memory until the batch ends, then reach the
    // card FAT first, directory sectors after. Operations that free
    // clusters, remove or move entries, or change files that were on the
    // card before, write the batch out first and run unbatched. Opening a
    // batch mounts the volume; a batch already open stays open (FS_OK).
    uint32_t beginBatch(uint32_t volume);
    // Writes the batch out and ends it: FS_OK when none is open.
    uint32_t endBatch(uint32_t volume);
    bool batchOpen() const { return batch_; }
    // The time the close of a writable handle gives its entry, in place of
    // the time of the close (`stat`: a 20-byte stat record, its date and
    // time fields used).
    uint32_t setFileTime(uint32_t handle, const uint8_t* stat);

    using Callback = void*;
    uint32_t registerCallBack(uint32_t volume, uint32_t type, Callback function);
    uint32_t unregisterCallBack(uint32_t volume, uint32_t type);

    const Volume& volume() const { return volume_; }
    Volume& volume() { return volume_; }
    const OpenFiles& openFiles() const { return files_; }
    Directory& directory() { return directory_; }
    FatTable& fat() { return fat_; }
    ClusterIo& clusters() { return io_; }

private:
    // The batch's changes to the card (it stays open); on a failure the
    // batch ends and the volume is mounted afresh by the next operation.
    uint32_t writeOutBatch();
    // Holding and deferring on or off, as a batch is open.
    void holdChanges(bool on);
    // Runs `work` as outside a batch, after writing the batch out.
    uint32_t unbatched(const std::function<uint32_t()>& work);
    // Whether the chain from `firstCluster` was taken inside the open batch.
    bool takenInBatch(uint32_t firstCluster) const;
    uint32_t closeNow(uint32_t handle);
    uint32_t createNow(std::string_view path, uint32_t overwrite, uint32_t* handle);
    uint32_t setLongNameNow(std::string_view path, const uint16_t* longName);

    // Resolves the volume of a path (11) and mounts it when needed.
    uint32_t prologue(std::string_view path);
    uint32_t ensureMounted();
    uint32_t mount();
    // Marks clusters that entries name but the FAT calls free as used.
    void reserveNamedClusters();
    // Of two entries naming one chain, removes the one that an interrupted
    // move or long name leaves behind (doubled_entries.cpp).
    void removeDoubledEntries();
    // The entry of the pair to remove (`first` met first), or none.
    uint32_t staleOfPair(const FoundEntry& first, const FoundEntry& second, const FoundEntry** stale);
    // Deletes the entry and its long name; its chain stays.
    uint32_t dropEntry(const FoundEntry& found);

    // Finds the record of a handle: 11 for a volume other than 0, 20 when
    // it is not open.
    uint32_t handlePrologue(uint32_t handle, OpenFile** file);
    uint32_t findStatEntry(std::string_view path, FoundEntry* found);
    uint32_t isWithin(uint32_t directory, uint32_t top, bool* inside);
    uint32_t giveFirstCluster(FoundEntry& found);
    // Moves the position forward, following the chain.
    void advance(OpenFile& file, uint32_t newPosition);
    // Recomputes current and previous cluster for the position.
    void placeAt(OpenFile& file, uint32_t position);
    uint32_t readFromCard(OpenFile& file, uint8_t* buffer, uint32_t length);
    uint32_t directWrite(OpenFile& file, const uint8_t* data, uint32_t length);
    uint32_t flush(OpenFile& file);
    uint32_t flushCluster(uint32_t cluster, bool isNew, uint32_t clusterStart, const OpenFile& file, bool holdsEnd);
    uint32_t chainLength(uint32_t first, uint32_t* last);
    uint32_t renameInPlace(uint32_t directory, const FoundEntry& found, std::string_view newName);

    media::Media& media_;
    VolumeNames names_;
    Volume volume_;
    OpenFiles files_;
    std::array<Callback, 2> callbacks_{};

    uint32_t readPartition(uint8_t* sector);
    uint32_t readBootSector(uint8_t* sector);
    void placeFats(uint32_t entries);
    uint32_t placeVolume(uint32_t entries);
    uint32_t writeLayout(std::string_view label);
    uint32_t writeSectorAt(uint32_t sector, const uint8_t* data);
    uint32_t removeTree(uint32_t top);
    void fillDirRecord(const FoundEntry& found, uint8_t* record);
    // Hands the entries from `first` on (at most `count`) to `deliver`.
    uint32_t listEntries(std::string_view path, uint32_t first, uint32_t count, uint32_t* delivered,
                         const std::function<void(uint32_t index, const FoundEntry&)>& deliver);
    // The directory holding a path's final component.
    uint32_t resolveParent(std::string_view path, uint32_t* parent);
    // The entry of a path's final component and the directory holding it.
    uint32_t findInParent(std::string_view path, uint32_t* parent, FoundEntry* found);

    std::function<bool()> startDevice_;
    Clock clock_;
    std::minstd_rand random_;
    ClusterIo io_;
    FatTable fat_;
    Directory directory_;
    bool batch_ = false;
    std::set<uint32_t> batchChains_;  // first clusters of the chains the open batch took
};

}  // namespace kestrel::fatfs
