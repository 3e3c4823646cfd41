// FolderView: lifetime, the view registry and the IShellView methods.
#include "shellext/folder_view.h"

#include "shellext/device_folder.h"
#include "shellext/resource_ids.h"
#include "shellext/trace.h"
#include "shellext/transfer.h"

#include <new>
#include <utility>

namespace kestrel::shellext {

HRESULT CreateFolderView(DeviceFolder* folder, REFIID riid, void** out) {
    FolderView* view = nullptr;
    if (FAILED(FolderView::create(folder, folder->relativeId(), &view))) return E_OUTOFMEMORY;
    const HRESULT result = view->QueryInterface(riid, out);
    view->Release();
    return result;
}

HRESULT FolderView::create(DeviceFolder* folder, LPCITEMIDLIST relative, FolderView** out) {
    *out = nullptr;
    if (folder == nullptr) return E_INVALIDARG;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* view = new (std::nothrow) FolderView(folder, std::move(allocator));
    if (view == nullptr) return E_OUTOFMEMORY;
    if (relative != nullptr) {
        view->relative_ = view->allocator_->own(view->allocator_->clone(relative));
        if (!view->relative_) {
            view->Release();
            return E_OUTOFMEMORY;
        }
    }
    view->registered_ = ServerModule::instance().views().add(view);
    *out = view;
    return S_OK;
}

FolderView::FolderView(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator)
    : relative_(nullptr, ItemListFree{allocator->malloc()}), folder_(folder), allocator_(std::move(allocator)) {
    folder_->AddRef();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    accelerators_ = LoadAcceleratorsA(ServerModule::instance().resources(), MAKEINTRESOURCEA(IDR_VIEW_ACCELERATORS));
}

FolderView::~FolderView() {
    if (registered_) ServerModule::instance().views().remove(this);
    // A view released without DestroyViewWindow takes its window along, so
    // that no window is left pointing at it. Only the window's own thread
    // can destroy it: from any other thread (the last reference was held
    // by a caller of NotifyViews) the window is parted from the view and
    // closes itself there.
    if (window_ != nullptr) {
        if (GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId())
            DestroyWindow(window_);
        else
            leaveForeignWindow();
    }
    releaseBrowsers();
    relative_.reset();
    folder_->Release();
}

void FolderView::releaseBrowsers() {
    if (dialogBrowser_ != nullptr) std::exchange(dialogBrowser_, nullptr)->Release();
    if (browser_ != nullptr && browserHeld_) browser_->Release();
    browser_ = nullptr;
    browserHeld_ = false;
}

HRESULT FolderView::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("FolderView::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IShellView)) {
        *out = static_cast<IShellView*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG FolderView::AddRef() {
    SHX_TRACE("FolderView::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG FolderView::Release() {
    SHX_TRACE("FolderView::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT FolderView::GetWindow(HWND* out) {
    SHX_TRACE("FolderView::GetWindow(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = window_;
    return S_OK;
}

HRESULT FolderView::ContextSensitiveHelp(BOOL enter) {
    SHX_TRACE("FolderView::ContextSensitiveHelp(%d)\n", enter);
    return E_NOTIMPL;
}

HRESULT FolderView::TranslateAccelerator(MSG* message) {
    if (message == nullptr) return S_FALSE;
    if (labelEditing_) {
        if (message->message < WM_KEYFIRST || message->message > WM_KEYLAST) return S_FALSE;
        TranslateMessage(message);
        DispatchMessageA(message);
        return S_OK;
    }
    if (accelerators_ != nullptr && window_ != nullptr && ::TranslateAcceleratorA(window_, accelerators_, message))
        return S_OK;
    return S_FALSE;
}

HRESULT FolderView::EnableModeless(BOOL enable) {
    SHX_TRACE("FolderView::EnableModeless(%d)\n", enable);
    return E_NOTIMPL;
}

HRESULT FolderView::Refresh() {
    SHX_TRACE("FolderView::Refresh()\n");
    if (listView_ != nullptr) {
        ListView_DeleteAllItems(listView_);
        fillList();
    }
    return S_OK;
}

HRESULT FolderView::CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings, IShellBrowser* browser,
                                     RECT* rectangle, HWND* out) {
    SHX_TRACE("FolderView::CreateViewWindow(%p,%p,%p,%p,%p)\n", static_cast<void*>(previous),
              static_cast<const void*>(settings), static_cast<void*>(browser), static_cast<void*>(rectangle),
              static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (settings == nullptr || browser == nullptr || rectangle == nullptr || window_ != nullptr) return E_INVALIDARG;
    if (!registerWindowClass()) return E_FAIL;
    browser_ = browser;
    settings_ = *settings;
    parent_ = nullptr;
    if (FAILED(browser_->GetWindow(&parent_))) parent_ = nullptr;
    ICommDlgBrowser* dialog = nullptr;
    if (SUCCEEDED(browser_->QueryInterface(IID_ICommDlgBrowser, reinterpret_cast<void**>(&dialog))))
        dialogBrowser_ = dialog;
    const HWND window = CreateWindowExA(WS_EX_CONTROLPARENT, VIEW_WINDOW_CLASS, nullptr,
                                        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rectangle->left, rectangle->top,
                                        rectangle->right - rectangle->left, rectangle->bottom - rectangle->top,
                                        parent_, nullptr, ServerModule::instance().resources(), this);
    if (window == nullptr) {
        releaseBrowsers();
        return E_FAIL;
    }
    setUpToolbar();
    browser_->AddRef();
    browserHeld_ = true;
    *out = window_;
    return S_OK;
}

HRESULT FolderView::DestroyViewWindow() {
    SHX_TRACE("FolderView::DestroyViewWindow()\n");
    UIActivate(SVUIA_DEACTIVATE);
    mergedMenu_.reset();
    if (window_ != nullptr) DestroyWindow(window_);
    releaseBrowsers();
    return S_OK;
}

HRESULT FolderView::GetCurrentInfo(LPFOLDERSETTINGS out) {
    SHX_TRACE("FolderView::GetCurrentInfo(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = settings_;
    return S_OK;
}

HRESULT FolderView::AddPropertySheetPages(DWORD reserved, LPFNSVADDPROPSHEETPAGE add, LPARAM parameter) {
    SHX_TRACE("FolderView::AddPropertySheetPages(%lu,%p,%ld)\n", reserved, reinterpret_cast<void*>(add),
              static_cast<long>(parameter));
    return E_NOTIMPL;
}

HRESULT FolderView::SaveViewState() {
    SHX_TRACE("FolderView::SaveViewState()\n");
    return S_OK;
}

HRESULT FolderView::SelectItem(PCUITEMID_CHILD item, SVSIF flags) {
    SHX_TRACE("FolderView::SelectItem(%p,%08X)\n", static_cast<const void*>(item), flags);
    return E_NOTIMPL;
}

HRESULT FolderView::GetItemObject(UINT which, REFIID riid, void** out) {
    SHX_TRACE("FolderView::GetItemObject(%u,%s,%p)\n", which, guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const UINT kind = which & SVGIO_TYPE_MASK;
    if (kind == SVGIO_BACKGROUND && IsEqualIID(riid, IID_IContextMenu))
        return folder_->CreateViewObject(window_, riid, out);
    if (IsEqualIID(riid, IID_IDataObject) && (kind == SVGIO_SELECTION || kind == SVGIO_ALLVIEW)) {
        auto items = kind == SVGIO_SELECTION ? selectedItems() : allItems();
        return CreateItemDataObject(folder_, items.data(), static_cast<UINT>(items.size()),
                                    reinterpret_cast<IDataObject**>(out));
    }
    return E_NOINTERFACE;
}

const DeviceFolder* FolderView::folder() const { return folder_; }

}  // namespace kestrel::shellext
