#include "fatfs/volume_names.h"

#include "fatfs/fs_results.h"

namespace kestrel::fatfs {

uint32_t VolumeNames::setName(uint32_t volume, std::string_view name) {
    if (volume >= VOLUMES || name.size() > MAX_NAME) return FS_INVALID;
    name_ = std::string(name);
    return FS_OK;
}

uint32_t VolumeNames::resetName(uint32_t volume) {
    if (volume >= VOLUMES) return FS_OK;
    name_ = volume < 10 ? "dev" + std::to_string(volume) : "dev";
    return FS_OK;
}

std::optional<uint32_t> VolumeNames::volumeOf(std::string_view path) const {
    const size_t colon = path.find(':');
    if (path.empty() || colon == std::string_view::npos) return std::nullopt;
    const std::string_view name = path.substr(0, colon);
    if (name.size() > MAX_NAME) return std::nullopt;
    if (!name_.empty() && name == name_) return 0;
    return std::nullopt;
}

}  // namespace kestrel::fatfs
