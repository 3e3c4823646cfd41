// Answers the modal dialogs and message boxes that code under test shows on
// this thread, the way a user would: a hook sees each dialog as it becomes
// active, records its caption and texts, and presses the button the test
// chose by posting the button's command. Dialogs the test gave no answer
// for are closed with IDCANCEL and recorded as unexpected.
#pragma once

#include "shellext/shell_api.h"

#include <deque>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

struct SeenDialog {
    std::string caption;
    std::vector<std::string> texts;  // the window texts of its static controls
    std::vector<int> buttons;        // the control IDs of its buttons
    int answer = 0;
    // True when one of its texts contains `part`.
    bool says(const std::string& part) const;
    // All texts joined with " | ", for messages.
    std::string text() const;
};

class ModalAnswerer {
public:
    // Installs the hook on the calling thread; one answerer per thread.
    ModalAnswerer();
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    // The buttons to press, in order, one per dialog.
    void answer(std::initializer_list<int> buttons) { answers_.insert(answers_.end(), buttons); }
    const std::vector<SeenDialog>& seen() const { return seen_; }
    // Dialogs shown without a prepared answer.
    int unanswered() const { return unanswered_; }
    void clear() {
        seen_.clear();
        answers_.clear();
        unanswered_ = 0;
    }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK readPending(HWND, UINT, UINT_PTR timer, DWORD);
    void activated(HWND dialog);

    HHOOK hook_ = nullptr;
    std::deque<int> answers_;
    std::vector<SeenDialog> seen_;
    int unanswered_ = 0;
};

}  // namespace kestrel::shellext::test
