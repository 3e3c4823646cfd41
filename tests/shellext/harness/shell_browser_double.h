// A hand-written IShellBrowser for folder views, as Explorer's frame is to
// them: a visible top-level frame window with a real toolbar and status bar
// that the view's control messages reach, the browser's own File, Edit and
// View menus for menu merging (View with its options separator), and a
// record of what the view asked for. Strict: a method the view has no
// business calling fails the test.
#pragma once

#include "tests/shellext/harness/strict_double.h"

#include <string>
#include <vector>

namespace kestrel::shellext::test {

// Commands of the browser's own menu entries.
inline constexpr UINT BROWSER_FILE_CLOSE = 0x7101;
inline constexpr UINT BROWSER_EDIT_UNDO = 0x7102;
inline constexpr UINT BROWSER_VIEW_OPTIONS = 0x7103;

class ShellBrowserDouble final : public StrictDouble<IShellBrowser> {
public:
    // `tree`: whether GetControlWindow(FCW_TREE) gives a window (Explorer's
    // folder tree: context menus then offer Explore first).
    explicit ShellBrowserDouble(bool tree = false);
    ~ShellBrowserDouble() override;

    HWND frame() const { return frame_; }
    HWND toolbar() const { return toolbar_; }
    HWND statusBar() const { return status_; }
    // The area below the toolbar and above the status bar.
    RECT viewArea() const;

    // The menu the view last set with SetMenuSB (null after a removal).
    HMENU menu() const { return menu_; }
    HMENU submenu(UINT command) const;
    int menusInserted() const { return inserted_; }
    int menusRemoved() const { return removed_; }
    int viewActivations() const { return activations_; }
    // The status bar's text, and whether the view's button `command` is
    // checked on the toolbar.
    std::string statusText() const;
    bool buttonChecked(UINT command) const;
    int buttonCount() const;

    // From now on the browser answers ICommDlgBrowser with `dialog`, as the
    // browser of a common file dialog does (null: no longer).
    void offerDialogBrowser(ICommDlgBrowser* dialog) { dialog_ = dialog; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return unexpected("ContextSensitiveHelp"); }
    // IShellBrowser
    HRESULT STDMETHODCALLTYPE InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetMenuSB(HMENU shared, HOLEMENU ole, HWND active) override;
    HRESULT STDMETHODCALLTYPE RemoveMenusSB(HMENU shared) override;
    HRESULT STDMETHODCALLTYPE SetStatusTextSB(LPCWSTR) override { return unexpected("SetStatusTextSB"); }
    HRESULT STDMETHODCALLTYPE EnableModelessSB(BOOL) override { return unexpected("EnableModelessSB"); }
    HRESULT STDMETHODCALLTYPE TranslateAcceleratorSB(MSG*, WORD) override {
        return unexpected("TranslateAcceleratorSB");
    }
    HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return unexpected("BrowseObject"); }
    HRESULT STDMETHODCALLTYPE GetViewStateStream(DWORD, IStream**) override {
        return unexpected("GetViewStateStream");
    }
    HRESULT STDMETHODCALLTYPE GetControlWindow(UINT id, HWND* out) override;
    HRESULT STDMETHODCALLTYPE SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) override;
    HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView**) override {
        return unexpected("QueryActiveShellView");
    }
    HRESULT STDMETHODCALLTYPE OnViewWindowActive(IShellView* view) override;
    HRESULT STDMETHODCALLTYPE SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    HWND frame_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND status_ = nullptr;
    HWND tree_ = nullptr;
    HMENU menu_ = nullptr;
    ICommDlgBrowser* dialog_ = nullptr;
    int inserted_ = 0;
    int removed_ = 0;
    int activations_ = 0;
};

// Lets the windows of this thread handle what is waiting for `milliseconds`.
void pumpMessages(DWORD milliseconds);

}  // namespace kestrel::shellext::test
