// The mount's file system over the library's exported file API (oryx.h):
// the device runs its file-system firmware from start() to the backend's
// end, which puts the main firmware back (usbcClose), also after a
// failure. Entries are found by long or short name, component by
// component; new entries get an 8.3 short name (short_alias.h) and their
// given name as long name.
#pragma once

#include "mount/backend.h"

#include <memory>
#include <string>

namespace kestrel::mount {

class OryxBackend : public Backend {
public:
    // Starts the device (mt_smInit). Null with `error` when it does not
    // start; the main firmware is put back then too.
    static std::unique_ptr<OryxBackend> start(std::string& error);
    ~OryxBackend() override;
    OryxBackend(const OryxBackend&) = delete;
    OryxBackend& operator=(const OryxBackend&) = delete;

    int32_t stat(const NodePath& path, NodeInfo& info) override;
    int32_t list(const NodePath& path, std::vector<DirItem>& items) override;
    int32_t openRead(const NodePath& path, std::unique_ptr<FileReader>& reader) override;
    int32_t openWrite(const NodePath& path, std::unique_ptr<FileWriter>& writer) override;
    int32_t removeFile(const NodePath& path) override;
    int32_t makeDirectory(const NodePath& path) override;
    int32_t removeDirectory(const NodePath& path) override;
    int32_t rename(const NodePath& from, const NodePath& to) override;
    int32_t setTime(const NodePath& path, uint16_t dosDate, uint16_t dosTime) override;
    int32_t setReadOnly(const NodePath& path, bool readOnly) override;
    int32_t space(VolumeSpace& space) override;
    bool deviceLost() const override { return lost_; }

    // Whether files may be pre-extended with mt_smFileExtend while they
    // are written (only where clusters are erase blocks: the extension
    // erases the blocks of the clusters it adds). Off by default.
    void allowPreExtension(bool allowed) { preExtend_ = allowed; }

    // Whether a new 8.3 name with small letters is stored as the card's
    // short entries hold it, in capitals ("notes.txt" then lists as
    // "NOTES.TXT"), instead of being refused. Off by default: the user
    // asks for it, so no name is changed unasked.
    void storeShortNamesInCapitals(bool allowed) { capitals_ = allowed; }

    // -errno for a library result; notes a lost device.
    int32_t errnoOf(uint32_t result);

private:
    OryxBackend() = default;

    struct Entry;
    struct Place;
    // The entries of the directory at the library path `directory`.
    int32_t entries(const std::string& directory, std::vector<Entry>& out);
    // The entry at `path` (-ENOENT, -ENOTDIR on the way).
    int32_t find(const NodePath& path, Entry& entry, std::string& libraryPath);
    // Where a new entry named by `path`'s last component goes: its
    // parent's library path and the short name it gets. -EEXIST when the
    // name is there already.
    int32_t place(const NodePath& path, Place& place);
    // Gives a new entry its long name unless the short name shows it.
    int32_t nameEntry(const std::string& libraryPath, const std::string& shortName, const std::string& name);

    bool lost_ = false;
    bool preExtend_ = false;
    bool capitals_ = false;
};

}  // namespace kestrel::mount
