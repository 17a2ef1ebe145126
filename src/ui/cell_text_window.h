#pragma once
// The text window: the full text of one grid cell in a text box that fills
// the window, so a long value can be read and selected for copying. Shown
// modally over the main window; closing it unloads it.

#include "ui/window.h"

#include <string>

namespace calvorn::ui {

enum DisplayControlId : int {
    IDC_TXTINFO = 1501,
};

class CellTextWindow final : public Window<CellTextWindow> {
  public:
    static const wchar_t* ClassName() { return L"Calvorn.CellTextWindow"; }

    // Creates the window hidden, owned by `owner`; true when it exists.
    bool Load(HWND owner);
    void Unload();
    // The text of txtinfo; setting it loads the window first when needed.
    std::wstring Text() const;
    void Text(const std::wstring& value);
    // Shows the window and returns when it has been closed; the owner takes
    // no input meanwhile.
    void ShowModal();

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void Close();

    HWND owner_ = nullptr;
    HWND txtinfo_ = nullptr;
    platform::UniqueFont font_;
};

CellTextWindow& DisplayWindow();

} // namespace calvorn::ui
