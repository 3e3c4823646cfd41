// The simulator commands of DeviceModel (fault injection, unplugging,
// statistics): the text protocol behind SimDevice::command and
// CTL_SIM_COMMAND.
#include "sim/device_model.h"

#include "sim/text_numbers.h"

namespace kestrel::sim {

namespace {

constexpr const char* OK = "ok";

std::string error(const std::string& text) { return "error: " + text; }

}  // namespace

std::string formatCounters(const SimCounters& c) {
    std::string text;
    auto line = [&](const char* key, uint64_t value) {
        text += key;
        text += " = ";
        text += std::to_string(value);
        text += '\n';
    };
    line("requests", c.requests);
    line("bytes_to_device", c.bytesToDevice);
    line("bytes_from_device", c.bytesFromDevice);
    line("commands", c.commands);
    line("page_reads", c.pageReads);
    line("spare_reads", c.spareReads);
    line("page_programs", c.pagePrograms);
    line("block_erases", c.blockErases);
    line("eeprom_reads", c.eepromReads);
    line("eeprom_writes", c.eepromWrites);
    line("modelled_us", c.modelledMicros);
    line("pending_transfers", c.pendingTransfers);
    return text;
}

std::string DeviceModel::command(const std::string& text) {
    const auto words = splitWords(text);
    if (words.empty()) return error("empty command");
    std::lock_guard lock(mutex_);
    refreshBus();
    return runCommand(words);
}

std::string DeviceModel::runCommand(const std::vector<std::string_view>& words) {
    const auto& verb = words[0];
    if (verb == "stats" && words.size() == 1) return stats();
    if (verb == "faults" && words.size() == 1) return faults_.describe();
    if (verb == "unplug" && words.size() == 1) {
        if (bus_ != Bus::Unplugged) leaveBus(Bus::Unplugged);
        return OK;
    }
    if (verb == "replug" && words.size() == 1) {
        if (bus_ == Bus::Unplugged) powerOn();
        return OK;
    }
    if (verb == "reset" && words.size() == 1) {
        leaveBus(Bus::Unplugged);
        faults_ = FaultPlan(config_);
        reenumerateMs_ = config_.reenumerateMs;
        hardware_.lastCardOperationFailed = false;
        powerOn();
        return OK;
    }
    if (verb == "stall" && words.size() == 2) {
        const auto n = parseNumber(words[1]);
        if (!n) return error("stall N: N is the command from now that never answers (1 = the next)");
        faults_.armStall(*n);
        return OK;
    }
    if (verb == "power-cut" && (words.size() == 2 || words.size() == 3)) {
        const auto n = parseNumber(words[1]);
        const auto seed = words.size() == 3 ? parseNumber(words[2]) : std::optional<uint32_t>(0);
        if (!n || !seed)
            return error("power-cut N [SEED]: power fails during the Nth program or erase from now (0 disarms)");
        faults_.armPowerCut(*n, *seed);
        return OK;
    }
    if (verb == "reenumerate-ms" && words.size() == 2) {
        const auto ms = parseNumber(words[1]);
        if (!ms) return error("reenumerate-ms MS: the time off the bus after a release");
        reenumerateMs_ = *ms;
        return OK;
    }
    if (verb == "flip" && words.size() == 4) {
        const auto flip = parseBitFlip(words[1], words[2], words[3]);
        if (!flip || flip->page >= card_->geometry().pages() || flip->byte >= card_->geometry().pageBytes())
            return error("flip PAGE BYTE BIT: outside the card");
        faults_.addFlip(*flip);
        return OK;
    }
    if ((verb == "fail-program" || verb == "fail-erase" || verb == "bad") && words.size() == 2)
        return blockFault(words);
    return error("unknown command '" + std::string(verb) +
                 "' (unplug, replug, reset, stall N, power-cut N [SEED], flip PAGE BYTE BIT, fail-program BLOCK, fail-erase BLOCK, "
                 "bad BLOCK, reenumerate-ms MS, stats, faults)");
}

std::string DeviceModel::blockFault(const std::vector<std::string_view>& words) {
    const auto block = parseNumber(words[1]);
    if (!block || !card_->hasBlock(*block)) return error(std::string(words[0]) + " BLOCK: outside the card");
    if (words[0] == "fail-program") faults_.addFailProgram(*block);
    else if (words[0] == "fail-erase") faults_.addFailErase(*block);
    else card_->markBad(*block);
    return OK;
}

std::string DeviceModel::stats() const {
    const char* bus = bus_ == Bus::Present ? "present" : bus_ == Bus::Unplugged ? "unplugged" : "re-enumerating";
    return formatCounters(countersLocked()) + "firmware = " + firmwareName(program_->kind()) +
           "\nbus = " + bus + "\ncpu = " + (cpuHeld_ ? "held" : "running") +
           "\npower = " + (hardware_.powerLost ? "lost" : "on") +
           "\nenumeration = " + std::to_string(enumeration_) + "\n";
}

}  // namespace kestrel::sim
