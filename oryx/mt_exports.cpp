// The exported mt_sm* functions: a thin facade over one process-wide file
// system, which reaches the card through the library's exported device
// commands.
#include "oryx/exported_card_commands.h"
#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "oryx/oryx.h"

#include <string_view>

namespace {

using kestrel::fatfs::FileSystem;

struct Library {
    kestrel::oryx::ExportedCardCommands commands;
    kestrel::media::Media media{commands};
    FileSystem fileSystem{media, [] { return usbcInit() == 1; }};
};

FileSystem& fs() {
    static Library library;
    return library.fileSystem;
}

// An operation that may write: what it writes into one erase block reaches
// the card together, by the time it returns.
template <class Work>
uint32_t batched(Work work) {
    kestrel::fatfs::WriteBatch batch(fs().clusters());
    return batch.finish(work());
}

std::string_view text(const char* s) { return s != nullptr ? std::string_view(s) : std::string_view(); }

uint8_t* bytes(void* p) { return static_cast<uint8_t*>(p); }
const uint8_t* bytes(const void* p) { return static_cast<const uint8_t*>(p); }

}  // namespace

extern "C" {

uint32_t ORYX_CALL mt_smInit(void) { return fs().init(); }

uint32_t ORYX_CALL mt_smFormatVol(const char* path, const char* label, uint32_t mode, uint32_t* badBlocks,
                                  oryx_progress progress) {
    uint32_t ignored = 0;
    kestrel::fatfs::FormatProgress report;
    if (progress != nullptr) report = [progress](uint32_t blocks, uint32_t current) { (void)progress(blocks, current); };
    return fs().formatVol(text(path), text(label), mode, badBlocks != nullptr ? badBlocks : &ignored, report);
}

uint32_t ORYX_CALL mt_smMountVol(uint32_t volume, const char* name) { return fs().mountVol(volume, text(name)); }
uint32_t ORYX_CALL mt_smUnmountVol(uint32_t volume) { return fs().unmountVol(volume); }

uint32_t ORYX_CALL mt_smGetVolInfo(const char* path, oryx_volume_info* info) {
    uint32_t words[6] = {};
    const uint32_t result = fs().getVolInfo(text(path), words);
    if (result == 0 && info != nullptr) {
        *info = {words[0], words[1], words[2], words[3], words[4], words[5]};
    }
    return result;
}

uint32_t ORYX_CALL mt_smCreateFile(const char* path, uint32_t overwrite, oryx_handle* handle) {
    return batched([&] { return fs().createFile(text(path), overwrite, handle); });
}
uint32_t ORYX_CALL mt_smOpenFile(const char* path, uint32_t mode, oryx_handle* handle) {
    return batched([&] { return fs().openFile(text(path), mode, handle); });
}
uint32_t ORYX_CALL mt_smReadFile(oryx_handle handle, void* buffer, uint32_t length, uint32_t* delivered) {
    return fs().readFile(handle, bytes(buffer), length, delivered);
}
uint32_t ORYX_CALL mt_smWriteFile(oryx_handle handle, const void* data, uint32_t length) {
    return batched([&] { return fs().writeFile(handle, bytes(data), length); });
}
uint32_t ORYX_CALL mt_smSeekFile(oryx_handle handle, uint32_t origin, int32_t offset, uint32_t* previousPosition) {
    return fs().seekFile(handle, origin, offset, previousPosition);
}
uint32_t ORYX_CALL mt_smCloseFile(oryx_handle handle) {
    return batched([&] { return fs().closeFile(handle); });
}
uint32_t ORYX_CALL mt_smRemoveFile(const char* path) {
    return batched([&] { return fs().removeFile(text(path)); });
}
uint32_t ORYX_CALL mt_smGetSizeFile(const char* path, uint32_t* size) { return fs().getSizeFile(text(path), size); }
uint32_t ORYX_CALL mt_smFileExtend(oryx_handle handle, uint32_t bytesToAdd) {
    return batched([&] { return fs().fileExtend(handle, bytesToAdd); });
}
uint32_t ORYX_CALL mt_smMoveFile(const char* source, const char* destination) {
    return batched([&] { return fs().moveFile(text(source), text(destination)); });
}
uint32_t ORYX_CALL mt_smReadStat(const char* path, oryx_stat* stat) {
    return fs().readStat(text(path), reinterpret_cast<uint8_t*>(stat));
}
uint32_t ORYX_CALL mt_smWriteStat(const char* path, const oryx_stat* stat) {
    return batched([&] { return fs().writeStat(text(path), reinterpret_cast<const uint8_t*>(stat)); });
}
uint32_t ORYX_CALL mt_smCreateDir(const char* path, uint32_t) {
    return batched([&] { return fs().createDir(text(path)); });
}
uint32_t ORYX_CALL mt_smRemoveDir(const char* path, uint32_t recursive) {
    return batched([&] { return fs().removeDir(text(path), recursive); });
}
uint32_t ORYX_CALL mt_smGetListNumDir(const char* path, uint32_t* count) { return fs().getListNumDir(text(path), count); }
uint32_t ORYX_CALL mt_smReadDir(const char* path, uint32_t first, uint32_t count, oryx_name* names,
                                uint32_t* delivered) {
    return fs().readDir(text(path), first, count, reinterpret_cast<uint8_t*>(names), delivered);
}
uint32_t ORYX_CALL mt_smReadDirEx(const char* path, uint32_t first, uint32_t count, oryx_dir_record* records,
                                  uint32_t* delivered) {
    return fs().readDirEx(text(path), first, count, reinterpret_cast<uint8_t*>(records), delivered);
}
uint32_t ORYX_CALL mt_smSetLongName(const char* path, const uint16_t* longName) {
    static const uint16_t empty = 0;
    return batched([&] { return fs().setLongName(text(path), longName != nullptr ? longName : &empty); });
}
uint32_t ORYX_CALL mt_smSetFileTime(oryx_handle handle, const oryx_stat* stat) {
    if (stat == nullptr) return kestrel::fatfs::FS_INVALID;
    return fs().setFileTime(handle, reinterpret_cast<const uint8_t*>(stat));
}
uint32_t ORYX_CALL mt_smBeginBatch(uint32_t volume) { return fs().beginBatch(volume); }
uint32_t ORYX_CALL mt_smEndBatch(uint32_t volume) {
    return batched([&] { return fs().endBatch(volume); });
}
uint32_t ORYX_CALL mt_smRegisterCallBack(uint32_t volume, uint32_t type, void* function) {
    return fs().registerCallBack(volume, type, function);
}
uint32_t ORYX_CALL mt_smUnregisterCallBack(uint32_t volume, uint32_t type) {
    return fs().unregisterCallBack(volume, type);
}

}  // extern "C"
