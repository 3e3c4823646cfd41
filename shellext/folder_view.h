// FolderView: the IShellView of a device folder. It puts a window of its own
// class ("qlxshlextNSClass") into Explorer's frame with a list view of the
// folder's items in five columns, merges its commands into Explorer's File,
// Edit and View menus and toolbar, shows the product name in the status
// bar, and follows the changes that the extension's other objects report
// (NotifyViews). The view of a window is kept in the window's user data.
//
// The methods are spread over files by concern: folder_view.cpp (lifetime,
// IShellView), view_window.cpp (window class and messages), view_list.cpp
// (the list and its items), view_display.cpp (texts and icons of items),
// view_notify.cpp (list-view notifications), view_menus.cpp (menu merging
// and the toolbar), view_commands.cpp (commands, context menu, view modes),
// view_threads.cpp (references and changes from other threads).
#pragma once

#include "shellext/id_allocator.h"
#include "shellext/menu_handle.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"
#include "shellext/view_changes.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext {

class DeviceFolder;

// The class name of the view's window.
inline constexpr char VIEW_WINDOW_CLASS[] = "qlxshlextNSClass";
// The identifier of the list-view control inside the view's window.
inline constexpr int LIST_VIEW_ID = 2000;

// UI states given to UIActivate.
enum class UiState : UINT {
    Deactivated = SVUIA_DEACTIVATE,
    ActiveNoFocus = SVUIA_ACTIVATE_NOFOCUS,
    ActiveFocus = SVUIA_ACTIVATE_FOCUS,
};

class FolderView final : public IShellView, LiveObject {
public:
    // A view of `folder` (a reference is taken) whose relative identifier
    // is `relative` (copied). Appends the view to the view registry.
    // E_OUTOFMEMORY (and null) when it cannot be made.
    static HRESULT create(DeviceFolder* folder, LPCITEMIDLIST relative, FolderView** out);
    // The view of `window` when it is a view window (class name compared
    // case-insensitively); null otherwise.
    static FolderView* fromWindow(HWND window);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    // IShellView
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE UIActivate(UINT state) override;
    HRESULT STDMETHODCALLTYPE Refresh() override;
    HRESULT STDMETHODCALLTYPE CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings,
                                               IShellBrowser* browser, RECT* rectangle, HWND* out) override;
    HRESULT STDMETHODCALLTYPE DestroyViewWindow() override;
    HRESULT STDMETHODCALLTYPE GetCurrentInfo(LPFOLDERSETTINGS out) override;
    HRESULT STDMETHODCALLTYPE AddPropertySheetPages(DWORD reserved, LPFNSVADDPROPSHEETPAGE add,
                                                    LPARAM parameter) override;
    HRESULT STDMETHODCALLTYPE SaveViewState() override;
    HRESULT STDMETHODCALLTYPE SelectItem(PCUITEMID_CHILD item, SVSIF flags) override;
    HRESULT STDMETHODCALLTYPE GetItemObject(UINT which, REFIID riid, void** out) override;

    // A reference for a caller that found the view in the view registry:
    // taken unless the last one is already gone (false then).
    [[nodiscard]] bool addRefIfAlive();

    // A change for the view from NotifyViews, on any thread: applied at once
    // on the thread of the view's window, otherwise queued and applied there
    // when the window takes its message. A view without a window has nothing
    // to change (its list is read when the window is made).
    void postChange(LONG event, LPCITEMIDLIST item, LPCITEMIDLIST newItem);

    // The view operations of NotifyViews, on the view's own thread.
    const DeviceFolder* folder() const;            // the folder shown
    void appendItem(LPCITEMIDLIST item);           // SHCNE_CREATE / SHCNE_MKDIR (a listed item: updated)
    void removeItem(LPCITEMIDLIST item);           // SHCNE_DELETE / SHCNE_RMDIR
    void renameItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem);  // skipped during label editing
    void updateItem(LPCITEMIDLIST item, LPCITEMIDLIST newItem);
    void markCut(LPCITEMIDLIST const* items, UINT count);
    void editLabel(LPCITEMIDLIST item);

    HWND window() const { return window_; }
    HWND listView() const { return listView_; }

private:
    FolderView(DeviceFolder* folder, std::unique_ptr<IdAllocator> allocator);
    ~FolderView();
    void releaseBrowsers();

    // view_window.cpp
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool registerWindowClass();
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onCreate();
    void onSize(int width, int height);
    void focusList();
    // view_threads.cpp
    void applyQueuedChanges();
    // The view is going while its window lives on another thread: the
    // window is parted from the view and asked to close there.
    void leaveForeignWindow();

    // view_list.cpp
    bool createListView();
    void insertColumns();
    void applyExtendedStyle();
    void fillList();
    bool insertItem(LPCITEMIDLIST item);
    void sortList();
    int findItem(LPCITEMIDLIST item) const;
    LPCITEMIDLIST itemAt(int index) const;
    std::vector<LPCITEMIDLIST> selectedItems() const;
    std::vector<LPCITEMIDLIST> allItems() const;
    void replaceItem(int index, LPCITEMIDLIST newItem);

    // view_display.cpp
    std::string itemText(LPCITEMIDLIST item, int column) const;
    void onGetDisplayInfo(LVITEMA& entry);
    void onGetDisplayInfo(LVITEMW& entry);
    int itemImage(LPCITEMIDLIST item);
    // The shared image of a file named `name` (icons from `icon`).
    int fileIcons(const std::string& name, IExtractIconA* icon);

    // view_notify.cpp
    LRESULT onNotify(NMHDR& header);
    LRESULT onListNotify(NMHDR& header);
    static std::wstring wideText(const char* text);
    BOOL onBeginLabelEdit(int index);
    BOOL onEndLabelEdit(int index, const wchar_t* text);
    void onItemChanged(const NMLISTVIEW& change);
    void onListFocus(bool gained);
    void onItemActivate();
    // A drag of the selected items with `button` (MK_LBUTTON or MK_RBUTTON).
    void onBeginDrag(DWORD button);
    void onHeaderEndTrack(const NMHEADERA& change);
    void tellBrowser(ULONG change);

    // view_menus.cpp
    void mergeMenus(UiState state);
    void removeMergedMenu();
    void mergeFileMenu(HMENU file, bool focus);
    void mergeEditMenu(HMENU edit, bool focus);
    void mergeViewMenu(HMENU view);
    void onInitMenuPopup(HMENU menu);
    void setStatusText();
    void setUpToolbar();
    void checkModeButton();
    LRESULT onToolTip(NMHDR& header);

    // view_commands.cpp
    void onCommand(UINT command);
    UINT contextMenuFlags(size_t selected) const;
    void runContextMenu(POINT point, bool runDefault, int command);
    void setViewMode(UINT command);
    void clipboardCommand(UINT command);

    std::atomic<ULONG> references_{1};
    UiState uiState_ = UiState::Deactivated;
    OwnedItemList relative_;
    FOLDERSETTINGS settings_{FVM_DETAILS, 0};
    IShellBrowser* browser_ = nullptr;  // a reference from CreateViewWindow to DestroyViewWindow
    bool browserHeld_ = false;          // that reference was taken
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    HWND listView_ = nullptr;
    OwnedMenu mergedMenu_;
    DeviceFolder* folder_;  // holds a reference
    std::unique_ptr<IdAllocator> allocator_;
    HACCEL accelerators_ = nullptr;  // a resource of the library: not destroyed
    bool labelEditing_ = false;
    ICommDlgBrowser* dialogBrowser_ = nullptr;
    int viewBitmapOffset_ = 0;
    bool registered_ = false;  // in the view registry
    // The view's window for other threads: set while it exists.
    std::atomic<HWND> changeWindow_{nullptr};
    ViewChangeQueue queuedChanges_;
};

// CreateViewObject's view: a FolderView on `folder` and its relative
// identifier, queried for `riid`; E_OUTOFMEMORY when it cannot be made.
HRESULT CreateFolderView(DeviceFolder* folder, REFIID riid, void** out);

}  // namespace kestrel::shellext
