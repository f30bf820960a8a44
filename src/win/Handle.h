// Small move-only owners for Win32 resources and COM pointers. Each wrapper
// has a defined empty value, frees on destruction and before put().
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <utility>

namespace Lumo::Win {

template <class T, class Traits>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    // Frees the current value and hands out the slot for a call to fill.
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        T old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    T value_ = Traits::Invalid();
};

#define LUMO_DEFINE_TRAITS(Name, Type, InvalidValue, CloseCall) \
    struct Name {                                               \
        static Type Invalid() { return InvalidValue; }          \
        static void Close(Type value) { CloseCall(value); }     \
    }

LUMO_DEFINE_TRAITS(HandleTraits, HANDLE, nullptr, ::CloseHandle);
LUMO_DEFINE_TRAITS(FileHandleTraits, HANDLE, INVALID_HANDLE_VALUE, ::CloseHandle);
LUMO_DEFINE_TRAITS(FindTraits, HANDLE, INVALID_HANDLE_VALUE, ::FindClose);
LUMO_DEFINE_TRAITS(MenuTraits, HMENU, nullptr, ::DestroyMenu);
LUMO_DEFINE_TRAITS(HookTraits, HHOOK, nullptr, ::UnhookWindowsHookEx);
LUMO_DEFINE_TRAITS(KeyTraits, HKEY, nullptr, ::RegCloseKey);
LUMO_DEFINE_TRAITS(GdiTraits, HGDIOBJ, nullptr, ::DeleteObject);
LUMO_DEFINE_TRAITS(ImageListTraits, HIMAGELIST, nullptr, ::ImageList_Destroy);
LUMO_DEFINE_TRAITS(ModuleTraits, HMODULE, nullptr, ::FreeLibrary);
LUMO_DEFINE_TRAITS(CoTaskMemTraits, void*, nullptr, ::CoTaskMemFree);
LUMO_DEFINE_TRAITS(IdListTraits, LPITEMIDLIST, nullptr, ::ILFree);
LUMO_DEFINE_TRAITS(GlobalTraits, HGLOBAL, nullptr, ::GlobalFree);
LUMO_DEFINE_TRAITS(WindowTraits, HWND, nullptr, ::DestroyWindow);
LUMO_DEFINE_TRAITS(DcTraits, HDC, nullptr, ::DeleteDC);
LUMO_DEFINE_TRAITS(SafeArrayTraits, SAFEARRAY*, nullptr, ::SafeArrayDestroy);

#undef LUMO_DEFINE_TRAITS

using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueFind = UniqueResource<HANDLE, FindTraits>;  // FindFirstFile's search
using UniqueMenu = UniqueResource<HMENU, MenuTraits>;
using UniqueHook = UniqueResource<HHOOK, HookTraits>;
using UniqueKey = UniqueResource<HKEY, KeyTraits>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiTraits>;
using UniqueImageList = UniqueResource<HIMAGELIST, ImageListTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
using UniqueCoTaskMem = UniqueResource<void*, CoTaskMemTraits>;
using UniqueIdList = UniqueResource<LPITEMIDLIST, IdListTraits>;
using UniqueGlobal = UniqueResource<HGLOBAL, GlobalTraits>;
using UniqueWindow = UniqueResource<HWND, WindowTraits>;
using UniqueDc = UniqueResource<HDC, DcTraits>;
using UniqueSafeArray = UniqueResource<SAFEARRAY*, SafeArrayTraits>;

// Selects a GDI object into a device context for the scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~SelectedObject() { ::SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Owning COM interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes an already counted reference.
    static ComPtr Attach(T* raw) {
        ComPtr p;
        p.ptr_ = raw;
        return p;
    }
    ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
        if (ptr_) ptr_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (T* old = std::exchange(ptr_, nullptr)) old->Release();
    }
    T* detach() { return std::exchange(ptr_, nullptr); }

    template <class U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> result;
        if (ptr_) ptr_->QueryInterface(iid, result.put_void());
        return result;
    }

private:
    T* ptr_ = nullptr;
};

// The device context of a window for the scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// The painting of a window for the scope of its WM_PAINT: BeginPaint when
// made, EndPaint when it goes, whether or not a device context came out (the
// update region is validated either way).
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDc() { ::EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }
    const PAINTSTRUCT& Paint() const { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A global memory block locked for the scope: GlobalLock when made,
// GlobalUnlock when it goes (only if the lock was had). The block itself
// stays with whoever owns it and must outlive the lock.
class LockedGlobal {
public:
    LockedGlobal() = default;
    explicit LockedGlobal(HGLOBAL block) noexcept
        : block_(block), data_(block ? ::GlobalLock(block) : nullptr) {}
    LockedGlobal(LockedGlobal&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)), data_(std::exchange(other.data_, nullptr)) {}
    LockedGlobal& operator=(LockedGlobal&& other) noexcept {
        if (this != &other) {
            Unlock();
            block_ = std::exchange(other.block_, nullptr);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    ~LockedGlobal() { Unlock(); }

    // The block's bytes, null when it could not be locked.
    void* get() const { return data_; }
    template <class T>
    T* as() const {
        return static_cast<T*>(data_);
    }
    explicit operator bool() const { return data_ != nullptr; }
    // The block's size in bytes (at least what was asked for), 0 when not locked.
    SIZE_T size() const { return data_ ? ::GlobalSize(block_) : 0; }

private:
    void Unlock() noexcept {
        if (data_) ::GlobalUnlock(block_);
        data_ = nullptr;
        block_ = nullptr;
    }

    HGLOBAL block_ = nullptr;
    void* data_ = nullptr;
};

// The whole text of a window.
inline std::wstring WindowText(HWND window) {
    const int capacity = ::GetWindowTextLengthW(window) + 1;
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), capacity)));
    return text;
}

}  // namespace Lumo::Win
