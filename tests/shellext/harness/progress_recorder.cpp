#include "tests/shellext/harness/progress_recorder.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

namespace kestrel::shellext::test {

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length - 1));
    return out;
}

namespace {

// One progress dialog as the code under test sees it.
class DialogDouble final : public IProgressDialog {
public:
    DialogDouble(std::shared_ptr<RecordedDialog> record, int cancelAfter, std::function<void()> startProbe)
        : record_(std::move(record)), cancelAfter_(cancelAfter), startProbe_(std::move(startProbe)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IProgressDialog)) return E_NOINTERFACE;
        *out = static_cast<IProgressDialog*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            record_->released = true;
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE StartProgressDialog(HWND owner, IUnknown*, DWORD flags, LPCVOID) override {
        EXPECT_FALSE(record_->started) << "a progress dialog started twice";
        record_->started = true;
        record_->owner = owner;
        record_->startFlags = flags;
        record_->startMs = platform::tickMs();
        if (startProbe_) startProbe_();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StopProgressDialog() override {
        EXPECT_TRUE(record_->started) << "a progress dialog stopped that never started";
        record_->stopped = true;
        record_->stopMs = platform::tickMs();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTitle(PCWSTR title) override {
        record_->title = title != nullptr ? title : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetAnimation(HINSTANCE module, UINT id) override {
        record_->animationModule = module;
        record_->animation = id;
        return S_OK;
    }
    BOOL STDMETHODCALLTYPE HasUserCancelled() override {
        ++record_->cancelQueries;
        return cancelAfter_ >= 0 && static_cast<int>(record_->progress.size()) >= cancelAfter_;
    }
    HRESULT STDMETHODCALLTYPE SetProgress(DWORD done, DWORD total) override {
        record_->progress.emplace_back(done, total);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgress64(ULONGLONG done, ULONGLONG total) override {
        record_->progress.emplace_back(done, total);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLine(DWORD line, PCWSTR text, BOOL, LPCVOID) override {
        if (line < 1 || line > 3) return E_INVALIDARG;
        record_->lines[line] = text != nullptr ? text : L"";
        if (line == 3) record_->line3.push_back(record_->lines[line]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCancelMsg(PCWSTR text, LPCVOID) override {
        record_->cancelMessage = text != nullptr ? text : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Timer(DWORD, LPCVOID) override { return S_OK; }

private:
    ~DialogDouble() = default;
    std::shared_ptr<RecordedDialog> record_;
    int cancelAfter_;
    std::function<void()> startProbe_;
    ULONG references_ = 1;
};

}  // namespace

class ProgressRecorder::Factory final : public IClassFactory {
public:
    explicit Factory(ProgressRecorder& recorder) : recorder_(recorder) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The recorder owns the factory; COM's references are not counted.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* dialog = new DialogDouble(recorder_.made(), recorder_.cancelAfter(), recorder_.startProbe());
        const HRESULT result = dialog->QueryInterface(riid, out);
        dialog->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ProgressRecorder& recorder_;
};

ProgressRecorder::ProgressRecorder() : factory_(std::make_unique<Factory>(*this)) {
    const HRESULT result = CoRegisterClassObject(CLSID_ProgressDialog, factory_.get(), CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie_);
    EXPECT_EQ(result, S_OK) << "the progress dialog double could not be registered";
    if (FAILED(result)) cookie_ = 0;
}

ProgressRecorder::~ProgressRecorder() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    for (const auto& dialog : dialogs_) EXPECT_TRUE(dialog->released) << "a progress dialog was not released";
}

std::shared_ptr<RecordedDialog> ProgressRecorder::made() {
    dialogs_.push_back(std::make_shared<RecordedDialog>());
    return dialogs_.back();
}

}  // namespace kestrel::shellext::test
