// The volume name table: one volume, addressed in paths by the text before
// the first ':'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::fatfs {

class VolumeNames {
public:
    static constexpr size_t MAX_NAME = 10;
    static constexpr uint32_t VOLUMES = 1;

    // "dev0" for volume 0.
    void reset() { name_ = "dev0"; }
    // 11 for a name longer than 10 characters, else 0.
    uint32_t setName(uint32_t volume, std::string_view name);
    // "dev" and the volume number's digit ("dev" from 10 on).
    uint32_t resetName(uint32_t volume);
    // The volume a path names; nullopt for a path without ':' or a name not
    // in the table (every name setName accepts can be matched).
    std::optional<uint32_t> volumeOf(std::string_view path) const;
    const std::string& name() const { return name_; }

private:
    std::string name_;  // empty until reset(): no path matches
};

}  // namespace kestrel::fatfs
