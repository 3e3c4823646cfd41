// The update dialog as the update core sees it.
#pragma once

#include "fwupdate/core/update_view.h"
#include "platform/win32/win32.h"

namespace kestrel::fwupdate::win32 {

class DialogView final : public UpdateView {
public:
    // The dialog the progress goes to (remembered when it is initialised).
    void attach(HWND dialog) { dialog_ = dialog; }
    HWND dialog() const { return dialog_; }

    void setActionText(const std::string& text) override;
    void setPercentText(const std::string& text) override;
    void setProgress(uint32_t percent) override;
    bool isChecked(Choice choice) override;
    void disableControls() override { enableControls(false); }
    void enableControls() override { enableControls(true); }
    Answer showMessage(const Message& message) override;
    void pumpMessages() override;
    void beginWaitCursor() override;
    void endWaitCursor() override;

private:
    void enableControls(bool enable);

    HWND dialog_ = nullptr;
    HCURSOR previousCursor_ = nullptr;
};

// A message box as the program shows it.
Answer showMessageBox(HWND dialog, const Message& message);

}  // namespace kestrel::fwupdate::win32
