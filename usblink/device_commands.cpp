#include "usblink/device_commands.h"

#include "platform/byte_order.h"

#include <cstring>

namespace kestrel::usblink {

namespace {
constexpr uint8_t LC_READ_PACKET_LENGTH = 4;
constexpr uint8_t LC_WRITE_PACKET_LENGTH = 4 + LC_BLOCK_LENGTH;
}  // namespace

void DeviceCommands::prepare(uint8_t op, uint8_t sm, const uint32_t* adr, uint16_t cnt,
                             uint32_t unit, void* buffer) {
    SmCommand& c = link_.command();
    c.op = op;
    c.sm = sm;
    if (adr) c.adr = *adr;
    c.cnt = cnt;
    c.unit = unit;
    c.buffer = static_cast<uint8_t*>(buffer);
    c.rawLength = 0;
}

void DeviceCommands::prepareBootMemory(uint8_t op, uint16_t adr, uint16_t cnt, uint32_t unit,
                                       void* buffer, const void* data) {
    SmCommand& c = link_.command();
    c.op = op;
    c.cnt = cnt;
    c.unit = unit;
    c.buffer = static_cast<uint8_t*>(buffer);
    c.packet[0] = op;
    c.packet[1] = static_cast<uint8_t>(LC_BLOCK_LENGTH);
    storeBe16(c.packet + 2, adr);
    if (data) {
        std::memcpy(c.packet + 4, data, LC_BLOCK_LENGTH);
        c.rawLength = LC_WRITE_PACKET_LENGTH;
    } else {
        c.rawLength = LC_READ_PACKET_LENGTH;
    }
}

uint32_t DeviceCommands::run(double& start, double& duration) {
    start = link_.LinkTimeMs();
    link_.ExecuteSM();
    duration = link_.LinkTimeMs() - start;
    return link_.command().result;
}

uint32_t DeviceCommands::readSM(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer) {
    double start, duration;
    prepare(OP_READ_PAGES, sm, &adr, scnt, PAGE_ANSWER_LENGTH, buffer);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - ReadSM: sm=%d, adr=%08X, scnt=%d\n", start, duration, sm, adr,
           scnt);
    return result;
}

uint32_t DeviceCommands::readSMspare(uint8_t sm, uint32_t adr, uint8_t scnt, void* buffer) {
    double start, duration;
    prepare(OP_READ_SPARE, sm, &adr, scnt, SPARE_ANSWER_LENGTH, buffer);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - ReadSMspare: sm=%d, adr=%08X, scnt=%d\n", start, duration, sm,
           adr, scnt);
    return result;
}

uint32_t DeviceCommands::readID(uint8_t sm, void* buffer) {
    double start, duration;
    prepare(OP_READ_ID, sm, nullptr, 1, ID_ANSWER_LENGTH, buffer);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - ReadID: sm=%d\n", start, duration, sm);
    return result;
}

uint32_t DeviceCommands::getStatus(uint8_t sm, void* buffer) {
    double start, duration;
    prepare(OP_READ_STATUS, sm, nullptr, 1, STATUS_ANSWER_LENGTH, buffer);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - GetStatus: sm=%d\n", start, duration, sm);
    return result;
}

uint32_t DeviceCommands::eraseBlock(uint8_t sm, uint32_t adr) {
    double start, duration;
    prepare(OP_ERASE_BLOCK, sm, &adr, 0, 0, nullptr);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - EraseBlock: sm=%d, adr=%08X\n", start, duration, sm, adr);
    return result;
}

uint32_t DeviceCommands::writeSM(uint8_t sm, uint32_t adr, uint16_t bcnt, const void* buffer) {
    double start, duration;
    prepare(OP_PROGRAM_PAGE, sm, &adr, bcnt, 1, const_cast<void*>(buffer));
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - WriteSM: sm=%d, adr=%08X, bcnt=%d\n", start, duration, sm, adr,
           bcnt);
    return result;
}

uint32_t DeviceCommands::readLC(uint16_t adr, void* buffer) {
    double start, duration;
    prepareBootMemory(OP_READ_LC, adr, 1, LC_BLOCK_LENGTH, buffer, nullptr);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - ReadLC: adr=%04X\n", start, duration, adr);
    return result;
}

uint32_t DeviceCommands::writeLC(uint16_t adr, const void* data) {
    double start, duration;
    prepareBootMemory(OP_WRITE_LC, adr, 0, 0, nullptr, data);
    const uint32_t result = run(start, duration);
    trace_("smif:%8.0f d:%3.0f - WriteLC: adr=%04X\n", start, duration, adr);
    return result;
}

}  // namespace kestrel::usblink
