// A MountedVolume over either backend, against a fresh simulated device
// (a kestrel-simd child, as the kestrel end-to-end tests use), without
// FUSE: the adapter's operations called as FUSE would call them.
#pragma once

#include "mount/mounted_volume.h"
#include "tests/tools/cli_fixture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::mount::test {

enum class Access { Library, FileServer };

class VolumeTest : public cli::test::CliTest, public ::testing::WithParamInterface<Access> {
protected:
    static constexpr uint32_t CARD_MB = 2;

    sim::DeviceConfig deviceConfig() override { return *sim::defaultDeviceConfig(CARD_MB, 0xEC); }
    void SetUp() override;
    void TearDown() override;

    bool library() const { return GetParam() == Access::Library; }
    MountedVolume& volume() { return *volume_; }
    // Ends the volume and its device session, and starts new ones: what
    // is read afterwards came from the card.
    // `capitals`: the library backend stores 8.3 names with small letters
    // in capitals instead of refusing them.
    void remount(bool capitals = false);
    void unmount();

    // Creates `path` with `bytes`, written in pieces of `piece` bytes.
    void putFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t piece = 4096);
    // The whole file; a failure recorded when it cannot be read.
    std::vector<uint8_t> getFile(const std::string& path);
    // The names of a directory, sorted.
    std::vector<std::string> names(const std::string& path);

private:
    std::unique_ptr<MountedVolume> volume_;
};

std::vector<uint8_t> pattern(size_t size, uint32_t seed);
std::string accessName(const ::testing::TestParamInfo<Access>& info);

}  // namespace kestrel::mount::test
