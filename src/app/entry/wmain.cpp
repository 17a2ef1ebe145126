// The process entry: start-up, then the main window's message loop.

#include "app/basMain.h"
#include "ui/message_loop.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                             ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    // The type-library loader and the file dialog want COM on this thread.
    ::OleInitialize(nullptr);
    if (!calvorn::app::Main())
        return 1;
    return calvorn::ui::RunMessageLoop();
}
