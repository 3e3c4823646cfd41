// The program's command line: word 1, word 2, word 3 and the rest, the
// command words 2 and 3 name, and the mode word 1 chooses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel::fwupdate {

class UpdateTool;

struct CommandLineWords {
    std::string word1;
    std::string word2;
    std::string word3;
    std::string rest;  // everything after the spaces behind word 3, spaces included
};

// Each of the four parts holds at most this many characters; a longer word
// or rest is cut there (the rest of an over-long word is skipped, it never
// spills into the next part).
inline constexpr size_t MAX_PART = 1023;

// Words end at a space (0x20) or the end of the line; the spaces after a
// word are skipped. A line that begins with a space has an empty word 1.
CommandLineWords splitCommandLine(std::string_view line);

enum class Command {
    None,
    DownloadL1,      // download l1 FILE
    DownloadL2,      // download l2 FILE
    DownloadFpga,    // download fpga FILE
    DownloadAnchor,  // download anchor FILE: the controller's boot EEPROM
    DownloadRemote,  // download remote FILE: any file, to the card's root
    FormatNormal,    // smartmedia format
    FormatRescue,    // smartmedia rescueformat
};

// Words 2 and 3, compared exactly (case included).
Command recogniseCommand(const CommandLineWords& words);

// The command's device path for a remote download of `hostPath`: the file's
// own name in the card's root.
std::string remoteDevicePath(const std::string& hostPath);

// Carries out `command` with `argument` (the file of a download); false when
// it did not do all it set out to do.
bool runCommand(UpdateTool& tool, Command command, const std::string& argument);

inline constexpr int MODE_END = 0;      // end without running the dialog
inline constexpr int MODE_DIALOG = 100; // run the dialog

// Splits the line, carries out the command it names, and returns the mode:
// MODE_END when word 1 is exactly "C", else MODE_DIALOG.
int ParseCommandLine(UpdateTool& tool, std::string_view line);

}  // namespace kestrel::fwupdate
