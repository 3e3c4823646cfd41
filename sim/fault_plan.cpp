#include "sim/fault_plan.h"

namespace kestrel::sim {

FaultPlan::FaultPlan(const DeviceConfig& config)
    : failProgram_(config.failProgram.begin(), config.failProgram.end()),
      failErase_(config.failErase.begin(), config.failErase.end()),
      flips_(config.flips),
      stallCountdown_(config.stallCommand) {}

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
    return text + "\nstall_in = " + std::to_string(stallCountdown_) + "\n";
}

}  // namespace kestrel::sim
