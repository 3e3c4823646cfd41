// Files on the host: names, modification times in local calendar time, and
// whole-file reads and writes with messages that name the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace kestrel::cli {

struct CalendarTime {
    int year = 0;    // e.g. 2002
    int month = 0;   // 1-12
    int day = 0;     // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;  // 0-59
};

// The modification time of a host file in local time; nullopt when unknown.
std::optional<CalendarTime> hostModificationTime(const std::string& path);
// Sets it (best effort: false when the time or the file refuses).
bool setHostModificationTime(const std::string& path, const CalendarTime& time);

// The last component of a host path ("dir/a.txt" -> "a.txt").
std::string hostBaseName(const std::string& path);
bool isHostDirectory(const std::string& path);
std::string joinHostPath(const std::string& directory, const std::string& name);
void removeHostFile(const std::string& path);
// `before` + 8 random hex digits + `after`, a path no file has yet; fails
// (Failure) after 100 taken ones.
std::string unusedHostPath(const std::string& before, const std::string& after);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using HostFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens for binary reading or writing; fails (Failure) with the reason.
HostFile openHostFile(const std::string& path, bool forWriting);
// The size of a regular file; fails when it is missing or not a file.
uint64_t hostFileSize(const std::string& path);
// Reads exactly `length` bytes; fails when the file ends early.
void readHostBytes(std::FILE* file, const std::string& path, void* data, size_t length);
void writeHostBytes(std::FILE* file, const std::string& path, const void* data, size_t length);
// Flushes and closes; fails when the data did not reach the file.
void closeHostFile(HostFile& file, const std::string& path);

}  // namespace kestrel::cli
