#include "tests/shellext/scripted_device.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::shellext::test {

using filex::FilexDirEntry;

FilexDirEntry directoryEntry(const std::string& name, uint8_t attributes, uint32_t size, uint16_t dosTime,
                             uint16_t dosDate) {
    FilexDirEntry entry;
    entry.bytes.fill(0xA5);  // the fields the client does not read are not zero either
    entry.setName(name);
    entry.setAttributes(attributes);
    entry.setFileSize(size);
    entry.setDosTime(dosTime);
    entry.setDosDate(dosDate);
    return entry;
}

FilexDirEntry folderEntry(const std::string& name) { return directoryEntry(name, filex::ATTR_DIRECTORY); }
FilexDirEntry fileEntry(const std::string& name, uint32_t size) {
    return directoryEntry(name, filex::ATTR_ARCHIVE, size);
}

FilexDirEntry unterminatedEntry(char fill, uint8_t attributes) {
    FilexDirEntry entry = directoryEntry("", attributes);
    std::memset(entry.bytes.data() + FilexDirEntry::NAME, fill, FilexDirEntry::NAME_FIELD);
    return entry;
}

void ScriptedDevice::setFolder(const std::string& path, std::vector<FilexDirEntry> entries) {
    folders_[path] = std::move(entries);
}

int32_t ScriptedDevice::opendir(const char* path) {
    listed_.push_back(path);
    if (folders_.count(path) == 0) return 0;
    const int32_t handle = nextHandle_++;
    open_[handle] = Listing{path, 0};
    return handle;
}

int32_t ScriptedDevice::readdir(int32_t dir, FilexDirEntry* record) {
    const auto found = open_.find(dir);
    if (found == open_.end()) {
        ADD_FAILURE() << "readdir of a listing that is not open: " << dir;
        return 0;
    }
    if (duringListing) duringListing();
    const auto& entries = folders_[found->second.path];
    if (found->second.next >= entries.size()) return 0;
    *record = entries[found->second.next++];
    return 1;
}

int32_t ScriptedDevice::closedir(int32_t dir) {
    if (open_.erase(dir) == 0) ADD_FAILURE() << "closedir of a listing that is not open: " << dir;
    return 0;
}

int32_t ScriptedDevice::unexpected(const char* operation) {
    ADD_FAILURE() << "unexpected device operation " << operation;
    return -1;
}

}  // namespace kestrel::shellext::test
