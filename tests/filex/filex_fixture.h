// The bench of the filex tests: a fresh simulated device (2 MB card) in a
// temporary folder, reached in process or over KSIM, with a ProbeProvider
// in front of it installed as the device backend; a FilexClient with mutex
// names of its own and its trace lines recorded; helpers that copy whole
// files and list folders through the client.
#pragma once

#include "filex/filex_client.h"
#include "tests/filex/probe_provider.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::filex::test {

using sim::test::Transport;

inline constexpr int32_t OPEN_READ = 0;
inline constexpr int32_t OPEN_STREAM = 0x10000;
inline constexpr int32_t OPEN_CREATE_WRITE = 0x201;
inline constexpr int32_t OPEN_REPLACE = 0x601;  // write, create, truncate
inline constexpr int32_t OPEN_UPDATE = 0x602;   // read and write, create, truncate
inline constexpr uint32_t WRITE_BLOCK = 61440;
inline constexpr uint32_t READ_BLOCK = 16384;

// Mutex names no other test program uses.
FilexNames uniqueNames();

class Bench {
public:
    explicit Bench(Transport transport);
    ~Bench();
    bool ready() const { return device_ != nullptr; }
    sim::test::TestDevice& device() { return *device_; }
    ProbeProvider& probe() { return *probe_; }

private:
    sim::test::TempFolder folder_;
    std::unique_ptr<sim::test::TestDevice> device_;
    std::shared_ptr<ProbeProvider> probe_;
};

struct Listed {
    std::string name;
    uint8_t attributes = 0;
    uint32_t size = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
};

// Writes `data` to `path` (opened with `flags`) in blocks of 61,440 bytes.
bool putFile(FilexClient& client, const std::string& path, const std::vector<uint8_t>& data,
             int32_t flags = OPEN_REPLACE);
// The whole file read in blocks of 16,384 bytes; nullopt on any failure.
std::optional<std::vector<uint8_t>> getFile(FilexClient& client, const std::string& path);
// The entries of a folder in listing order; nullopt when it cannot be opened.
std::optional<std::vector<Listed>> listFolder(FilexClient& client, const std::string& path);
std::vector<std::string> namesOf(const std::vector<Listed>& entries);

// A client of its own on a fresh in-process device for every test.
class FilexTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    FilexClient& client() { return *client_; }
    ProbeProvider& probe() { return bench_->probe(); }
    sim::test::TestDevice& device() { return bench_->device(); }
    std::vector<std::string> traceLines();
    void clearTrace();

private:
    std::unique_ptr<Bench> bench_;
    FilexNames names_;
    std::unique_ptr<FilexClient> client_;
    std::unique_ptr<sim::test::Watchdog> hang_;
    std::mutex traceMutex_;
    std::vector<std::string> trace_;
};

}  // namespace kestrel::filex::test
