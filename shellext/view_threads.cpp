// FolderView: what other threads may do with a view. They find it in the
// view registry, hold it while they use it, and hand it changes; the list
// itself is changed only on the thread of the view's window.
#include "shellext/folder_view.h"
#include "shellext/notify_views.h"
#include "shellext/trace.h"

namespace kestrel::shellext {

bool FolderView::addRefIfAlive() {
    ULONG count = references_.load();
    while (count != 0)
        if (references_.compare_exchange_weak(count, count + 1)) return true;
    return false;
}

void FolderView::postChange(LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem) {
    const HWND window = changeWindow_.load();
    if (window == nullptr) return;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        applyViewChange(*this, event, item, newItem);
        return;
    }
    queuedChanges_.push(ViewChange(event, item, newItem));
    // A window that is gone meanwhile takes no message: its queue goes with
    // the view.
    const UINT message = viewChangeMessage();
    if (message == 0 || !PostMessageA(window, message, 0, 0))
        SHX_TRACE("FolderView::postChange: the window takes no message\n");
}

void FolderView::applyQueuedChanges() {
    for (const ViewChange& change : queuedChanges_.take())
        applyViewChange(*this, change.event(), change.item(), change.newItem());
}

void FolderView::leaveForeignWindow() {
    const HWND window = changeWindow_.exchange(nullptr);
    if (window == nullptr) return;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    window_ = nullptr;
    listView_ = nullptr;
}

}  // namespace kestrel::shellext
