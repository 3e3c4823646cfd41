// RunUpdate: the sequence behind the "Update" button. The device goes from
// file-system mode (mt_smInit) through the boot EEPROM update and the MAIN
// update (rescue format, three files) to a restart in its main firmware
// (usbcClose).
#include "fwupdate/core/messages.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include "platform/clock.h"

#include <memory>
#include <optional>

namespace kestrel::fwupdate {

namespace {

constexpr uint32_t RESCUE_FORMAT = 1;
constexpr uint32_t RESTART_PAUSE_MS = 200;

}  // namespace

UpdateOutcome UpdateTool::RunUpdate() {
    const unsigned selection = (view_.isChecked(Choice::Eeprom) ? 1u : 0u) | (view_.isChecked(Choice::Main) ? 2u : 0u);
    if (selection == 0) {
        view_.showMessage(box::nothingSelected());
        return UpdateOutcome::NothingSelected;
    }
    if (view_.showMessage(box::confirmUpdate(selection)) != Answer::Yes) return UpdateOutcome::Declined;

    const bool eeprom = (selection & 1) != 0;
    const bool main = (selection & 2) != 0;
    std::unique_ptr<HostFile> image;
    if (eeprom) {
        image = openUpdateFile(EEPROM_IMAGE);
        if (!image) return UpdateOutcome::FileMissing;
        if (!eepromImageFits(*image, EEPROM_IMAGE)) return UpdateOutcome::ImageTooLarge;
    }
    // All three MAIN images are checked before anything is done: one missing
    // or empty after the format would leave the card without that code.
    if (main) {
        for (const auto& file : MAIN_IMAGES) {
            if (!openUpdateFile(file.hostFile)) return UpdateOutcome::FileMissing;
        }
    }

    UpdateScope scope(*this);
    view_.setActionText(text::INITIALIZING);
    if (oryx_.init() != 0) {
        view_.setActionText("");
        return UpdateOutcome::Failed;
    }
    const bool nt = isNt();
    if (nt) view_.showMessage(box::keepDeviceOn());

    if (eeprom) {
        if (!WriteBootEeprom(*image) || !VerifyBootEeprom(*image)) return UpdateOutcome::Failed;
        image.reset();
    }
    if (main && !updateMain(nt)) return UpdateOutcome::Failed;
    restartDevice();
    return UpdateOutcome::Succeeded;
}

std::unique_ptr<HostFile> UpdateTool::openUpdateFile(const char* name) {
    std::unique_ptr<HostFile> file = openHostFile_(name);
    const std::optional<HostFileStatus> status = file ? file->status() : std::nullopt;
    if (!status || !status->regular) {
        view_.showMessage(box::unableToOpen(name));
        return nullptr;
    }
    if (status->size == 0) {
        view_.showMessage(box::emptyUpdateFile(name));
        return nullptr;
    }
    return file;
}

bool UpdateTool::formatForUpdate(bool nt) {
    view_.pumpMessages();
    SetAction(text::FORMATTING);
    WaitCursorScope cursor(view_);
    dialogLastPercent_ = -1;
    uint32_t badBlocks = 0;
    if (format(RESCUE_FORMAT, &badBlocks, &UpdateTool::DialogProgress) != 0) {
        cursor.restore();
        view_.showMessage(box::unableToFormat());
        return false;
    }
    view_.setPercentText(text::FULL_PERCENT);
    if (nt) oryx_.close();
    view_.setPercentText("");
    cursor.restore();
    view_.setActionText(text::INITIALIZING);
    return !nt || oryx_.init() == 0;
}

bool UpdateTool::updateMain(bool nt) {
    if (!formatForUpdate(nt)) return false;
    for (const auto& file : MAIN_IMAGES) {
        SetAction(file.action);
        std::unique_ptr<HostFile> host = openHostFile_(file.hostFile);
        if (!host) {
            view_.showMessage(box::unableToOpen(file.hostFile));
            return false;
        }
        if (const uint32_t e = DownloadFile(*host, file.devicePath, &UpdateTool::DialogProgress)) {
            view_.showMessage(box::downloadFailed(file.hostFile, e));
            return false;
        }
    }
    return true;
}

void UpdateTool::restartDevice() {
    view_.pumpMessages();
    SetAction(text::RESTARTING);
    oryx_.close();
    view_.setProgress(100);
    view_.setActionText("");
    view_.setPercentText(text::FULL_PERCENT);
    platform::sleepMs(RESTART_PAUSE_MS);
    SetAction(text::SUCCESS);
}

}  // namespace kestrel::fwupdate
