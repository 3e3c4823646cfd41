// The words of a command line after the command: options as the command
// declares them (flags, and options that take a value), and positional
// arguments. "--" ends the options.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrel::cli {

struct OptionSpec {
    std::string name;       // "-l", "--label"
    bool takesValue = false;
};

class Arguments {
public:
    // Fails with a usage error for an unknown option or a missing value.
    static Arguments parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& options);

    const std::vector<std::string>& positional() const { return positional_; }
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;

private:
    std::vector<std::string> positional_;
    std::set<std::string> flags_;
    std::map<std::string, std::string> values_;
};

}  // namespace kestrel::cli
