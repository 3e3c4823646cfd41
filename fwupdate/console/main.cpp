// fwupdate, the console front end: the update of the window program and its
// command words, over the same update core.
#include "fwupdate/console/console_args.h"
#include "fwupdate/console/console_view.h"
#include "platform/terminal.h"
#include "fwupdate/core/host_file.h"
#include "fwupdate/core/messages.h"
#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/platform_id.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kestrel::fwupdate;
using namespace kestrel::fwupdate::console;

int exitCode(UpdateOutcome outcome) {
    switch (outcome) {
    case UpdateOutcome::Succeeded: return EXIT_DONE;
    case UpdateOutcome::NothingSelected:
    case UpdateOutcome::Declined: return EXIT_NOT_DONE;
    case UpdateOutcome::FileMissing:
    case UpdateOutcome::ImageTooLarge:
    case UpdateOutcome::Failed: break;
    }
    return EXIT_FAILED;
}

int runUpdate(const ConsoleRequest& request) {
    OperationLog log(LOG_FILE, nullptr);
    ConsoleView view(stdout, stderr, stdin, request.yes, kestrel::platform::standardOutputIsTerminal());
    UpdateTool tool(view, exportedOryx(), log, hostFilesIn(""), systemPlatformId());
    if (request.eeprom || request.main) {
        view.select(request.eeprom, request.main);
    } else {
        // As the window program starts: what the files present allow.
        const UpdateFiles files = findUpdateFiles(hostFilesIn(""));
        if (files.noneAvailable()) {
            view.showMessage(box::updateFilesMissing());
            return EXIT_NOT_DONE;
        }
        view.select(files.eeprom, files.main);
    }
    const UpdateOutcome outcome = tool.RunUpdate();
    view.finishLine();
    return exitCode(outcome);
}

bool isDownload(Command command) { return command != Command::FormatNormal && command != Command::FormatRescue; }

int runCommandWords(const ConsoleRequest& request) {
    if (isDownload(request.command) && !openHostFile(request.file)) {
        std::fprintf(stderr, "fwupdate: cannot open '%s'\n", request.file.c_str());
        return EXIT_FAILED;
    }
    // The command words report through the log, which is echoed here.
    OperationLog log(LOG_FILE, stdout);
    ConsoleView view(stdout, stderr, stdin, false, kestrel::platform::standardOutputIsTerminal());
    UpdateTool tool(view, exportedOryx(), log, hostFilesIn(""), systemPlatformId());
    const bool done = runCommand(tool, request.command, request.file);
    view.finishLine();
    std::fputc('\n', stdout);
    return done ? EXIT_DONE : EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ConsoleRequest request = parseConsoleArguments(arguments);
    switch (request.kind) {
    case ConsoleRequest::Kind::Help: std::fputs(HELP_TEXT, stdout); return EXIT_DONE;
    case ConsoleRequest::Kind::Update: return runUpdate(request);
    case ConsoleRequest::Kind::Command: return runCommandWords(request);
    case ConsoleRequest::Kind::Invalid: break;
    }
    std::fprintf(stderr, "fwupdate: %s (try fwupdate --help)\n", request.error.c_str());
    return EXIT_USAGE;
}
