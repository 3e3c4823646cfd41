// The filex diagnostic sink. DebugTrace writes printf-style text to the
// system debug output (on POSIX: standard error when KESTREL_DEBUG is set).
// FilexTrace is what the transport and the operations write through: it is
// switched on in the debug configuration and off in release, and a listener
// can take its lines instead of the debug output (tests, tools).
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

namespace kestrel::filex {

inline constexpr size_t DEBUG_TRACE_BUFFER = 32768;

#if defined(__GNUC__)
#define KESTREL_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define KESTREL_PRINTF(format_index, first_arg)
#endif

// Formats into a 32,768-byte block (longer text is cut) and writes it to
// the debug output. Returns the number of characters written; 0, after
// writing "Error in PrintDS\n", when the block cannot be allocated.
int DebugTrace(const char* format, ...) KESTREL_PRINTF(1, 2);
int DebugTraceV(const char* format, va_list arguments);

// True in the debug configuration of the library, where the transport and
// operation traces are produced.
bool debugConfiguration();

class FilexTrace {
public:
    using Listener = std::function<void(const std::string& line)>;

    explicit FilexTrace(bool enabled = debugConfiguration()) : enabled_(enabled) {}

    bool enabled() const { return enabled_; }
    // Lines go to `listener` instead of the debug output. Set it before the
    // trace is used from several threads.
    void setListener(Listener listener) { listener_ = std::move(listener); }

    // Writes the line when enabled; thread-safe once the listener is set.
    void operator()(const char* format, ...) const KESTREL_PRINTF(2, 3);

private:
    bool enabled_;
    Listener listener_;
};

}  // namespace kestrel::filex
