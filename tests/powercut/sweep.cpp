#include "tests/powercut/sweep.h"

#include "oryx/oryx.h"
#include "media/media.h"
#include "platform/byte_order.h"
#include "platform/device_provider.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "tests/powercut/fsck_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kestrel::powercut {

namespace fs = std::filesystem;

namespace {

constexpr const char* VOLUME = "dev0:";
constexpr uint32_t SECTOR = 512;
constexpr uint32_t PARTITION_START_OFFSET = 454;  // first partition entry's start sector

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

}  // namespace

PowerCutSweep::PowerCutSweep(SweepSettings settings) : settings_(std::move(settings)) {
    seedFolder_ = (fs::path(settings_.folder) / "seed").string();
    runFolder_ = (fs::path(settings_.folder) / "run").string();
}

PowerCutSweep::~PowerCutSweep() {
    platform::installDeviceProvider(nullptr);
    device_.reset();
    std::error_code ignored;
    fs::remove_all(settings_.folder, ignored);
}

bool PowerCutSweep::startDevice(std::string* error) {
    device_ = sim::SimDevice::openFolder(runFolder_, error);
    if (!device_) return false;
    platform::installDeviceProvider(sim::makeInProcessProvider(device_));
    const uint32_t init = mt_smInit();
    return init == 0 || fail(error, "mt_smInit: " + std::to_string(init));
}

bool PowerCutSweep::startFromSeed(std::string* error) {
    std::error_code failed;
    fs::create_directories(runFolder_, failed);
    for (const char* name : {sim::NAND_FILE, sim::EEPROM_FILE, sim::CONFIG_FILE}) {
        fs::copy_file(sim::folderFile(seedFolder_, name), sim::folderFile(runFolder_, name),
                      fs::copy_options::overwrite_existing, failed);
        if (failed) return fail(error, "cannot copy the seeded card: " + failed.message());
    }
    return startDevice(error);
}

bool PowerCutSweep::prepare(std::string* error) {
    const auto config = sim::defaultDeviceConfig(settings_.sizeMb, 0xEC);
    if (!config) return fail(error, "no such card");
    std::error_code ignored;
    fs::remove_all(settings_.folder, ignored);
    if (!sim::createDeviceFolder(runFolder_, *config, error)) return false;
    if (!startDevice(error)) return false;
    uint32_t bad = 0;
    if (const uint32_t format = mt_smFormatVol(VOLUME, "NO NAME", 0, &bad, nullptr))
        return fail(error, "format: " + std::to_string(format));
    for (const auto& step : seedSteps())
        if (const uint32_t result = step.run(seed_)) return fail(error, step.name + ": " + std::to_string(result));
    fs::rename(runFolder_, seedFolder_, ignored);
    if (ignored) return fail(error, "cannot keep the seeded card: " + ignored.message());

    // The uncut run: K and the operations of each step.
    if (!startFromSeed(error)) return false;
    CardContents contents = seed_;
    const uint64_t start = cardOperations();
    for (const auto& step : workloadSteps()) {
        StepSpan span{step.name, static_cast<uint32_t>(cardOperations() - start), 0};
        if (const uint32_t result = step.run(contents)) return fail(error, step.name + ": " + std::to_string(result));
        span.last = static_cast<uint32_t>(cardOperations() - start);
        spans_.push_back(span);
    }
    operations_ = static_cast<uint32_t>(cardOperations() - start);
    CutResult uncut;
    check(contents, {}, uncut);
    checkImage(uncut);
    if (!uncut.failures.empty()) return fail(error, "the uncut run fails its check: " + uncut.failures.front());
    return true;
}

uint64_t PowerCutSweep::cardOperations() const {
    const auto counters = device_->counters();
    return counters.pagePrograms + counters.blockErases;
}

bool PowerCutSweep::powerLost() { return device_->command("stats").find("power = lost") != std::string::npos; }

CutResult PowerCutSweep::cutAt(uint32_t n) {
    CutResult result;
    result.cut = n;
    std::string error;
    if (!startFromSeed(&error)) {
        result.failures.push_back("start: " + error);
        return result;
    }
    (void)device_->command("power-cut " + std::to_string(n) + " " + std::to_string(settings_.tearSeed));
    CardContents contents = seed_;
    std::vector<std::string> exempt;
    for (const auto& step : workloadSteps()) {
        const uint32_t outcome = step.run(contents);
        if (powerLost()) {
            result.powerLost = true;
            result.step = step.name;
            exempt = step.touches;
            break;
        }
        if (outcome != 0) {
            result.failures.push_back(step.name + " failed before the cut: " + std::to_string(outcome));
            return result;
        }
    }
    if (!startDevice(&error)) {
        result.failures.push_back("restart: " + error);
        return result;
    }
    // The library mounts first, as a user's next session would: its mount
    // repairs what a cut may leave (entries doubled by a move), and the
    // card is judged after that.
    check(contents, exempt, result);
    checkImage(result);
    return result;
}

void PowerCutSweep::check(const CardContents& expected, const std::vector<std::string>& exempt, CutResult& result) {
    auto exempted = [&](const std::string& p) { return std::find(exempt.begin(), exempt.end(), p) != exempt.end(); };
    oryx_volume_info info{};
    if (const uint32_t mount = mt_smGetVolInfo(VOLUME, &info)) {
        result.failures.push_back("the volume does not mount: " + std::to_string(mount));
        return;
    }
    for (const auto& dir : expected.dirs) {
        uint32_t count = 0;
        if (!exempted(dir) && mt_smGetListNumDir(dir.c_str(), &count) != 0)
            result.failures.push_back(dir + ": directory not listed");
    }
    for (const auto& [p, data] : expected.files) {
        if (exempted(p)) continue;
        Bytes read;
        const uint32_t status = readWholeFile(p, &read);
        ++result.filesChecked;
        if (status != 0) {
            result.failures.push_back(p + ": read fails with " + std::to_string(status));
        } else if (read != data) {
            size_t at = 0;
            while (at < std::min(read.size(), data.size()) && read[at] == data[at]) ++at;
            result.failures.push_back(p + ": " + std::to_string(read.size()) + " bytes read, " +
                                      std::to_string(data.size()) + " expected, first difference at " +
                                      std::to_string(at));
        }
    }
}

void PowerCutSweep::checkImage(CutResult& result) {
    auto commands = device_->directCardCommands();
    media::Media card(*commands);
    const media::CardGeometry* geometry = nullptr;
    if (card.maps().smGetGeometry(0, &geometry) != 0 || geometry == nullptr) {
        result.failures.push_back("the card's block map cannot be built");
        return;
    }
    std::vector<uint8_t> sector(SECTOR);
    if (card.maps().smReadLogSector(0, 0, 0, sector.data(), SECTOR) != 0) {
        result.failures.push_back("the partition table cannot be read");
        return;
    }
    const uint32_t first = loadLe32(sector.data() + PARTITION_START_OFFSET);
    if (first == 0 || first >= geometry->totalSectors) {
        result.failures.push_back("no partition in the partition table");
        return;
    }
    const std::string image = (fs::path(settings_.folder) / "partition.img").string();
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        for (uint32_t s = first; s < geometry->totalSectors; ++s) {
            if (card.maps().smReadLogSector(0, s, 0, sector.data(), SECTOR) != 0)
                std::fill(sector.begin(), sector.end(), 0);
            out.write(reinterpret_cast<const char*>(sector.data()), SECTOR);
        }
    }
    const FsckReport report = runFsck(image);
    result.lostClusters = report.lostClusters;
    result.longChains = report.longChains;
    result.fatCopiesDiffer = report.fatCopiesDiffer;
    for (const auto& problem : report.problems) result.failures.push_back("fsck: " + problem);
}

std::vector<uint32_t> chooseCuts(uint32_t operations, uint32_t every, const std::vector<StepSpan>& spans) {
    std::vector<uint32_t> cuts;
    for (uint32_t n = 1; every != 0 && n <= operations; n += every) cuts.push_back(n);
    for (const auto& span : spans)
        for (uint32_t n = span.first + 1; n <= span.last; ++n) cuts.push_back(n);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

std::vector<StepSpan> spansNamed(const std::vector<StepSpan>& spans, const std::vector<std::string>& names) {
    std::vector<StepSpan> chosen;
    for (const auto& span : spans)
        if (std::find(names.begin(), names.end(), span.name) != names.end()) chosen.push_back(span);
    return chosen;
}

}  // namespace kestrel::powercut
