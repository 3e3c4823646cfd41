// Command-line arguments of the simulator's programs: positional words and
// `--name value` options, parsed against the options a command accepts.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrel::sim::tools {

// Exit codes of the simulator's programs.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // the operation failed
inline constexpr int EXIT_USAGE = 2;   // bad command line

class ToolArgs {
public:
    // Parses `words`; `valued` options take the next word as their value,
    // `flags` take none. False with `error` for an unknown option or a
    // missing value.
    bool parse(const std::vector<std::string>& words, const std::set<std::string>& valued,
               const std::set<std::string>& flags, std::string& error);

    const std::vector<std::string>& positional() const { return positional_; }
    std::optional<std::string> option(const std::string& name) const;
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> options_;
    std::set<std::string> flags_;
};

// True when any word asks for help (--help, -h).
bool wantsHelp(const std::vector<std::string>& words);

// A file in the folder of the running program.
std::string programSibling(const std::string& name);

// A firmware image: beside the running program (a build tree), else where an
// installation keeps the library's images (KESTREL_INSTALLED_FIRMWARE_DIR,
// relative to the installation prefix, the program's folder being bin/);
// when neither exists, the one beside the program.
std::string firmwareImage(const std::string& name);

}  // namespace kestrel::sim::tools
