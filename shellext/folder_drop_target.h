// FolderDropTarget: host files (CF_HDROP) and device items
// ("qlxshlextDataFormat") dropped onto a device folder. A drag with the
// left button copies, except that device items dragged with Shift move:
// Ctrl with Shift shows no drop, and a source that does not allow the
// effect sees it but its drop fails. A drag with the right button drops
// through a menu of Copy here, Move here and Cancel (drop_menu.h).
#pragma once

#include "shellext/server_module.h"
#include "shellext/shell_api.h"

namespace kestrel::shellext {

class DeviceFolder;

struct DropChoice {
    DWORD effect = DROPEFFECT_NONE;
    bool drop = false;
};

// The effect for `allowed` effects and `keyState` when the data is
// acceptable (`accept`); `deviceItems` when it holds device items.
DropChoice chooseDropEffect(bool accept, DWORD keyState, DWORD allowed, bool deviceItems = false);

class FolderDropTarget final : public IDropTarget, LiveObject {
public:
    // Null when it cannot be made.
    static FolderDropTarget* create(DeviceFolder* folder, HWND window);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

private:
    FolderDropTarget(DeviceFolder* folder, HWND window);
    ~FolderDropTarget();
    // Computes the effect into *effect; true when there is a drop.
    bool choose(DWORD keyState, DWORD* effect) const;

    ULONG references_ = 1;
    DeviceFolder* folder_;  // holds a reference
    HWND window_;
    bool accept_ = false;
    bool deviceItems_ = false;  // the data offers device items
    DWORD buttons_ = 0;         // the mouse buttons of the drag as last seen
    CLIPFORMAT deviceItemsFormat_;
};

}  // namespace kestrel::shellext
