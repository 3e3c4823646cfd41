// A simulated card behind the device link for benchmarks: a fresh device
// folder served in process, the file-system firmware loaded, and a way to
// measure a piece of work in device requests, bytes, block erases,
// modelled device time and host CPU time.
#pragma once

#include "sim/sim_device.h"
#include "usblink/usb_device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::bench {

struct Phase {
    uint64_t requests = 0, bytesOut = 0, bytesIn = 0, erases = 0, modelledUs = 0, cpuUs = 0, realMs = 0;
    uint64_t programs = 0;
};

Phase operator-(Phase a, const Phase& b);

class LinkedCard {
public:
    // `firmware`: the folder holding vxb_ffs.bix and vxb_main.bix.
    LinkedCard(uint32_t sizeMb, const std::string& firmware);
    ~LinkedCard();
    LinkedCard(const LinkedCard&) = delete;
    LinkedCard& operator=(const LinkedCard&) = delete;

    bool ok() const { return device_ != nullptr; }
    usblink::UsbDevice& device() { return *device_; }

    // Runs `work` and measures it; a non-zero result is reported.
    Phase measure(const std::function<uint32_t()>& work);

private:
    std::string folder_;
    std::shared_ptr<sim::SimDevice> sim_;
    std::unique_ptr<usblink::UsbDevice> device_;
};

double median(std::vector<double> values);

// One line: requests, bytes, erases, modelled and host CPU time (median of
// the runs) and their ratio.
void printPhase(const char* name, uint32_t sizeMb, const std::vector<Phase>& runs);

// The folder of the running program (where the firmware images are).
std::string programFolder();

}  // namespace kestrel::bench
