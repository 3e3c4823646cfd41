#include "sim/card_names.h"

#include "fatfs/fs_results.h"
#include "fatfs/path.h"
#include "platform/byte_order.h"

#include <vector>

namespace kestrel::sim {

namespace {

// One long-name entry holds 13 characters, at these byte offsets.
constexpr size_t ENTRY_CHARS = 13;
constexpr size_t CHAR_OFFSETS[ENTRY_CHARS] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr uint16_t FILLER = 0xFFFF;
constexpr uint8_t LAST_OF_ONE = 0x41;  // sequence 1, the last entry of its name

// The file system's rule for names whose long name it does not store:
// lengths that fit 8.3, case and characters not considered.
bool lengthsFitShortForm(std::string_view name) {
    const size_t n = name.size();
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return n >= 1 && n <= 8;
    const size_t extension = n - dot - 1;
    return n < 12 && extension <= 3 && n - extension - 1 <= 8;
}

std::vector<uint16_t> units(std::string_view text) {
    std::vector<uint16_t> out;
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    out.push_back(0);
    return out;
}

// The name written over the characters of the single long-name entry in
// front of the short entry of `cardPath`.
uint32_t rewriteLongEntry(fatfs::FileSystem& fs, const std::string& cardPath, std::string_view name) {
    fatfs::Directory& directory = fs.directory();
    uint32_t parent = 0;
    if (const uint32_t error = fatfs::resolvePath(directory, cardPath, fatfs::PathMode::Parent, &parent)) return error;
    fatfs::FoundEntry shortEntry;
    if (const uint32_t error = directory.findByName(parent, fatfs::finalComponent(cardPath), &shortEntry)) return error;
    fatfs::FoundEntry longEntry;
    if (const uint32_t error = directory.previous(shortEntry.position, &longEntry)) return error;
    if (!longEntry.entry.isLongName() || longEntry.entry.bytes[0] != LAST_OF_ONE) return fatfs::FS_LONG_NAME_INVALID;
    for (size_t c = 0; c < ENTRY_CHARS; ++c) {
        const uint16_t unit = c < name.size() ? static_cast<unsigned char>(name[c]) : c == name.size() ? 0 : FILLER;
        storeLe16(&longEntry.entry.bytes[CHAR_OFFSETS[c]], unit);
    }
    return directory.writeEntry(longEntry.position, longEntry.entry);
}

}  // namespace

uint32_t nameEntry(fatfs::FileSystem& fs, const std::string& cardPath, std::string_view name) {
    if (name == fatfs::finalComponent(cardPath)) return fatfs::FS_OK;
    if (!lengthsFitShortForm(name)) return fs.setLongName(cardPath, units(name).data());
    // The file system places a stand-in of one entry's length (13
    // characters never fit 8.3): it finds room, grows the directory if
    // need be and moves the short entry behind the run. The stand-in's
    // characters are then replaced by the name.
    std::string standIn(name);
    standIn.resize(ENTRY_CHARS, ' ');
    if (const uint32_t error = fs.setLongName(cardPath, units(standIn).data())) return error;
    return rewriteLongEntry(fs, cardPath, name);
}

}  // namespace kestrel::sim
