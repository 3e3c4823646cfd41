#include "tools/devices_command.h"

#include "platform/usb/device_listing.h"
#include "platform/usb/usb_provider.h"

#include <cstdio>

namespace kestrel::cli {

namespace {

constexpr int EXIT_FOUND = 0;
constexpr int EXIT_NONE = 1;
constexpr int EXIT_USAGE = 2;

}  // namespace

int runDevices(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        std::fprintf(stderr, "kestrel devices: takes no arguments (got '%s')\n", arguments.front().c_str());
        return EXIT_USAGE;
    }
    const platform::usb::DeviceReport report = platform::usb::listDevices(platform::usb::systemUsbTransport());
    for (const auto& line : report.lines) std::printf("%s\n", line.c_str());
    if (!report.found) std::printf("no Kestrel found\n");
    return report.found ? EXIT_FOUND : EXIT_NONE;
}

}  // namespace kestrel::cli
