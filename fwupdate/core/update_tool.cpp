// The tool's state, its progress callbacks and the action line.
#include "fwupdate/core/update_tool.h"

#include "fwupdate/core/progress_route.h"
#include "fwupdate/core/text_format.h"
#include "fwupdate/core/update_files.h"

namespace kestrel::fwupdate {

namespace {

// done x 100 / total. 64-bit, so that files beyond 42 MB (where the product
// no longer fits 32 bits) still show their true percentage.
uint32_t percentOf(uint32_t total, uint32_t done) {
    return static_cast<uint32_t>(uint64_t{done} * 100 / total);
}

}  // namespace

UpdateTool::UpdateTool(UpdateView& view, OryxApi oryx, OperationLog& log, HostFileOpener openHostFile,
                       PlatformIdSource platformId)
    : view_(view),
      oryx_(std::move(oryx)),
      log_(log),
      openHostFile_(std::move(openHostFile)),
      platformId_(std::move(platformId)) {}

bool UpdateTool::isNt() const {
    const std::optional<uint32_t> id = platformId_ ? platformId_() : std::nullopt;
    return id && *id == PLATFORM_NT;
}

void UpdateTool::DialogProgress(uint32_t total, uint32_t done) {
    if (total != 0) {
        const uint32_t percent = percentOf(total, done);
        if (static_cast<int32_t>(percent) != dialogLastPercent_) {
            dialogLastPercent_ = static_cast<int32_t>(percent);
            view_.setProgress(percent);
            view_.setPercentText(percentText(percent));
        }
    }
    view_.pumpMessages();
}

void UpdateTool::LogProgress(uint32_t total, uint32_t done) {
    if (total == 0) return;
    const uint32_t percent = percentOf(total, done);
    if (static_cast<int32_t>(percent) == logLastPercent_) return;
    logLastPercent_ = static_cast<int32_t>(percent);
    log_.printf("%d%%\r", static_cast<int>(percent));
}

void UpdateTool::SetAction(const std::string& text) {
    view_.setActionText(text);
    view_.setProgress(0);
    view_.setPercentText("");
}

uint32_t UpdateTool::format(uint32_t mode, uint32_t* badBlocks, Progress progress) {
    ProgressRoute route(*this);
    const oryx_progress callback = progress == &UpdateTool::LogProgress ? routedLogProgress : routedDialogProgress;
    return oryx_.formatVol(VOLUME_ROOT, "", mode, badBlocks, callback);
}

UpdateScope::UpdateScope(UpdateTool& tool) : tool_(tool) {
    tool_.updating_ = 1;
    tool_.view_.disableControls();
}

UpdateScope::~UpdateScope() {
    tool_.updating_ = 0;
    tool_.view_.enableControls();
}

}  // namespace kestrel::fwupdate
