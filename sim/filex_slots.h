// A table of the file server's open files or open listings: numbered slots
// shared by every client of the device.
//
// A client that crashes never closes its slots, and since every exchange
// opens the device afresh, a slot cannot die with a connection. So a full
// table reclaims the slot that has been idle longest, once it has been idle
// longer than IDLE_LIMIT_MS (the client's exchange watchdog time: no live
// client leaves its slot untouched that long inside one operation). Its
// number is retired meanwhile: the client it belonged to gets "no such
// slot" for it, never another client's file or listing, until it closes
// the number (which frees it).
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>

namespace kestrel::sim {

template <typename Item>
class SlotTable {
public:
    static constexpr uint64_t IDLE_LIMIT_MS = 8000;

    SlotTable(int32_t first, size_t capacity) : first_(first), capacity_(capacity) {}

    // The item under `number` (marked as used now), or null.
    Item* use(int32_t number) {
        const auto it = slots_.find(number);
        if (it == slots_.end()) return nullptr;
        it->second.lastUse = platform::tickMs();
        return it->second.item.get();
    }

    // True when a slot is free, reclaiming the longest idle one of a full
    // table when it has been idle past IDLE_LIMIT_MS.
    bool makeRoom() { return slots_.size() < capacity_ || reclaimIdle(); }

    // Reclaims the longest idle slot when it has been idle past
    // IDLE_LIMIT_MS (for a store whose own limit is lower than the table's).
    bool reclaimIdle() {
        auto oldest = slots_.end();
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if (oldest == slots_.end() || it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        if (oldest == slots_.end() || platform::tickMs() - oldest->second.lastUse <= IDLE_LIMIT_MS) return false;
        retired_.insert(oldest->first);
        slots_.erase(oldest);  // destroying the item closes it
        return true;
    }

    // Puts `item` under the smallest number from `first` on that is neither
    // in use nor retired. Call makeRoom() first.
    int32_t add(std::unique_ptr<Item> item) {
        int32_t number = first_;
        while (slots_.count(number) != 0 || retired_.count(number) != 0) ++number;
        slots_[number] = Slot{std::move(item), platform::tickMs()};
        return number;
    }

    // Takes the item under `number` out of the table (null when there is
    // none); a retired number is freed.
    std::unique_ptr<Item> remove(int32_t number) {
        retired_.erase(number);
        const auto it = slots_.find(number);
        if (it == slots_.end()) return nullptr;
        std::unique_ptr<Item> item = std::move(it->second.item);
        slots_.erase(it);
        return item;
    }

    size_t size() const { return slots_.size(); }

private:
    struct Slot {
        std::unique_ptr<Item> item;
        uint64_t lastUse = 0;  // product milliseconds
    };

    int32_t first_;
    size_t capacity_;
    std::map<int32_t, Slot> slots_;
    std::set<int32_t> retired_;
};

}  // namespace kestrel::sim
