// The console front end's command line.
#pragma once

#include "fwupdate/core/command_line.h"

#include <string>
#include <vector>

namespace kestrel::fwupdate::console {

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_FAILED = 1,       // the update or command failed
    EXIT_USAGE = 2,        // bad command line
    EXIT_NOT_DONE = 3,     // not confirmed, or nothing to update
};

struct ConsoleRequest {
    enum class Kind { Help, Update, Command, Invalid } kind = Kind::Invalid;
    // update
    bool eeprom = false;
    bool main = false;
    bool yes = false;
    // download / smartmedia
    Command command = Command::None;
    std::string file;
    // Invalid
    std::string error;
};

ConsoleRequest parseConsoleArguments(const std::vector<std::string>& arguments);

extern const char* const HELP_TEXT;

}  // namespace kestrel::fwupdate::console
