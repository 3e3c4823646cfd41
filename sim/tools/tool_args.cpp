#include "sim/tools/tool_args.h"

#include "platform/process.h"

#include <filesystem>

namespace kestrel::sim::tools {

bool ToolArgs::parse(const std::vector<std::string>& words, const std::set<std::string>& valued,
                     const std::set<std::string>& flags, std::string& error) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
            positional_.push_back(word);
        } else if (flags.count(word)) {
            flags_.insert(word);
        } else if (valued.count(word)) {
            if (i + 1 == words.size()) {
                error = word + " needs a value";
                return false;
            }
            options_[word] = words[++i];
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

std::optional<std::string> ToolArgs::option(const std::string& name) const {
    const auto it = options_.find(name);
    if (it == options_.end()) return std::nullopt;
    return it->second;
}

bool wantsHelp(const std::vector<std::string>& words) {
    for (const auto& w : words)
        if (w == "--help" || w == "-h") return true;
    return false;
}

std::string programSibling(const std::string& name) {
    const std::string self = platform::currentExecutablePath();
    const auto slash = self.find_last_of("/\\");
    if (slash == std::string::npos) return name;
    return self.substr(0, slash + 1) + name;
}

std::string firmwareImage(const std::string& name) {
    const std::string beside = programSibling(name);
#ifdef KESTREL_INSTALLED_FIRMWARE_DIR
    std::error_code error;
    if (!std::filesystem::is_regular_file(beside, error)) {
        const std::string installed = programSibling("../" KESTREL_INSTALLED_FIRMWARE_DIR "/" + name);
        if (std::filesystem::is_regular_file(installed, error)) return installed;
    }
#endif
    return beside;
}

}  // namespace kestrel::sim::tools
