// The update files: the boot EEPROM image and the three MAIN images, with
// the device paths and action texts of the MAIN images, and which of the two
// groups can be updated from the files present.
#pragma once

#include "fwupdate/core/host_file.h"

#include <array>
#include <cstdint>

namespace kestrel::fwupdate {

inline constexpr const char* EEPROM_IMAGE = "vxb_main.iic";
// The boot EEPROM's size: its addresses are 16 bits wide.
inline constexpr uint64_t EEPROM_BYTES = 65536;

inline constexpr const char* VOLUME_ROOT = "dev0:\\";

struct MainImage {
    const char* action;      // action text while it is written
    const char* hostFile;    // in the current working directory
    const char* devicePath;  // on the card
    const char* what;        // its name in the log of a command-line download
};

// Written in this order.
inline constexpr std::array<MainImage, 3> MAIN_IMAGES{{
    {"Updating L1 code ...", "L1_1.BIN", "dev0:\\L1_1.BIN", "L1 boot code"},
    {"Updating L2 code ...", "L2_1.MI", "dev0:\\L2_1.MI", "L2 code"},
    {"Updating FPGA code ...", "FPGA.BIR", "dev0:\\FPGA.BIR", "FPGA code"},
}};

// What the files present allow, decided when the dialog starts.
struct UpdateFiles {
    bool eeprom = false;  // the EEPROM image opens
    bool main = false;    // all three MAIN images open

    // Nothing can be updated: "Update" is disabled and the user is told.
    bool noneAvailable() const { return !eeprom && !main; }
};

UpdateFiles findUpdateFiles(const HostFileOpener& open);

}  // namespace kestrel::fwupdate
