#include "usblink/firmware_download.h"

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/cursor.h"
#include "platform/driver_interface.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "usblink/open_device.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace kestrel::usblink {

namespace {

void showError(const char* text) {
    platform::showMessageBox({text, "Error", platform::MessageIcon::Stop,
                              platform::MessageButtons::Ok});
}

bool isFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads at most MAX_IMAGE_LENGTH bytes; false when the file cannot be opened.
bool readImage(const char* path, std::vector<uint8_t>& image) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return false;
    image.resize(MAX_IMAGE_LENGTH);
    image.resize(std::fread(image.data(), 1, image.size(), file.get()));
    return true;
}

void setCpuReset(platform::DeviceHandle& device, uint8_t hold) {
    uint8_t request[driver::VENDOR_REQUEST_LENGTH] = {};
    request[driver::VR_REQUEST] = driver::EZUSB_FIRMWARE_LOAD;
    storeLe16(request + driver::VR_VALUE, driver::EZUSB_CPUCS);
    storeLe16(request + driver::VR_INDEX, 0);
    storeLe16(request + driver::VR_LENGTH, 1);
    request[driver::VR_DIRECTION] = 0;
    request[driver::VR_DATA] = hold;
    (void)device.control(driver::CTL_VENDOR_REQUEST, request, sizeof request, nullptr, 0);
}

void download(platform::DeviceHandle& device, std::vector<uint8_t>& image) {
    uint8_t offset[2];
    storeLe16(offset, 0);
    (void)device.control(driver::CTL_DOWNLOAD, offset, sizeof offset, image.data(),
                         static_cast<uint32_t>(image.size()));
}

bool waitForDevice(const char* deviceName) {
    const uint64_t t0 = platform::tickMs();
    do {
        platform::DeviceHandle probe;
        if (OpenDevice(probe, deviceName)) return true;
        platform::sleepMs(REAPPEAR_POLL_MS);
    } while (platform::tickMs() - t0 <= REAPPEAR_TIMEOUT_MS);
    return false;
}

}  // namespace

uint32_t usbcDownload51(const char* path, const char* deviceName) {
    platform::DeviceHandle device;
    if (!OpenDevice(device, deviceName)) {
        showError("Device not found\n");
        return 0;
    }
    std::vector<uint8_t> image;
    if (path && !readImage(path, image)) {
        showError("File not found\n");
        return 0;
    }
    platform::WaitCursor cursor;
    setCpuReset(device, 1);
    if (!image.empty()) download(device, image);
    setCpuReset(device, 0);
    device.close();
    platform::sleepMs(SETTLE_MS);
    if (waitForDevice(deviceName)) return 1;
    showError("x51 does not respond\n");
    return 0;
}

std::string firmwarePath(const std::string& folder, const char* file) {
    const std::string beside = folder + platform::PATH_SEPARATOR + file;
    if (isFile(beside)) return beside;
    const std::string installed =
        folder + platform::PATH_SEPARATOR + INSTALLED_FIRMWARE_FOLDER + platform::PATH_SEPARATOR + file;
    return isFile(installed) ? installed : beside;
}

}  // namespace kestrel::usblink
