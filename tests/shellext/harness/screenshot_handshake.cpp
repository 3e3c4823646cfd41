#include "tests/shellext/harness/screenshot_handshake.h"

#include "platform/environment.h"
#include "shellext/shell_api.h"

#include <fstream>

namespace kestrel::shellext::test {

namespace {

void pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

}  // namespace

bool screenshotHandshake(const char* variable, const std::string& what) {
    const auto folder = platform::getEnv(variable);
    if (!folder || folder->empty()) return true;
    std::string windows = "Z:" + *folder;
    for (char& c : windows)
        if (c == '/') c = '\\';
    { std::ofstream(windows + "\\ready") << what << "\n"; }
    for (int i = 0; i < 600; ++i) {
        pumpFor(100);
        if (GetFileAttributesA((windows + "\\taken").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
}

}  // namespace kestrel::shellext::test
