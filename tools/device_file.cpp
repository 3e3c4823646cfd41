#include "tools/device_file.h"

#include "tools/failure.h"
#include "tools/oryx_result.h"

namespace kestrel::cli {

namespace {

constexpr uint32_t MODE_READ = 1;  // without the value 2, which permits writing

}  // namespace

DeviceFile DeviceFile::create(const std::string& oryxPath, bool replace, const std::string& shownAs) {
    oryx_handle handle = 0;
    checkOryx(mt_smCreateFile(oryxPath.c_str(), replace ? 1 : 0, &handle), "cannot create " + shownAs);
    return DeviceFile(handle, shownAs);
}

DeviceFile DeviceFile::openForReading(const std::string& oryxPath, const std::string& shownAs) {
    oryx_handle handle = 0;
    checkOryx(mt_smOpenFile(oryxPath.c_str(), MODE_READ, &handle), "cannot open " + shownAs);
    return DeviceFile(handle, shownAs);
}

DeviceFile::~DeviceFile() {
    if (open_) (void)mt_smCloseFile(handle_);
}

void DeviceFile::extend(uint32_t bytes) {
    checkOryx(mt_smFileExtend(handle_, bytes), "cannot make room for " + std::to_string(bytes) + " bytes in " + shownAs_);
}

void DeviceFile::write(const void* data, uint32_t length) {
    checkOryx(mt_smWriteFile(handle_, data, length), "cannot write " + shownAs_);
}

void DeviceFile::read(void* data, uint32_t length) {
    uint32_t delivered = 0;
    const uint32_t result = mt_smReadFile(handle_, data, length, &delivered);
    if (result == ORYX_END || (result == 0 && delivered != length)) {
        fail(shownAs_ + " ended before its recorded size");
    }
    checkOryx(result, "cannot read " + shownAs_);
}

void DeviceFile::setTime(const oryx_stat& stat) {
    checkOryx(mt_smSetFileTime(handle_, &stat), "cannot give " + shownAs_ + " its time");
}

void DeviceFile::close() {
    open_ = false;
    checkOryx(mt_smCloseFile(handle_), "cannot close " + shownAs_);
}

}  // namespace kestrel::cli
