#include "shellext/folder_drop_target.h"

#include "shellext/clipboard_formats.h"
#include "shellext/device_folder.h"
#include "shellext/drop_menu.h"
#include "shellext/private_paste.h"
#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

namespace {

FORMATETC hglobalFormat(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace

DropChoice chooseDropEffect(bool accept, DWORD keyState, DWORD allowed, bool deviceItems) {
    if (!accept) return {};
    if ((keyState & MK_CONTROL) && (keyState & MK_SHIFT)) return {};
    if (deviceItems && (keyState & MK_SHIFT)) return DropChoice{DROPEFFECT_MOVE, (allowed & DROPEFFECT_MOVE) != 0};
    return DropChoice{DROPEFFECT_COPY, (allowed & DROPEFFECT_COPY) != 0};
}

FolderDropTarget* FolderDropTarget::create(DeviceFolder* folder, HWND window) {
    if (folder == nullptr) return nullptr;
    return new (std::nothrow) FolderDropTarget(folder, window);
}

FolderDropTarget::FolderDropTarget(DeviceFolder* folder, HWND window)
    : folder_(folder), window_(window),
      deviceItemsFormat_(static_cast<CLIPFORMAT>(RegisterClipboardFormatA(formats::DEVICE_ITEMS))) {
    folder_->AddRef();
}

FolderDropTarget::~FolderDropTarget() { folder_->Release(); }

HRESULT FolderDropTarget::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("FolderDropTarget::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDropTarget)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
}

ULONG FolderDropTarget::AddRef() { return ++references_; }

ULONG FolderDropTarget::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

bool FolderDropTarget::choose(DWORD keyState, DWORD* effect) const {
    const DWORD allowed = effect != nullptr ? *effect : DROPEFFECT_NONE;
    const DropChoice choice = chooseDropEffect(accept_, keyState, allowed, deviceItems_);
    if (effect != nullptr) *effect = choice.effect;
    return choice.drop;
}

HRESULT FolderDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    SHX_TRACE("FolderDropTarget::DragEnter(%p,%08lX,%ld,%ld)\n", static_cast<void*>(data), keyState, point.x,
              point.y);
    accept_ = false;
    deviceItems_ = false;
    buttons_ = keyState & (MK_LBUTTON | MK_RBUTTON);
    if (data != nullptr) {
        FORMATETC items = hglobalFormat(deviceItemsFormat_);
        FORMATETC files = hglobalFormat(CF_HDROP);
        deviceItems_ = data->QueryGetData(&items) == S_OK;
        accept_ = deviceItems_ || data->QueryGetData(&files) == S_OK;
    }
    choose(keyState, effect);
    return S_OK;
}

HRESULT FolderDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
    SHX_TRACE("FolderDropTarget::DragOver(%08lX,%ld,%ld)\n", keyState, point.x, point.y);
    if (keyState & (MK_LBUTTON | MK_RBUTTON)) buttons_ = keyState & (MK_LBUTTON | MK_RBUTTON);
    choose(keyState, effect);
    return S_OK;
}

HRESULT FolderDropTarget::DragLeave() {
    SHX_TRACE("FolderDropTarget::DragLeave()\n");
    accept_ = false;
    return S_OK;
}

HRESULT FolderDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    SHX_TRACE("FolderDropTarget::Drop(%p,%08lX,%ld,%ld)\n", static_cast<void*>(data), keyState, point.x, point.y);
    const DWORD allowed = effect != nullptr ? *effect : DROPEFFECT_NONE;
    if (!choose(keyState, effect) || data == nullptr) {
        if (effect != nullptr) *effect = DROPEFFECT_NONE;
        return E_FAIL;
    }
    // A drag with the right button asks what to do; Cancel drops nothing.
    if (buttons_ & MK_RBUTTON) {
        const DWORD chosen = chooseDropEffectFromMenu(window_, POINT{point.x, point.y}, allowed);
        if (effect != nullptr) *effect = chosen;
        if (chosen == DROPEFFECT_NONE) return S_OK;
    }
    const bool move = effect != nullptr && *effect == DROPEFFECT_MOVE;
    STGMEDIUM medium{};
    FORMATETC items = hglobalFormat(deviceItemsFormat_);
    HRESULT got = data->GetData(&items, &medium);
    if (SUCCEEDED(got) && medium.tymed != TYMED_HGLOBAL) {
        ReleaseStgMedium(&medium);
        got = DV_E_TYMED;
    }
    HRESULT copied = S_FALSE;
    if (SUCCEEDED(got)) {
        copied = pastePrivateData(folder_, medium.hGlobal, move);
    } else {
        FORMATETC files = hglobalFormat(CF_HDROP);
        got = data->GetData(&files, &medium);
        if (FAILED(got)) {
            if (effect != nullptr) *effect = DROPEFFECT_NONE;
            return got;
        }
        copied = folder_->CopyDroppedFiles(static_cast<HDROP>(medium.hGlobal), move ? TRUE : FALSE);
    }
    ReleaseStgMedium(&medium);
    // A move the source completes by deleting its originals is reported
    // only for a drop that arrived whole; anything less is a copy.
    if (move && copied != S_OK && effect != nullptr) *effect = DROPEFFECT_COPY;
    return S_OK;
}

}  // namespace kestrel::shellext
