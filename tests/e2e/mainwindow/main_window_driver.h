#pragma once
// Drives the real main window by its controls, as a user would.

#include "support/polling.h"
#include "support/program_driver.h"
#include "support/test_paths.h"
#include "ui/main_window.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace calvorn::test {

// Presses a Command button with what a mouse click sends: the cursor over
// it, a move, the left button down and up.
void PressCommand(HWND button);
// Clicks a plain control (a picture) at its centre.
void ClickControl(HWND control);
// Selects a tab as the tab strip does on a click, with its notification.
void SelectTab(HWND mainWindow, int index);
int CurrentTab(HWND mainWindow);
// The next visible dialog of the process (class #32770) whose title is `title`.
HWND WaitForDialog(ProgramRun& run, const std::wstring& title,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Types `path` into an Open dialog's file-name box and presses Open.
bool ChooseInOpenDialog(HWND dialog, const std::wstring& path);
void SetText(HWND control, const std::wstring& text);
// The rectangle of one cell of a list view in another process, in the list
// view's client coordinates; empty when it cannot be read.
RECT RemoteCellRect(HWND listView, int row, int col);
// The window with the keyboard focus in the thread of `window`.
HWND FocusOf(HWND window);
// Double-clicks a cell of a list view in another process.
bool DoubleClickCell(HWND listView, int row, int col);
// Rests the mouse on a cell, as a user would, and returns the text of the
// tooltip that comes up ("<no tip>" when none does).
std::wstring ToolTipOverCell(ProgramRun& run, HWND listView, int row, int col);
// The same for a point of a window, in its client coordinates.
std::wstring ToolTipAt(ProgramRun& run, HWND window, POINT at);
// Clicks into a control (a text box), which takes the focus.
bool FocusByClick(HWND mainWindow, HWND control);

// A control's rectangle in the client coordinates of `window`.
RECT RectIn(HWND control, HWND window);
// The width of a list view's column, in pixels.
int ColumnWidth(HWND listView, int col);
// Forgets the main window's remembered size and place, before a run that
// must start at the stored layout and after a run that changed them.
void ForgetPlacement();
std::wstring StoredPlacementText();
void StorePlacementText(const std::wstring& text);

// Types a key combination through the system's input, as a keyboard does
// (held keys such as Ctrl reach the program's key state): each key of `keys`
// goes down in order, then all come up in reverse. `window` is brought to
// the front first.
void TypeKeys(HWND window, std::initializer_list<WORD> keys);
// Drops files on a window of another process as Explorer does, at `at`
// in its client coordinates. Under Wine only: the drop's memory is laid in
// the program's process, where its handle is then a plain pointer.
bool DropFiles(HWND window, const std::vector<std::wstring>& paths, POINT at = {10, 10});
// Clicks a cell of a list view in another process, which selects its row.
bool ClickCell(HWND listView, int row, int col);

// The tools of the tooltip windows of a process's window: the control each
// is shown for and its text.
struct RemoteTool {
    HWND control = nullptr;
    std::wstring text;
};
std::vector<RemoteTool> RemoteToolTips(HWND window);

// One run of the program with its main window up.
struct MainWindowRun {
    MainWindowRun(const std::wstring& arguments = L"", Rights rights = Rights::AsTest);
    ~MainWindowRun();
    HWND Control(int id) const { return FindControl(main, id); }
    std::wstring Text(int id) const { return WindowText(Control(id)); }
    // Waits for a control's text to become `expected` (a busy window answers
    // late); the text last read.
    std::wstring TextOnceIs(int id, const std::wstring& expected) const {
        std::wstring text;
        WaitUntil([&] { return (text = Text(id)) == expected; });
        return text;
    }

    ProgramRun run;
    HWND main = nullptr;
};

} // namespace calvorn::test
