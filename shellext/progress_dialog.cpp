#include "shellext/progress_dialog.h"

#include "shellext/resource_ids.h"
#include "shellext/server_module.h"

namespace kestrel::shellext {

std::wstring wideText(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string ansiText(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), length, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(length - 1));
    return ansi;
}

std::unique_ptr<ProgressDialog> ProgressDialog::create(const std::string& title) {
    IProgressDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ProgressDialog, nullptr, CLSCTX_ALL, IID_IProgressDialog,
                                reinterpret_cast<void**>(&dialog))) ||
        dialog == nullptr)
        return nullptr;
    std::unique_ptr<ProgressDialog> owned(new ProgressDialog(dialog));
    dialog->SetTitle(wideText(title).c_str());
    dialog->SetCancelMsg(wideText(CANCEL_MESSAGE).c_str(), nullptr);
    dialog->SetAnimation(ServerModule::instance().resources(), IDR_PROGRESS_ANIMATION);
    return owned;
}

ProgressDialog::~ProgressDialog() {
    stop();
    dialog_->Release();
}

void ProgressDialog::start(HWND owner, DWORD flags) {
    if (running_) return;
    running_ = SUCCEEDED(dialog_->StartProgressDialog(owner, nullptr, flags, nullptr));
}

void ProgressDialog::stop() {
    if (!running_) return;
    dialog_->StopProgressDialog();
    running_ = false;
}

void ProgressDialog::setLine(DWORD line, const std::string& text, bool compact) {
    dialog_->SetLine(line, wideText(text).c_str(), compact ? TRUE : FALSE, nullptr);
}

void ProgressDialog::setProgress(uint32_t done, uint32_t total) { dialog_->SetProgress(done, total); }

bool ProgressDialog::cancelled() const { return dialog_->HasUserCancelled() != FALSE; }

}  // namespace kestrel::shellext
