#include "shellext/device_paths.h"

namespace kestrel::shellext {

DevicePath childDevicePath(const DevicePath& parent, const std::string& relativePath) {
    DevicePath child;
    child.text = parent.text;
    if (!child.text.empty()) child.text += '/';
    child.text += relativePath;
    child.complete = parent.complete;
    if (child.text.size() > MAX_DEVICE_PATH) {
        child.text.resize(MAX_DEVICE_PATH);
        child.complete = false;
    }
    return child;
}

DevicePath fullDevicePath(const DevicePath& folder, bool hasItem, const std::string& itemPath) {
    DevicePath full;
    full.text = "/" + folder.text;
    if (hasItem) {
        if (full.text.back() != '/') full.text += '/';
        full.text += itemPath;
    }
    if (!full.text.empty() && full.text.back() == '/') full.text.pop_back();
    full.complete = folder.complete && full.text.size() <= MAX_DEVICE_PATH;
    return full;
}

}  // namespace kestrel::shellext
