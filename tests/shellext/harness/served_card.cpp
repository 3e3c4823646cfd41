#include "tests/shellext/harness/served_card.h"

#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "filex/hflx.h"
#include "media/media.h"
#include "platform/environment.h"
#include "sim/device_config.h"
#include "sim/sim_device.h"

namespace kestrel::shellext::test {

ServedCard::ServedCard() {
    const auto config = sim::defaultDeviceConfig(4, sim::MAKER_98);
    if (!config || !sim::test::createFolder(folder_.path(), *config)) return;
    {
        std::string error;
        auto device = sim::SimDevice::openFolder(folder_.path(), &error);
        if (!device) return;
        auto commands = device->directCardCommands();
        media::Media media(*commands);
        fatfs::FileSystem files(media, nullptr);
        uint32_t bad = 0;
        if (files.init() != fatfs::FS_OK || files.formatVol("dev0:", "KESTREL", 0, &bad, {}) != fatfs::FS_OK) return;
    }
    daemon_ = std::make_unique<sim::test::SimDaemon>(folder_.path());
    if (daemon_->endpoint().empty()) return;
    previous_ = platform::getEnv("KESTREL_SIM");
    platform::setEnv("KESTREL_SIM", daemon_->endpoint());
    ready_ = true;
}

void ServedCard::stop() {
    hflx::StopLink();  // the test program's own filex link, if it ran
    daemon_.reset();
    if (!ready_) return;
    ready_ = false;
    if (previous_)
        platform::setEnv("KESTREL_SIM", *previous_);
    else
        platform::unsetEnv("KESTREL_SIM");
}

}  // namespace kestrel::shellext::test
