// ItemDropSource: the drop source of a drag that the view starts with an
// ItemDataObject. Escape cancels, releasing the left button drops.
#pragma once

#include "shellext/server_module.h"
#include "shellext/shell_api.h"

namespace kestrel::shellext {

class ItemDropSource final : public IDropSource, LiveObject {
public:
    static ItemDropSource* create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    ItemDropSource() = default;
    ~ItemDropSource() = default;
    ULONG references_ = 1;
};

}  // namespace kestrel::shellext
