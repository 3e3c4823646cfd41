// FolderView: the window class "qlxshlextNSClass" and its messages.
#include "shellext/device_folder.h"
#include "shellext/folder_view.h"
#include "shellext/trace.h"

#include <windowsx.h>

namespace kestrel::shellext {

namespace {

// Releases the interface when it goes.
struct HeldDropTarget {
    IDropTarget* pointer = nullptr;
    ~HeldDropTarget() {
        if (pointer != nullptr) pointer->Release();
    }
};

}  // namespace

bool FolderView::registerWindowClass() {
    const HINSTANCE instance = ServerModule::instance().resources();
    WNDCLASSA existing{};
    if (GetClassInfoA(instance, VIEW_WINDOW_CLASS, &existing)) return true;
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = VIEW_WINDOW_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

FolderView* FolderView::fromWindow(HWND window) {
    if (window == nullptr || !IsWindow(window)) return nullptr;
    char name[64] = {};
    if (GetClassNameA(window, name, sizeof name) == 0 || lstrcmpiA(name, VIEW_WINDOW_CLASS) != 0) return nullptr;
    return reinterpret_cast<FolderView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK FolderView::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* view = static_cast<FolderView*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        view->window_ = window;
        view->changeWindow_ = window;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* view = reinterpret_cast<FolderView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (view == nullptr) {
        // A window whose view went on another thread (leaveForeignWindow)
        // closes here, and its drop target (which holds the folder) goes
        // with it.
        if (message == WM_DESTROY) RevokeDragDrop(window);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        view->changeWindow_ = nullptr;
        view->window_ = nullptr;
        view->listView_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return view->onMessage(message, wParam, lParam);
}

LRESULT FolderView::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == viewChangeMessage()) {
        applyQueuedChanges();
        return 0;
    }
    switch (message) {
    case WM_CREATE: return onCreate();
    case WM_DESTROY: RevokeDragDrop(window_); break;
    case WM_SIZE: onSize(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_ACTIVATE:
        UIActivate(SVUIA_ACTIVATE_FOCUS);
        break;
    case WM_SETFOCUS: focusList(); return 0;
    case WM_SETTINGCHANGE:
        if (lParam != 0 && lstrcmpiA(reinterpret_cast<const char*>(lParam), "ShellState") == 0) applyExtendedStyle();
        break;
    case WM_NOTIFY: return onNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND: onCommand(LOWORD(wParam)); return 0;
    case WM_CONTEXTMENU: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (point.x == -1 && point.y == -1) {  // from the keyboard: at the view's corner
            point = {0, 0};
            ClientToScreen(window_, &point);
        }
        runContextMenu(point, false, -1);
        return 0;
    }
    case WM_INITMENUPOPUP: onInitMenuPopup(reinterpret_cast<HMENU>(wParam)); return 0;
    default: break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT FolderView::onCreate() {
    if (!createListView()) return -1;
    applyExtendedStyle();
    insertColumns();
    const ImageLists& images = ServerModule::instance().imageLists();
    ListView_SetImageList(listView_, images.large(), LVSIL_NORMAL);
    ListView_SetImageList(listView_, images.small(), LVSIL_SMALL);
    fillList();
    HeldDropTarget target;
    if (SUCCEEDED(folder_->CreateViewObject(window_, IID_IDropTarget, reinterpret_cast<void**>(&target.pointer))) &&
        target.pointer != nullptr)
        RegisterDragDrop(window_, target.pointer);
    return 0;
}

void FolderView::onSize(int width, int height) {
    if (listView_ == nullptr) return;
    MoveWindow(listView_, 0, 0, width, height, TRUE);
    ListView_SetColumnWidth(listView_, 0, ServerModule::instance().nameColumnWidth());
    ListView_SetColumnWidth(listView_, 1, LVSCW_AUTOSIZE_USEHEADER);
}

void FolderView::focusList() {
    if (listView_ == nullptr) return;
    SetFocus(listView_);
    if (ListView_GetNextItem(listView_, -1, LVNI_FOCUSED) == -1)
        ListView_SetItemState(listView_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
}

}  // namespace kestrel::shellext
