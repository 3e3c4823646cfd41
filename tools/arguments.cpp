#include "tools/arguments.h"

#include "tools/failure.h"

#include <algorithm>

namespace kestrel::cli {

namespace {

// "-" alone (standard input or output, by convention) is not an option.
bool looksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

}  // namespace

Arguments Arguments::parse(const std::vector<std::string>& words, const std::vector<OptionSpec>& options) {
    Arguments args;
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || !looksLikeOption(word)) {
            args.positional_.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value is the same as --name value.
        const size_t equals = word.find('=');
        const std::string name = word.rfind("--", 0) == 0 ? word.substr(0, equals) : word;
        const auto option = std::find_if(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == name; });
        if (option == options.end()) usageError("unknown option " + name);
        if (!option->takesValue) {
            if (name != word) usageError("option " + name + " takes no value");
            args.flags_.insert(name);
        } else if (name != word) {
            args.values_[name] = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            args.values_[name] = words[++i];
        } else {
            usageError("option " + name + " needs a value");
        }
    }
    return args;
}

std::optional<std::string> Arguments::value(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

}  // namespace kestrel::cli
