// The update tool's work, written once for every front end: the update
// sequence behind "Update", the file download, the boot EEPROM update, the
// command-line download and format, the two progress callbacks and the
// operation log. It reaches the device only through the ORYX exports and the
// user only through an UpdateView.
#pragma once

#include "fwupdate/core/host_file.h"
#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/oryx_api.h"
#include "fwupdate/core/update_view.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrel::fwupdate {

// The operating system's platform identifier (2: the NT family), or nullopt
// when it cannot be read.
using PlatformIdSource = std::function<std::optional<uint32_t>()>;
inline constexpr uint32_t PLATFORM_NT = 2;

enum class UpdateOutcome {
    Succeeded,
    NothingSelected,  // neither check box set
    Declined,         // the confirmation was answered No
    FileMissing,      // an update file could not be opened or read, or is empty; nothing changed
    ImageTooLarge,    // the EEPROM image exceeds the chip; nothing changed
    Failed,           // the update started and ended early
};

// DownloadFile's result when the host file delivers fewer bytes than its
// size said (the library's "fewer bytes than requested").
inline constexpr uint32_t SHORT_HOST_FILE = ORYX_END;
// DownloadFile's result for a host file beyond what a 32-bit file size holds.
inline constexpr uint32_t HOST_FILE_TOO_LARGE = ORYX_DISK_FULL;

class UpdateTool {
public:
    using Progress = void (UpdateTool::*)(uint32_t total, uint32_t done);

    UpdateTool(UpdateView& view, OryxApi oryx, OperationLog& log, HostFileOpener openHostFile,
               PlatformIdSource platformId);
    UpdateTool(const UpdateTool&) = delete;
    UpdateTool& operator=(const UpdateTool&) = delete;

    // The "Update" button.
    UpdateOutcome RunUpdate();

    // Writes `file` (open at its start) to `devicePath`; 0 or the code of the
    // failing step.
    uint32_t DownloadFile(HostFile& file, const char* devicePath, Progress progress);

    // Command-line download of the L1 boot code: the library's code of
    // mt_smInit or of the directory check, or 1 once it reached its end.
    uint32_t CommandLineDownload(const std::string& hostPath);
    // The same course for any MAIN image or card file: `what` names it in
    // the log ("L2 code"), `devicePath` is where it goes.
    uint32_t CommandLineDownloadTo(const std::string& hostPath, const char* devicePath, const char* what);
    // Command-line update of the boot EEPROM from the image at `hostPath`.
    uint32_t CommandLineEeprom(const std::string& hostPath);
    // Command-line format; rescue: the full format. The code of the
    // directory check of a normal format, else 0.
    uint32_t CommandLineFormat(bool rescue);
    // Whether the last command-line routine did all it set out to do (the
    // result codes above leave the download's own failure out).
    bool lastCommandSucceeded() const { return lastCommandSucceeded_; }

    void DialogProgress(uint32_t total, uint32_t done);
    void LogProgress(uint32_t total, uint32_t done);
    void SetAction(const std::string& text);

    // The boot EEPROM update; false once it has failed and told the user.
    bool WriteBootEeprom(HostFile& image);
    bool VerifyBootEeprom(HostFile& image);

    bool updating() const { return updating_; }
    UpdateView& view() { return view_; }
    OperationLog& log() { return log_; }

private:
    friend class UpdateScope;

    bool isNt() const;
    // Initialises the card's file system with its "<prefix>> " log lines;
    // the library's error, 0 when done.
    uint32_t initFileSystem(const char* prefix);
    // Refuses an image the chip cannot hold; true when it fits.
    bool eepromImageFits(HostFile& image, const std::string& name);
    // Opens an update file of the working directory and checks that it can
    // be used (a plain file whose size is known and not 0); null after the
    // user was told which file and why not.
    std::unique_ptr<HostFile> openUpdateFile(const char* name);
    bool updateMain(bool nt);
    bool formatForUpdate(bool nt);
    void restartDevice();
    uint32_t format(uint32_t mode, uint32_t* badBlocks, Progress progress);

    UpdateView& view_;
    OryxApi oryx_;
    OperationLog& log_;
    HostFileOpener openHostFile_;
    PlatformIdSource platformId_;
    uint32_t updating_ = 0;
    int32_t dialogLastPercent_ = -1;
    int32_t logLastPercent_ = -1;
    bool lastCommandSucceeded_ = false;
};

// An update in progress: sets the flag and disables the controls; clearing
// the flag and enabling the controls again on every way out.
class UpdateScope {
public:
    explicit UpdateScope(UpdateTool& tool);
    ~UpdateScope();
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    UpdateTool& tool_;
};

}  // namespace kestrel::fwupdate
