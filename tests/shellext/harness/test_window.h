// A hidden top-level window with a child, for calls that take an owner
// window (the folder remembers the child's parent).
#pragma once

#include "shellext/shell_api.h"

namespace kestrel::shellext::test {

class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND frame() const { return frame_; }
    HWND child() const { return child_; }

private:
    HWND frame_ = nullptr;
    HWND child_ = nullptr;
};

}  // namespace kestrel::shellext::test
