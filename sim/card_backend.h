// The file server's storage on the card itself: the card's FAT file system
// through the project's own file-system code, on an instance of the
// device's own (the host's ORYX library keeps another). Names are kept as
// they were given: as long names where the short name does not show them
// (card_names.h); lookups match long and short names without regard to
// ASCII case.
#pragma once

#include "sim/filex_backend.h"
#include "sim/firmware_program.h"

#include <memory>

namespace kestrel::sim {

// A backend over the card of `hardware`. Called with the device's mutex
// held, like every backend.
std::shared_ptr<FilexBackend> makeCardBackend(DeviceHardware& hardware);

}  // namespace kestrel::sim
