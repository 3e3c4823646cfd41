#include "fwupdate/core/command_line.h"

#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

namespace kestrel::fwupdate {

namespace {

constexpr char SPACE = ' ';

// The word at `at` (cut to MAX_PART), then `at` moved past it and the spaces
// after it.
std::string takeWord(std::string_view line, size_t& at) {
    size_t end = line.find(SPACE, at);
    if (end == std::string_view::npos) end = line.size();
    std::string word(line.substr(at, std::min(end - at, MAX_PART)));
    at = line.find_first_not_of(SPACE, end);
    if (at == std::string_view::npos) at = line.size();
    return word;
}

const MainImage& image(size_t index) { return MAIN_IMAGES[index]; }

}  // namespace

CommandLineWords splitCommandLine(std::string_view line) {
    CommandLineWords words;
    size_t at = 0;
    words.word1 = takeWord(line, at);
    words.word2 = takeWord(line, at);
    words.word3 = takeWord(line, at);
    words.rest = std::string(line.substr(at, MAX_PART));
    return words;
}

Command recogniseCommand(const CommandLineWords& words) {
    if (words.word2 == "download") {
        if (words.word3 == "l1") return Command::DownloadL1;
        if (words.word3 == "l2") return Command::DownloadL2;
        if (words.word3 == "fpga") return Command::DownloadFpga;
        if (words.word3 == "anchor") return Command::DownloadAnchor;
        if (words.word3 == "remote") return Command::DownloadRemote;
    } else if (words.word2 == "smartmedia") {
        if (words.word3 == "format") return Command::FormatNormal;
        if (words.word3 == "rescueformat") return Command::FormatRescue;
    }
    return Command::None;
}

std::string remoteDevicePath(const std::string& hostPath) {
    const size_t slash = hostPath.find_last_of("/\\:");
    return std::string(VOLUME_ROOT) + (slash == std::string::npos ? hostPath : hostPath.substr(slash + 1));
}

bool runCommand(UpdateTool& tool, Command command, const std::string& argument) {
    switch (command) {
    case Command::None: return true;
    case Command::DownloadL1: tool.CommandLineDownload(argument); break;
    case Command::DownloadL2: tool.CommandLineDownloadTo(argument, image(1).devicePath, image(1).what); break;
    case Command::DownloadFpga: tool.CommandLineDownloadTo(argument, image(2).devicePath, image(2).what); break;
    case Command::DownloadAnchor: tool.CommandLineEeprom(argument); break;
    case Command::DownloadRemote: {
        const std::string path = remoteDevicePath(argument);
        tool.CommandLineDownloadTo(argument, path.c_str(), path.c_str() + std::char_traits<char>::length(VOLUME_ROOT));
        break;
    }
    case Command::FormatNormal: tool.CommandLineFormat(false); break;
    case Command::FormatRescue: tool.CommandLineFormat(true); break;
    }
    return tool.lastCommandSucceeded();
}

int ParseCommandLine(UpdateTool& tool, std::string_view line) {
    const CommandLineWords words = splitCommandLine(line);
    runCommand(tool, recogniseCommand(words), words.rest);
    return words.word1 == "C" ? MODE_END : MODE_DIALOG;
}

}  // namespace kestrel::fwupdate
