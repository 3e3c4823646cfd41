// The work a power-cut sweep interrupts: file operations through the
// library's exported mt_sm* functions, each with what the card should hold
// once it has finished.
//
// A step names the paths it changes. When power fails during a step, those
// paths may be in their old state, their new one, or gone; every other path
// must be exactly as the steps before left it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestrel::powercut {

using Bytes = std::vector<uint8_t>;

// What the card should hold: files (full path, as given to the library) with
// their contents, and directories.
struct CardContents {
    std::map<std::string, Bytes> files;
    std::set<std::string> dirs;
};

struct Step {
    std::string name;
    std::vector<std::string> touches;
    // Runs the step: 0, or the first failing call's result. Updates
    // `contents` only when the whole step succeeded.
    std::function<uint32_t(CardContents&)> run;
};

// The files a card holds before the sweep's workload starts.
std::vector<Step> seedSteps();
// Create, write in several sizes, append, overwrite in place and by
// replacing, rename, long name, remove, make and remove directories.
std::vector<Step> workloadSteps();

// Reads a whole file through the exported functions: 0 or the failing
// call's result.
uint32_t readWholeFile(const std::string& path, Bytes* data);

// A deterministic pattern of `length` bytes for `seed`.
Bytes patternBytes(size_t length, uint32_t seed);

}  // namespace kestrel::powercut
