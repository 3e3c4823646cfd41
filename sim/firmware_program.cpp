#include "sim/firmware_program.h"

#include "sim/ffs_firmware.h"
#include "sim/idle_firmware.h"

namespace kestrel::sim {

std::unique_ptr<FirmwareProgram> startFirmware(FirmwareKind kind, DeviceHardware& hardware) {
    if (kind == FirmwareKind::FileSystem) return std::make_unique<FileSystemFirmware>(hardware);
    return std::make_unique<IdleFirmware>(kind);
}

}  // namespace kestrel::sim
