#include "tests/shellext/harness/test_window.h"

namespace kestrel::shellext::test {

TestWindow::TestWindow() {
    frame_ = CreateWindowExA(0, "STATIC", "shellext test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (frame_ != nullptr)
        child_ = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 100, frame_, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (frame_ != nullptr) DestroyWindow(frame_);
}

}  // namespace kestrel::shellext::test
