#include "fatfs/dir_entry.h"

#include "platform/byte_order.h"

#include <algorithm>

namespace kestrel::fatfs {

ShortName DirEntry::name() const {
    ShortName name;
    std::copy_n(bytes.begin(), name.size(), name.begin());
    return name;
}

void DirEntry::setName(const ShortName& name) { std::copy(name.begin(), name.end(), bytes.begin()); }
uint16_t DirEntry::time() const { return loadLe16(&bytes[22]); }
uint16_t DirEntry::date() const { return loadLe16(&bytes[24]); }
uint16_t DirEntry::firstCluster() const { return loadLe16(&bytes[26]); }
uint32_t DirEntry::size() const { return loadLe32(&bytes[28]); }
void DirEntry::setTime(uint16_t time) { storeLe16(&bytes[22], time); }
void DirEntry::setDate(uint16_t date) { storeLe16(&bytes[24], date); }
void DirEntry::setFirstCluster(uint16_t cluster) { storeLe16(&bytes[26], cluster); }
void DirEntry::setSize(uint32_t size) { storeLe32(&bytes[28], size); }

std::string shortNameText(const ShortName& name) {
    std::string text;
    for (size_t i = 0; i < 8; ++i) {
        if (name[i] != ' ') text += static_cast<char>(i == 0 && name[i] == ENTRY_E5_STORED ? ENTRY_DELETED : name[i]);
    }
    if (name[8] != ' ') {
        text += '.';
        for (size_t i = 8; i < 11; ++i) {
            if (name[i] != ' ') text += static_cast<char>(name[i]);
        }
    }
    return text;
}

void storeStatRecord(const DirEntry& entry, uint8_t* record) {
    std::fill_n(record, STAT_RECORD, 0);
    storeLe32(record, entry.attributes());
    storeLe32(record + 4, entry.firstCluster());
    storeLe32(record + 8, entry.size());
    const uint16_t date = entry.date();
    const uint16_t time = entry.time();
    storeLe16(record + 12, static_cast<uint16_t>(1980 + (date >> 9)));
    record[14] = static_cast<uint8_t>((date >> 5) & 0x0F);
    record[15] = static_cast<uint8_t>(date & 0x1F);
    record[16] = static_cast<uint8_t>(time >> 11);
    record[17] = static_cast<uint8_t>((time >> 5) & 0x3F);
    record[18] = static_cast<uint8_t>(time & 0x1F);
}

}  // namespace kestrel::fatfs
