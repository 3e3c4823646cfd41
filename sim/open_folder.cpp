#include "sim/device_folder.h"
#include "sim/device_model.h"

namespace kestrel::sim {

std::shared_ptr<SimDevice> SimDevice::openFolder(const std::string& folder, std::string* error) {
    auto config = readDeviceConfig(folder, error);
    if (!config) return nullptr;
    const auto geometry = config->geometry();
    auto nand = BackingFile::open(folderFile(folder, NAND_FILE), geometry->imageBytes(), error);
    if (!nand) return nullptr;
    auto eeprom = BackingFile::open(folderFile(folder, EEPROM_FILE), BootEeprom::SIZE, error);
    if (!eeprom) return nullptr;
    return std::make_shared<DeviceModel>(std::move(*config), std::make_unique<NandCard>(*geometry, std::move(nand)),
                                         std::make_unique<BootEeprom>(std::move(eeprom)),
                                         RequestTrace::fromEnvironment());
}

}  // namespace kestrel::sim
