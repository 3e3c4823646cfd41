#include "tools/device_tree.h"

#include "tools/failure.h"
#include "tools/oryx_result.h"

#include <cstring>

namespace kestrel::cli {

namespace {

std::string shortNameText(const char (&text)[16]) { return std::string(text, strnlen(text, sizeof text)); }

bool isDotEntry(const std::string& name) { return name == "." || name == ".."; }

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

constexpr uint32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr size_t LONG_NAME_UNITS = sizeof(oryx_dir_record::longName) / sizeof(uint16_t);

}  // namespace

bool DeviceEntry::answersTo(const std::string& component) const {
    return equalsIgnoringCase(component, shortName) || (!longName.empty() && equalsIgnoringCase(component, longName));
}

std::string ResolvedPath::oryxPath() const {
    if (!isRoot() && shortNames.size() < path.components().size()) {
        usageError("cannot create '" + path.text() + "': new names on the device must be 8.3 names (up to 8 "
                   "characters, optionally a dot and up to 3 more, e.g. SONG.MP3)");
    }
    const auto oryx = oryxPathOf(shortNames);
    if (!oryx) usageError("'" + path.text() + "' is too long for the device");
    return *oryx;
}

std::vector<DeviceEntry> DeviceTree::list(const std::string& oryxDirectory, const std::string& shownAs) {
    uint32_t count = 0;
    checkOryx(mt_smGetListNumDir(oryxDirectory.c_str(), &count), "cannot list " + shownAs);
    std::vector<oryx_dir_record> records(count);
    uint32_t delivered = 0;
    if (count != 0) {
        // The count includes entries behind an end marker, which the reading
        // never reaches: fewer records (19) is not a failure.
        const uint32_t result = mt_smReadDirEx(oryxDirectory.c_str(), 0, count, records.data(), &delivered);
        if (result != ORYX_END) checkOryx(result, "cannot list " + shownAs);
    }
    std::vector<DeviceEntry> entries;
    for (uint32_t i = 0; i < delivered && i < count; ++i) {
        DeviceEntry entry;
        entry.shortName = shortNameText(records[i].shortName);
        // Copied out: the packed record may place the name unaligned.
        uint16_t units[LONG_NAME_UNITS];
        std::memcpy(units, records[i].longName, sizeof units);
        for (size_t k = 0; k < LONG_NAME_UNITS && units[k] != 0; ++k) entry.longNameUnits += static_cast<char16_t>(units[k]);
        entry.longName = utf8FromUtf16(units, LONG_NAME_UNITS);
        entry.stat = records[i].stat;
        const bool label = (entry.stat.attributes & ATTRIBUTE_VOLUME_LABEL) != 0 && !entry.isDirectory();
        if (isDotEntry(entry.shortName) || label) continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

ResolvedPath DeviceTree::resolve(const DevicePath& path) {
    ResolvedPath resolved{path, {}, std::nullopt};
    const auto& components = path.components();
    for (size_t i = 0; i < components.size(); ++i) {
        const DevicePath here(std::vector<std::string>(components.begin(), components.begin() + static_cast<std::ptrdiff_t>(i)));
        const auto directory = oryxPathOf(resolved.shortNames);
        if (!directory) usageError("'" + path.text() + "' is too long for the device");
        std::optional<DeviceEntry> found;
        for (auto& entry : list(*directory, here.text())) {
            if (entry.answersTo(components[i])) {
                found = std::move(entry);
                break;
            }
        }
        const bool last = i + 1 == components.size();
        if (!found) {
            if (!last) fail("no such directory: " + here.child(components[i]).text());
            if (isShortName(components[i])) resolved.shortNames.push_back(upperAscii(components[i]));
            return resolved;
        }
        if (!last && !found->isDirectory()) fail("not a directory: " + here.child(components[i]).text());
        resolved.shortNames.push_back(found->shortName);
        if (last) resolved.entry = std::move(found);
    }
    return resolved;
}

ResolvedPath DeviceTree::resolveExisting(const DevicePath& path) {
    ResolvedPath resolved = resolve(path);
    if (!resolved.exists()) fail("no such file or directory: " + path.text());
    return resolved;
}

std::string utf8FromUtf16(const uint16_t* units, size_t capacity) {
    std::string out;
    for (size_t i = 0; i < capacity && units[i] != 0; ++i) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < capacity && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = REPLACEMENT_CHARACTER;
        }
        appendUtf8(out, code);
    }
    return out;
}

}  // namespace kestrel::cli
