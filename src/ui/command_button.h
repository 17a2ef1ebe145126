#pragma once
// Command: the program's custom-drawn push button, a window class of its
// own ("Calvorn.Command"). The window text is the caption; assistive tools
// are given an accessible push button named by it (see
// command_button_accessible.cpp). A click reaches the
// parent as WM_COMMAND with BN_CLICKED and the button's control id; BM_CLICK
// is the access key being pressed (the dialog manager sends it).

#include "platform/gdi_objects.h"
#include "ui/command_button_state.h"
#include "ui/form_layout.h"

#include <windows.h>

#include <string>

namespace calvorn::ui {

inline constexpr const wchar_t* kCommandClassName = L"Calvorn.Command";

// Registers the window class once per process; false when the system refuses.
bool RegisterCommandClass();
// A new child button, visible, a tab stop; nullptr when creation fails.
HWND CreateCommand(HWND parent, int id, const std::wstring& caption, int x, int y, int width,
                   int height);

class CommandButton {
  public:
    // The button behind a window of the class, or nullptr for any other window.
    static CommandButton* From(HWND hwnd);

    HWND Hwnd() const { return hwnd_; }
    const std::wstring& Caption() const { return logic_.Caption(); }
    void Caption(const std::wstring& value);
    bool Enabled();
    void Enabled(bool value);
    void Initialize();
    // 255 when the button is shown (and then repaints), 0 when hidden.
    std::uint8_t Visible();
    void Visible(std::uint8_t value);
    // Shown or hidden through Visible, without the repaint a read makes.
    bool Opaque() const { return logic_.Opaque(); }

    // The shield before the caption: the action asks for the administrator's
    // rights, which the program does not have.
    bool Shield() const { return shield_; }
    void Shield(bool value);

    // What assistive tools call the button: the name set here, else the
    // caption as it reads.
    std::wstring AccessibleName() const;
    void AccessibleName(const std::wstring& value) { accessibleName_ = value; }
    // The system colours, the theme or the window's DPI changed: the button
    // draws itself again in the new ones.
    void DisplayChanged();

    void ReadProperties(const LayoutBlock& block, const std::wstring& ambientFace);
    void WriteProperties(LayoutBlock& block, const std::wstring& ambientFace) const;

    const ButtonLogic& Logic() const { return logic_; }
    const ButtonPaint& LastPaint() const { return lastPaint_; }

  private:
    friend LRESULT CALLBACK CommandProc(HWND, UINT, WPARAM, LPARAM);
    explicit CommandButton(HWND hwnd);
    ~CommandButton();

    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Carry(const ButtonReaction& reaction);
    // Asks the system for one WM_MOUSELEAVE when the cursor leaves.
    void TrackLeave();
    void Render(const ButtonPaint& paint);
    void Draw(); // lastPaint_ into the off-screen bitmap
    // The same in system colours only: a flat face, a frame and the caption.
    void DrawInSystemColours(const RECT& client);
    void DrawCaption(const RECT& client, COLORREF colour);
    LRESULT AnswerGetObject(WPARAM wp, LPARAM lp);
    void OnPaint();
    void MakeFont();
    int Border() const;

    HWND hwnd_;
    ButtonLogic logic_;
    ButtonPaint lastPaint_;
    std::wstring fontFace_ = L"Arial";
    std::wstring accessibleName_;
    platform::UniqueFont font_;
    platform::UniqueBitmap memBitmap_;
    platform::UniqueMemoryDc memDc_;
    platform::SelectedObject memSelected_; // memBitmap_ in memDc_
    SIZE memSize_{};
    bool stale_ = false; // lastPaint_ is not drawn yet
    bool settingFocusForKey_ = false;
    bool leaveTracked_ = false; // a WM_MOUSELEAVE is due when the cursor leaves
    bool shield_ = false;
};

// The system's shield icon, `size` pixels square, drawn at (x, y); nothing
// when the system has none (command_button_shield.cpp).
int ShieldSize(UINT dpi);
void DrawShield(HDC dc, int x, int y, int size);

} // namespace calvorn::ui
