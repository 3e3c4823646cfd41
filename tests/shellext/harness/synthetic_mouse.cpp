#include "tests/shellext/harness/synthetic_mouse.h"

namespace kestrel::shellext::test {

namespace {

constexpr int STEPS = 12;
constexpr DWORD STEP_MS = 60;

void send(POINT at, DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    SendInput(1, &input, sizeof input);
}

}  // namespace

bool pressLeftButtonAt(POINT from) {
    send(from, 0);
    Sleep(STEP_MS);
    send(from, MOUSEEVENTF_LEFTDOWN);
    for (int round = 0; round < 100; ++round) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (GetKeyState(VK_LBUTTON) & 0x8000) return true;
        Sleep(10);
    }
    return false;
}

SyntheticDrag::SyntheticDrag(POINT from, POINT to, DWORD settleMs, Press press)
    : thread_([this, from, to, settleMs, press] {
          if (press == Press::ByTheThread) {
              send(from, 0);
              Sleep(STEP_MS);
              send(from, MOUSEEVENTF_LEFTDOWN);
          }
          Sleep(settleMs);
          for (int step = 1; step <= STEPS; ++step) {
              const POINT at{from.x + (to.x - from.x) * step / STEPS, from.y + (to.y - from.y) * step / STEPS};
              send(at, 0);
              Sleep(STEP_MS);
          }
          // A last small move over the target, then the release there.
          send(POINT{to.x + 1, to.y}, 0);
          Sleep(STEP_MS * 4);
          send(to, 0);
          Sleep(STEP_MS * 4);
          send(to, MOUSEEVENTF_LEFTUP);
          done_ = true;
      }) {}

SyntheticDrag::~SyntheticDrag() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace kestrel::shellext::test
