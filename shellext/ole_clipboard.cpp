// The view's Copy, Cut and Paste over the OLE clipboard (transfer.h).
#include "shellext/clipboard_formats.h"
#include "shellext/clipboard_session.h"
#include "shellext/device_folder.h"
#include "shellext/device_items_block.h"
#include "shellext/global_block.h"
#include "shellext/private_paste.h"
#include "shellext/trace.h"
#include "shellext/transfer.h"

#include <optional>

namespace kestrel::shellext {

namespace {

FORMATETC hglobalFormat(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

CLIPFORMAT registered(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

// "Preferred DropEffect" of the clipboard's data: true for a move.
bool preferredMove(IDataObject* data) {
    FORMATETC format = hglobalFormat(registered(formats::PREFERRED_DROP_EFFECT));
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) {
        SHX_TRACE("CFSTR_PREFERREDDROPEFFECT NOT supported\n");
        return false;
    }
    DWORD effect = DROPEFFECT_NONE;
    if (medium.tymed == TYMED_HGLOBAL) {
        LockedBlock locked(medium.hGlobal);
        if (locked.bytes() != nullptr && locked.size() >= 4) effect = loadLe32(locked.bytes());
    }
    ReleaseStgMedium(&medium);
    if (effect == DROPEFFECT_MOVE) {
        SHX_TRACE("DROPEFFECT_MOVE detected\n");
        return true;
    }
    SHX_TRACE("DROPEFFECT_MOVE NOT detected %08lx\n", effect);
    return false;
}

// Tells the source that the move was performed: it removes its files.
void reportMove(IDataObject* data, const char* formatName) {
    FORMATETC format = hglobalFormat(registered(formatName));
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = valueBlock(DROPEFFECT_MOVE);
    if (medium.hGlobal == nullptr) return;
    if (FAILED(data->SetData(&format, &medium, TRUE))) ReleaseStgMedium(&medium);
}

// The device items the data object offers; none when it offers none.
std::optional<DeviceItemsBlock> deviceItemsOf(IDataObject* data) {
    FORMATETC format = hglobalFormat(registered(formats::DEVICE_ITEMS));
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return std::nullopt;
    std::optional<DeviceItemsBlock> block;
    if (medium.tymed == TYMED_HGLOBAL) {
        LockedBlock locked(medium.hGlobal);
        block = readDeviceItems(locked.bytes(), locked.size());
    }
    ReleaseStgMedium(&medium);
    return block;
}

// Device items (the same way as the context menu's Paste and a drop), or
// else the host file list, into `folder`.
HRESULT pasteData(DeviceFolder* folder, IDataObject* data, bool* cutItemsMoved) {
    if (folder == nullptr || data == nullptr) return E_INVALIDARG;
    if (const std::optional<DeviceItemsBlock> block = deviceItemsOf(data)) {
        const HRESULT result = pasteDeviceItems(folder, *block, block->cut);
        *cutItemsMoved = block->cut && result == S_OK;
        return result;
    }
    const bool move = preferredMove(data);
    FORMATETC files = hglobalFormat(CF_HDROP);
    STGMEDIUM medium{};
    HRESULT result = S_FALSE;
    if (SUCCEEDED(data->GetData(&files, &medium))) {
        if (medium.tymed == TYMED_HGLOBAL)
            result = folder->CopyDroppedFiles(static_cast<HDROP>(medium.hGlobal), move ? TRUE : FALSE);
        ReleaseStgMedium(&medium);
    }
    // The source deletes its originals once it hears of a performed move:
    // that is told only when every file arrived whole on the device.
    if (move && result == S_OK) {
        reportMove(data, formats::PERFORMED_DROP_EFFECT);
        reportMove(data, formats::PASTE_SUCCEEDED);
    }
    return result;
}

}  // namespace

HRESULT CopyToOleClipboard(DeviceFolder* folder, PCUITEMID_CHILD_ARRAY items, UINT count, bool cut) {
    SHX_TRACE("CopyToOleClipboard(%u,%d)\n", count, cut);
    IDataObject* data = nullptr;
    const HRESULT made = CreateItemDataObject(folder, items, count, cut, &data);
    if (FAILED(made)) return made;
    const HRESULT set = OleSetClipboard(data);
    data->Release();
    return set;
}

HRESULT PasteFromOleClipboard(DeviceFolder* folder) {
    SHX_TRACE("PasteFromOleClipboard\n");
    if (folder == nullptr) return E_INVALIDARG;
    const DWORD sequence = GetClipboardSequenceNumber();
    IDataObject* data = nullptr;
    if (FAILED(OleGetClipboard(&data)) || data == nullptr) return S_FALSE;
    bool cutItemsMoved = false;
    const HRESULT result = pasteData(folder, data, &cutItemsMoved);
    data->Release();
    // Cut items that moved are no longer where the clipboard says.
    if (cutItemsMoved) emptyClipboardUnlessChanged(sequence);
    return result;
}

HRESULT PasteDataObject(DeviceFolder* folder, IDataObject* data) {
    bool cutItemsMoved = false;
    return pasteData(folder, data, &cutItemsMoved);
}

}  // namespace kestrel::shellext
