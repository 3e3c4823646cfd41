// A left-button drag made of synthetic input (SendInput), as the system's
// input queue delivers a user's: the button goes down at `from`, and a
// thread of its own moves the pointer in steps to `to` and lets the button
// go there, while the test's thread sits in a modal drag loop.
#pragma once

#include "shellext/shell_api.h"

#include <atomic>
#include <thread>

namespace kestrel::shellext::test {

// Moves the pointer to a screen point, presses the left button and takes
// the press from this thread's queue (the window under the pointer must
// belong to this thread), as a program that starts a drag on a press has
// it: true once the thread's key state has the button down.
[[nodiscard]] bool pressLeftButtonAt(POINT from);

class SyntheticDrag {
public:
    enum class Press { Done, ByTheThread };
    // Starts the thread; it waits `settleMs` before the first move. With
    // Press::ByTheThread it presses the button at `from` itself first (for
    // a drag that a window of the test's thread starts on its own, such as
    // a list view's: the test pumps its messages meanwhile).
    SyntheticDrag(POINT from, POINT to, DWORD settleMs = 300, Press press = Press::Done);
    // True once the button is up again.
    bool done() const { return done_; }
    // Waits for the thread (the button is up once it ended).
    ~SyntheticDrag();
    SyntheticDrag(const SyntheticDrag&) = delete;
    SyntheticDrag& operator=(const SyntheticDrag&) = delete;

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace kestrel::shellext::test
