// FormatEnumerator: IEnumFORMATETC over its own copy of FORMATETC records
// (the data object's offered formats).
#pragma once

#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <vector>

namespace kestrel::shellext {

class FormatEnumerator final : public IEnumFORMATETC, LiveObject {
public:
    // E_OUTOFMEMORY (and null) when it cannot be made.
    static HRESULT create(const FORMATETC* records, ULONG count, ULONG position, IEnumFORMATETC** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* out, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override;

private:
    FormatEnumerator(const FORMATETC* records, ULONG count, ULONG position)
        : records_(records, records + count), position_(position) {}
    ~FormatEnumerator() = default;

    ULONG references_ = 1;
    std::vector<FORMATETC> records_;
    ULONG position_;
};

}  // namespace kestrel::shellext
