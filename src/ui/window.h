#pragma once
// A small CRTP base for the program's windows. The derived class supplies
// ClassName() and handlers named OnXxx; the base routes messages to them.
// No exception leaves the window procedure: a handler that throws is
// reported, and the message gets the default handling.

#include "platform/gdi_objects.h"
#include "ui/procedure_guard.h"

#include <windows.h>

#include <string>

namespace calvorn::ui {

// Twips to pixels at the window's real DPI (1440 twips to the inch).
int TwipsToPixels(int twips, UINT dpi);
// The DPI a window is laid out for: its top-level window's, as the last DPI
// change told it, else the system's.
UINT WindowDpi(HWND hwnd);
// Records the DPI a top-level window was moved to (0 forgets it, when the
// window goes).
void TopLevelDpi(HWND topLevel, UINT dpi);
// The message-font the program uses for controls, at the given DPI.
platform::UniqueFont UiFont(UINT dpi, const wchar_t* face = L"Arial", int points10 = 90,
                            bool bold = false);

template <typename Derived> class Window {
  public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() {
        if (hwnd_) {
            ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            ::DestroyWindow(hwnd_);
        }
    }

    HWND Hwnd() const { return hwnd_; }

    // Creates the window hidden. Returns false when the system refuses.
    bool CreateHidden(const std::wstring& caption, DWORD style, DWORD exStyle, int width,
                      int height, HWND owner = nullptr) {
        static const ATOM atom = Register();
        if (!atom)
            return false;
        return ::CreateWindowExW(exStyle, Derived::ClassName(), caption.c_str(), style,
                                 CW_USEDEFAULT, CW_USEDEFAULT, width, height, owner, nullptr,
                                 ::GetModuleHandleW(nullptr), this) != nullptr;
    }

  protected:
    // The default handling, for derived handlers that want it too.
    LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
        return ::DefWindowProcW(hwnd_, msg, wp, lp);
    }
    // Derived classes override HandleMessage and fall back to DefaultProc.
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return DefaultProc(msg, wp, lp); }

  private:
    static ATOM Register() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Window::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        // The program's icon, the small one drawn for the title bar's size.
        wc.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.hIconSm = static_cast<HICON>(::LoadImageW(
            ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
            ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
        wc.lpszClassName = Derived::ClassName();
        return ::RegisterClassExW(&wc);
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        Window* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (!self)
            return ::DefWindowProcW(hwnd, msg, wp, lp);
        const LRESULT r = Guarded(
            Derived::ClassName(), msg,
            [&] { return static_cast<Derived*>(self)->HandleMessage(msg, wp, lp); },
            [&] { return ::DefWindowProcW(hwnd, msg, wp, lp); });
        if (msg == WM_NCDESTROY)
            self->hwnd_ = nullptr;
        return r;
    }

    HWND hwnd_ = nullptr;
};

} // namespace calvorn::ui
