// OwnedMenu: the RAII owner of a menu handle (DestroyMenu, which also
// destroys the menu's submenus). release() hands the menu over, for
// example to a menu bar that takes it as a submenu.
#pragma once

#include "shellext/shell_api.h"

#include <utility>

namespace kestrel::shellext {

class OwnedMenu {
public:
    OwnedMenu() = default;
    explicit OwnedMenu(HMENU menu) : menu_(menu) {}
    ~OwnedMenu() { reset(); }
    OwnedMenu(OwnedMenu&& other) noexcept : menu_(std::exchange(other.menu_, nullptr)) {}
    OwnedMenu& operator=(OwnedMenu&& other) noexcept {
        if (this != &other) {
            reset();
            menu_ = std::exchange(other.menu_, nullptr);
        }
        return *this;
    }
    OwnedMenu(const OwnedMenu&) = delete;
    OwnedMenu& operator=(const OwnedMenu&) = delete;

    HMENU get() const { return menu_; }
    explicit operator bool() const { return menu_ != nullptr; }
    HMENU release() { return std::exchange(menu_, nullptr); }
    void reset(HMENU menu = nullptr) {
        if (menu_ != nullptr) DestroyMenu(menu_);
        menu_ = menu;
    }

private:
    HMENU menu_ = nullptr;
};

}  // namespace kestrel::shellext
