// ItemContextMenu: the IContextMenu of selected device items, or of the
// background of a device folder when it is made without items. It builds
// the menu entries, maps verbs and command offsets to actions and carries
// out the simple commands itself: explore, open, rename (through the view),
// new folder and new item, copy and cut to the clipboard, paste from it and
// delete (through the folder).
//
// item_context_menu.cpp: lifetime and the IContextMenu methods;
// context_menu_build.cpp: the menus; context_menu_commands.cpp: the actions.
#pragma once

#include "shellext/id_allocator.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <memory>

namespace kestrel::shellext {

class DeviceFolder;

// The flag of QueryContextMenu's reserved range that the folder view sets
// when more than one item is selected: Rename and Modify Data are grayed.
inline constexpr UINT CMF_MANY_ITEMS = 0x10000;

class ItemContextMenu final : public IContextMenu, LiveObject {
public:
    // A menu for `count` items of `folder` (copied; a reference on the
    // folder is taken); with count 0 the background menu. E_OUTOFMEMORY
    // (and null) when it cannot be made.
    static HRESULT create(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, ItemContextMenu** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(LPCMINVOKECOMMANDINFO information) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR id, UINT type, UINT* reserved, LPSTR buffer,
                                               UINT size) override;

private:
    ItemContextMenu(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator);
    ~ItemContextMenu();
    bool copyItems(PCUITEMID_CHILD_ARRAY items, UINT count);

    // context_menu_build.cpp
    void buildDefaultOnly(HMENU menu, UINT index, UINT first, UINT flags) const;
    void buildBackground(HMENU menu, UINT index, UINT first) const;
    void buildItemMenu(HMENU menu, UINT index, UINT first, UINT flags) const;

    // context_menu_commands.cpp
    void run(UINT offset, HWND window);
    void explore(HWND window, const char* verb) const;
    void open(HWND window) const;
    void rename(HWND window) const;
    void newEntry(bool folder, HWND window) const;
    void copyToClipboard(bool cut, HWND window) const;
    void paste() const;
    void remove() const;

    ULONG references_ = 1;
    LPITEMIDLIST* items_ = nullptr;  // count + 1 entries, the last null; from the shell allocator
    IMalloc* malloc_ = nullptr;
    std::unique_ptr<IdAllocator> allocator_;
    DeviceFolder* folder_;  // holds a reference
    UINT count_ = 0;
    bool background_ = true;
    UINT format_ = 0;  // "qlxshlextDataFormat"
};

// The menu of `count` items of `folder` (0: the background menu), queried
// for `riid`; E_OUTOFMEMORY when it cannot be made.
HRESULT CreateItemContextMenu(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, REFIID riid,
                              void** out);

}  // namespace kestrel::shellext
