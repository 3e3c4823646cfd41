// The transfer trace: one line per driver request with its code, pipe,
// lengths, result and (the first 64 of) the bytes it carried, appended to
// the file named by KESTREL_SIM_TRACE.
#pragma once

#include "platform/device_provider.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace kestrel::sim {

class RequestTrace {
public:
    static constexpr size_t MAX_DUMP_BYTES = 64;

    // The trace KESTREL_SIM_TRACE asks for; null when it is unset or the
    // file cannot be opened.
    static std::unique_ptr<RequestTrace> fromEnvironment();
    // Appends to `path`; null when it cannot be opened.
    static std::unique_ptr<RequestTrace> open(const std::string& path);

    ~RequestTrace();
    RequestTrace(const RequestTrace&) = delete;
    RequestTrace& operator=(const RequestTrace&) = delete;

    // One finished request; `out` holds what went to the device (direct-in
    // codes) or what came back.
    void record(uint64_t modelledMicros, uint32_t code, const void* in, uint32_t inLength, const void* out,
                uint32_t outLength, const platform::ControlResult& result);

    // The line record() writes, without the newline.
    static std::string formatLine(uint64_t modelledMicros, uint32_t code, const void* in, uint32_t inLength,
                                  const void* out, uint32_t outLength, const platform::ControlResult& result);

private:
    explicit RequestTrace(std::FILE* file) : file_(file) {}

    std::mutex mutex_;
    std::FILE* file_;
};

}  // namespace kestrel::sim
