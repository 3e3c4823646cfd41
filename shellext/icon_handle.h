// OwnedIcon: the RAII owner of an icon handle (DestroyIcon).
#pragma once

#include "shellext/shell_api.h"

#include <utility>

namespace kestrel::shellext {

class OwnedIcon {
public:
    explicit OwnedIcon(HICON icon = nullptr) : icon_(icon) {}
    ~OwnedIcon() {
        if (icon_ != nullptr) DestroyIcon(icon_);
    }
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;

    HICON get() const { return icon_; }
    explicit operator bool() const { return icon_ != nullptr; }
    HICON release() { return std::exchange(icon_, nullptr); }

private:
    HICON icon_;
};

}  // namespace kestrel::shellext
