#include "fwupdate/core/update_files.h"

namespace kestrel::fwupdate {

UpdateFiles findUpdateFiles(const HostFileOpener& open) {
    UpdateFiles files;
    files.eeprom = open(EEPROM_IMAGE) != nullptr;
    files.main = true;
    for (const auto& image : MAIN_IMAGES) files.main = files.main && open(image.hostFile) != nullptr;
    return files;
}

}  // namespace kestrel::fwupdate
