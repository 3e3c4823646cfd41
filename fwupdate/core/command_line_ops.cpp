// The work of the command words: a file written to the card, the boot
// EEPROM written, the card formatted. They report through the operation log
// only (their lines begin "dwnl>" and "fmt>"), and end by restarting the
// device in its main firmware.
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include <memory>

namespace kestrel::fwupdate {

namespace {

constexpr uint32_t NORMAL_FORMAT = 0;
constexpr uint32_t RESCUE_FORMAT = 1;

}  // namespace

uint32_t UpdateTool::CommandLineDownload(const std::string& hostPath) {
    const MainImage& l1 = MAIN_IMAGES[0];
    return CommandLineDownloadTo(hostPath, l1.devicePath, l1.what);
}

uint32_t UpdateTool::initFileSystem(const char* prefix) {
    log_.printf("\n%s> Initilalizing SM file system ... ", prefix);
    if (const uint32_t e = oryx_.init()) {
        log_.printf("Error %d, exiting\n", static_cast<int>(e));
        return e;
    }
    log_.printf("done\n");
    return 0;
}

uint32_t UpdateTool::CommandLineDownloadTo(const std::string& hostPath, const char* devicePath, const char* what) {
    lastCommandSucceeded_ = false;
    WaitCursorScope cursor(view_);
    if (const uint32_t e = initFileSystem("dwnl")) return e;

    bool written = false;
    if (std::unique_ptr<HostFile> file = openHostFile(hostPath)) {
        log_.printf("dwnl> Downloading %s from '%s'\n", what, hostPath.c_str());
        written = DownloadFile(*file, devicePath, nullptr) == 0;
    } else {
        log_.printf("dwnl> *** File '%s' not found\n", hostPath.c_str());
    }

    uint32_t count = 0;
    if (const uint32_t e = oryx_.getListNumDir(VOLUME_ROOT, &count)) {
        log_.printf("dwnl> Error %d smGetListNumDir\n", static_cast<int>(e));
        return e;
    }
    log_.printf("dwnl> Download complete \n");
    oryx_.close();
    log_.printf("done\n");
    lastCommandSucceeded_ = written;
    return 1;
}

uint32_t UpdateTool::CommandLineEeprom(const std::string& hostPath) {
    lastCommandSucceeded_ = false;
    UpdateScope scope(*this);
    WaitCursorScope cursor(view_);
    if (const uint32_t e = initFileSystem("dwnl")) return e;

    bool written = false;
    if (std::unique_ptr<HostFile> image = openHostFile(hostPath)) {
        log_.printf("dwnl> Downloading EEPROM code from '%s'\n", hostPath.c_str());
        written = WriteBootEeprom(*image) && VerifyBootEeprom(*image);
        if (!written) log_.printf("dwnl> *** Boot EEPROM not updated\n");
    } else {
        log_.printf("dwnl> *** File '%s' not found\n", hostPath.c_str());
    }
    log_.printf("dwnl> Download complete \n");
    oryx_.close();
    log_.printf("done\n");
    lastCommandSucceeded_ = written;
    return 1;
}

uint32_t UpdateTool::CommandLineFormat(bool rescue) {
    lastCommandSucceeded_ = false;
    WaitCursorScope cursor(view_);
    if (initFileSystem("fmt") == 0) {
        logLastPercent_ = -1;
        uint32_t count = 0;
        if (!rescue) {
            if (const uint32_t e = oryx_.getListNumDir(VOLUME_ROOT, &count)) {
                log_.printf("fmt> Error %d smGetListNumDir\n", static_cast<int>(e));
                return e;
            }
        }
        uint32_t badBlocks = 0;
        if (const uint32_t e = format(rescue ? RESCUE_FORMAT : NORMAL_FORMAT, &badBlocks, &UpdateTool::LogProgress)) {
            log_.printf("error %d\n", static_cast<int>(e));
        } else {
            log_.printf("done, %d bad blocks\n", static_cast<int>(badBlocks));
            lastCommandSucceeded_ = true;
        }
    }
    log_.printf("fmt> Format complete, restarting VXB ... ");
    oryx_.close();
    log_.printf("done\n");
    return 0;
}

}  // namespace kestrel::fwupdate
