#include "sim/firmware_program.h"

#include "sim/ffs_firmware.h"
#include "sim/filex_server.h"
#include "sim/idle_firmware.h"

namespace kestrel::sim {

std::unique_ptr<FirmwareProgram> startFirmware(FirmwareKind kind, DeviceHardware& hardware) {
    if (kind == FirmwareKind::FileSystem) return std::make_unique<FileSystemFirmware>(hardware);
    if (kind == FirmwareKind::Main) {
        if (!hardware.files) hardware.files = makeMemoryBackend();
        return std::make_unique<FilexServerFirmware>(hardware, hardware.files);
    }
    return std::make_unique<IdleFirmware>(kind);
}

}  // namespace kestrel::sim
