// A device double for the extension's objects made in process: folders of
// the test's own directory records, handed out exactly as given (names
// without their zero included). It records every listing it is asked for
// and fails the test on any operation other than listing.
#pragma once

#include "shellext/device_files.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

// A directory record as the file server sends it.
filex::FilexDirEntry directoryEntry(const std::string& name, uint8_t attributes, uint32_t size = 0,
                                    uint16_t dosTime = 0, uint16_t dosDate = 0);
filex::FilexDirEntry folderEntry(const std::string& name);
filex::FilexDirEntry fileEntry(const std::string& name, uint32_t size = 0);
// A record whose 276-byte name field is `fill` throughout, without a zero.
filex::FilexDirEntry unterminatedEntry(char fill, uint8_t attributes);

class ScriptedDevice final : public DeviceFiles {
public:
    void setFolder(const std::string& path, std::vector<filex::FilexDirEntry> entries);

    // The paths given to opendir, in order.
    const std::vector<std::string>& listed() const { return listed_; }
    int openListings() const { return static_cast<int>(open_.size()); }
    // Runs before each readdir answer (while the listing is open).
    std::function<void()> duringListing;

    int32_t opendir(const char* path) override;
    int32_t readdir(int32_t dir, filex::FilexDirEntry* record) override;
    int32_t closedir(int32_t dir) override;

    int32_t open(const char*, int32_t) override { return unexpected("open"); }
    int32_t fstat(int32_t, filex::FilexStat*) override { return unexpected("fstat"); }
    int32_t read(int32_t, void*, uint32_t) override { return unexpected("read"); }
    int32_t lseek(int32_t, int32_t, int32_t) override { return unexpected("lseek"); }
    int32_t write(int32_t, const void*, uint32_t) override { return unexpected("write"); }
    int32_t close(int32_t) override { return unexpected("close"); }
    int32_t unlink(const char*) override { return unexpected("unlink"); }
    int32_t mkdir(const char*, int32_t) override { return unexpected("mkdir"); }
    int32_t rmdir(const char*) override { return unexpected("rmdir"); }

private:
    static int32_t unexpected(const char* operation);

    struct Listing {
        std::string path;
        size_t next = 0;
    };
    std::map<std::string, std::vector<filex::FilexDirEntry>> folders_;
    std::map<int32_t, Listing> open_;
    int32_t nextHandle_ = 1;
    std::vector<std::string> listed_;
};

}  // namespace kestrel::shellext::test
