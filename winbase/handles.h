#pragma once

// Owners of Windows handles: each closes or destroys its handle when it ends.

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace quarnel::win {

template <typename H, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.h_, Traits::invalid()));
        return *this;
    }
    ~UniqueHandle() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    H release() { return std::exchange(h_, Traits::invalid()); }
    void reset(H h = Traits::invalid()) {
        if (h_ != Traits::invalid())
            Traits::close(h_);
        h_ = h;
    }

private:
    H h_ = Traits::invalid();
};

struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
// CreateFile reports failure with INVALID_HANDLE_VALUE rather than null.
struct FileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {
    static HGDIOBJ invalid() { return nullptr; }
    static void close(HGDIOBJ h) { DeleteObject(h); }
};
struct FontTraits {
    static HFONT invalid() { return nullptr; }
    static void close(HFONT h) { DeleteObject(h); }
};
struct BitmapTraits {
    static HBITMAP invalid() { return nullptr; }
    static void close(HBITMAP h) { DeleteObject(h); }
};
struct BrushTraits {
    static HBRUSH invalid() { return nullptr; }
    static void close(HBRUSH h) { DeleteObject(h); }
};
struct IconTraits {
    static HICON invalid() { return nullptr; }
    static void close(HICON h) { DestroyIcon(h); }
};
struct MenuTraits {
    static HMENU invalid() { return nullptr; }
    static void close(HMENU h) { DestroyMenu(h); }
};
struct ImageListTraits {
    static HIMAGELIST invalid() { return nullptr; }
    static void close(HIMAGELIST h);
};

struct MemoryDcTraits {
    static HDC invalid() { return nullptr; }
    static void close(HDC h) { DeleteDC(h); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueFont = UniqueHandle<HFONT, FontTraits>;
using UniqueBitmap = UniqueHandle<HBITMAP, BitmapTraits>;
using UniqueBrush = UniqueHandle<HBRUSH, BrushTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueMenu = UniqueHandle<HMENU, MenuTraits>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListTraits>;
// A device context made by CreateCompatibleDC.
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;

// A window's device context from GetDC, released when it ends.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// BeginPaint and EndPaint around the handling of one WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &paint_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { EndPaint(hwnd_, &paint_); }
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects a GDI object into a device context; the object it replaced goes back when this ends,
// whatever was selected in between.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (old_)
            SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A COM interface pointer that releases its reference when it ends.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes over the caller's reference
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    ComPtr& operator=(ComPtr other) {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() {
        if (p_)
            p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        *this = ComPtr();
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace quarnel::win
