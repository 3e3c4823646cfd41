#include "fwupdate/console/console_args.h"

namespace kestrel::fwupdate::console {

const char* const HELP_TEXT =
    "usage: fwupdate COMMAND ...\n"
    "\n"
    "Brings firmware onto a Kestrel: the boot EEPROM image of its USB controller and\n"
    "the MAIN images on its card. The update files are taken from the current\n"
    "working directory: vxb_main.iic (boot EEPROM), L1_1.BIN, L2_1.MI and FPGA.BIR\n"
    "(MAIN). Every step is logged to log.txt in the current working directory.\n"
    "\n"
    "  update [--eeprom] [--main] [--yes]\n"
    "                         the update of the window program's \"Update\" button:\n"
    "                         asks for confirmation (--yes answers it), writes and\n"
    "                         verifies the boot EEPROM (--eeprom), formats the card\n"
    "                         and writes the three MAIN images (--main), and restarts\n"
    "                         the device. Without --eeprom and --main it updates what\n"
    "                         the files present allow.\n"
    "  download l1 FILE       write FILE to the card as the L1 boot code (L1_1.BIN)\n"
    "  download l2 FILE       write FILE to the card as the L2 code (L2_1.MI)\n"
    "  download fpga FILE     write FILE to the card as the FPGA bitstream (FPGA.BIR)\n"
    "  download anchor FILE   write FILE into the controller's boot EEPROM, verified\n"
    "  download remote FILE   write FILE to the card's root under its own 8.3 name\n"
    "  smartmedia format      format the card (its file system must be readable)\n"
    "  smartmedia rescueformat\n"
    "                         format the card completely, testing every block\n"
    "  --help                 this text\n"
    "\n"
    "The download and smartmedia commands restart the device when they end.\n"
    "Exit codes: 0 done, 1 failed (see the messages and log.txt), 2 bad command\n"
    "line, 3 nothing done (not confirmed, or no update files).\n"
    "KESTREL_SIM=tcp:HOST:PORT reaches a simulated Kestrel instead of the device.\n";

namespace {

ConsoleRequest invalid(std::string error) {
    ConsoleRequest request;
    request.error = std::move(error);
    return request;
}

ConsoleRequest parseUpdate(const std::vector<std::string>& arguments) {
    ConsoleRequest request;
    request.kind = ConsoleRequest::Kind::Update;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--eeprom") request.eeprom = true;
        else if (option == "--main") request.main = true;
        else if (option == "--yes" || option == "-y") request.yes = true;
        else return invalid("update: unknown option '" + option + "'");
    }
    return request;
}

ConsoleRequest parseCommandWords(const std::vector<std::string>& arguments) {
    CommandLineWords words;
    words.word2 = arguments[0];
    words.word3 = arguments.size() > 1 ? arguments[1] : "";
    ConsoleRequest request;
    request.kind = ConsoleRequest::Kind::Command;
    request.command = recogniseCommand(words);
    const bool download = words.word2 == "download";
    if (request.command == Command::None)
        return invalid(arguments[0] + ": unknown target '" + words.word3 + "'");
    if (download && arguments.size() != 3) return invalid("download " + words.word3 + ": give one FILE");
    if (!download && arguments.size() != 2) return invalid(arguments[0] + " " + words.word3 + ": no arguments");
    if (download) request.file = arguments[2];
    return request;
}

}  // namespace

ConsoleRequest parseConsoleArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return invalid("no command");
    const std::string& first = arguments[0];
    if (first == "--help" || first == "-h" || first == "help") {
        ConsoleRequest request;
        request.kind = ConsoleRequest::Kind::Help;
        return request;
    }
    if (first == "update") return parseUpdate(arguments);
    if (first == "download" || first == "smartmedia") return parseCommandWords(arguments);
    return invalid("unknown command '" + first + "'");
}

}  // namespace kestrel::fwupdate::console
