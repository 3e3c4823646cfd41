#include "shellext/item_drop_source.h"

#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

ItemDropSource* ItemDropSource::create(DWORD button) {
    return new (std::nothrow) ItemDropSource(button == MK_RBUTTON ? MK_RBUTTON : MK_LBUTTON);
}

HRESULT ItemDropSource::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("ItemDropSource::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDropSource)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IDropSource*>(this);
    AddRef();
    return S_OK;
}

ULONG ItemDropSource::AddRef() { return ++references_; }

ULONG ItemDropSource::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ItemDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    SHX_TRACE("ItemDropSource::QueryContinueDrag(%d,%08lX)\n", escapePressed, keyState);
    if (escapePressed) return DRAGDROP_S_CANCEL;
    if (!(keyState & button_)) return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT ItemDropSource::GiveFeedback(DWORD effect) {
    SHX_TRACE("ItemDropSource::GiveFeedback(%08lX)\n", effect);
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

}  // namespace kestrel::shellext
