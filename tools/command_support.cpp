// Helpers shared by the commands.
#include "tools/commands.h"

#include "tools/failure.h"

namespace kestrel::cli {

DevicePath devicePathArgument(const std::string& text) {
    std::string error;
    auto path = parseDevicePath(text, &error);
    if (!path) usageError("bad device path '" + text + "': " + error);
    return *path;
}

void checkFirstPath(const Arguments& args) {
    if (!args.positional().empty()) (void)devicePathArgument(args.positional()[0]);
}

void checkSecondPath(const Arguments& args) {
    if (args.positional().size() > 1) (void)devicePathArgument(args.positional()[1]);
}

void checkAllPaths(const Arguments& args) {
    for (const auto& text : args.positional()) (void)devicePathArgument(text);
}

void reportFailure(const CommandContext& context, const std::string& message) {
    std::fflush(context.out);
    std::fprintf(context.err, "kestrel %s: %s\n", context.name.c_str(), message.c_str());
}

}  // namespace kestrel::cli
