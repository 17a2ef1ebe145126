// The floor of the main window's start-up: the same system controls as its
// first tab (a tab strip, frames, a label, a text box, buttons, a check box,
// a report list view with two columns and five pictures) in the same two
// fonts, with the same manifest, and nothing else. Our own Command buttons
// are stood in for by push buttons.

#include <windows.h>

#include <commctrl.h>

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HFONT Font(const wchar_t* face, int height) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, RECT r, HFONT font,
           DWORD exStyle = 0) {
    HWND hwnd = ::CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, parent, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"Calvorn.BareControls";
    ::RegisterClassW(&wc);
    HWND main = ::CreateWindowW(wc.lpszClassName, L"Bare controls",
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                648, 528, nullptr, nullptr, instance, nullptr);
    HFONT text = Font(L"Arial", 12);
    HFONT grid = Font(L"Tahoma", 11);
    HWND tabs = Child(main, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, {10, 10, 630, 505}, text);
    const wchar_t* names[] = {L"Register DLL / File", L"File Comparison", L"Options"};
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(names[i]);
        TabCtrl_InsertItem(tabs, i, &item);
    }
    Child(main, L"BUTTON", L"Select file", BS_GROUPBOX, {22, 58, 582, 115}, text);
    Child(main, L"STATIC", L"Select File:", SS_LEFT, {32, 84, 97, 100}, text);
    Child(main, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, {102, 80, 472, 102}, text,
          WS_EX_CLIENTEDGE);
    Child(main, L"BUTTON", L"Browse...", WS_TABSTOP, {481, 79, 573, 104}, text);
    Child(main, L"BUTTON", L"Register", BS_GROUPBOX, {22, 122, 582, 180}, text);
    Child(main, L"BUTTON", L"Register DLL / File", WS_TABSTOP, {33, 142, 231, 169}, text);
    Child(main, L"BUTTON", L"Un-Register DLL / File", WS_TABSTOP, {243, 142, 441, 169}, text);
    Child(main, L"BUTTON", L"For me only", WS_TABSTOP | BS_AUTOCHECKBOX, {454, 147, 560, 165},
          text);
    Child(main, L"BUTTON", L"File Info", BS_GROUPBOX, {22, 186, 582, 496}, text);
    HWND list = Child(main, WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER,
                      {30, 207, 574, 488}, grid, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = i == 0 ? 130 : 390;
        ListView_InsertColumn(list, i, &column);
    }
    for (int i = 0; i < 5; ++i)
        Child(main, L"STATIC", L"", SS_BITMAP | SS_NOTIFY, {590, 60 + 38 * i, 622, 92 + 38 * i},
              nullptr);
    ::ShowWindow(main, SW_SHOW);
    ::UpdateWindow(main);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
