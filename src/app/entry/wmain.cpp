// The process entry: start-up, then the main window's message loop; or a
// quiet command line, which ends the process with its exit code.

#include "app/startup.h"
#include "app/quiet_mode.h"
#include "platform/dll_search.h"
#include "platform/ole_session.h"
#include "ui/message_loop.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    calvorn::platform::RestrictDllSearchToSystemFolder();
    if (auto quiet = calvorn::app::QuietCommandOfProcess()) {
        calvorn::app::ConsoleOutput output;
        auto code = calvorn::app::RunQuiet(*quiet, output);
        // Components run in registration hosts of their own, never in this
        // process; the process ends at once all the same, so that nothing
        // left running here (a host starter, a read-ahead) outlives the
        // answer or changes the exit code.
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
        return static_cast<int>(code);
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                             ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    // The window's thread owns its OLE here, for as long as the window runs.
    calvorn::platform::OleSession ole;
    if (!calvorn::app::Main())
        return 1;
    return calvorn::ui::RunMessageLoop();
}
