// The link's printf-style diagnostic sink. It discards its lines unless a
// listener is attached (tests, debugging tools), so the library itself never
// prints.
#pragma once

#include <functional>
#include <string>

namespace kestrel::usblink {

class TraceHook {
public:
    using Listener = std::function<void(const std::string& line)>;

    // Formats and hands the line to the listener, if any. Always returns 0.
    int operator()(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    void setListener(Listener listener) { listener_ = std::move(listener); }

private:
    Listener listener_;
};

}  // namespace kestrel::usblink
