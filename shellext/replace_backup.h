// A device file the user agreed to replace is kept on the host until its
// replacement is whole. The device's file server cannot rename, so the new
// file is written under the old name; when that copy fails or is cancelled,
// the old contents are written back from the host copy. A host copy that
// cannot be written back stays where it is, and the user is told where.
// The copy lives in a folder of copies like those of Open
// (temporary_copy.h), which the same sweep removes once it is stale.
#pragma once

#include "shellext/device_files.h"

#include <memory>
#include <string>

namespace kestrel::shellext {

class ReplacedFileBackup {
public:
    // Copies the device file `devicePath` to the host; none when no whole
    // copy could be made (an error was shown; the device file is untouched
    // and must not be replaced).
    [[nodiscard]] static std::unique_ptr<ReplacedFileBackup> take(DeviceFiles& device, const std::string& devicePath);

    // Removes the host copy unless restore() failed.
    ~ReplacedFileBackup();
    ReplacedFileBackup(const ReplacedFileBackup&) = delete;
    ReplacedFileBackup& operator=(const ReplacedFileBackup&) = delete;

    // The replacement did not arrive whole: removes what there is of it and
    // writes the old contents back under the old name. False when that
    // failed; the host copy is kept then and its path was shown.
    bool restore();

    const std::string& hostPath() const { return hostPath_; }

private:
    ReplacedFileBackup(DeviceFiles& device, std::string devicePath, std::string hostPath);
    bool writeBack();

    DeviceFiles& device_;
    std::string devicePath_;
    std::string hostPath_;
    bool keep_ = false;
};

}  // namespace kestrel::shellext
