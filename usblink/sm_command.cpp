#include "usblink/sm_command.h"

#include "platform/byte_order.h"

namespace kestrel::usblink {

void buildStandardPacket(SmCommand& command) {
    command.packet[0] = command.op;
    command.packet[1] = command.sm;
    storeLe32(command.packet + 2, command.adr);
    storeLe16(command.packet + 6, command.cnt);
}

}  // namespace kestrel::usblink
