#include "tests/shellext/harness/screenshot_handshake.h"

#include "platform/environment.h"
#include "shellext/shell_api.h"
#include "tests/shellext/harness/shell_browser_double.h"

#include <fstream>

namespace kestrel::shellext::test {

bool screenshotHandshake(const char* variable, const std::string& what) {
    const auto folder = platform::getEnv(variable);
    if (!folder || folder->empty()) return true;
    std::string windows = "Z:" + *folder;
    for (char& c : windows)
        if (c == '/') c = '\\';
    { std::ofstream(windows + "\\ready") << what << "\n"; }
    for (int i = 0; i < 600; ++i) {
        pumpMessages(100);
        if (GetFileAttributesA((windows + "\\taken").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
}

}  // namespace kestrel::shellext::test
