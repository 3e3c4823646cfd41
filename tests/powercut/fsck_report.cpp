#include "tests/powercut/fsck_report.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace kestrel::powercut {

namespace {

bool isNoise(const std::string& line) {
    static const std::regex noise(
        R"(^(fsck\.fat .*|Leaving filesystem unchanged\.|Checking .*|.*: \d+ files, \d+/\d+ clusters|\s*)$)");
    return std::regex_match(line, noise);
}

}  // namespace

FsckReport readFsckOutput(const std::string& output) {
    static const std::regex lost(R"(^Reclaimed (\d+) unused clusters? .*)");
    static const std::regex longChain(R"(.* /  File size is \d+ bytes, cluster chain length is > \d+ bytes\. /  Truncating file to \d+ bytes\.)");
    static const std::regex intactCopies(R"(FATs differ but appear to be intact\. /  Using first FAT\.)");
    // Complaints with their indented lines joined.
    std::vector<std::string> complaints;
    FsckReport report;
    std::istringstream lines(output);
    std::string line;
    bool continuing = false;  // indented lines belong to the complaint above them
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_match(line, match, lost)) {
            report.lostClusters += static_cast<uint32_t>(std::stoul(match[1].str()));
            continuing = false;
        } else if (isNoise(line)) {
            continuing = false;
        } else if (continuing && (line[0] == ' ' || line[0] == '\t')) {
            complaints.back() += " /" + line;
        } else {
            complaints.push_back(line);
            continuing = true;
        }
    }
    for (const auto& complaint : complaints) {
        if (std::regex_match(complaint, longChain)) ++report.longChains;
        else if (std::regex_match(complaint, intactCopies)) ++report.fatCopiesDiffer;
        else report.problems.push_back(complaint);
    }
    return report;
}

FsckReport runFsck(const std::string& image) {
    std::string output;
    FILE* pipe = popen(("fsck.fat -n '" + image + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) return {0, 0, 0, {"fsck.fat cannot be started"}};
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    const int status = pclose(pipe);
    // 0: clean, 1: errors found (read above); anything else: it did not run.
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return {0, 0, 0, {"fsck.fat failed: " + output}};
    return readFsckOutput(output);
}

}  // namespace kestrel::powercut
