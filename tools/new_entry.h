// Names for new device entries. The library looks entries up by short name
// only. A name that is an 8.3 name is created as it is (in capitals, as
// today); any other name an entry can carry is created under the short
// form the library makes of it (HOLIDA~1.JPG, its tail unique in the
// directory, as for the device's own file server), then given the name as
// its long name through mt_smSetLongName.
#pragma once

#include "tools/device_tree.h"

#include <set>
#include <string>

namespace kestrel::cli {

class NewEntry {
public:
    // `parent` is an existing directory. Fails with a usage error for names
    // that no new entry can be given: a name of 8.3 lengths that is not an
    // 8.3 name (the library would keep no long name and show it changed),
    // or one that ends in a dot or a space.
    NewEntry(DeviceTree& tree, const ResolvedPath& parent, const std::string& name);

    // The library path to create the entry with (mt_smCreateFile,
    // mt_smCreateDir).
    const std::string& createPath() const { return createPath_; }
    // After the creation: the library path that finds the entry (by its
    // short name). Fails when the new entry cannot be told apart.
    std::string locate();
    // Gives the entry at `locatedPath` its long name where it needs one
    // (the short name, and so the path, stay).
    void name(const std::string& locatedPath);
    const std::string& shownAs() const { return shownAs_; }

private:
    DeviceTree& tree_;
    std::string parentOryx_;
    std::string parentShown_;
    std::string name_;
    std::string shownAs_;
    bool longName_ = false;
    std::set<std::string> before_;  // the parent's short names before the creation
    std::string createPath_;
};

// A library path inside a directory's library path.
std::string oryxChild(const std::string& oryxDirectory, const std::string& name);

}  // namespace kestrel::cli
