#include "tools/new_entry.h"

#include "oryx/oryx.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"

#include <vector>

namespace kestrel::cli {

namespace {

// The library's rule for a long name it does not store: lengths that fit
// 8.3, case and characters not considered.
bool lengthsFitShortForm(const std::string& name) {
    const size_t n = name.size();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return n >= 1 && n <= 8;
    const size_t extension = n - dot - 1;
    return n < 12 && extension <= 3 && n - extension - 1 <= 8;
}

std::set<std::string> shortNamesOf(const std::vector<DeviceEntry>& entries) {
    std::set<std::string> names;
    for (const auto& entry : entries) names.insert(upperAscii(entry.shortName));
    return names;
}

}  // namespace

std::string oryxChild(const std::string& oryxDirectory, const std::string& name) {
    return oryxDirectory + (oryxDirectory.empty() || oryxDirectory.back() == '\\' ? "" : "\\") + name;
}

NewEntry::NewEntry(DeviceTree& tree, const ResolvedPath& parent, const std::string& name)
    : tree_(tree), parentOryx_(parent.oryxPath()), parentShown_(parent.path.text()), name_(name),
      shownAs_(parent.path.child(name).text()) {
    if (isShortName(name)) {
        createPath_ = oryxChild(parentOryx_, upperAscii(name));
    } else {
        if (name.back() == '.' || name.back() == ' ') {
            usageError("cannot create '" + shownAs_ + "': a new name cannot end in a dot or a space");
        }
        if (lengthsFitShortForm(name)) {
            usageError("cannot create '" + shownAs_ + "': a new name of up to 8 characters (and up to 3 after a dot) "
                       "must be an 8.3 name of letters, digits and ! # $ % & ' ( ) - @ ^ _ ` { } ~");
        }
        longName_ = true;
        createPath_ = oryxChild(parentOryx_, name);
        before_ = shortNamesOf(tree_.list(parentOryx_, parentShown_));
    }
    if (createPath_.size() > ORYX_PATH_MAX) usageError("'" + shownAs_ + "' is too long for the device");
}

std::string NewEntry::locate() {
    if (!longName_) return createPath_;
    std::string found;
    for (const auto& entry : tree_.list(parentOryx_, parentShown_)) {
        if (before_.count(upperAscii(entry.shortName)) != 0) continue;
        if (!found.empty()) fail("cannot tell the new entry " + shownAs_ + " apart in " + parentShown_);
        found = entry.shortName;
    }
    if (found.empty()) fail("the new entry " + shownAs_ + " is not in " + parentShown_);
    return oryxChild(parentOryx_, found);
}

void NewEntry::name(const std::string& locatedPath) {
    if (!longName_) return;
    std::vector<uint16_t> units(name_.begin(), name_.end());
    units.push_back(0);
    checkOryx(mt_smSetLongName(locatedPath.c_str(), units.data()), "cannot give " + shownAs_ + " its long name");
}

}  // namespace kestrel::cli
