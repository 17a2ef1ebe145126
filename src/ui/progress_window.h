#pragma once
// The progress window of the folder report: names the file in hand, shows
// how far the report has got ("File 3 of 12") and offers Cancel. A request
// to close it is a click on Cancel: the window stays until the report hides
// it when it ends.

#include "ui/window.h"

#include <cstdint>
#include <functional>
#include <string>

namespace calvorn::ui {

// Stable control identifiers, for tests and keyboard routing.
enum ProgressControlId : int {
    IDC_PROGRESS_WAIT = 2001,
    IDC_PROGRESS_TITLE = 2002,
    IDC_PROGRESS_ITEM_CAPTION = 2003,
    IDC_PROGRESS_FILE = 2004,
    IDC_PROGRESS_BAR = 2005,
    IDC_PROGRESS_CANCEL = 2006,
    IDC_PROGRESS_ICON = 2007,
    IDC_PROGRESS_RULE = 2008,
    IDC_PROGRESS_COUNT = 2009,
};

class ProgressWindow final : public Window<ProgressWindow> {
  public:
    static const wchar_t* ClassName() { return L"Calvorn.ProgressWindow"; }

    // Creates the window hidden; true when it exists.
    bool Load();
    void Show();
    void Hide();

    // The progress bar's range maximum (its minimum is 0) and position, also
    // told in words. The bar shows a new position when it moves by a pixel or
    // more, at most about thirty times a second, and always the maximum.
    void Max(std::int32_t value);
    void Value(std::int32_t value);
    // The caption of lblFile: the file in hand.
    void FileCaption(const std::wstring& text);
    // What the window says it is doing: its title and heading ("Creating
    // ActiveX Report"), the label of the item in hand ("Current file:") and
    // the word of the count ("File" 3 of 12).
    void Task(const std::wstring& title, const std::wstring& itemLabel,
              const std::wstring& countWord);

    // Called on each click of Cancel and each request to close the window;
    // the window itself keeps no state.
    void OnCancel(std::function<void()> handler) { onCancel_ = std::move(handler); }

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnDestroy();
    HWND AddControl(const wchar_t* cls, const wchar_t* text, DWORD style, int id, int left, int top,
                    int width, int height, HFONT font);
    HWND Control(int id) const { return ::GetDlgItem(Hwnd(), id); }

    std::function<void()> onCancel_;
    std::int32_t max_ = 0;
    std::wstring countWord_ = L"File";
    int shownPixels_ = -1;
    DWORD shownAt_ = 0;
    UINT dpi_ = 96;
    platform::UniqueFont font_;
    platform::UniqueFont boldFont_;
};

// The one progress window of the process, created on first use.
ProgressWindow& TheProgressWindow();

} // namespace calvorn::ui
