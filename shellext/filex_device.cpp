// The filex client as the extension's device.
#include "filex/hflx.h"
#include "shellext/device_files.h"
#include "shellext/server_module.h"

namespace kestrel::shellext {

namespace {

class FilexDevice final : public DeviceFiles {
public:
    int32_t open(const char* path, int32_t flags) override { return kept(hflx::_open(path, flags)); }
    int32_t fstat(int32_t fd, filex::FilexStat* record) override { return kept(hflx::_fstat(fd, record)); }
    int32_t read(int32_t fd, void* buffer, uint32_t length) override {
        return kept(hflx::_read(fd, buffer, length));
    }
    int32_t lseek(int32_t fd, int32_t offset, int32_t origin) override {
        return kept(hflx::_lseek(fd, offset, origin));
    }
    int32_t write(int32_t fd, const void* buffer, uint32_t length) override {
        return kept(hflx::_write(fd, buffer, length));
    }
    int32_t close(int32_t fd) override { return kept(hflx::_close(fd)); }
    int32_t unlink(const char* path) override { return kept(hflx::_unlink(path)); }
    int32_t mkdir(const char* path, int32_t mode) override { return kept(hflx::_mkdir(path, mode)); }
    int32_t rmdir(const char* path) override { return kept(hflx::_rmdir(path)); }
    int32_t opendir(const char* path) override { return kept(hflx::_opendir(path)); }
    int32_t readdir(int32_t dir, filex::FilexDirEntry* record) override {
        return kept(hflx::_readdir(dir, record));
    }
    int32_t closedir(int32_t dir) override { return kept(hflx::_closedir(dir)); }

private:
    static int32_t kept(int32_t result) {
        ServerModule::instance().hold().follow(hflx::client().link().running());
        return result;
    }
};

}  // namespace

DeviceFiles& filexDevice() {
    static FilexDevice device;
    return device;
}

void stopFilexLink() { hflx::StopLink(); }

}  // namespace kestrel::shellext
