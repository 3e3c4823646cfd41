// What the update sequence needs from the window (or console) it runs in:
// the action text, the percent text, the progress bar, the two check boxes,
// the four controls an update disables, message boxes, message pumping and
// the wait cursor. The Win32 dialog, the console and the tests implement it.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::fwupdate {

enum class Choice { Eeprom, Main };

enum class BoxIcon { Warning, Question, Information, Error };
enum class BoxButtons { Ok, YesNoDefaultNo };

// How a box relates to the windows of the program.
enum class BoxModality {
    TaskModal,      // no owner; the program's windows wait for it
    Plain,          // no owner, not task-modal
    OwnedByDialog,  // owned by the update dialog
};

struct Message {
    std::string text;
    std::string caption;
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    BoxModality modality = BoxModality::TaskModal;

    bool operator==(const Message&) const = default;
};

enum class Answer { Ok, Yes, No };

class UpdateView {
public:
    virtual ~UpdateView() = default;

    virtual void setActionText(const std::string& text) = 0;
    virtual void setPercentText(const std::string& text) = 0;
    virtual void setProgress(uint32_t percent) = 0;
    virtual bool isChecked(Choice choice) = 0;
    // "EEPROM code", "MAIN code", "Update" and "Exit", in this order.
    virtual void disableControls() = 0;
    virtual void enableControls() = 0;
    virtual Answer showMessage(const Message& message) = 0;
    // Dispatches the window messages waiting in the queue.
    virtual void pumpMessages() = 0;
    // Shows the wait cursor; endWaitCursor brings back the one shown before.
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
};

// The wait cursor for the life of a scope (or until restore()).
class WaitCursorScope {
public:
    explicit WaitCursorScope(UpdateView& view) : view_(&view) { view_->beginWaitCursor(); }
    ~WaitCursorScope() { restore(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;
    void restore() {
        if (view_ != nullptr) view_->endWaitCursor();
        view_ = nullptr;
    }

private:
    UpdateView* view_;
};

}  // namespace kestrel::fwupdate
