#include "tools/file_replacement.h"

#include "oryx/oryx.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"

#include <cstdint>

namespace kestrel::cli {

namespace {

constexpr int TEMPORARY_NAMES = 100;

bool entryExists(const std::string& oryxPath) {
    uint32_t size = 0;
    const uint32_t result = mt_smGetSizeFile(oryxPath.c_str(), &size);
    if (result == ORYX_NOT_FOUND) return false;
    checkOryx(result, "cannot look for " + oryxPath);
    return true;
}

}  // namespace

std::string oryxDirectoryOf(const std::string& oryxPath) {
    const size_t slash = oryxPath.rfind('\\');
    return slash == std::string::npos ? std::string() : oryxPath.substr(0, slash + 1);
}

std::string freeTemporaryPath(const std::string& oryxDirectory, const std::string& taken) {
    for (int n = 0; n < TEMPORARY_NAMES; ++n) {
        const std::string path = oryxDirectory + TEMPORARY_NAME_PREFIX + std::to_string(n) + TEMPORARY_NAME_SUFFIX;
        if (path != taken && !entryExists(path)) return path;
    }
    fail("no free temporary name in " + oryxDirectory + " (remove the ~KPUT*.TMP files there)");
}

void swapIntoPlace(const std::string& freshPath, const std::string& oryxPath, const std::string& shownAs) {
    const std::string oldPath = freeTemporaryPath(oryxDirectoryOf(oryxPath), freshPath);
    const auto giveUp = [&](uint32_t result, const std::string& step, bool oldInPlace) {
        (void)mt_smRemoveFile(freshPath.c_str());
        fail("cannot replace " + shownAs + ": " + step + ": ORYX result " + std::to_string(result) + " (" +
             oryxResultMeaning(result) + "); the new copy was removed and " +
             (oldInPlace ? shownAs + " was left as it was" : "the old contents are kept as " + oldPath));
    };
    if (const uint32_t result = mt_smMoveFile(oryxPath.c_str(), oldPath.c_str()))
        giveUp(result, "moving it aside", true);
    if (const uint32_t result = mt_smMoveFile(freshPath.c_str(), oryxPath.c_str())) {
        const bool putBack = mt_smMoveFile(oldPath.c_str(), oryxPath.c_str()) == 0;
        giveUp(result, "renaming the new copy", putBack);
    }
    if (const uint32_t result = mt_smRemoveFile(oldPath.c_str())) {
        fail("replaced " + shownAs + " but cannot remove its old contents, kept as " + oldPath + ": ORYX result " +
             std::to_string(result) + " (" + oryxResultMeaning(result) + ")");
    }
}

}  // namespace kestrel::cli
