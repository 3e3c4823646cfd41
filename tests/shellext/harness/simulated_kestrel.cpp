#include "tests/shellext/harness/simulated_kestrel.h"

#include "fatfs/fs_results.h"
#include "filex/hflx.h"
#include "media/media.h"
#include "platform/environment.h"
#include "sim/device_config.h"
#include "sim/sim_device.h"

#include <algorithm>

namespace kestrel::shellext::test {

namespace {

constexpr int32_t OPEN_READ = 0;
constexpr int32_t OPEN_WRITE_CREATE_TRUNCATE = 0x601;
constexpr uint32_t WRITE_BLOCK = 61440;

}  // namespace

SimulatedKestrel::SimulatedKestrel(Preparation prepare, uint32_t cardMegabytes) {
    const auto config = sim::defaultDeviceConfig(cardMegabytes, sim::MAKER_98);
    if (!config || !sim::test::createFolder(folder_.path(), *config)) {
        error_ = "no device folder";
        return;
    }
    if (!prepareCard(prepare)) return;
    daemon_ = std::make_unique<sim::test::SimDaemon>(folder_.path());
    if (daemon_->endpoint().empty()) {
        error_ = "kestrel-simd: " + daemon_->error();
        return;
    }
    previousSim_ = platform::getEnv("KESTREL_SIM");
    platform::setEnv("KESTREL_SIM", daemon_->endpoint());
    pointedAt_ = true;
}

SimulatedKestrel::~SimulatedKestrel() {
    hflx::StopLink();
    daemon_.reset();
    if (!pointedAt_) return;
    if (previousSim_)
        platform::setEnv("KESTREL_SIM", *previousSim_);
    else
        platform::unsetEnv("KESTREL_SIM");
}

bool SimulatedKestrel::prepareCard(const Preparation& prepare) {
    std::string error;
    auto device = sim::SimDevice::openFolder(folder_.path(), &error);
    if (!device) {
        error_ = "device folder: " + error;
        return false;
    }
    auto commands = device->directCardCommands();
    media::Media media(*commands);
    fatfs::FileSystem files(media, nullptr);
    uint32_t badBlocks = 0;
    if (files.init() != fatfs::FS_OK || files.formatVol("dev0:", "KESTREL", 0, &badBlocks, {}) != fatfs::FS_OK) {
        error_ = "the card could not be formatted";
        return false;
    }
    if (prepare && !prepare(files)) {
        error_ = "the card could not be prepared";
        return false;
    }
    return true;  // the device goes, and with it every write reaches the folder
}

bool SimulatedKestrel::makeFolder(const std::string& path) { return hflx::_mkdir(path.c_str(), 0) == 0; }

bool SimulatedKestrel::putFile(const std::string& path, const std::vector<uint8_t>& data) {
    const int32_t fd = hflx::_open(path.c_str(), OPEN_WRITE_CREATE_TRUNCATE);
    if (fd == 0 || fd == -1) return false;
    bool ok = true;
    for (size_t at = 0; ok && at < data.size(); at += WRITE_BLOCK) {
        const auto length = static_cast<uint32_t>(std::min<size_t>(WRITE_BLOCK, data.size() - at));
        ok = hflx::_write(fd, data.data() + at, length) == static_cast<int32_t>(length);
    }
    return hflx::_close(fd) == 0 && ok;
}

bool SimulatedKestrel::putFile(const std::string& path, const std::string& text) {
    return putFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool SimulatedKestrel::put(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        // every folder on the way (an existing one is fine)
        for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
            (void)hflx::_mkdir(path.substr(0, slash).c_str(), 0);
        if (!path.empty() && path.back() != '/' && !putFile(path, "content of " + path)) {
            error_ = "could not put " + path;
            return false;
        }
    }
    return true;
}

std::optional<std::string> SimulatedKestrel::readText(const std::string& path) {
    const int32_t fd = hflx::_open(path.c_str(), OPEN_READ);
    if (fd == 0 || fd == -1) return std::nullopt;
    std::string text;
    std::vector<char> chunk(WRITE_BLOCK);
    int32_t got = 0;
    while ((got = hflx::_read(fd, chunk.data(), WRITE_BLOCK)) > 0) {
        text.append(chunk.data(), std::min<size_t>(static_cast<size_t>(got), chunk.size()));
        if (static_cast<uint32_t>(got) < WRITE_BLOCK) break;
    }
    const bool closed = hflx::_close(fd) == 0;
    if (got < 0 || !closed) return std::nullopt;
    return text;
}

std::optional<std::vector<std::string>> SimulatedKestrel::list(const std::string& path) {
    const int32_t dir = hflx::_opendir(path.c_str());
    if (dir == 0) return std::nullopt;
    std::vector<std::string> names;
    filex::FilexDirEntry entry;
    while (hflx::_readdir(dir, &entry) != 0) names.push_back(entry.name());
    hflx::_closedir(dir);
    return names;
}

}  // namespace kestrel::shellext::test
