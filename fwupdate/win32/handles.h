// RAII owners of the Windows handles the window program holds: registry
// keys, loaded modules, GDI objects, device contexts, windows and a
// registered window class.
#pragma once

#include "platform/win32/win32.h"

#include <utility>

namespace kestrel::fwupdate::win32 {

// One owner template: Traits::close(handle) releases a valid handle.
template <typename Handle, typename Traits>
class UniqueOwner {
public:
    UniqueOwner() = default;
    explicit UniqueOwner(Handle handle) : handle_(handle) {}
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    ~UniqueOwner() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    Handle release() { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) Traits::close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_{};
};

struct RegistryKeyTraits {
    static void close(HKEY key) { RegCloseKey(key); }
};
struct ModuleTraits {
    static void close(HMODULE module) { FreeLibrary(module); }
};
struct GdiObjectTraits {
    static void close(HGDIOBJ object) { DeleteObject(object); }
};
// A window owned by the program: destroyed unless something destroyed it
// already (the user closing it, for instance).
struct WindowTraits {
    static void close(HWND window) {
        if (IsWindow(window)) DestroyWindow(window);
    }
};

using UniqueRegistryKey = UniqueOwner<HKEY, RegistryKeyTraits>;
using UniqueModule = UniqueOwner<HMODULE, ModuleTraits>;
using UniqueGdiObject = UniqueOwner<HGDIOBJ, GdiObjectTraits>;
using UniqueWindow = UniqueOwner<HWND, WindowTraits>;

// The device context of a window (null: the screen), released on scope exit.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A registered window class, unregistered on scope exit (which also deletes
// the class's background brush).
class RegisteredClass {
public:
    RegisteredClass() = default;
    ~RegisteredClass() {
        if (atom_ != 0) UnregisterClassA(MAKEINTATOM(atom_), instance_);
    }
    RegisteredClass(const RegisteredClass&) = delete;
    RegisteredClass& operator=(const RegisteredClass&) = delete;

    // Registers `windowClass`; the brush passes to the class on success.
    bool registerClass(WNDCLASSA windowClass, UniqueGdiObject brush) {
        windowClass.hbrBackground = static_cast<HBRUSH>(brush.get());
        atom_ = RegisterClassA(&windowClass);
        if (atom_ == 0) return false;
        instance_ = windowClass.hInstance;
        brush.release();
        return true;
    }

private:
    ATOM atom_ = 0;
    HINSTANCE instance_ = nullptr;
};

}  // namespace kestrel::fwupdate::win32
