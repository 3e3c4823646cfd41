// A simulated Kestrel for the Explorer-side tests: a fresh device whose card
// is formatted through ORYX's file system (as the update tool leaves it),
// then served by a kestrel-simd child process, with KESTREL_SIM pointing
// this process (and so the extension inside it) at it. The device runs its
// main firmware, the filex file server over the card's FAT file system. A
// test puts more on the card through ORYX before the device is served (the
// `prepare` step), or through the filex client of the test program itself
// while it runs.
#pragma once

#include "fatfs/file_system.h"
#include "tests/sim/sim_test_support.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class SimulatedKestrel {
public:
    // `prepare` runs on the freshly formatted card's file system (ORYX
    // paths such as "dev0:\\MUSIC\\A.MP3"); false fails the set-up.
    using Preparation = std::function<bool(fatfs::FileSystem&)>;
    explicit SimulatedKestrel(Preparation prepare = {}, uint32_t cardMegabytes = 4);
    // Stops this program's filex link, then the daemon; restores KESTREL_SIM.
    ~SimulatedKestrel();
    SimulatedKestrel(const SimulatedKestrel&) = delete;
    SimulatedKestrel& operator=(const SimulatedKestrel&) = delete;

    bool ready() const { return pointedAt_; }
    const std::string& error() const { return error_; }
    const std::string& endpoint() const { return daemon_->endpoint(); }

    // Device contents, through the test program's own filex client.
    bool makeFolder(const std::string& path);
    bool putFile(const std::string& path, const std::vector<uint8_t>& data);
    bool putFile(const std::string& path, const std::string& text);
    // Makes every folder on the way and the file; paths like "/Music/a.mp3"
    // (a trailing "/" makes a folder). On failure error() names the path.
    bool put(const std::vector<std::string>& paths);
    // A file's contents as text; none when it cannot be opened or read.
    std::optional<std::string> readText(const std::string& path);
    // The entry names of a folder in listing order; none when it cannot be
    // listed.
    std::optional<std::vector<std::string>> list(const std::string& path);

private:
    bool prepareCard(const Preparation& prepare);

    sim::test::TempFolder folder_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
    std::optional<std::string> previousSim_;
    bool pointedAt_ = false;  // KESTREL_SIM names this device
    std::string error_;
};

}  // namespace kestrel::shellext::test
