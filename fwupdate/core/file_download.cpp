// DownloadFile: one host file written as a file on the card, in pieces of
// CHUNK bytes after the file has been extended to its full length, and given
// the host file's modification time.
#include "fwupdate/core/local_time.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kestrel::fwupdate {

namespace {

constexpr uint32_t CHUNK = 2048;

void stampTime(oryx_stat& record, std::time_t modified) {
    const std::optional<std::tm> local = localCalendarTime(modified);
    if (!local) return;
    record.year = static_cast<uint16_t>(local->tm_year + 1900);
    record.month = static_cast<uint8_t>(local->tm_mon + 1);
    record.day = static_cast<uint8_t>(local->tm_mday);
    record.hour = static_cast<uint8_t>(local->tm_hour);
    record.minute = static_cast<uint8_t>(local->tm_min);
    record.second = static_cast<uint8_t>(local->tm_sec);
}

}  // namespace

uint32_t UpdateTool::DownloadFile(HostFile& file, const char* devicePath, Progress progress) {
    const auto report = [&](uint32_t total, uint32_t done) {
        if (progress != nullptr) (this->*progress)(total, done);
    };
    // The host file is checked before anything on the device changes: a
    // folder, or a file that cannot be read, must not cost the device the
    // file it has.
    const std::optional<HostFileStatus> status = file.status();
    if (!status || !status->regular) {
        log_.printf("dwnl> Error %d reading input file\n", static_cast<int>(SHORT_HOST_FILE));
        return SHORT_HOST_FILE;
    }
    const uint64_t hostSize = status->size;
    if (hostSize == 0) {
        log_.printf("dwnl> Input file is 0 length ... ");
        return 0;
    }
    // The card's file sizes are 32 bits: a larger file would be cut to its
    // size modulo 4 GB and still reported as written.
    if (hostSize > std::numeric_limits<uint32_t>::max()) {
        log_.printf("dwnl> Error %d, input file too large\n", static_cast<int>(HOST_FILE_TOO_LARGE));
        return HOST_FILE_TOO_LARGE;
    }
    const auto size = static_cast<uint32_t>(hostSize);
    std::array<uint8_t, CHUNK> buffer{};
    const uint32_t first = std::min(size, CHUNK);
    if (file.read(buffer.data(), first) < first) {
        log_.printf("dwnl> Error %d reading input file\n", static_cast<int>(SHORT_HOST_FILE));
        return SHORT_HOST_FILE;
    }

    uint32_t count = 0;
    if (const uint32_t e = oryx_.getListNumDir(VOLUME_ROOT, &count)) {
        log_.printf("dwnl> Error %d smGetListNumDir\n", static_cast<int>(e));
        return e;
    }
    report(1, 0);

    uint32_t existing = 0;
    if (oryx_.getSizeFile(devicePath, &existing) == 0) {
        log_.printf("dwnl> Deleting previous version of %s ... ", devicePath);
        report(1, 0);
        if (const uint32_t e = oryx_.removeFile(devicePath)) {
            log_.printf("error %d\n", static_cast<int>(e));
            return e;
        }
        log_.printf("done\n");
    }

    log_.printf("dwnl> Creating %s ... ", devicePath);
    oryx_handle handle = 0;
    if (const uint32_t e = oryx_.createFile(devicePath, 0, &handle)) {
        log_.printf("error %d\n", static_cast<int>(e));
        return e;
    }
    log_.printf("done\n");
    report(1, 0);

    // From here on a failure closes the device file before it returns: a
    // handle left open is dropped by the library's next start without its
    // entry and FAT being written, and the card is left with a file whose
    // cluster chain is broken (it can then be neither removed nor replaced).
    const auto failClosing = [&](uint32_t e) {
        (void)oryx_.closeFile(handle);
        return e;
    };

    log_.printf("dwnl> Extending %s to %d ... ", devicePath, static_cast<int>(size));
    if (const uint32_t e = oryx_.fileExtend(handle, size)) {
        log_.printf("error %d\n", static_cast<int>(e));
        return failClosing(e);
    }
    log_.printf("done\n");
    report(1, 0);

    uint32_t remaining = size;
    while (remaining != 0) {
        const uint32_t n = std::min(remaining, CHUNK);
        const bool readAhead = remaining == size;  // the first piece was read before the device was touched
        if (!readAhead && file.read(buffer.data(), n) < n) {
            // The host file ended early: what reached the card is kept as a
            // file of that length.
            log_.printf("dwnl> Error %d reading input file\n", static_cast<int>(SHORT_HOST_FILE));
            return failClosing(SHORT_HOST_FILE);
        }
        if (const uint32_t e = oryx_.writeFile(handle, buffer.data(), n)) {
            log_.printf("dwnl> Error %d writing output file\n", static_cast<int>(e));
            return failClosing(e);
        }
        remaining -= n;
        report(size, size - remaining);
    }

    log_.printf("\n");
    if (const uint32_t e = oryx_.closeFile(handle)) {
        log_.printf("dwnl> Error %d closing file\n", static_cast<int>(e));
        return e;
    }

    oryx_stat record{};
    if (const uint32_t e = oryx_.readStat(devicePath, &record)) {
        log_.printf("dwnl> Error %d getting stat\n", static_cast<int>(e));
        return e;
    }
    stampTime(record, status->modified);
    if (const uint32_t e = oryx_.writeStat(devicePath, &record)) {
        log_.printf("dwnl> Error %d setting stat\n", static_cast<int>(e));
        return e;
    }
    return 0;
}

}  // namespace kestrel::fwupdate
