// kestrel remote: the device's files through its own file server (filex),
// while it runs its main firmware; no firmware is switched. The commands
// report failures by throwing Failure and return their exit codes, like
// the others.
#pragma once

#include "tools/arguments.h"
#include "tools/remote_device.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace kestrel::cli {

struct RemoteContext {
    const Arguments& args;
    RemoteDevice& device;
    bool progress;     // draw progress bars on `err`
    std::FILE* out;    // results
    std::FILE* err;    // progress, warnings
    std::string name;  // "remote ls", for messages
};

struct RemoteCommandSpec {
    const char* name;      // "ls"
    const char* synopsis;  // "remote ls [-l] [PATH]"
    const char* summary;
    const char* details;
    std::vector<OptionSpec> options;
    size_t minArguments;
    size_t maxArguments;
    int (*run)(RemoteContext&);
    void (*check)(const Arguments&);  // usage checks before the device is reached; may be null
};

const std::vector<RemoteCommandSpec>& remoteCommandTable();
const RemoteCommandSpec* findRemoteCommand(const std::string& name);

// The help of `kestrel remote`, and of one remote command.
std::string remoteOverviewHelp();
std::string remoteCommandHelp(const RemoteCommandSpec& command);

int runRemoteLs(RemoteContext& context);
int runRemoteGet(RemoteContext& context);
int runRemotePut(RemoteContext& context);
int runRemoteRm(RemoteContext& context);
int runRemoteMkdir(RemoteContext& context);
int runRemoteRmdir(RemoteContext& context);

// Reports one failure of a command that goes on with its other arguments.
void reportRemoteFailure(const RemoteContext& context, const std::string& message);

}  // namespace kestrel::cli
