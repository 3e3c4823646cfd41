// The commands the tool knows: names, options, argument counts, help texts
// and the functions that run them.
#pragma once

#include "tools/arguments.h"
#include "tools/commands.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrel::cli {

inline constexpr size_t ANY_NUMBER = static_cast<size_t>(-1);

struct CommandSpec {
    const char* name;
    const char* synopsis;  // "ls [-l] [PATH]"
    const char* summary;   // one line for the overview
    const char* details;   // the rest of `kestrel help NAME`
    std::vector<OptionSpec> options;
    size_t minArguments;
    size_t maxArguments;
    int (*run)(CommandContext&);
    void (*check)(const Arguments&);  // usage checks before the device starts; may be null
};

const std::vector<CommandSpec>& commandTable();
const CommandSpec* findCommand(const std::string& name);

// The overview (kestrel --help) and the help of one command.
std::string overviewHelp();
std::string commandHelp(const CommandSpec& command);

}  // namespace kestrel::cli
