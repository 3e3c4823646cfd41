// The kestrel program: global options, the command word, help, and the
// turning of failures into messages and exit codes.
#pragma once

#include <string>
#include <vector>

namespace kestrel::cli {

// `words` are the arguments after the program name. Returns the exit code.
int runTool(const std::vector<std::string>& words);

}  // namespace kestrel::cli
