// ItemContextMenu: the actions of its commands.
#include "shellext/clipboard_session.h"
#include "shellext/context_menu_block.h"
#include "shellext/context_menu_open.h"
#include "shellext/context_menu_verbs.h"
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/global_block.h"
#include "shellext/item_context_menu.h"
#include "shellext/private_paste.h"
#include "shellext/temporary_copy.h"
#include "shellext/trace.h"
#include "shellext/transfer.h"

#include <vector>

namespace kestrel::shellext {

namespace {

constexpr UINT NEW_NAME_SIZE = 260;

// The device items on the clipboard (which must be open); none when it
// holds none or the block does not hold what it claims.
std::optional<DeviceItemsBlock> clipboardItems(UINT format) {
    HANDLE data = GetClipboardData(format);
    if (data == nullptr) return std::nullopt;
    LockedBlock locked(static_cast<HGLOBAL>(data));
    return readDeviceItems(locked.bytes(), locked.size());
}

}  // namespace

void ItemContextMenu::run(UINT offset, HWND window) {
    SHX_TRACE("ItemContextMenu::run(%u)\n", offset);
    switch (offset) {
    case CMD_EXPLORE: explore(window, "explore"); break;
    case CMD_OPEN: open(window); break;
    case CMD_NEW_FOLDER: newEntry(true, window); break;
    case CMD_NEW_ITEM: newEntry(false, window); break;
    case CMD_RENAME: rename(window); break;
    case CMD_DELETE: remove(); break;
    case CMD_COPY: copyToClipboard(false, window); break;
    case CMD_CUT: copyToClipboard(true, window); break;
    case CMD_PASTE: paste(); break;
    default: break;  // 0, 3, Modify Data, the separator, the View menu and the view modes
    }
}

void ItemContextMenu::explore(HWND window, const char* verb) const {
    if (count_ == 0) return;
    OwnedItemList absolute = allocator_->own(allocator_->concatenate(folder_->absoluteId(), items_[0]));
    if (!absolute) return;
    executeFolder(absolute.get(), verb, window != nullptr ? GetParent(window) : nullptr);
}

void ItemContextMenu::open(HWND window) const {
    if (count_ == 0) return;
    if (IdAllocator::isFolderLike(IdAllocator::last(items_[0]))) {
        explore(window, "open");
        return;
    }
    // A host program takes a host path: it gets a temporary copy of the
    // file, never the device path.
    const std::optional<std::string> copy = copyToTemporaryHostFile(
        folder_->device(), folder_->fullPathOf(items_[0]).text, IdAllocator::nameText(IdAllocator::last(items_[0])));
    if (copy) executeFile(*copy);
}

void ItemContextMenu::rename(HWND window) const {
    FolderView* view = FolderView::fromWindow(window);
    if (view != nullptr && count_ > 0) view->editLabel(items_[0]);
}

void ItemContextMenu::newEntry(bool folder, HWND window) const {
    char name[NEW_NAME_SIZE] = {};
    if (FAILED(folder_->MakeNewName(folder ? TRUE : FALSE, name, NEW_NAME_SIZE))) return;
    WCHAR wide[NEW_NAME_SIZE] = {};
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide, NEW_NAME_SIZE);
    LPITEMIDLIST made = nullptr;
    const HRESULT result = folder ? folder_->CreateFolder(wide, &made) : folder_->CreateItem(wide, 0, &made);
    OwnedItemList item = allocator_->own(SUCCEEDED(result) ? made : nullptr);
    if (!item) return;  // creating entries is not supported: the command ends here
    if (FolderView* view = FolderView::fromWindow(window)) view->editLabel(item.get());
}

void ItemContextMenu::copyToClipboard(bool cut, HWND window) const {
    ClipboardSession clipboard;
    if (!clipboard.open() || !EmptyClipboard()) return;
    HGLOBAL data = deviceItemsBlock(folder_->absoluteId(), items_, count_, cut);
    if (data == nullptr) return;
    if (SetClipboardData(format_, data) == nullptr) {
        GlobalFree(data);
        return;
    }
    if (!cut) return;
    if (FolderView* view = FolderView::fromWindow(window)) view->markCut(items_, count_);
}

void ItemContextMenu::paste() const {
    std::optional<DeviceItemsBlock> block;
    DWORD sequence = 0;
    {
        ClipboardSession clipboard;
        if (!clipboard.open()) return;
        block = clipboardItems(format_);
        sequence = GetClipboardSequenceNumber();
    }
    // The clipboard is closed again before anything is copied: a copy on
    // the device may take minutes, and no other program can use the
    // clipboard while it is open.
    if (!block) {
        (void)PasteFromOleClipboard(folder_);  // host files
        return;
    }
    const HRESULT result = pasteDeviceItems(folder_, *block, block->cut);
    if (result == S_OK && block->cut) emptyClipboardUnlessChanged(sequence);
}

void ItemContextMenu::remove() const {
    if (count_ == 0) return;
    folder_->DeleteItems(const_cast<LPCITEMIDLIST*>(items_), count_);
}

}  // namespace kestrel::shellext
