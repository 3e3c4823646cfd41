// kestrel-sim commands that work on a device folder: create, info, stats,
// page. Each returns the program's exit code.
#pragma once

#include "sim/tools/tool_args.h"

namespace kestrel::sim::tools {

int createCommand(const ToolArgs& args);
int infoCommand(const ToolArgs& args);
int statsCommand(const ToolArgs& args);
int pageCommand(const ToolArgs& args);

}  // namespace kestrel::sim::tools
