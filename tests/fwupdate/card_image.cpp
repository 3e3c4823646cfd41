#include "tests/fwupdate/card_image.h"

#include "media/media.h"
#include "platform/byte_order.h"
#include "sim/sim_device.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace kestrel::fwupdate::test {

namespace {

constexpr uint32_t SECTOR = 512;
constexpr uint32_t PARTITION_START = 454;  // first partition entry: start sector

}  // namespace

::testing::AssertionResult exportPartition(const std::string& deviceFolder, const std::string& image) {
    std::string error;
    const auto device = sim::SimDevice::openFolder(deviceFolder, &error);
    if (!device) return ::testing::AssertionFailure() << "cannot open " << deviceFolder << ": " << error;
    const auto commands = device->directCardCommands();
    media::Media card(*commands);
    const media::CardGeometry* geometry = nullptr;
    if (card.maps().smGetGeometry(0, &geometry) != 0 || geometry == nullptr)
        return ::testing::AssertionFailure() << "card not recognised";
    std::vector<uint8_t> sector(SECTOR);
    if (card.maps().smReadLogSector(0, 0, 0, sector.data(), SECTOR) != 0)
        return ::testing::AssertionFailure() << "master boot record unreadable";
    const uint32_t start = loadLe32(&sector[PARTITION_START]);
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    for (uint32_t s = start; s < geometry->totalSectors; ++s) {
        // Sectors of blocks never written read as zeros, as a FAT tool expects.
        if (card.maps().smReadLogSector(0, s, 0, sector.data(), SECTOR) != 0) std::fill(sector.begin(), sector.end(), 0);
        out.write(reinterpret_cast<const char*>(sector.data()), SECTOR);
    }
    if (!out) return ::testing::AssertionFailure() << "cannot write " << image;
    return ::testing::AssertionSuccess();
}

#ifndef _WIN32
::testing::AssertionResult fsckClean(const std::string& image) {
    std::string output;
    FILE* pipe = popen(("fsck.fat -n '" + image + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) return ::testing::AssertionFailure() << "cannot run fsck.fat";
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    if (pclose(pipe) == 0) return ::testing::AssertionSuccess();
    // Exit code 1 (changes it would make): only the blank label may be why.
    const std::string summary = image + ": ";
    const std::string benign[] = {"fsck.fat ", "Label '' stored in boot sector is not valid.",
                                  "  Auto-removing label from boot sector.", "Leaving filesystem unchanged.", summary};
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
    return ::testing::AssertionSuccess();
}
#endif

}  // namespace kestrel::fwupdate::test
