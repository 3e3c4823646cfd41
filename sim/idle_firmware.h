// A program that takes every transfer and answers nothing: what runs while
// the x51 is held and when memory holds no known image.
#pragma once

#include "sim/firmware_program.h"

namespace kestrel::sim {

class IdleFirmware final : public FirmwareProgram {
public:
    explicit IdleFirmware(FirmwareKind kind) : kind_(kind) {}
    FirmwareKind kind() const override { return kind_; }
    WriteResult bulkWrite(uint32_t, const uint8_t*, size_t) override { return WriteResult::Accepted; }

private:
    FirmwareKind kind_;
};

}  // namespace kestrel::sim
