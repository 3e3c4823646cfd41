// Answers the popup menus that this thread shows (TrackPopupMenu) while the
// picker lives, in order: each menu's entries are recorded, then it is
// closed with the next prepared key, a mnemonic character such as 'm'
// (which chooses the entry it underlines) or ESCAPE (which chooses nothing).
// A menu without a prepared key is closed with ESCAPE. The picker sees a
// menu only while the thread takes messages; between two menus the test
// takes messages once (pumpMessages), so that the picker sees the first go.
#pragma once

#include "shellext/shell_api.h"

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class MenuPicker {
public:
    static constexpr char ESCAPE = 0;

    // Starts watching on the calling thread; one picker per thread.
    MenuPicker();
    ~MenuPicker();
    MenuPicker(const MenuPicker&) = delete;
    MenuPicker& operator=(const MenuPicker&) = delete;

    void pick(std::initializer_list<char> keys) { keys_.insert(keys_.end(), keys); }
    // The entry texts of every menu answered ("-" for a separator).
    const std::vector<std::vector<std::string>>& seen() const { return seen_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void answer(HWND menuWindow);

    UINT_PTR timer_ = 0;
    std::deque<char> keys_;
    std::vector<std::vector<std::string>> seen_;
    HWND answered_ = nullptr;
};

}  // namespace kestrel::shellext::test
