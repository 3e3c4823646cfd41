// A whole device in memory for the extension's objects made in process:
// folders and files with their bytes, opened, read, written, listed and
// removed like the device's file server does it (flag 0x200 creates a
// missing file; write-only with create, 0x201, empties an existing one). It
// records every write and can be told to refuse removals.
#pragma once

#include "shellext/device_files.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class MemoryDevice final : public DeviceFiles {
public:
    MemoryDevice();

    // Makes every folder on the way; a trailing "/" makes a folder.
    void put(const std::string& path, const std::string& contents = {});
    void putBytes(const std::string& path, std::vector<uint8_t> contents);
    bool exists(const std::string& path) const { return nodes_.count(path) != 0; }
    bool isFolder(const std::string& path) const;
    std::vector<uint8_t> bytes(const std::string& path) const;
    std::string text(const std::string& path) const;
    // Every path below the root, in order.
    std::vector<std::string> paths() const;

    struct Write {
        std::string path;
        uint32_t length;
    };
    const std::vector<Write>& writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }
    std::set<std::string> refuseUnlink;
    // Faults of a device running full or going away: a write that would
    // make the file at a path larger than its limit, any write once
    // `writesLeft` writes have been taken, and any read of a path in
    // `failReads` store or deliver nothing and return -1.
    std::map<std::string, uint32_t> sizeLimit;
    int writesLeft = -1;  // -1: no limit
    std::set<std::string> failReads;
    std::set<std::string> refuseRmdir;
    int openFiles() const { return static_cast<int>(files_.size()); }
    int openListings() const { return static_cast<int>(listings_.size()); }
    // An entry the listing of `folder` also delivers, as a damaged card or
    // a hostile file server would ("x/..", "../keep.txt"); no node of its
    // own. Paths given to the operations resolve "." and ".." the way the
    // file server does.
    void listAlso(const std::string& folder, filex::FilexDirEntry entry) { extra_[folder].push_back(entry); }
    // The flags of every _open, in order.
    const std::vector<std::pair<std::string, int32_t>>& opens() const { return opens_; }

    int32_t open(const char* path, int32_t flags) override;
    int32_t fstat(int32_t fd, filex::FilexStat* record) override;
    int32_t read(int32_t fd, void* buffer, uint32_t length) override;
    int32_t lseek(int32_t fd, int32_t offset, int32_t origin) override;
    int32_t write(int32_t fd, const void* buffer, uint32_t length) override;
    int32_t close(int32_t fd) override;
    int32_t unlink(const char* path) override;
    int32_t mkdir(const char* path, int32_t mode) override;
    int32_t rmdir(const char* path) override;
    int32_t opendir(const char* path) override;
    int32_t readdir(int32_t dir, filex::FilexDirEntry* record) override;
    int32_t closedir(int32_t dir) override;

private:
    struct Node {
        bool folder = false;
        std::vector<uint8_t> data;
    };
    struct OpenFile {
        std::string path;
        uint32_t position = 0;
        bool writable = false;
    };
    struct Listing {
        std::vector<filex::FilexDirEntry> entries;
        size_t next = 0;
    };
    static std::string parentOf(const std::string& path);
    static std::string resolved(const char* path);
    std::vector<std::string> childrenOf(const std::string& folder) const;

    std::map<std::string, Node> nodes_;
    std::map<int32_t, OpenFile> files_;
    std::map<int32_t, Listing> listings_;
    int32_t nextHandle_ = 3;
    std::vector<Write> writes_;
    std::map<std::string, std::vector<filex::FilexDirEntry>> extra_;
    std::vector<std::pair<std::string, int32_t>> opens_;
};

}  // namespace kestrel::shellext::test
