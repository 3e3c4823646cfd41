// The commands of the kestrel tool. Each runs inside an OryxSession (the
// device is started before and closed after it), reports failures by
// throwing Failure, and returns its exit code.
#pragma once

#include "tools/arguments.h"
#include "tools/device_path.h"
#include "tools/oryx_session.h"

#include <cstdio>
#include <string>

namespace kestrel::cli {

struct CommandContext {
    const Arguments& args;
    OryxSession& session;
    bool progress;     // draw progress bars on `err`
    std::FILE* out;    // results
    std::FILE* err;    // progress, warnings
    std::string name;  // the command's name, for messages
};

// A device path argument; a usage error when no entry could carry it.
DevicePath devicePathArgument(const std::string& text);
// The label of format in capitals; a usage error when labels cannot hold it.
std::string labelArgument(const std::string& text);
// Reports one failure of a command that goes on with its other arguments.
void reportFailure(const CommandContext& context, const std::string& message);

// Checks of a command line made before the device is started: usage errors
// show up without touching the device.
void checkFirstPath(const Arguments& args);
void checkSecondPath(const Arguments& args);
void checkAllPaths(const Arguments& args);
// put: the last argument of two or more; get: the first, or all but the last
// when there are more than two or with -r.
void checkPutArguments(const Arguments& args);
void checkGetArguments(const Arguments& args);
void checkFormatArguments(const Arguments& args);
void checkEepromArguments(const Arguments& args);

int runInfo(CommandContext& context);
int runLs(CommandContext& context);
int runGet(CommandContext& context);
int runPut(CommandContext& context);
int runRm(CommandContext& context);
int runMkdir(CommandContext& context);
int runRmdir(CommandContext& context);
int runMv(CommandContext& context);
int runFormat(CommandContext& context);
int runBackup(CommandContext& context);
int runRestore(CommandContext& context);
int runEeprom(CommandContext& context);

}  // namespace kestrel::cli
