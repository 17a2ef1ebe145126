#include "ui/main_window.h"

#include "inspection/component_inspector.h"
#include "registration/registration_prompter.h"
#include "registry/registry_accessor.h"
#include "ui/command_button.h"
#include "ui/file_dialog.h"
#include "ui/message_loop.h"
#include "ui/resource_ids.h"
#include "ui/window_placement.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <utility>

namespace calvorn::ui {

const wchar_t* const kShellHelpText =
    L"Shell Extensions enable generating an ActiveX file/DLL Report for a given folder. This \r\n"
    L"will generate a full report on all DLL files and other ActiveX files within that folder.\r\n"
    L"\r\n"
    L"To generate a report, simply right click on a folder and then select 'ActiveX Report'.\r\n"
    L"\r\n"
    L"Please note that this functionality is only available while Shell Extensions are "
    L"Enabled.\r\n";

namespace {

// What the first paint does not need comes after it.
constexpr UINT kAfterFirstPaint = WM_APP + 1;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// Files may be dropped on the window; the style is what DragAcceptFiles
// sets, without loading shell32 at every start.
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;

const std::pair<const wchar_t*, int> kControlIds[] = {
    {L"XTab1", IDC_TABS},
    {L"frmFile", IDC_FILE_FRAME},
    {L"Label1", IDC_FILE_LABEL},
    {L"txtFile", IDC_FILE_PATH},
    {L"cmdBrowse", IDC_BROWSE},
    {L"fraButtons", IDC_REGISTRATION_FRAME},
    {L"cmdReg", IDC_REGISTER},
    {L"cmdUnReg", IDC_UNREGISTER},
    {L"fraInfo", IDC_REPORT_FRAME},
    {L"gridinfo", IDC_REPORT_GRID},
    {L"frmFileOne", IDC_FIRST_FILE_FRAME},
    {L"txtFirstFile", IDC_FIRST_FILE_PATH},
    {L"cmdSelectOne", IDC_SELECT_FIRST_FILE},
    {L"frmFileTwo", IDC_SECOND_FILE_FRAME},
    {L"txtSecondFile", IDC_SECOND_FILE_PATH},
    {L"cmdSelectTwo", IDC_SELECT_SECOND_FILE},
    {L"fraComparison", IDC_COMPARISON_FRAME},
    {L"gridcomparison", IDC_COMPARISON_GRID},
    {L"Frame2", IDC_OPTIONS_FRAME},
    {L"lblShell", IDC_SHELL_STATE},
    {L"cmdShellEX", IDC_SHELL_SWITCH},
    {L"Frame3", IDC_HELP_FRAME},
    {L"Text1", IDC_HELP_TEXT},
    {L"imgTabIcon", IDC_TAB_ICON},
    {L"chkForMe", IDC_FOR_ME_ONLY},
    {L"lblScan", IDC_SCAN_LABEL},
    {L"cmdScan", IDC_SCAN},
    {L"cmdExport", IDC_EXPORT},
    {L"cmdCheck", IDC_CHECK},
};

std::wstring TextOf(HWND hwnd) {
    if (!hwnd)
        return {};
    int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

} // namespace

MainWindow& TheMainWindow() {
    static MainWindow window;
    return window;
}

MainWindow::MainWindow() = default;
MainWindow::~MainWindow() = default;

bool MainWindow::Load() {
    if (Hwnd())
        return true;
    if (!CreateHidden(L"", kStyle, kExStyle, CW_USEDEFAULT, CW_USEDEFAULT))
        return false;
    // The load handler.
    try {
        shellRegistry_ = std::make_unique<registry::RegistryAccessor>();
        if (services_.initButtons)
            services_.initButtons(Hwnd(), true, true);
        UpdateShields();
        AddHelpToSystemMenu();
    } catch (const std::bad_alloc&) {
        if (services_.showError)
            services_.showError(L"Form-Load <- MainWindow",
                                platform::Win32Error(ERROR_NOT_ENOUGH_MEMORY));
    }
    return true;
}

void MainWindow::Caption(const std::wstring& text) {
    ::SetWindowTextW(Hwnd(), text.c_str());
}

int MainWindow::ActiveTab() const {
    return form_.tabStrip ? TabCtrl_GetCurSel(form_.tabStrip) : -1;
}

void MainWindow::ActiveTab(int index) {
    if (!form_.tabStrip)
        return;
    TabCtrl_SetCurSel(form_.tabStrip, index);
    OnTabChanged();
}

void MainWindow::Show() {
    int show = SW_SHOW;
    if (services_.getSetting) {
        if (auto stored = ParsePlacement(services_.getSetting(kPlacementSetting, L""))) {
            MINMAXINFO smallest{};
            OnMinMaxInfo(smallest);
            show = ApplyPlacement(Hwnd(), *stored, WindowDpi(Hwnd()),
                                  {smallest.ptMinTrackSize.x, smallest.ptMinTrackSize.y});
        }
    }
    shown_ = true;
    ::ShowWindow(Hwnd(), show);
    ::UpdateWindow(Hwnd());
    ::PostMessageW(Hwnd(), kAfterFirstPaint, 0, 0);
}

void MainWindow::SavePlacement() {
    if (shown_ && services_.saveSetting)
        services_.saveSetting(kPlacementSetting,
                              FormatPlacement(CurrentPlacement(Hwnd(), WindowDpi(Hwnd()))));
}

SIZE MainWindow::Growth() const {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    // Smaller than stored only when the screen is: the layout then stays as stored.
    return {std::max<LONG>(0, client.right - designClient_.cx),
            std::max<LONG>(0, client.bottom - designClient_.cy)};
}

void MainWindow::OnSize() {
    if (!form_.tabStrip || ::IsIconic(Hwnd()))
        return;
    // Nothing moves while the growth stays: a size below the stored one, or
    // the show that applies the size the window was built at.
    const SIZE grow = Growth();
    const bool moves = grow.cx != arranged_.cx || grow.cy != arranged_.cy;
    if (moves) {
        arranged_ = grow;
        ArrangeForm(form_, grow.cx, grow.cy);
    }
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_})
        if (grid->Hwnd())
            grid->FitLastColumn();
    // Frames and labels paint on their page: what they covered must go.
    if (moves)
        ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::OnPaint() {
    const platform::PaintScope paint(Hwnd());
    if (paint && form_.tabFrame)
        form_.tabFrame->PaintInParent(paint.get());
}

void MainWindow::OnMinMaxInfo(MINMAXINFO& info) const {
    if (designClient_.cx <= 0)
        return;
    RECT r{0, 0, designClient_.cx, designClient_.cy};
    ::AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    info.ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
    // Never larger than the screen (a high DPI on a small monitor): the
    // window must still fit, even if its layout is then cut.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(Hwnd(), MONITOR_DEFAULTTONEAREST), &monitor)) {
        info.ptMinTrackSize.x =
            std::min<LONG>(info.ptMinTrackSize.x, monitor.rcWork.right - monitor.rcWork.left);
        info.ptMinTrackSize.y =
            std::min<LONG>(info.ptMinTrackSize.y, monitor.rcWork.bottom - monitor.rcWork.top);
    }
}

HWND MainWindow::Control(int id) const {
    for (const BuiltControl& c : form_.controls)
        if (::GetDlgCtrlID(c.hwnd) == id)
            return c.hwnd;
    return nullptr;
}

std::wstring MainWindow::ControlText(int id) const {
    return TextOf(Control(id));
}

void MainWindow::ControlText(int id, const std::wstring& text) {
    if (HWND hwnd = Control(id))
        ::SetWindowTextW(hwnd, text.c_str());
}

void MainWindow::ButtonCaption(int id, const std::wstring& text) {
    if (CommandButton* button = CommandButton::From(Control(id)))
        button->Caption(text);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_ACTIVATE: {
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(Hwnd(), focus))
                lastFocus_ = focus;
            return 0;
        }
        // Every Command button re-initialises itself when the window is activated.
        if (services_.initButtons)
            services_.initButtons(Hwnd(), true, true);
        if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsWindowVisible(lastFocus_))
            ::SetFocus(lastFocus_);
        else
            ::SetFocus(::GetNextDlgTabItem(Hwnd(), nullptr, FALSE));
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_SETCURSOR:
        if (busy_) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        return DefaultProc(msg, wp, lp);
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<NMHDR*>(lp), lp);
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_NEXTDLGCTL:
        NextControl(wp, lp);
        return 0;
    case kAfterFirstPaint:
        AddTips(form_);
        for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_})
            grid->ShowTips();
        return 0;
    case kTakeKeyMessage:
        return lp && TakeKey(*reinterpret_cast<const MSG*>(lp)) ? 1 : 0;
    case WM_GETMINMAXINFO:
        OnMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lp));
        return 0;
    case WM_WINDOWPOSCHANGING: {
        // The stored layout is the smallest size, whoever sets the size.
        auto& pos = *reinterpret_cast<WINDOWPOS*>(lp);
        if (!(pos.flags & SWP_NOSIZE) && !::IsIconic(Hwnd()) && !::IsZoomed(Hwnd())) {
            MINMAXINFO info{};
            OnMinMaxInfo(info);
            pos.cx = std::max<int>(pos.cx, info.ptMinTrackSize.x);
            pos.cy = std::max<int>(pos.cy, info.ptMinTrackSize.y);
        }
        return DefaultProc(msg, wp, lp);
    }
    case WM_CLOSE:
        // A registration in progress ends first; the window closes after it.
        if (busy_) {
            closePending_ = true;
            return 0;
        }
        SavePlacement();
        shown_ = false;
        return DefaultProc(msg, wp, lp);
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wp));
        return 0;
    case WM_SYSCOMMAND:
    case WM_HELP:
        return OnHelp(msg, wp) ? 0 : DefaultProc(msg, wp, lp);
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_DPICHANGED:
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
    case WM_NCDESTROY:
        return OnDisplayChange(msg, wp, lp);
    default:
        return DefaultProc(msg, wp, lp);
    }
}

void MainWindow::OnCreate() {
    const UINT dpi = WindowDpi(Hwnd());
    std::vector<LayoutBlock> layout = ParseLayout(LayoutResourceText(IDR_LAYOUT_MAIN));
    designClient_ = DesignClientAt(layout, dpi);
    // The stored layout's size, or the screen's when that is smaller.
    MINMAXINFO smallest{};
    OnMinMaxInfo(smallest);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, smallest.ptMinTrackSize.x, smallest.ptMinTrackSize.y,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    fonts_ = FontsAt(dpi);
    FormSource source;
    source.window = Hwnd();
    source.dpi = dpi;
    source.layout = std::move(layout);
    source.fonts = fonts_.Lent();
    source.idOf = [](const std::wstring& name) {
        for (const auto& [control, id] : kControlIds)
            if (name == control)
                return id;
        if (name.rfind(L"picTab", 0) == 0)
            return IDC_TAB_PICTURE0 + static_cast<int>(std::wcstol(name.c_str() + 6, nullptr, 10));
        return 0;
    };
    source.firstPageId = IDC_TAB_PAGE0;
    source.makeGrid = [this](const LayoutBlock& block, HWND parent, int id) -> HWND {
        ListViewGrid& grid = block.name == L"gridinfo" ? reportGrid_ : comparisonGrid_;
        if (!grid.Create(parent, id))
            return nullptr;
        grid.ToolTip(block.Text(L"ToolTipText").value_or(L""));
        if (form_.tipsShown)
            grid.ShowTips();
        // A grid made after its presenter was bound starts as binding left it.
        grid.Rows(0);
        grid.Cols(2);
        return grid.Hwnd();
    };
    form_ = BuildForm(std::move(source), 0);
    // The last column fills the grid from the start: widened later, at the
    // window's showing, the control would lay out its rows and scroll bars
    // again on screen (7 ms of every start).
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_})
        if (grid->Hwnd())
            grid->FitLastColumn();
}

void MainWindow::EnsurePage(int page) {
    const SIZE grow = Growth();
    if (!BuildPage(form_, page, grow.cx, grow.cy))
        return;
    if (::IsWindow(Control(IDC_HELP_TEXT)) && ControlText(IDC_HELP_TEXT).empty())
        ControlText(IDC_HELP_TEXT, kShellHelpText);
    if (services_.initButtons)
        services_.initButtons(form_.pages[static_cast<size_t>(page)], true, true);
    if (comparisonGrid_.Hwnd())
        comparisonGrid_.FitLastColumn();
    UpdateShields();
}

void MainWindow::OnDestroy() {
    // The unload handler: the window's own registry object goes first.
    shellRegistry_.reset();
    RelayMouseMessagesTo(nullptr);
    fonts_ = {};
    form_ = {};
    if (services_.onUnload)
        services_.onUnload();
}

void MainWindow::OnCommand(int id, int code) {
    if (id >= IDC_TAB_PICTURE0 && id <= IDC_TAB_PICTURE0 + 10) {
        if (code == STN_CLICKED)
            PictureClick(id - IDC_TAB_PICTURE0);
        return;
    }
    // While a registration runs no button acts, also one of a page first
    // shown meanwhile.
    if (code != BN_CLICKED || busy_)
        return;
    switch (id) {
    case IDC_BROWSE:
        Browse();
        break;
    case IDC_REGISTER:
        RegisterFile(false);
        break;
    case IDC_UNREGISTER:
        RegisterFile(true);
        break;
    case IDC_EXPORT:
        ExportFile();
        break;
    case IDC_CHECK:
        CheckRegistration();
        break;
    case IDC_SELECT_FIRST_FILE:
        SelectFile(false);
        break;
    case IDC_SELECT_SECOND_FILE:
        SelectFile(true);
        break;
    case IDC_SHELL_SWITCH:
        SwitchShellExtensions();
        break;
    case IDC_FOR_ME_ONLY:
        UpdateShields();
        break;
    case IDC_SCAN:
        if (services_.checkComputer)
            services_.checkComputer();
        break;
    case IDOK: {
        // Enter in a file box: the report of the path typed there, or the
        // comparison of what the two boxes hold.
        HWND focus = ::GetFocus();
        if (focus && focus == Control(IDC_FILE_PATH))
            ShowReport(ControlText(IDC_FILE_PATH));
        else if (focus &&
                 (focus == Control(IDC_FIRST_FILE_PATH) || focus == Control(IDC_SECOND_FILE_PATH)))
            CompareBoxes();
        break;
    }
    default:
        // Enter (IDOK) and Escape (IDCANCEL) from the dialog manager change nothing.
        break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR& header, LPARAM lp) {
    if (header.hwndFrom == form_.tabStrip && header.code == TCN_SELCHANGE) {
        OnTabChanged();
        return 0;
    }
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_}) {
        if (header.hwndFrom == grid->Hwnd() && header.code == NM_DBLCLK) {
            if (!busy_)
                GridDoubleClick(*grid, reinterpret_cast<const NMITEMACTIVATE*>(lp)->ptAction);
            return 0;
        }
        // The grid answers its own notifications and its tooltip's.
        LRESULT result = 0;
        if (grid->OnNotify(&header, result))
            return result;
    }
    return 0;
}

void MainWindow::OnTabChanged() {
    const int active = ActiveTab();
    EnsurePage(active);
    // The icon at the top shows the picture of the open tab.
    if (HWND icon = Control(IDC_TAB_ICON); icon && active >= 0)
        ShowPicture(form_, icon, IDB_TAB_PICTURE_0 + active);
    for (size_t i = 0; i < form_.pages.size(); ++i)
        ::ShowWindow(form_.pages[i], static_cast<int>(i) == active ? SW_SHOW : SW_HIDE);
    if (active == 2)
        ShellExtensionStateTest();
}

} // namespace calvorn::ui
