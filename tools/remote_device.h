// The device's file server as the remote commands use it: a filex client
// for the length of one command (the device keeps running its main
// firmware), entries found by path, folder listings, and open device files
// that close themselves on every failure path.
#pragma once

#include "filex/filex_client.h"
#include "tools/device_path.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::cli {

// Modes of _open as the namespace extension uses them.
inline constexpr int32_t REMOTE_READ = 0;
inline constexpr int32_t REMOTE_WRITE = 0x201;  // creates or truncates

// Blocks of the extension's copies: 61,440 bytes written, 16,384 read.
inline constexpr uint32_t REMOTE_WRITE_BLOCK = 61440;
inline constexpr uint32_t REMOTE_READ_BLOCK = 16384;

struct RemoteEntry {
    std::string name;
    bool directory = false;
    uint32_t size = 0;
    uint16_t dosTime = 0;  // 0 with dosDate 0 when unknown
    uint16_t dosDate = 0;
};

class RemoteDevice {
public:
    // Starts the filex link; fails (Failure) when the device cannot be
    // reached.
    RemoteDevice();

    filex::FilexClient& client() { return client_; }

    // The entries of a folder in listing order, without "." and "..";
    // fails when it cannot be listed.
    std::vector<RemoteEntry> list(const DevicePath& folder);
    // The entry at `path` (the root is a folder); nullopt when there is
    // none.
    std::optional<RemoteEntry> find(const DevicePath& path);

private:
    filex::FilexClient client_;
};

class RemoteFile {
public:
    // Opens `path` with `flags`; fails (Failure) when the device refuses.
    RemoteFile(filex::FilexClient& client, const DevicePath& path, int32_t flags);
    // Closes a file still open, without a result.
    ~RemoteFile();
    RemoteFile(const RemoteFile&) = delete;
    RemoteFile& operator=(const RemoteFile&) = delete;

    // The size _fstat reports.
    uint32_t size();
    // Up to `length` bytes (at most one read block); 0 at the end.
    uint32_t read(uint8_t* data, uint32_t length);
    // All `length` bytes (at most one write block), or a failure.
    void write(const uint8_t* data, uint32_t length);
    // Closes with the result checked.
    void close();

private:
    filex::FilexClient& client_;
    std::string shown_;
    int32_t fd_;
    bool open_ = true;
};

// Calendar fields of an MS-DOS date and time ("2002-07-14 09:30:02").
std::string dosTimeText(uint16_t dosDate, uint16_t dosTime);

}  // namespace kestrel::cli
