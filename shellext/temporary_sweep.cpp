#include "shellext/temporary_sweep.h"

#include "platform/win32/unique_handle.h"
#include "shellext/shell_api.h"
#include "shellext/temporary_copy.h"
#include "shellext/trace.h"

#include <string>
#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint64_t FILETIME_UNITS_PER_SECOND = 10'000'000;

uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Closes a find handle when it goes.
class FindHandle {
public:
    FindHandle(const std::string& pattern, WIN32_FIND_DATAA* found)
        : handle_(FindFirstFileA(pattern.c_str(), found)) {}
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool next(WIN32_FIND_DATAA* found) const { return FindNextFileA(handle_, found) != FALSE; }

private:
    HANDLE handle_;
};

bool isDots(const char* name) { return lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0; }

// True when the entry is old enough that no program it was opened with is
// still expected to use it.
bool isStale(const WIN32_FIND_DATAA& entry, uint64_t now) {
    const uint64_t minimum = STALE_COPY_AGE_SECONDS * FILETIME_UNITS_PER_SECOND;
    const uint64_t created = fileTimeValue(entry.ftCreationTime);
    const uint64_t written = fileTimeValue(entry.ftLastWriteTime);
    const uint64_t newest = created > written ? created : written;
    return now > newest && now - newest >= minimum;
}

// Removes the file unless a program holds it open: it is opened for
// deletion without sharing, so an open by anyone else makes this fail.
bool removeUnlessInUse(const std::string& path) {
    const platform::win32::UniqueHandle file(CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                                         nullptr));
    return file.valid();  // deleted when the handle closes
}

// The stale files of one folder of copies; the folder too when it is left
// empty. A folder holding anything this code did not put there (a
// subfolder) is left as it is.
size_t sweepCopyFolder(const std::string& folder, uint64_t now) {
    std::vector<std::string> stale;
    {
        WIN32_FIND_DATAA entry{};
        const FindHandle find(folder + "\\*", &entry);
        if (!find.valid()) return 0;
        do {
            if (isDots(entry.cFileName)) continue;
            if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
            if (isStale(entry, now)) stale.emplace_back(folder + "\\" + entry.cFileName);
        } while (find.next(&entry));
    }
    size_t removed = 0;
    for (const std::string& path : stale)
        if (removeUnlessInUse(path)) ++removed;
    RemoveDirectoryA(folder.c_str());  // fails while anything is left in it
    return removed;
}

}  // namespace

size_t removeStaleTemporaryCopies(uint64_t now) {
    const std::optional<std::string> base = temporaryCopiesFolder();
    if (!base) return 0;
    WIN32_FIND_DATAA entry{};
    const FindHandle find(*base + "\\*", &entry);
    if (!find.valid()) return 0;
    size_t removed = 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !isCopyFolderName(entry.cFileName))
            continue;
        removed += sweepCopyFolder(*base + "\\" + entry.cFileName, now);
    } while (find.next(&entry));
    SHX_TRACE("removeStaleTemporaryCopies: %u removed\n", static_cast<unsigned>(removed));
    return removed;
}

size_t removeStaleTemporaryCopies() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return removeStaleTemporaryCopies(fileTimeValue(now));
}

}  // namespace kestrel::shellext
