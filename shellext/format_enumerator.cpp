#include "shellext/format_enumerator.h"

#include "shellext/trace.h"

#include <new>

namespace kestrel::shellext {

HRESULT FormatEnumerator::create(const FORMATETC* records, ULONG count, ULONG position, IEnumFORMATETC** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    FormatEnumerator* made = nullptr;
    try {
        made = new (std::nothrow) FormatEnumerator(records, count, position);
    } catch (const std::bad_alloc&) {
        made = nullptr;
    }
    if (made == nullptr) return E_OUTOFMEMORY;
    *out = made;
    return S_OK;
}

HRESULT FormatEnumerator::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("FormatEnumerator::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumFORMATETC)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IEnumFORMATETC*>(this);
    AddRef();
    return S_OK;
}

ULONG FormatEnumerator::AddRef() { return ++references_; }

ULONG FormatEnumerator::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT FormatEnumerator::Next(ULONG count, FORMATETC* out, ULONG* fetched) {
    SHX_TRACE("FormatEnumerator::Next(%lu,%p,%p)\n", count, static_cast<void*>(out), static_cast<void*>(fetched));
    if (fetched != nullptr) *fetched = 0;
    if (records_.empty()) return S_FALSE;
    if (out == nullptr) return E_INVALIDARG;
    ULONG delivered = 0;
    while (delivered < count && position_ < records_.size()) out[delivered++] = records_[position_++];
    if (fetched != nullptr) *fetched = delivered;
    return delivered == count ? S_OK : S_FALSE;
}

HRESULT FormatEnumerator::Skip(ULONG count) {
    SHX_TRACE("FormatEnumerator::Skip(%lu)\n", count);
    if (position_ + count >= records_.size()) return S_FALSE;
    position_ += count;
    return S_OK;
}

HRESULT FormatEnumerator::Reset() {
    SHX_TRACE("FormatEnumerator::Reset()\n");
    position_ = 0;
    return S_OK;
}

HRESULT FormatEnumerator::Clone(IEnumFORMATETC** out) {
    SHX_TRACE("FormatEnumerator::Clone(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_INVALIDARG;
    const HRESULT made = create(records_.data(), static_cast<ULONG>(records_.size()), position_, out);
    return FAILED(made) ? E_OUTOFMEMORY : S_OK;
}

}  // namespace kestrel::shellext
