#include "tools/host_files.h"

#include "tools/failure.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace kestrel::cli {

namespace fs = std::filesystem;

namespace {

constexpr int TM_YEAR_BASE = 1900;

std::string reason() { return std::strerror(errno); }

}  // namespace

std::optional<CalendarTime> hostModificationTime(const std::string& path) {
    std::error_code error;
    const auto written = fs::last_write_time(fs::path(path), error);
    if (error) return std::nullopt;
    const auto system = std::chrono::file_clock::to_sys(written);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr) return std::nullopt;
    return CalendarTime{local->tm_year + TM_YEAR_BASE, local->tm_mon + 1, local->tm_mday,
                        local->tm_hour, local->tm_min, local->tm_sec};
}

bool setHostModificationTime(const std::string& path, const CalendarTime& time) {
    std::tm local{};
    local.tm_year = time.year - TM_YEAR_BASE;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) return false;
    const auto system = std::chrono::system_clock::from_time_t(seconds);
    std::error_code error;
    fs::last_write_time(fs::path(path), std::chrono::file_clock::from_sys(system), error);
    return !error;
}

std::string hostBaseName(const std::string& path) {
    fs::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.filename().string();
}

bool isHostDirectory(const std::string& path) {
    std::error_code error;
    return fs::is_directory(fs::path(path), error);
}

std::string joinHostPath(const std::string& directory, const std::string& name) {
    return (fs::path(directory) / name).string();
}

void removeHostFile(const std::string& path) {
    std::error_code ignored;
    fs::remove(fs::path(path), ignored);
}

std::string unusedHostPath(const std::string& before, const std::string& after) {
    constexpr int ATTEMPTS = 100;
    std::random_device random;
    for (int n = 0; n < ATTEMPTS; ++n) {
        char tag[16] = {};
        std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(random()));
        const std::string candidate = before + tag + after;
        std::error_code error;
        if (!fs::exists(fs::path(candidate), error) && !error) return candidate;
    }
    fail("no free name like " + before + "XXXXXXXX" + after);
}

HostFile openHostFile(const std::string& path, bool forWriting) {
    HostFile file(std::fopen(path.c_str(), forWriting ? "wb" : "rb"));
    if (!file) fail("cannot open " + path + ": " + reason());
    return file;
}

uint64_t hostFileSize(const std::string& path) {
    std::error_code error;
    const fs::path p(path);
    if (!fs::exists(p, error)) fail("cannot open " + path + ": no such file");
    if (!fs::is_regular_file(p, error)) fail(path + " is not a regular file");
    const uint64_t size = fs::file_size(p, error);
    if (error) fail("cannot read the size of " + path + ": " + error.message());
    return size;
}

void readHostBytes(std::FILE* file, const std::string& path, void* data, size_t length) {
    if (std::fread(data, 1, length, file) != length) {
        fail(std::ferror(file) ? "cannot read " + path + ": " + reason() : path + " ended early (changed while read?)");
    }
}

void writeHostBytes(std::FILE* file, const std::string& path, const void* data, size_t length) {
    if (std::fwrite(data, 1, length, file) != length) fail("cannot write " + path + ": " + reason());
}

void closeHostFile(HostFile& file, const std::string& path) {
    const bool flushed = std::fflush(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!flushed || !closed) fail("cannot write " + path + ": " + reason());
}

}  // namespace kestrel::cli
