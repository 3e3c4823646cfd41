// ItemDropSource: the drop source of a drag that the view starts with an
// ItemDataObject. Escape cancels; releasing the button the drag was started
// with (left or right) drops.
#pragma once

#include "shellext/server_module.h"
#include "shellext/shell_api.h"

namespace kestrel::shellext {

class ItemDropSource final : public IDropSource, LiveObject {
public:
    // `button`: MK_RBUTTON for a drag with the right button, otherwise a
    // drag with the left one.
    static ItemDropSource* create(DWORD button = MK_LBUTTON);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    explicit ItemDropSource(DWORD button) : button_(button) {}
    ~ItemDropSource() = default;
    ULONG references_ = 1;
    DWORD button_;
};

}  // namespace kestrel::shellext
