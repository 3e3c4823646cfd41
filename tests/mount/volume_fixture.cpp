#include "tests/mount/volume_fixture.h"

#include "mount/filex_backend.h"
#include "mount/oryx_backend.h"

#include <algorithm>

namespace kestrel::mount::test {

void VolumeTest::SetUp() {
    CliTest::SetUp();
    if (HasFatalFailure()) return;
    remount();
}

void VolumeTest::TearDown() {
    unmount();
    CliTest::TearDown();
}

void VolumeTest::unmount() { volume_.reset(); }

void VolumeTest::remount(bool capitals) {
    volume_.reset();
    std::string error;
    std::unique_ptr<Backend> backend;
    if (library()) {
        auto library = OryxBackend::start(error);
        if (library) library->storeShortNamesInCapitals(capitals);
        backend = std::move(library);
    } else {
        backend = FilexBackend::start(error);
    }
    ASSERT_TRUE(backend) << error;
    volume_ = std::make_unique<MountedVolume>(std::move(backend));
}

void VolumeTest::putFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t piece) {
    uint64_t handle = 0;
    ASSERT_EQ(volume().create(path, handle), 0) << path;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const uint32_t length = static_cast<uint32_t>(std::min<size_t>(piece, bytes.size() - at));
        ASSERT_EQ(volume().write(handle, at, bytes.data() + at, length), static_cast<int32_t>(length)) << path;
    }
    EXPECT_EQ(volume().flush(handle), 0) << path;
    EXPECT_EQ(volume().release(handle), 0) << path;
}

std::vector<uint8_t> VolumeTest::getFile(const std::string& path) {
    uint64_t handle = 0;
    const int32_t opened = volume().open(path, false, false, handle);
    EXPECT_EQ(opened, 0) << path;
    if (opened != 0) return {};
    std::vector<uint8_t> bytes;
    uint8_t buffer[20000];
    for (uint64_t at = 0;;) {
        const int32_t got = volume().read(handle, at, buffer, sizeof buffer);
        EXPECT_GE(got, 0) << path;
        if (got <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
        at += static_cast<uint32_t>(got);
    }
    EXPECT_EQ(volume().release(handle), 0) << path;
    return bytes;
}

std::vector<std::string> VolumeTest::names(const std::string& path) {
    std::vector<ListedEntry> entries;
    EXPECT_EQ(volume().readdir(path, entries), 0) << path;
    std::vector<std::string> out;
    for (const auto& entry : entries) out.push_back(entry.name);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 7;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

std::string accessName(const ::testing::TestParamInfo<Access>& info) {
    return info.param == Access::Library ? "Library" : "FileServer";
}

}  // namespace kestrel::mount::test
