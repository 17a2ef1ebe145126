// The main window laid out at 96 and at 144 DPI: twips converted at the real
// DPI, every control inside its container, nothing clipped.

#include "main_window_driver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>

using namespace calvorn::test;
using namespace calvorn::ui;

namespace {

// Sets the DPI Wine gives new processes, and puts back what was there.
class ScopedLogPixels {
  public:
    explicit ScopedLogPixels(DWORD dpi) {
        DWORD value = 0, size = sizeof value;
        if (::RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value,
                           &size) == ERROR_SUCCESS)
            saved_ = value;
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
    }
    ~ScopedLogPixels() {
        if (saved_)
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &*saved_,
                              sizeof *saved_);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels");
    }

  private:
    static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
    std::optional<DWORD> saved_;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

void ExpectLaidOut(DWORD dpi) {
    ScopedLogPixels scoped(dpi);
    ForgetPlacement();
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    // Every tab shown once, so that every control exists.
    for (int tab : {1, 2, 0}) {
        SelectTab(w.main, tab);
        ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == tab; }));
    }
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_REGISTER)) != FALSE; }));
    RECT client{};
    ::GetClientRect(w.main, &client);
    EXPECT_EQ(client.right, ::MulDiv(9600, static_cast<int>(dpi), 1440));
    EXPECT_EQ(client.bottom, ::MulDiv(7500, static_cast<int>(dpi), 1440));
    std::vector<HWND> children;
    ::EnumChildWindows(w.main, Collect, reinterpret_cast<LPARAM>(&children));
    ASSERT_GT(children.size(), 30u);
    for (HWND child : children) {
        HWND parent = ::GetParent(child);
        RECT inner{}, outer{};
        ::GetClientRect(parent, &outer);
        ::GetWindowRect(child, &inner);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&inner), 2);
        EXPECT_TRUE(inner.left >= 0 && inner.top >= 0 && inner.right <= outer.right &&
                    inner.bottom <= outer.bottom)
            << "control " << ::GetDlgCtrlID(child) << " leaves its container at " << dpi << " DPI";
        // Shown controls can paint: no sibling clips them away.
        if (::IsWindowVisible(child)) {
            HDC dc = ::GetDC(child);
            RECT box{};
            EXPECT_NE(::GetClipBox(dc, &box), NULLREGION)
                << "control " << ::GetDlgCtrlID(child) << " cannot paint";
            ::ReleaseDC(child, dc);
        }
    }
    // A Command button is as high as its stored 420 twips.
    RECT button{};
    ::GetWindowRect(w.Control(IDC_REGISTER), &button);
    EXPECT_EQ(button.bottom - button.top, ::MulDiv(420, static_cast<int>(dpi), 1440));
}

// Every control's place in the window's client area by id, every tab shown
// once; with the report's first cells and the client size, which the fonts
// and the columns decide.
std::map<int, RECT> Layout(MainWindowRun& w) {
    for (int tab : {1, 2, 0}) {
        SelectTab(w.main, tab);
        EXPECT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == tab; }));
    }
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_REGISTER)) != FALSE; }));
    std::vector<HWND> children;
    ::EnumChildWindows(w.main, Collect, reinterpret_cast<LPARAM>(&children));
    std::map<int, RECT> places;
    for (HWND child : children)
        if (int id = ::GetDlgCtrlID(child))
            places[id] = RectIn(child, w.main);
    HWND grid = w.Control(IDC_REPORT_GRID);
    EXPECT_TRUE(WaitUntil([&] { return ::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) > 0; }));
    // The rows' height follows the font, the columns the DPI. The scroll
    // bar's width is the process's (a system metric no message changes), so
    // the last column is held against the edge it fills up to.
    RECT inside{};
    ::GetClientRect(grid, &inside);
    places[-1] = RemoteCellRect(grid, 0, 1);
    places[-2] = RemoteCellRect(grid, ListView_GetItemCount(grid) - 1, 1);
    for (int cell : {-1, -2})
        places[cell].right -= inside.right;
    RECT client{};
    ::GetClientRect(w.main, &client);
    places[-3] = client;
    return places;
}

// What the system sends a window dragged onto a monitor of `dpi`: the DPI and
// the rectangle it suggests, which lies in the receiver's memory.
void SendDpiChanged(MainWindowRun& w, UINT dpi, const RECT& suggested) {
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, w.run.ProcessId());
    ASSERT_NE(process, nullptr);
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(::WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr));
    ::SendMessageW(w.main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
}

std::wstring Report() {
    return L"\"" + FixturePath(L"tl_alpha.dll") + L"\"";
}

} // namespace

TEST(MainWindowDpi, AMoveToAMonitorOfAnotherDpiLaysTheWindowOutAsAStartThere) {
    for (auto [from, to] : {std::pair<UINT, UINT>{96, 144}, {144, 96}}) {
        std::map<int, RECT> expected;
        {
            ScopedLogPixels scoped(to);
            ForgetPlacement();
            MainWindowRun w(Report());
            ASSERT_NE(w.main, nullptr);
            expected = Layout(w);
        }
        ScopedLogPixels scoped(from);
        ForgetPlacement();
        MainWindowRun w(Report());
        ASSERT_NE(w.main, nullptr);
        Layout(w); // every page built at the first DPI
        RECT window{}, client{};
        ::GetWindowRect(w.main, &window);
        ::GetClientRect(w.main, &client);
        const RECT wanted = expected[-3];
        SendDpiChanged(w, to,
                       {window.left, window.top, window.right + wanted.right - client.right,
                        window.bottom + wanted.bottom - client.bottom});
        const std::map<int, RECT> moved = Layout(w);
        EXPECT_GT(expected.size(), 30u);
        EXPECT_EQ(moved.size(), expected.size());
        for (const auto& [id, r] : expected) {
            auto it = moved.find(id);
            ASSERT_NE(it, moved.end()) << "control " << id << " is missing after the change";
            const RECT& m = it->second;
            EXPECT_TRUE(::EqualRect(&m, &r))
                << "control " << id << " from " << from << " to " << to << " DPI: (" << m.left
                << "," << m.top << ")-(" << m.right << "," << m.bottom << "), a start there: ("
                << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
        }
    }
    ForgetPlacement();
}

TEST(MainWindowDpi, LaysOutAt96) {
    ExpectLaidOut(96);
}

TEST(MainWindowDpi, LaysOutAt144) {
    ExpectLaidOut(144);
}

TEST(MainWindowDpi, AtAHighDpiOnASmallScreenTheWindowStillFits) {
    // 192 DPI doubles the stored layout: more than this 1280 x 1024 screen.
    ScopedLogPixels scoped(192);
    ForgetPlacement();
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    RECT work{}, window{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(w.main, &window);
    EXPECT_LE(window.right - window.left, work.right - work.left);
    EXPECT_LE(window.bottom - window.top, work.bottom - work.top);
    ::PostMessageW(w.main, WM_CLOSE, 0, 0);
    w.run.WaitForExit(std::chrono::seconds(20));
    ForgetPlacement();
}
