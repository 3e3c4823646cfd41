// Faults injected into the simulated card and firmware: blocks whose program
// or erase fails, bit flips in read answers, and a command that never answers
// (stall). Starts from device.conf; simulator commands add to it at run time.
#pragma once

#include "sim/device_config.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace kestrel::sim {

class FaultPlan {
public:
    FaultPlan() = default;
    explicit FaultPlan(const DeviceConfig& config);

    bool programFails(uint64_t block) const { return failProgram_.count(block) != 0; }
    bool eraseFails(uint64_t block) const { return failErase_.count(block) != 0; }

    // Inverts the flipped bits that fall into `bytes`, which hold the page's
    // bytes from `firstByte` on (data, then spare).
    void applyFlips(uint64_t page, uint32_t firstByte, uint8_t* bytes, size_t length) const;

    // Called once per command the firmware receives: true when this is the
    // command that stalls.
    bool takeStall();

    // Called once per page program or block erase the card starts: true
    // when power fails during this one.
    bool takePowerCut();
    // A number fixed by the armed cut and its seed, from which the card
    // picks how far the interrupted operation got.
    uint64_t powerCutTear() const;

    void addFailProgram(uint64_t block) { failProgram_.insert(block); }
    void addFailErase(uint64_t block) { failErase_.insert(block); }
    void addFlip(const BitFlip& flip) { flips_.push_back(flip); }
    // The `n`th command from now stalls (n >= 1); 0 disarms.
    void armStall(uint32_t n) { stallCountdown_ = n; }
    // Power fails during the `n`th program or erase from now (n >= 1); 0
    // disarms.
    void armPowerCut(uint32_t n, uint32_t seed) {
        powerCutCountdown_ = n;
        powerCutArmed_ = n;
        powerCutSeed_ = seed;
    }

    std::string describe() const;

private:
    std::set<uint64_t> failProgram_;
    std::set<uint64_t> failErase_;
    std::vector<BitFlip> flips_;
    uint32_t stallCountdown_ = 0;
    uint32_t powerCutCountdown_ = 0;
    uint32_t powerCutArmed_ = 0;
    uint32_t powerCutSeed_ = 0;
};

}  // namespace kestrel::sim
