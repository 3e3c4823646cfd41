#include "sim/device_folder.h"
#include "sim/device_model.h"

#include "platform/lock_file.h"

namespace kestrel::sim {

std::shared_ptr<SimDevice> SimDevice::openFolder(const std::string& folder, std::string* error) {
    auto config = readDeviceConfig(folder, error);
    if (!config) return nullptr;
    // One process at a time works on a folder: two would each keep their
    // own card image and overwrite each other's writes.
    platform::LockAttempt lock = platform::LockFile::acquire(folderFile(folder, LOCK_FILE), 0);
    if (lock.result != platform::LockResult::Acquired) {
        if (error) {
            *error = lock.result == platform::LockResult::Busy
                         ? "the device folder " + folder + " is in use by another program"
                         : "cannot lock the device folder: " + lock.error;
        }
        return nullptr;
    }
    const auto geometry = config->geometry();
    auto nand = BackingFile::open(folderFile(folder, NAND_FILE), geometry->imageBytes(), error);
    if (!nand) return nullptr;
    auto eeprom = BackingFile::open(folderFile(folder, EEPROM_FILE), BootEeprom::SIZE, error);
    if (!eeprom) return nullptr;
    auto model = std::make_shared<DeviceModel>(std::move(*config), std::make_unique<NandCard>(*geometry, std::move(nand)),
                                               std::make_unique<BootEeprom>(std::move(eeprom)),
                                               RequestTrace::fromEnvironment());
    model->keepFolderLocked(std::move(lock.lock));
    return model;
}

}  // namespace kestrel::sim
