// A second program on the device, for the tests of the device's session: it
// starts the library's device (mt_smInit), creates DEVICE_PATH and writes the
// first half of HOST_FILE into it, creates the file READY, then waits (at
// most two minutes) for the file GO before it writes the rest, closes the
// file and the device (usbcClose). With HOST_FILE "-" it opens no file.
//   session_holder HOST_FILE DEVICE_PATH READY GO
// Exit codes: 0 done, 2 bad command line, 3 mt_smInit failed, 4 a file
// operation failed, 5 GO never came.
#include "oryx/oryx.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t PIECE = 2048;

bool writeRange(oryx_handle handle, const std::vector<char>& bytes, size_t from, size_t to) {
    for (size_t at = from; at < to; at += PIECE) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(PIECE, to - at));
        if (mt_smWriteFile(handle, bytes.data() + at, n) != 0) return false;
    }
    return true;
}

bool waitForFile(const char* path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const bool writing = std::string(argv[1]) != "-";
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (mt_smInit() != 0) return 3;
    if (!writing) {
        std::ofstream(argv[3]) << "ready\n";
        if (!waitForFile(argv[4])) return 5;
        usbcClose();
        return 0;
    }
    oryx_handle handle{};
    if (mt_smCreateFile(argv[2], 1, &handle) != 0) return 4;
    const size_t half = bytes.size() / 2;
    if (!writeRange(handle, bytes, 0, half)) return 4;
    std::ofstream(argv[3]) << "ready\n";
    if (!waitForFile(argv[4])) return 5;
    if (!writeRange(handle, bytes, half, bytes.size()) || mt_smCloseFile(handle) != 0) return 4;
    usbcClose();
    return 0;
}
