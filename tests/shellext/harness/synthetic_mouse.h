// A left-button drag made of synthetic input (SendInput), as the system's
// input queue delivers a user's: the button goes down at `from`, and a
// thread of its own moves the pointer in steps to `to` and lets the button
// go there, while the test's thread sits in a modal drag loop.
#pragma once

#include "shellext/shell_api.h"

#include <thread>

namespace kestrel::shellext::test {

// Moves the pointer to a screen point, presses the left button and takes
// the press from this thread's queue (the window under the pointer must
// belong to this thread), as a program that starts a drag on a press has
// it: true once the thread's key state has the button down.
[[nodiscard]] bool pressLeftButtonAt(POINT from);

class SyntheticDrag {
public:
    // Starts the thread; it waits `settleMs` before the first move.
    SyntheticDrag(POINT from, POINT to, DWORD settleMs = 300);
    // Waits for the thread (the button is up once it ended).
    ~SyntheticDrag();
    SyntheticDrag(const SyntheticDrag&) = delete;
    SyntheticDrag& operator=(const SyntheticDrag&) = delete;

private:
    std::thread thread_;
};

}  // namespace kestrel::shellext::test
