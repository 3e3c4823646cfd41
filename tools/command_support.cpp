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

void checkPutArguments(const Arguments& args) {
    const auto& all = args.positional();
    if (args.flag("-r") && all.size() < 2) usageError("put -r needs the device directory to copy into");
    if (all.size() > 1) (void)devicePathArgument(all.back());
}

void checkGetArguments(const Arguments& args) {
    const auto& all = args.positional();
    if (args.flag("-r") && all.size() < 2) usageError("get -r needs the host folder to copy into");
    const bool many = args.flag("-r") || all.size() > 2;
    const size_t devicePaths = many ? all.size() - 1 : 1;
    for (size_t i = 0; i < devicePaths && i < all.size(); ++i) (void)devicePathArgument(all[i]);
}

void checkAllPaths(const Arguments& args) {
    for (const auto& text : args.positional()) (void)devicePathArgument(text);
}

void reportFailure(const CommandContext& context, const std::string& message) {
    std::fflush(context.out);
    std::fprintf(context.err, "kestrel %s: %s\n", context.name.c_str(), message.c_str());
}

}  // namespace kestrel::cli
