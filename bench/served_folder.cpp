#include "bench/served_folder.h"

#include "platform/module.h"
#include "sim/device_folder.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace kestrel::bench {

namespace fs = std::filesystem;

std::string programBeside(const std::string& name) {
    const fs::path folder = fs::path(platform::currentExecutablePath()).parent_path();
#ifdef _WIN32
    const bool program = name.find('.') == std::string::npos;
    return (folder / (program ? name + ".exe" : name)).string();
#else
    return (folder / name).string();
#endif
}

std::string serveFolder(const std::string& folder, std::unique_ptr<platform::ChildProcess>& daemon,
                        std::string& error) {
    const std::string portFile = (fs::path(folder) / "daemon.port").string();
    daemon = platform::ChildProcess::spawn(programBeside("kestrel-simd"),
                                           {folder, "--listen", "tcp:127.0.0.1:0", "--port-file", portFile}, &error);
    if (!daemon) return {};
    for (int i = 0; i < 400; ++i) {
        const auto text = sim::readTextFile(portFile);
        if (text && !text->empty() && text->back() == '\n') return text->substr(0, text->find_first_of("\r\n"));
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    error = "kestrel-simd did not start";
    return {};
}

}  // namespace kestrel::bench
