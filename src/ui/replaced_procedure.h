#pragma once
// A control's window procedure replaced by one of ours, which finds the
// object it serves in the control's user data and hands every message on to
// the control's own. Chaining through the common controls' SetWindowSubclass
// would do the same, but under Wine that looks a window property up in the
// server on every message: every call to the control, and every step of its
// painting, some hundred times dearer.

#include <windows.h>

namespace calvorn::ui {

class ReplacedProcedure {
  public:
    ReplacedProcedure() = default;
    ~ReplacedProcedure() { Restore(); }
    ReplacedProcedure(const ReplacedProcedure&) = delete;
    ReplacedProcedure& operator=(const ReplacedProcedure&) = delete;

    // Puts `ours` in place of the control's procedure, serving `owner`.
    void Install(HWND control, void* owner, WNDPROC ours) {
        control_ = control;
        ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        next_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ours)));
    }
    // The object a replaced procedure serves; nullptr once the control's own
    // is back.
    template <class Owner> static Owner* OwnerOf(HWND control) {
        return reinterpret_cast<Owner*>(::GetWindowLongPtrW(control, GWLP_USERDATA));
    }
    // Hands a message on to the control's own procedure; the control's last
    // message puts that procedure back first.
    LRESULT Next(HWND control, UINT msg, WPARAM wp, LPARAM lp) {
        const WNDPROC next = next_;
        if (msg == WM_NCDESTROY)
            Restore();
        return next ? ::CallWindowProcW(next, control, msg, wp, lp)
                    : ::DefWindowProcW(control, msg, wp, lp);
    }
    void Restore() {
        if (next_ && control_ && ::IsWindow(control_)) {
            ::SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next_));
            ::SetWindowLongPtrW(control_, GWLP_USERDATA, 0);
        }
        next_ = nullptr;
        control_ = nullptr;
    }

  private:
    HWND control_ = nullptr;
    WNDPROC next_ = nullptr;
};

} // namespace calvorn::ui
