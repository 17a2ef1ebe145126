#pragma once
// The text window: the full text of one grid cell in a text box that fills
// the window, so a long value can be read and selected for copying. Shown
// modally over the main window; closing it unloads it.

#include "ui/window.h"

#include <functional>
#include <string>

namespace calvorn::ui {

enum DisplayControlId : int {
    IDC_CELL_TEXT = 1501,
    IDC_SAVE_TEXT = 1502,
    IDC_CELL_ACTION = 1503,
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
    // A "Save..." button under the text for the next showing, which hands the
    // text to `save`; closing the window takes it away again.
    void OfferSave(std::function<void(HWND window, const std::wstring& text)> save);
    // One more button, left of "Save...", for the next showing: `label`
    // ("&Undo...") runs `act`.
    void OfferAction(const std::wstring& label, std::function<void(HWND window)> act);
    // Another caption and client size (in twips) than a cell's, for the next
    // showing.
    void Frame(const std::wstring& caption, int widthTwips, int heightTwips);
    // A fixed-pitch font and a read-only text for this showing: a text laid
    // out in columns, such as the command-line usage, keeps them.
    void FixedPitch();

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void Close();

    HWND owner_ = nullptr;
    HWND txtinfo_ = nullptr;
    HWND save_ = nullptr;
    HWND action_ = nullptr;
    std::function<void(HWND, const std::wstring&)> onSave_;
    std::function<void(HWND)> onAction_;
    platform::UniqueFont font_;
};

CellTextWindow& DisplayWindow();

} // namespace calvorn::ui
