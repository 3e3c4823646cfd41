#include "sim/fault_plan.h"

namespace kestrel::sim {

FaultPlan::FaultPlan(const DeviceConfig& config)
    : failProgram_(config.failProgram.begin(), config.failProgram.end()),
      failErase_(config.failErase.begin(), config.failErase.end()),
      flips_(config.flips),
      stallCountdown_(config.stallCommand),
      powerCutCountdown_(config.powerCut),
      powerCutArmed_(config.powerCut),
      powerCutSeed_(config.powerCutSeed) {}

void FaultPlan::applyFlips(uint64_t page, uint32_t firstByte, uint8_t* bytes, size_t length) const {
    for (const auto& flip : flips_) {
        if (flip.page != page || flip.byte < firstByte || flip.byte - firstByte >= length) continue;
        bytes[flip.byte - firstByte] ^= static_cast<uint8_t>(1u << flip.bit);
    }
}

bool FaultPlan::takeStall() {
    if (stallCountdown_ == 0) return false;
    return --stallCountdown_ == 0;
}

bool FaultPlan::takePowerCut() {
    if (powerCutCountdown_ == 0) return false;
    return --powerCutCountdown_ == 0;
}

uint64_t FaultPlan::powerCutTear() const {
    // splitmix64 of (seed, N): well spread, and the same for the same cut.
    uint64_t z = (static_cast<uint64_t>(powerCutSeed_) << 32 | powerCutArmed_) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string FaultPlan::describe() const {
    auto blocks = [](const std::set<uint64_t>& set) {
        std::string text;
        for (const auto b : set) text += (text.empty() ? "" : ",") + std::to_string(b);
        return text;
    };
    std::string text = "fail_program = " + blocks(failProgram_) + "\nfail_erase = " + blocks(failErase_) +
                       "\nflip = ";
    for (size_t i = 0; i < flips_.size(); ++i)
        text += (i ? "," : "") + std::to_string(flips_[i].page) + ":" + std::to_string(flips_[i].byte) + ":" +
                std::to_string(flips_[i].bit);
    return text + "\nstall_in = " + std::to_string(stallCountdown_) + "\npower_cut_in = " +
           std::to_string(powerCutCountdown_) + "\n";
}

}  // namespace kestrel::sim
