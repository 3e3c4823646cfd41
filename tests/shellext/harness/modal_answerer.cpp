#include "tests/shellext/harness/modal_answerer.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrel::shellext::test {

namespace {

// The hook procedure has no context argument: the answerer of each thread.
thread_local ModalAnswerer* current = nullptr;
thread_local std::set<HWND>* answered = nullptr;
// Dialogs activated but not read yet: a dialog may be activated before its
// WM_INITDIALOG set its texts, so it is read and answered from a timer that
// its modal loop runs.
thread_local std::vector<HWND>* pending = nullptr;

std::string windowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

}  // namespace

bool SeenDialog::says(const std::string& part) const {
    for (const auto& text : texts)
        if (text.find(part) != std::string::npos) return true;
    return false;
}

std::string SeenDialog::text() const {
    std::string joined;
    for (const auto& text : texts) joined += (joined.empty() ? "" : " | ") + text;
    return joined;
}

ModalAnswerer::ModalAnswerer() {
    EXPECT_EQ(current, nullptr) << "one modal answerer per thread";
    current = this;
    answered = new std::set<HWND>();
    pending = new std::vector<HWND>();
    hook_ = SetWindowsHookExA(WH_CBT, hook, nullptr, GetCurrentThreadId());
    EXPECT_NE(hook_, nullptr) << "no CBT hook";
}

ModalAnswerer::~ModalAnswerer() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " prepared answers were not used";
    delete answered;
    answered = nullptr;
    delete pending;
    pending = nullptr;
    current = nullptr;
}

void CALLBACK ModalAnswerer::readPending(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (current == nullptr || pending == nullptr) return;
    const std::vector<HWND> windows = std::move(*pending);
    pending->clear();
    for (HWND window : windows)
        if (IsWindow(window)) current->activated(window);
}

LRESULT CALLBACK ModalAnswerer::hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND && answered != nullptr) answered->erase(reinterpret_cast<HWND>(wParam));
    if (code == HCBT_ACTIVATE && current != nullptr) {
        const auto window = reinterpret_cast<HWND>(wParam);
        if (className(window) == "#32770" && answered->insert(window).second) {
            pending->push_back(window);
            SetTimer(nullptr, 0, 1, readPending);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void ModalAnswerer::activated(HWND dialog) {
    SeenDialog seen;
    seen.caption = windowText(dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string kind = className(child);
        if (kind == "Static" || kind == "static") {
            const std::string text = windowText(child);
            if (!text.empty()) seen.texts.push_back(text);
        } else if (kind == "Button" || kind == "button") {
            seen.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    if (answers_.empty()) {
        ++unanswered_;
        seen.answer = IDCANCEL;
    } else {
        seen.answer = answers_.front();
        answers_.pop_front();
    }
    seen_.push_back(seen);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(seen.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, seen.answer)));
}

}  // namespace kestrel::shellext::test
