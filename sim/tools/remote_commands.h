// kestrel-sim commands that talk to a served device: demo (the product's
// road to the card, step by step) and command (simulator commands such as
// unplug). Each returns the program's exit code.
#pragma once

#include "sim/tools/tool_args.h"

namespace kestrel::sim::tools {

int demoCommand(const ToolArgs& args);
int simCommand(const ToolArgs& args);

}  // namespace kestrel::sim::tools
