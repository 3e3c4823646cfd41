#include "tests/filex/filex_fixture.h"

#include "sim/device_config.h"

#include <algorithm>
#include <random>

namespace kestrel::filex::test {

FilexNames uniqueNames() {
    std::random_device random;
    const std::string suffix = "-test-" + std::to_string(random()) + std::to_string(random());
    FilexNames names;
    names.fileMutex += suffix;
    names.execMutex += suffix;
    return names;
}

Bench::Bench(Transport transport) {
    auto config = *sim::defaultDeviceConfig(2, sim::MAKER_98);
    config.fileServer = sim::FileServerStore::Memory;  // the protocol alone, on an empty tree
    if (!sim::test::createFolder(folder_.path(), config)) return;
    device_ = sim::test::openTestDevice(transport, folder_.path());
    if (!device_) return;
    probe_ = std::make_shared<ProbeProvider>(device_->provider());
    platform::installDeviceProvider(probe_);
}

Bench::~Bench() { platform::installDeviceProvider(nullptr); }

bool putFile(FilexClient& client, const std::string& path, const std::vector<uint8_t>& data, int32_t flags) {
    const int32_t fd = client.open(path.c_str(), flags);
    if (fd == -1 || fd == 0) return false;
    bool ok = true;
    for (size_t at = 0; ok && at < data.size(); at += WRITE_BLOCK) {
        const auto length = static_cast<uint32_t>(std::min<size_t>(WRITE_BLOCK, data.size() - at));
        ok = client.write(fd, data.data() + at, length) == static_cast<int32_t>(length);
    }
    return client.close(fd) == 0 && ok;
}

std::optional<std::vector<uint8_t>> getFile(FilexClient& client, const std::string& path) {
    const int32_t fd = client.open(path.c_str(), OPEN_READ);
    if (fd == -1 || fd == 0) return std::nullopt;
    std::vector<uint8_t> data;
    std::vector<uint8_t> block(READ_BLOCK);
    for (;;) {
        const int32_t n = client.read(fd, block.data(), READ_BLOCK);
        if (n < 0) {
            client.close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.insert(data.end(), block.begin(), block.begin() + n);
    }
    if (client.close(fd) != 0) return std::nullopt;
    return data;
}

std::optional<std::vector<Listed>> listFolder(FilexClient& client, const std::string& path) {
    const int32_t dir = client.opendir(path.c_str());
    if (dir == 0) return std::nullopt;
    std::vector<Listed> entries;
    FilexDirEntry entry;
    while (client.readdir(dir, &entry) != 0)
        entries.push_back({entry.name(), entry.attributes(), entry.fileSize(), entry.dosTime(), entry.dosDate()});
    if (client.closedir(dir) != 0) return std::nullopt;
    return entries;
}

std::vector<std::string> namesOf(const std::vector<Listed>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
}

void FilexTest::SetUp() {
    bench_ = std::make_unique<Bench>(Transport::InProcess);
    ASSERT_TRUE(bench_->ready());
    names_ = uniqueNames();
    client_ = std::make_unique<FilexClient>(names_, true);
    client_->trace().setListener([this](const std::string& line) {
        std::lock_guard lock(traceMutex_);
        trace_.push_back(line);
    });
    hang_ = std::make_unique<sim::test::Watchdog>([this] { bench_->device().command("unplug"); });
}

void FilexTest::TearDown() {
    hang_.reset();
    client_.reset();
    bench_.reset();
}

std::vector<std::string> FilexTest::traceLines() {
    std::lock_guard lock(traceMutex_);
    return trace_;
}

void FilexTest::clearTrace() {
    std::lock_guard lock(traceMutex_);
    trace_.clear();
}

}  // namespace kestrel::filex::test
