#include "fwupdate/core/progress_route.h"

#include "fwupdate/core/update_tool.h"

namespace kestrel::fwupdate {

namespace {

// The tool the callbacks report to; set only around a library call on the
// tool's own thread.
UpdateTool*& routedTool() {
    static UpdateTool* tool = nullptr;
    return tool;
}

}  // namespace

ProgressRoute::ProgressRoute(UpdateTool& tool) : previous_(routedTool()) { routedTool() = &tool; }

ProgressRoute::~ProgressRoute() { routedTool() = previous_; }

uint32_t ORYX_CALL routedDialogProgress(uint32_t total, uint32_t done) {
    if (UpdateTool* tool = routedTool()) tool->DialogProgress(total, done);
    return 0;
}

uint32_t ORYX_CALL routedLogProgress(uint32_t total, uint32_t done) {
    if (UpdateTool* tool = routedTool()) tool->LogProgress(total, done);
    return 0;
}

}  // namespace kestrel::fwupdate
