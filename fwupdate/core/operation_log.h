// The operation log: "log.txt", appended to one line at a time. Each line is
// formatted into a buffer of LINE_BUFFER bytes first; a longer line is cut
// to LINE_BUFFER - 1 characters. A line that cannot be appended to the file
// (folder not writable, disk full) is dropped; the console copy, if any, is
// still written.
#pragma once

#include "fwupdate/core/text_format.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

namespace kestrel::fwupdate {

inline constexpr const char* LOG_FILE = "log.txt";

class OperationLog {
public:
    static constexpr size_t LINE_BUFFER = 256;

    // Lines are appended to `path` (text mode) and, when `console` is not
    // null, written to it as well.
    OperationLog(std::string path, std::FILE* console) : path_(std::move(path)), console_(console) {}

    // LogPrintf: one line; the number of characters written.
    int printf(const char* format, ...) FWUPDATE_PRINTF(2, 3);
    int vprintf(const char* format, va_list arguments);

    const std::string& path() const { return path_; }
    void setConsole(std::FILE* console) { console_ = console; }

private:
    std::string path_;
    std::FILE* console_;
};

}  // namespace kestrel::fwupdate
