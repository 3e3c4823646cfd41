// Process-wide registry of named objects: every open of the same name in the
// process shares one state, which lives as long as some opener holds it.
// This is how POSIX builds give named events and mutexes the sharing that
// Windows gives their kernel objects.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace kestrel::platform::posix {

template <typename State>
class NamedRegistry {
public:
    // The state registered under `name`, or a new one made by `make`.
    template <typename Make>
    std::shared_ptr<State> obtain(std::string_view name, Make&& make) {
        std::lock_guard lock(mutex_);
        pruneExpired();
        auto& slot = states_[std::string(name)];
        if (auto existing = slot.lock()) return existing;
        std::shared_ptr<State> created = make();
        slot = created;
        return created;
    }

private:
    void pruneExpired() {
        for (auto it = states_.begin(); it != states_.end();) {
            if (it->second.expired()) it = states_.erase(it);
            else ++it;
        }
    }

    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<State>> states_;
};

}  // namespace kestrel::platform::posix
