#pragma once
// Owners for GDI objects and device contexts, beside the handle owners: each
// gives back what it holds the one way its kind must be given back, and a
// selection puts the DC's earlier object back before either goes.
//
// Members that hold a DC, an object selected into it and the selection are
// declared in that order (object, DC, selection), so that they are undone in
// the reverse: the object leaves the DC before the DC and then the object go.

#include "platform/unique_handle.h"

#include <windows.h>

#include <utility>

namespace calvorn::platform {

template <typename Object> struct GdiObjectTraits {
    using handle_type = Object;
    static Object invalid() noexcept { return nullptr; }
    static void close(Object h) noexcept { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using handle_type = HDC;
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC h) noexcept { ::DeleteDC(h); }
};

using UniqueFont = UniqueHandleOf<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandleOf<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandleOf<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandleOf<GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandleOf<GdiObjectTraits<HRGN>>;
// A DC of CreateCompatibleDC or CreateDC.
using UniqueMemoryDc = UniqueHandleOf<MemoryDcTraits>;

// A window's DC from GetDC, released to that window.
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    WindowDc(WindowDc&& other) noexcept
        : hwnd_(std::exchange(other.hwnd_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            Release();
            hwnd_ = std::exchange(other.hwnd_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    ~WindowDc() { Release(); }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

  private:
    void Release() noexcept {
        if (dc_)
            ::ReleaseDC(hwnd_, std::exchange(dc_, nullptr));
    }

    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
};

// A paint between BeginPaint and EndPaint. Neither copied nor moved: the
// system keeps the paint's state at the address it was given.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() {
        if (dc_)
            ::EndPaint(hwnd_, &ps_);
    }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    const PAINTSTRUCT& Info() const noexcept { return ps_; }

  private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// An object selected into a DC; the object the DC held before the first
// selection goes back in when the scope ends. It owns neither the DC nor
// the objects. Not for regions: a DC takes those as a clip (SelectClipRgn).
class SelectedObject {
  public:
    SelectedObject() noexcept = default;
    SelectedObject(HDC dc, HGDIOBJ object) noexcept { Select(dc, object); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    SelectedObject(SelectedObject&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), old_(std::exchange(other.old_, nullptr)) {}
    SelectedObject& operator=(SelectedObject&& other) noexcept {
        if (this != &other) {
            Restore();
            dc_ = std::exchange(other.dc_, nullptr);
            old_ = std::exchange(other.old_, nullptr);
        }
        return *this;
    }
    ~SelectedObject() { Restore(); }

    // Selects `object` into `dc` (nothing for no object or no DC); another
    // DC than the last one's first gets its own earlier object back.
    // Returns false when the DC refuses the object.
    bool Select(HDC dc, HGDIOBJ object) noexcept {
        if (!dc || !object)
            return false;
        if (dc != dc_)
            Restore();
        HGDIOBJ previous = ::SelectObject(dc, object);
        if (!previous || previous == HGDI_ERROR)
            return false;
        if (!old_) {
            dc_ = dc;
            old_ = previous;
        }
        return true;
    }
    void Restore() noexcept {
        if (dc_ && old_)
            ::SelectObject(dc_, old_);
        dc_ = nullptr;
        old_ = nullptr;
    }

  private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

} // namespace calvorn::platform
