#include "sim/request_trace.h"

#include "platform/byte_order.h"
#include "platform/driver_interface.h"
#include "platform/environment.h"
#include "platform/ksim_protocol.h"

#include <algorithm>

namespace kestrel::sim {

namespace {

const char* codeName(uint32_t code) {
    switch (code) {
    case driver::CTL_GET_PIPE_INFO: return "GET_PIPE_INFO";
    case driver::CTL_VENDOR_REQUEST: return "VENDOR_REQUEST";
    case driver::CTL_RESET_PIPE: return "RESET_PIPE";
    case driver::CTL_ABORT_PIPE: return "ABORT_PIPE";
    case driver::CTL_BULK_READ: return "BULK_READ";
    case driver::CTL_BULK_WRITE: return "BULK_WRITE";
    case driver::CTL_DOWNLOAD: return "DOWNLOAD";
    case ksim::CTL_SIM_COMMAND: return "SIM_COMMAND";
    default: return "UNKNOWN";
    }
}

bool hasPipeIndex(uint32_t code) {
    return code == driver::CTL_RESET_PIPE || code == driver::CTL_ABORT_PIPE || code == driver::CTL_BULK_READ ||
           code == driver::CTL_BULK_WRITE;
}

void appendHex(std::string& line, const void* data, size_t length) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t shown = std::min(length, RequestTrace::MAX_DUMP_BYTES);
    for (size_t i = 0; i < shown; ++i) {
        line += ' ';
        line += DIGITS[bytes[i] >> 4];
        line += DIGITS[bytes[i] & 15];
    }
    if (shown < length) line += " ...";
}

}  // namespace

std::unique_ptr<RequestTrace> RequestTrace::fromEnvironment() {
    const auto path = platform::getEnv("KESTREL_SIM_TRACE");
    if (!path || path->empty()) return nullptr;
    return open(*path);
}

std::unique_ptr<RequestTrace> RequestTrace::open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file) return nullptr;
    return std::unique_ptr<RequestTrace>(new RequestTrace(file));
}

RequestTrace::~RequestTrace() { std::fclose(file_); }

std::string RequestTrace::formatLine(uint64_t modelledMicros, uint32_t code, const void* in, uint32_t inLength,
                                     const void* out, uint32_t outLength, const platform::ControlResult& result) {
    char head[160];
    std::snprintf(head, sizeof head, "%10llu us %-14s 0x%06X", static_cast<unsigned long long>(modelledMicros),
                  codeName(code), static_cast<unsigned>(code));
    std::string line = head;
    if (hasPipeIndex(code) && inLength >= 4 && in) line += " pipe=" + std::to_string(loadLe32(in));
    line += " in=" + std::to_string(inLength) + " out=" + std::to_string(outLength);
    line += result.ok ? " ok bytes=" + std::to_string(result.bytes) : " error=" + std::to_string(result.error);
    const bool sends = driver::driverReadsOutput(code);
    const void* data = sends ? out : (result.ok ? out : nullptr);
    const size_t length = sends ? outLength : (result.ok ? result.bytes : 0);
    if (code == driver::CTL_VENDOR_REQUEST || code == driver::CTL_DOWNLOAD || code == ksim::CTL_SIM_COMMAND) {
        line += " |";
        if (in) appendHex(line, in, inLength);
    }
    if (data && length > 0) {
        line += " :";
        appendHex(line, data, length);
    }
    return line;
}

void RequestTrace::record(uint64_t modelledMicros, uint32_t code, const void* in, uint32_t inLength,
                          const void* out, uint32_t outLength, const platform::ControlResult& result) {
    const std::string line = formatLine(modelledMicros, code, in, inLength, out, outLength, result);
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
}

}  // namespace kestrel::sim
