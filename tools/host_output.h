// A host file a command writes: the bytes go to a temporary file beside it,
// which takes the file's place only once it is complete. A failure or an
// interruption therefore leaves a file that was there before as it was, and
// leaves no partial file under the name.
#pragma once

#include "tools/host_files.h"

#include <string>

namespace kestrel::cli {

class HostOutput {
public:
    // Creates the temporary file; fails (Failure) with the reason.
    explicit HostOutput(std::string path);
    // Removes the temporary file unless commit() put it in place.
    ~HostOutput();
    HostOutput(const HostOutput&) = delete;
    HostOutput& operator=(const HostOutput&) = delete;

    // Writes to the temporary file; failures name the file's own path.
    void write(const void* data, size_t length);
    // Flushes, closes and puts the file in place; fails (Failure) when the
    // data did not reach the disk or the file could not take the place.
    void commit();

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporary_; }

private:
    std::string path_;
    std::string temporary_;
    HostFile file_;
    bool committed_ = false;
};

}  // namespace kestrel::cli
