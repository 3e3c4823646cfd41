#include "tests/shellext/harness/card_readback.h"

#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "media/media.h"
#include "platform/byte_order.h"
#include "shellext/shell_api.h"
#include "sim/sim_device.h"

#include <fstream>
#include <memory>

namespace kestrel::shellext::test {

namespace {

constexpr uint32_t SECTOR = 512;
constexpr uint32_t PARTITION_START = 454;  // first partition entry: start sector

// The host's path of a Windows path (wine's own function); empty outside wine.
std::string unixPath(const std::string& windowsPath) {
    using Convert = char*(CDECL*)(LPCWSTR);
    const auto convert =
        reinterpret_cast<Convert>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                         "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
    char* path = convert(wide);
    if (path == nullptr) return {};
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

struct CardReadback::Parts {
    std::shared_ptr<sim::SimDevice> device;
    std::unique_ptr<usblink::CardCommands> commands;
    std::unique_ptr<media::Media> media;
    std::unique_ptr<fatfs::FileSystem> files;
};

CardReadback::CardReadback(const std::string& deviceFolder) : parts_(new Parts), folder_(deviceFolder) {
    std::string error;
    parts_->device = sim::SimDevice::openFolder(deviceFolder, &error);
    if (!parts_->device) {
        error_ = "device folder: " + error;
        return;
    }
    parts_->commands = parts_->device->directCardCommands();
    parts_->media = std::make_unique<media::Media>(*parts_->commands);
    parts_->files = std::make_unique<fatfs::FileSystem>(*parts_->media, nullptr);
    ready_ = parts_->files->init() == fatfs::FS_OK;
    if (!ready_) error_ = "the file system does not start";
}

CardReadback::~CardReadback() { delete parts_; }

std::optional<std::vector<uint8_t>> CardReadback::file(const std::string& oryxPath) {
    uint32_t size = 0;
    uint32_t handle = 0;
    if (parts_->files->getSizeFile(oryxPath, &size) != fatfs::FS_OK) return std::nullopt;
    if (parts_->files->openFile(oryxPath, 1, &handle) != fatfs::FS_OK) return std::nullopt;
    std::vector<uint8_t> data(size);
    uint32_t delivered = 0;
    const uint32_t read = size == 0 ? fatfs::FS_OK : parts_->files->readFile(handle, data.data(), size, &delivered);
    parts_->files->closeFile(handle);
    if (read != fatfs::FS_OK || delivered != size) return std::nullopt;
    return data;
}

std::optional<uint32_t> CardReadback::entries(const std::string& oryxPath) {
    uint32_t count = 0;
    if (parts_->files->getListNumDir(oryxPath, &count) != fatfs::FS_OK) return std::nullopt;
    return count;
}

::testing::AssertionResult CardReadback::fsckClean() {
    auto& maps = parts_->media->maps();
    const media::CardGeometry* geometry = nullptr;
    if (maps.smGetGeometry(0, &geometry) != 0 || geometry == nullptr)
        return ::testing::AssertionFailure() << "card not recognised";
    std::vector<uint8_t> sector(SECTOR);
    if (maps.smReadLogSector(0, 0, 0, sector.data(), SECTOR) != 0)
        return ::testing::AssertionFailure() << "master boot record unreadable";
    const uint32_t start = loadLe32(&sector[PARTITION_START]);
    const std::string image = folder_ + "\\partition.img";
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        for (uint32_t s = start; s < geometry->totalSectors; ++s) {
            // sectors of blocks never written read as zeros, as a FAT tool expects
            if (maps.smReadLogSector(0, s, 0, sector.data(), SECTOR) != 0) std::fill(sector.begin(), sector.end(), 0);
            out.write(reinterpret_cast<const char*>(sector.data()), SECTOR);
        }
        if (!out) return ::testing::AssertionFailure() << "cannot write " << image;
    }
    const std::string report = folder_ + "\\fsck.txt";
    const std::string hostImage = unixPath(image);
    const std::string hostReport = unixPath(report);
    if (hostImage.empty()) return ::testing::AssertionFailure() << "not under wine: no host path for " << image;
    // A Unix program started by wine hands back no exit code through its
    // process handle: the shell writes fsck's status after its report.
    DeleteFileA(report.c_str());
    std::string command = "/bin/sh -c \"/usr/sbin/fsck.fat -n '" + hostImage + "' > '" + hostReport +
                          ".part' 2>&1; echo \\\"exit=$?\\\" >> '" + hostReport + ".part'; mv '" + hostReport +
                          ".part' '" + hostReport + "'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ::testing::AssertionFailure() << "cannot start fsck.fat: error " << GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string output;
    for (int waited = 0; waited < 600 && output.find("exit=") == std::string::npos; ++waited) {
        Sleep(100);
        output = readText(report);
    }
    if (output.find("exit=0") != std::string::npos) return ::testing::AssertionSuccess() << output;
    if (output.find("exit=1") == std::string::npos || output.find(hostImage + ": ") == std::string::npos)
        return ::testing::AssertionFailure() << "fsck.fat did not finish its report:\n" << output;
    // Exit 1 (changes it would make): the card is formatted with a label in
    // its boot sector only, which fsck.fat remarks on. That remark alone is
    // accepted; any other finding fails.
    const std::string benign[] = {"fsck.fat ", "Label in boot sector is", "  Auto-removing label from boot sector.",
                                  "Leaving filesystem unchanged.", hostImage + ": ", "exit="};
    size_t begin = 0;
    while (begin < output.size()) {
        size_t end = output.find('\n', begin);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(begin, end - begin);
        begin = end + 1;
        bool known = line.empty();
        for (const auto& prefix : benign) known = known || line.rfind(prefix, 0) == 0;
        if (!known) return ::testing::AssertionFailure() << output;
    }
    return ::testing::AssertionSuccess() << output;
}

}  // namespace kestrel::shellext::test
