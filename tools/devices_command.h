// kestrel devices: what each device backend sees (the simulated device of
// KESTREL_SIM, the driver's device on Windows, Kestrels on USB), without
// starting any of them. Exit status 0 when a device can be opened, 1 when
// none (the last line says why), 2 for arguments.
#pragma once

#include <string>
#include <vector>

namespace kestrel::cli {

int runDevices(const std::vector<std::string>& arguments);

}  // namespace kestrel::cli
