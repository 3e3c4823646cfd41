// An open device file: closed (without a result) when it goes out of scope
// still open, so no failure path leaves a handle of the library open.
#pragma once

#include "oryx/oryx.h"

#include <string>

namespace kestrel::cli {

class DeviceFile {
public:
    // mt_smCreateFile (replacing an existing file when `replace`).
    static DeviceFile create(const std::string& oryxPath, bool replace, const std::string& shownAs);
    // mt_smOpenFile for reading.
    static DeviceFile openForReading(const std::string& oryxPath, const std::string& shownAs);

    DeviceFile(DeviceFile&& other) noexcept : handle_(other.handle_), open_(other.open_), shownAs_(std::move(other.shownAs_)) {
        other.open_ = false;
    }
    DeviceFile& operator=(DeviceFile&&) = delete;
    ~DeviceFile();

    void extend(uint32_t bytes);
    void write(const void* data, uint32_t length);
    // Reads exactly `length` bytes; fails when the file ends before.
    void read(void* data, uint32_t length);
    // The date and time the close gives the entry (mt_smSetFileTime).
    void setTime(const oryx_stat& stat);
    // Closes with the result checked.
    void close();

private:
    DeviceFile(oryx_handle handle, std::string shownAs) : handle_(handle), open_(true), shownAs_(std::move(shownAs)) {}

    oryx_handle handle_;
    bool open_;
    std::string shownAs_;
};

}  // namespace kestrel::cli
