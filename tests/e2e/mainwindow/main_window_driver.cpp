#include "main_window_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <iterator>
#include <thread>
#include <vector>

namespace calvorn::test {

using namespace std::chrono;

void PressCommand(HWND button) {
    RECT r{};
    ::GetWindowRect(button, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    ::PostMessageW(button, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(button, WM_LBUTTONUP, 0, at);
}

void ClickControl(HWND control) {
    RECT r{};
    ::GetClientRect(control, &r);
    LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void SelectTab(HWND mainWindow, int index) {
    // Moving the focus to a tab selects it and notifies the parent.
    ::SendMessageW(FindControl(mainWindow, ui::IDC_TABS), TCM_SETCURFOCUS, index, 0);
}

int CurrentTab(HWND mainWindow) {
    return static_cast<int>(
        ::SendMessageW(FindControl(mainWindow, ui::IDC_TABS), TCM_GETCURSEL, 0, 0));
}

HWND WaitForDialog(ProgramRun& run, const std::wstring& title, milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : run.VisibleWindows())
                if (ClassNameOf(hwnd) == L"#32770" && WindowText(hwnd) == title)
                    found = hwnd;
            return found != nullptr;
        },
        timeout);
    return found;
}

void SetText(HWND control, const std::wstring& text) {
    ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool ChooseInOpenDialog(HWND dialog, const std::wstring& path) {
    // The file-name box is a combo box (cmb13) or an edit (edt1), by system.
    HWND box = FindControl(dialog, 0x47c);
    if (!box)
        box = FindControl(dialog, 0x480);
    if (!box)
        return false;
    SetText(box, path);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    return WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); });
}

RECT RemoteCellRect(HWND listView, int row, int col) {
    RECT rect{};
    DWORD pid = 0;
    ::GetWindowThreadProcessId(listView, &pid);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return rect;
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    if (remote) {
        // LVM_GETSUBITEMRECT reads the column from top and the kind from left.
        RECT ask{LVIR_BOUNDS, col, 0, 0};
        SIZE_T n = 0;
        if (::WriteProcessMemory(process, remote, &ask, sizeof ask, &n) &&
            ::SendMessageW(listView, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(remote)))
            ::ReadProcessMemory(process, remote, &rect, sizeof rect, &n);
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(process);
    return rect;
}

bool DoubleClickCell(HWND listView, int row, int col) {
    RECT cell = RemoteCellRect(listView, row, col);
    if (cell.right <= cell.left)
        return false;
    LPARAM at = MAKELPARAM(cell.left + 6, (cell.top + cell.bottom) / 2);
    ::PostMessageW(listView, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    ::PostMessageW(listView, WM_LBUTTONUP, 0, at);
    return true;
}

std::wstring ToolTipOverCell(ProgramRun& run, HWND listView, int row, int col) {
    RECT cell = RemoteCellRect(listView, row, col);
    if (cell.right <= cell.left)
        return L"<no cell>";
    return ToolTipAt(run, listView, {cell.left + 8, (cell.top + cell.bottom) / 2});
}

std::wstring ToolTipAt(ProgramRun& run, HWND window, POINT at) {
    // Away first, so that the tip of the place before goes.
    ::SetCursorPos(0, 0);
    WaitUntil(
        [&] {
            for (HWND hwnd : run.VisibleWindows())
                if (ClassNameOf(hwnd) == L"tooltips_class32" && !WindowText(hwnd).empty())
                    return false;
            return true;
        },
        seconds(1));
    POINT screen = at;
    ::ClientToScreen(window, &screen);
    ::SetCursorPos(screen.x, screen.y);
    // One move: every further one would start the tip's delay again.
    ::PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    std::wstring text;
    WaitUntil([&] {
        for (HWND hwnd : run.VisibleWindows())
            if (ClassNameOf(hwnd) == L"tooltips_class32" && !(text = WindowText(hwnd)).empty())
                return true;
        return false;
    });
    return text.empty() ? L"<no tip>" : text;
}

bool FocusByClick(HWND mainWindow, HWND control) {
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(control, WM_LBUTTONUP, 0, 0);
    return WaitUntil([&] { return FocusOf(mainWindow) == control; });
}

bool DropFiles(HWND window, const std::vector<std::wstring>& paths, POINT at) {
    // The drop's block as the shell hands it over: the header, then the
    // paths, each ended, and one more end.
    std::vector<char> block(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->pt = at;
    header->fWide = TRUE;
    for (const std::wstring& path : paths) {
        const auto* bytes = reinterpret_cast<const char*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), '\0');
    // Written into the program's own memory: a fixed block there is what the
    // drop's handle stands for under Wine (a freshly reserved region is never
    // taken for a movable handle).
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    void* remote =
        ::VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    const bool copied =
        remote && ::WriteProcessMemory(process, remote, block.data(), block.size(), &written);
    ::CloseHandle(process);
    return copied && ::PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

bool ClickCell(HWND listView, int row, int col) {
    RECT cell = RemoteCellRect(listView, row, col);
    if (cell.right <= cell.left)
        return false;
    LPARAM at = MAKELPARAM(cell.left + 6, (cell.top + cell.bottom) / 2);
    ::PostMessageW(listView, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(listView, WM_LBUTTONUP, 0, at);
    return true;
}

std::vector<RemoteTool> RemoteToolTips(HWND window) {
    std::vector<RemoteTool> tools;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return tools;
    constexpr size_t kTextChars = 512;
    auto* remote = static_cast<char*>(
        ::VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t),
                         MEM_COMMIT, PAGE_READWRITE));
    for (HWND tip = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); remote && tip;
         tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(tip, &owner);
        if (owner != pid)
            continue;
        const int count = static_cast<int>(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TTTOOLINFOW info{};
            info.cbSize = sizeof info;
            info.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof info);
            wchar_t text[kTextChars] = {};
            SIZE_T n = 0;
            if (!::WriteProcessMemory(process, remote, &info, sizeof info, &n) ||
                !::WriteProcessMemory(process, remote + sizeof info, text, sizeof text, &n) ||
                !::SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote)))
                continue;
            ::ReadProcessMemory(process, remote, &info, sizeof info, &n);
            ::ReadProcessMemory(process, remote + sizeof info, text, sizeof text, &n);
            text[kTextChars - 1] = L'\0';
            tools.push_back({reinterpret_cast<HWND>(info.uId), text});
        }
    }
    if (remote)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return tools;
}

void TypeKeys(HWND window, std::initializer_list<WORD> keys) {
    ::SetForegroundWindow(window);
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        inputs.push_back(in);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *key;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

RECT RectIn(HWND control, HWND window) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int ColumnWidth(HWND listView, int col) {
    return static_cast<int>(::SendMessageW(listView, LVM_GETCOLUMNWIDTH, col, 0));
}

namespace {
constexpr const wchar_t* kSettingsKey = L"Software\\Calvorn\\General";
}

void ForgetPlacement() {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, ui::kPlacementSetting);
}

std::wstring StoredPlacementText() {
    wchar_t text[128] = {};
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, ui::kPlacementSetting, RRF_RT_REG_SZ,
                       nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

void StorePlacementText(const std::wstring& text) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, ui::kPlacementSetting, REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

MainWindowRun::MainWindowRun(const std::wstring& arguments, Rights rights)
    : run(ProgramPath(), arguments, {}, rights) {
    main = run.WaitForWindow(L"Calvorn.MainWindow", seconds(30));
}

MainWindowRun::~MainWindowRun() {
    if (main && ::IsWindow(main)) {
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        run.WaitForExit(seconds(20));
    }
}

} // namespace calvorn::test
