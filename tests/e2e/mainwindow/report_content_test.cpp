// What the report grid of the real window shows: the file in the box after a
// registration or Enter, tooltips of values that do not fit, headings that
// stay readable, messages instead of blanks, and the window during a slow
// registration.

#include "main_window_driver.h"
#include "support/list_view_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

using Rows = std::vector<std::vector<std::wstring>>;

// The grid's rows once `ready` holds for them.
Rows RowsWhen(HWND grid, const std::function<bool(const Rows&)>& ready) {
    Rows rows;
    WaitUntil([&] { return ready(rows = ReadListViewRows(grid)); });
    return rows;
}

int RowLabelled(const Rows& rows, const std::wstring& label) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].empty() && rows[i][0] == label)
            return static_cast<int>(i);
    return -1;
}

bool PressEnterIn(MainWindowRun& w, int id) {
    if (!FocusByClick(w.main, w.Control(id)))
        return false;
    ::PostMessageW(w.Control(id), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(w.Control(id), WM_KEYUP, VK_RETURN, 0);
    return true;
}

// Presses a button and answers the one message box it brings.
std::optional<SeenMessageBox> PressAndAnswer(MainWindowRun& w, int id) {
    PressCommand(w.Control(id));
    auto box = w.run.WaitForMessageBox(30s);
    if (box)
        w.run.Answer(*box, IDOK);
    return box;
}

} // namespace

TEST(ReportContent, RegisterReportsTheTypedPathAndLongValuesShowInTheirTooltip) {
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    // A copy in a folder whose name no cell holds: its registered path is long.
    const std::wstring probe =
        MakeScratchDir(L"a folder with a name long enough that no value cell holds the "
                       L"path of a component registered from it") +
        L"probe_good.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_good.dll").c_str(), probe.c_str(), FALSE));
    SetText(w.Control(IDC_FILE_PATH), probe);
    auto box = PressAndAnswer(w, IDC_REGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"ActiveX Component registration successful!");

    // The report is that of the registered path, not of the file before.
    Rows rows = RowsWhen(grid, [](const Rows& r) { return RowLabelled(r, L"Path: ") >= 0; });
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1][1], L"CalvornProbeLib (Calvorn probe library)");
    const int path = RowLabelled(rows, L"Path: ");
    ASSERT_GE(path, 0);
    EXPECT_EQ(rows[path][1], probe);
    // The registered path is wider than its cell: the tip holds all of it.
    EXPECT_EQ(ToolTipOverCell(w.run, grid, path, 1), rows[path][1]);
    EXPECT_EQ(ToolTipOverCell(w.run, grid, 1, 0), L"Double Click for more info");

    box = PressAndAnswer(w, IDC_UNREGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"ActiveX Component unregistration successful!");
    rows = RowsWhen(grid, [](const Rows& r) { return RowLabelled(r, L"Path: ") < 0; });
    EXPECT_EQ(RowLabelled(rows, L"Registered"), 4);
}

TEST(ReportContent, EnterShowsTheReportOfTheBoxAndMissingFilesSaySo) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    SetText(w.Control(IDC_FILE_PATH), FixturePath(L"tl_none.dll"));
    ASSERT_TRUE(PressEnterIn(w, IDC_FILE_PATH));
    Rows rows = RowsWhen(grid, [](const Rows& r) { return r.size() > 10; });
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], L"File Info");

    const std::wstring missing = FixturePath(L"no such file.dll");
    SetText(w.Control(IDC_FILE_PATH), missing);
    ASSERT_TRUE(PressEnterIn(w, IDC_FILE_PATH));
    rows = RowsWhen(grid, [](const Rows& r) { return r.size() == 1; });
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], L"The file \"" + missing + L"\" does not exist.");

    // An empty box leaves no skeleton of empty rows behind.
    SetText(w.Control(IDC_FILE_PATH), L"");
    ASSERT_TRUE(PressEnterIn(w, IDC_FILE_PATH));
    EXPECT_TRUE(RowsWhen(grid, [](const Rows& r) { return r.empty(); }).empty());
    // The same after a registration of nothing.
    auto box = PressAndAnswer(w, IDC_REGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"No file provided!");
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    EXPECT_TRUE(RowsWhen(grid, [](const Rows& r) { return r.empty(); }).empty());
}

TEST(ReportContent, ExeServerOutcomesAreToldUnderTheOperation) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_FILE_PATH), FixturePath(L"absent_server.exe"));
    auto box = PressAndAnswer(w, IDC_REGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    EXPECT_EQ(box->text.rfind(L"Selected file could not be started!", 0), 0u) << box->text;

    // A server that is waited for: its outcome, then the window is usable again.
    const std::wstring server = MakeScratchDir(L"window-exe") + L"probe_server.exe";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_server.exe").c_str(), server.c_str(), FALSE));
    SetText(w.Control(IDC_FILE_PATH), server);
    box = PressAndAnswer(w, IDC_REGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    EXPECT_EQ(box->text, L"ActiveX Component registration successful!");
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(w.Control(IDC_UNREGISTER)); }));
    box = PressAndAnswer(w, IDC_UNREGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - UnRegistering");
    EXPECT_EQ(box->text, L"ActiveX Component unregistration successful!");
}

TEST(ReportContent, HeadingsStayReadableOnAWhiteDesktop) {
    const INT element = COLOR_DESKTOP;
    const COLORREF saved = ::GetSysColor(COLOR_DESKTOP);
    const COLORREF white = RGB(255, 255, 255);
    ASSERT_TRUE(::SetSysColors(1, &element, &white));
    struct Restore {
        INT element;
        COLORREF colour;
        ~Restore() { ::SetSysColors(1, &element, &colour); }
    } restore{element, saved};

    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    Rows rows = RowsWhen(grid, [](const Rows& r) { return RowLabelled(r, L"File Info") > 0; });
    ASSERT_EQ(rows[0][0], L"TypeLib Info");
    ::SetForegroundWindow(w.main);
    ::RedrawWindow(w.main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    // Read the screen along the heading: a white band with dark letters.
    RECT cell = RemoteCellRect(grid, 0, 0);
    ASSERT_GT(cell.right, cell.left);
    RECT client{};
    ::GetClientRect(grid, &client);
    POINT origin{0, 0};
    ::ClientToScreen(grid, &origin);
    int dark = 0;
    COLORREF edge = 0;
    WaitUntil([&] {
        HDC screen = ::GetDC(nullptr);
        dark = 0;
        for (int x = cell.left; x < cell.left + 120; ++x)
            for (int y = cell.top + 1; y < cell.bottom - 1; ++y) {
                COLORREF c = ::GetPixel(screen, origin.x + x, origin.y + y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 300)
                    ++dark;
            }
        edge = ::GetPixel(screen, origin.x + client.right - 3,
                          origin.y + (cell.top + cell.bottom) / 2);
        ::ReleaseDC(nullptr, screen);
        return dark > 20 && edge == white;
    });
    EXPECT_GT(dark, 20) << "no text to be seen on the heading";
    EXPECT_EQ(edge, white) << "the band does not reach the edge of the grid";
}

TEST(ReportContent, SlowRegistrationKeepsTheWindowAliveButTakesNoSecondRequest) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    HANDLE release = ::CreateEventW(nullptr, FALSE, FALSE, L"CalvornProbeHangRelease");
    ASSERT_NE(release, nullptr);
    SetText(w.Control(IDC_FILE_PATH), FixturePath(L"probe_hang.dll"));
    HWND reg = w.Control(IDC_REGISTER);
    RECT r{};
    ::GetWindowRect(reg, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    // The cursor the idle window shows over the button, set now rather than
    // whenever the move arrives.
    DWORD_PTR set = 0;
    ASSERT_NE(::SendMessageTimeoutW(reg, WM_SETCURSOR, reinterpret_cast<WPARAM>(reg),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), SMTO_NORMAL, 10000, &set),
              0);
    CURSORINFO idle{};
    idle.cbSize = sizeof idle;
    ::GetCursorInfo(&idle);
    PressCommand(reg);

    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowEnabled(reg); }));
    EXPECT_FALSE(::IsWindowEnabled(w.Control(IDC_UNREGISTER)));
    EXPECT_FALSE(::IsWindowEnabled(w.Control(IDC_BROWSE)));
    EXPECT_TRUE(::GetWindowLongW(w.Control(IDC_FILE_PATH), GWL_STYLE) & ES_READONLY);
    // It answers and paints meanwhile.
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutW(w.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
    // The wait cursor instead of the arrow.
    CURSORINFO busy{};
    busy.cbSize = sizeof busy;
    EXPECT_TRUE(WaitUntil([&] { return ::GetCursorInfo(&busy) && busy.hCursor != idle.hCursor; }))
        << "the cursor did not change";
    // Closing waits for the end.
    ::SendMessageTimeoutW(w.main, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_TRUE(::IsWindow(w.main) && ::IsWindowVisible(w.main));

    ::SetEvent(release);
    auto box = w.run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    w.run.Answer(*box, IDOK);
    // Then the deferred close ends the program.
    EXPECT_TRUE(w.run.WaitForExit(30s).has_value());
    ::CloseHandle(release);
}

TEST(ReportContent, CheckRegistrationRunsTheComponentsOwnCodeAndReplacesTheSection) {
    const std::wstring first = MakeScratchDir(L"check-first") + L"probe_twin.dll";
    const std::wstring second = MakeScratchDir(L"check-second") + L"probe_twin.dll";
    for (const std::wstring& copy : {first, second})
        ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_twin.dll").c_str(), copy.c_str(), FALSE));
    MainWindowRun w(L"\"" + first + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    EXPECT_EQ(w.Text(IDC_CHECK), L"Check registration");
    auto box = PressAndAnswer(w, IDC_REGISTER);
    ASSERT_TRUE(box.has_value());
    ASSERT_EQ(box->text, L"ActiveX Component registration successful!");
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(w.Control(IDC_CHECK)); }));

    // Each file's report first (its section from the type library, when it
    // has one), then the check's section in its place.
    const std::wstring fromLibrary =
        L"From the type library; the component's own registration code was not run.";
    const std::wstring ran = L"From the component's own registration code, run in the "
                             L"registration host; the machine was not changed.";
    struct Case {
        std::wstring file;
        std::wstring verdict; // empty: none, the file could not be checked
        std::wstring checked; // how the "Checked:" row begins
    };
    for (const Case& c :
         {Case{first, L"Registered here", ran},
          Case{second, L"Registered to another copy: " + first + L" (2.1.7.9)", ran},
          Case{FixturePath(L"probe_server.exe"), L"", L"The file could not be checked: "}}) {
        SetText(w.Control(IDC_FILE_PATH), c.file);
        ASSERT_TRUE(PressEnterIn(w, IDC_FILE_PATH));
        RowsWhen(grid, [&](const Rows& r) {
            const int at = RowLabelled(r, L"Checked:");
            return at < 0 ? RowLabelled(r, L"File Info") >= 0 : r[at][1] == fromLibrary;
        });
        PressCommand(w.Control(IDC_CHECK));
        const Rows rows = RowsWhen(grid, [&](const Rows& r) {
            const int at = RowLabelled(r, L"Checked:");
            return at > 0 && r[at][1].rfind(c.checked, 0) == 0;
        });
        const int at = RowLabelled(rows, L"Checked:");
        ASSERT_GT(at, 0) << c.file;
        EXPECT_EQ(rows[at][1].rfind(c.checked, 0), 0u) << rows[at][1];
        if (c.verdict.empty()) // an EXE server writes its keys only when it runs
            EXPECT_NE(rows[at][1].find(L"running it for real"), std::wstring::npos) << rows[at][1];
        else
            EXPECT_EQ(rows[at - 1], (std::vector<std::wstring>{L"Verdict:", c.verdict}));
    }
    SetText(w.Control(IDC_FILE_PATH), first);
    box = PressAndAnswer(w, IDC_UNREGISTER);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"ActiveX Component unregistration successful!");
}
