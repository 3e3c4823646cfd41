// The format's progress reaches the tool through a plain C function (the
// library's callback takes no context): while a ProgressRoute lives, the two
// functions below call the tool's DialogProgress or LogProgress.
#pragma once

#include "oryx/oryx.h"

namespace kestrel::fwupdate {

class UpdateTool;

class ProgressRoute {
public:
    explicit ProgressRoute(UpdateTool& tool);
    ~ProgressRoute();
    ProgressRoute(const ProgressRoute&) = delete;
    ProgressRoute& operator=(const ProgressRoute&) = delete;

private:
    UpdateTool* previous_;
};

uint32_t ORYX_CALL routedDialogProgress(uint32_t total, uint32_t done);
uint32_t ORYX_CALL routedLogProgress(uint32_t total, uint32_t done);

}  // namespace kestrel::fwupdate
