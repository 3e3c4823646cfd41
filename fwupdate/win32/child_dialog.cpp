#include "fwupdate/win32/child_dialog.h"

#include "fwupdate/core/dialog_template.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrel::fwupdate::win32 {

namespace {

// A copy of the template resource; empty when it cannot be loaded.
std::vector<uint8_t> loadTemplate(const char* name, HINSTANCE instance) {
    const HRSRC found = FindResourceA(instance, name, RT_DIALOG);
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(instance, found);
    if (bytes == nullptr || size == 0) return {};
    std::vector<uint8_t> copy(size);
    std::memcpy(copy.data(), bytes, size);
    return copy;
}

// Moves `window` to `rect` after clamping it against the primary screen:
// a window that fits the screen but would pass its right or bottom edge is
// moved back so that it ends there.
void moveClamped(HWND window, RECT rect) {
    const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (width <= screenWidth && rect.left + width > screenWidth) rect.left = screenWidth - width;
    if (height <= screenHeight && rect.top + height > screenHeight) rect.top = screenHeight - height;
    MoveWindow(window, rect.left, rect.top, width, height, TRUE);
}

LONG widthOf(const RECT& rect) { return rect.right - rect.left; }
LONG heightOf(const RECT& rect) { return rect.bottom - rect.top; }

}  // namespace

HWND CreateChildDialog(const char* templateName, HINSTANCE instance, DLGPROC procedure, HWND parent) {
    if (!IsWindow(parent)) return nullptr;
    if (IsZoomed(parent)) ShowWindow(parent, SW_RESTORE);

    std::vector<uint8_t> dialogTemplate = loadTemplate(templateName, instance);
    if (dialogTemplate.empty() || !patchChildDialogTemplate(dialogTemplate)) return nullptr;
    const HWND dialog =
        CreateDialogIndirectParamA(instance, reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), parent,
                                   procedure, reinterpret_cast<LPARAM>(parent));
    if (dialog == nullptr) return nullptr;

    // The parent's client area takes exactly the dialog's outer size.
    RECT dialogRect, parentRect, client;
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(parent, &parentRect);
    GetClientRect(parent, &client);
    parentRect.right += widthOf(dialogRect) - client.right;
    parentRect.bottom += heightOf(dialogRect) - client.bottom;
    moveClamped(parent, parentRect);
    SetWindowPos(dialog, nullptr, 0, 0, widthOf(dialogRect), heightOf(dialogRect), SWP_NOZORDER | SWP_NOACTIVATE);

    // A menu bar that wrapped, for instance, leaves the client area short.
    GetClientRect(parent, &client);
    if (client.bottom < heightOf(dialogRect)) {
        GetWindowRect(parent, &parentRect);
        parentRect.bottom += heightOf(dialogRect) - client.bottom;
        moveClamped(parent, parentRect);
    }
    ShowWindow(dialog, SW_SHOW);
    return dialog;
}

}  // namespace kestrel::fwupdate::win32
