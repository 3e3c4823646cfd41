// Helpers shared by the tests of the OS layer.
#pragma once

#include "platform/clock.h"
#include "platform/module.h"
#include "platform/process.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace kestrel::platform::test {

// A name no other test run on the machine uses (named objects are
// machine-wide on Windows).
inline std::string uniqueName(const std::string& prefix) {
    return prefix + "-" + std::to_string(perfCounter());
}

// The helper program, next to the test executable.
inline std::string helperProgram() {
    std::string path = moduleFolder(reinterpret_cast<const void*>(&uniqueName)) + PATH_SEPARATOR + "platform_test_helper";
#ifdef _WIN32
    path += ".exe";
#endif
    return path;
}

inline std::filesystem::path tempFile(const std::string& prefix) {
    return std::filesystem::temp_directory_path() / uniqueName(prefix);
}

// Polls `condition` for at most `realMs` real milliseconds.
inline bool eventually(const std::function<bool()>& condition, int realMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kestrel::platform::test
