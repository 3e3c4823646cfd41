// What the FAT copies on the card hold, sector by sector (all copies one
// after another), as far as it is known: the FAT store writes only the
// sectors whose image differs from it. Forgotten on every load and after a
// failed store, when the card may hold either version.
#pragma once

#include "fatfs/volume.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrel::fatfs {

class FatSectorsOnCard {
public:
    size_t sectors() const { return known_.size(); }
    // `count` sectors, none known. Throws std::bad_alloc.
    void reset(size_t count) {
        bytes_.assign(count * SECTOR, 0);
        known_.assign(count, false);
    }
    void forget() { std::fill(known_.begin(), known_.end(), false); }
    bool known(size_t index) const { return index < known_.size() && known_[index]; }
    void remember(size_t index, const uint8_t* sector512) {
        if (index >= known_.size()) return;
        std::copy_n(sector512, SECTOR, bytes_.begin() + static_cast<std::ptrdiff_t>(index * SECTOR));
        known_[index] = true;
    }
    // True when the card is known to hold `sector512` there.
    bool holds(size_t index, const uint8_t* sector512) const {
        return known(index) &&
               std::equal(sector512, sector512 + SECTOR, bytes_.begin() + static_cast<std::ptrdiff_t>(index * SECTOR));
    }

private:
    std::vector<uint8_t> bytes_;
    std::vector<bool> known_;
};

}  // namespace kestrel::fatfs
