// The power-cut sweep: a card that already holds files, the workload of
// workload.h run against it through the library's exported functions, and
// for a chosen card operation N: power fails at N, the device is started
// again (a new device model over the same folder), and the card is checked:
//   - the library mounts the volume again (with the repairs its mount
//     makes);
//   - every file the workload had finished before the cut reads back byte
//     for byte (paths of the interrupted step may be old, new or gone);
//   - then fsck.fat -n on the partition's image finds no cross-linked
//     clusters and no damaged directory (lost clusters are counted, not
//     failures).
//
// The library's exported functions are one process-wide instance, reached
// through the in-process device provider: one sweep at a time per process.
#pragma once

#include "sim/sim_device.h"
#include "tests/powercut/workload.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::powercut {

struct SweepSettings {
    uint32_t sizeMb = 4;
    uint32_t tearSeed = 1;   // with N, how far the interrupted operation got
    std::string folder;      // scratch folder (created; removed by the sweep)
};

struct CutResult {
    uint32_t cut = 0;
    bool powerLost = false;      // the cut fell inside the workload
    std::string step;            // the step running when power failed
    uint32_t filesChecked = 0;   // files compared byte for byte
    uint32_t lostClusters = 0;   // as fsck.fat counts them
    uint32_t longChains = 0;     // files whose chain is longer than their size
    uint32_t fatCopiesDiffer = 0;  // FAT copies differ, both intact
    std::vector<std::string> failures;
};

// The card operations of one workload step in the uncut run: (first, last]
// counted from the workload's start, so the step's own operations are
// first + 1 ... last.
struct StepSpan {
    std::string name;
    uint32_t first = 0;
    uint32_t last = 0;
};

class PowerCutSweep {
public:
    explicit PowerCutSweep(SweepSettings settings);
    ~PowerCutSweep();
    PowerCutSweep(const PowerCutSweep&) = delete;
    PowerCutSweep& operator=(const PowerCutSweep&) = delete;

    // Makes the seeded card and runs the workload once without a cut to
    // count its card operations; false with `error`.
    [[nodiscard]] bool prepare(std::string* error);

    // K: programs and erases of the uncut workload.
    uint32_t operations() const { return operations_; }
    const std::vector<StepSpan>& spans() const { return spans_; }

    // The workload cut at card operation `n` (1..K), then checked.
    CutResult cutAt(uint32_t n);

private:
    // Copies the seeded card into the run folder and starts a device on it.
    bool startFromSeed(std::string* error);
    bool startDevice(std::string* error);
    bool powerLost();
    uint64_t cardOperations() const;
    void check(const CardContents& expected, const std::vector<std::string>& exempt, CutResult& result);
    void checkImage(CutResult& result);

    SweepSettings settings_;
    std::string seedFolder_, runFolder_;
    std::shared_ptr<sim::SimDevice> device_;
    CardContents seed_;  // what the seeded card holds
    uint32_t operations_ = 0;
    std::vector<StepSpan> spans_;
};

// The cuts of a sweep: every `every`th of 1..K, plus every cut inside the
// given spans, ascending and without repeats.
std::vector<uint32_t> chooseCuts(uint32_t operations, uint32_t every, const std::vector<StepSpan>& spans);

// The spans of the steps named (whole names), in the workload's order.
std::vector<StepSpan> spansNamed(const std::vector<StepSpan>& spans, const std::vector<std::string>& names);

}  // namespace kestrel::powercut
