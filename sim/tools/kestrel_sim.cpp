// kestrel-sim: makes and inspects simulated Kestrel devices, and talks to a
// served one.
#include "sim/tools/folder_commands.h"
#include "sim/tools/remote_commands.h"
#include "sim/tools/tool_args.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kestrel::sim::tools;

constexpr const char* HELP =
    "usage: kestrel-sim COMMAND ...\n"
    "\n"
    "Device folders:\n"
    "  create DIR --size 1M|2M|4M|8M|16M|32M|64M|128M [--maker 0xEC|0x98] [--bad B1,B2,...]\n"
    "         [--reenumerate-ms MS]\n"
    "                     make a fresh device: blank card (the listed blocks factory-bad),\n"
    "                     blank boot EEPROM, device.conf (faults are set there)\n"
    "  info DIR           card, geometry, marked blocks, faults, last firmware\n"
    "  stats DIR          counters and modelled device time saved by kestrel-simd\n"
    "  page DIR PAGE      hex dump of one page (data and spare) from nand.bin\n"
    "\n"
    "Served devices (see kestrel-simd):\n"
    "  demo ENDPOINT [--firmware FILE]\n"
    "                     load the file-system firmware (vxb_ffs.bix beside this program,\n"
    "                     or the installed library's), read the ID, erase, program and\n"
    "                     read back a page, print the device work and modelled time\n"
    "  command ENDPOINT WORDS...\n"
    "                     send a simulator command: unplug, replug, reset, stall N,\n"
    "                     power-cut N [SEED], flip PAGE BYTE BIT, fail-program BLOCK,\n"
    "                     fail-erase BLOCK, bad BLOCK, reenumerate-ms MS, stats, faults\n"
    "                     (power-cut: power fails during the Nth page program or block\n"
    "                     erase from now; that operation is left half done, chosen by N\n"
    "                     and SEED, and the device stays off the bus until replug or\n"
    "                     reset; device.conf keys power_cut and power_cut_seed arm the\n"
    "                     same from power-on)\n"
    "\n"
    "ENDPOINT is tcp:HOST:PORT or unix:PATH. Exit codes: 0 done, 1 failed, 2 bad command line.\n";

struct Command {
    const char* name;
    int (*run)(const ToolArgs&);
    std::set<std::string> options;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "help" || words[0] == "--help" || words[0] == "-h") {
        std::fputs(HELP, words.empty() ? stderr : stdout);
        return words.empty() ? EXIT_USAGE : EXIT_OK;
    }
    const Command commands[] = {
        {"create", createCommand, {"--size", "--maker", "--bad", "--reenumerate-ms"}},
        {"info", infoCommand, {}},
        {"stats", statsCommand, {}},
        {"page", pageCommand, {}},
        {"demo", demoCommand, {"--firmware"}},
        {"command", simCommand, {}},
    };
    for (const auto& command : commands) {
        if (words[0] != command.name) continue;
        const std::vector<std::string> rest(words.begin() + 1, words.end());
        if (wantsHelp(rest)) {
            std::fputs(HELP, stdout);
            return EXIT_OK;
        }
        ToolArgs args;
        std::string error;
        if (!args.parse(rest, command.options, {}, error)) {
            std::fprintf(stderr, "kestrel-sim %s: %s\n", command.name, error.c_str());
            return EXIT_USAGE;
        }
        return command.run(args);
    }
    std::fprintf(stderr, "kestrel-sim: unknown command '%s' (try kestrel-sim --help)\n", words[0].c_str());
    return EXIT_USAGE;
}
