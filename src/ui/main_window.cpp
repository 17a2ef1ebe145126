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
    {L"XTab1", IDC_XTAB1},
    {L"frmFile", IDC_FRMFILE},
    {L"Label1", IDC_LABEL1},
    {L"txtFile", IDC_TXTFILE},
    {L"cmdBrowse", IDC_CMDBROWSE},
    {L"fraButtons", IDC_FRABUTTONS},
    {L"cmdReg", IDC_CMDREG},
    {L"cmdUnReg", IDC_CMDUNREG},
    {L"fraInfo", IDC_FRAINFO},
    {L"gridinfo", IDC_GRIDINFO},
    {L"frmFileOne", IDC_FRMFILEONE},
    {L"txtFirstFile", IDC_TXTFIRSTFILE},
    {L"cmdSelectOne", IDC_CMDSELECTONE},
    {L"frmFileTwo", IDC_FRMFILETWO},
    {L"txtSecondFile", IDC_TXTSECONDFILE},
    {L"cmdSelectTwo", IDC_CMDSELECTTWO},
    {L"fraComparison", IDC_FRACOMPARISON},
    {L"gridcomparison", IDC_GRIDCOMPARISON},
    {L"Frame2", IDC_FRAME2},
    {L"lblShell", IDC_LBLSHELL},
    {L"cmdShellEX", IDC_CMDSHELLEX},
    {L"Frame3", IDC_FRAME3},
    {L"Text1", IDC_TEXT1},
    {L"imgTabIcon", IDC_IMGTABICON},
    {L"chkForMe", IDC_CHKFORME},
    {L"lblScan", IDC_LBLSCAN},
    {L"cmdScan", IDC_CMDSCAN},
    {L"cmdExport", IDC_CMDEXPORT},
    {L"cmdCheck", IDC_CMDCHECK},
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
        oShellRegistry = std::make_unique<registry::RegistryAccessor>();
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
    for (ListViewGrid* grid : {&gridinfo_, &gridcomparison_})
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
        for (ListViewGrid* grid : {&gridinfo_, &gridcomparison_})
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
            return IDC_PICTAB0 + static_cast<int>(std::wcstol(name.c_str() + 6, nullptr, 10));
        return 0;
    };
    source.firstPageId = IDC_TABPAGE0;
    source.makeGrid = [this](const LayoutBlock& block, HWND parent, int id) -> HWND {
        ListViewGrid& grid = block.name == L"gridinfo" ? gridinfo_ : gridcomparison_;
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
    for (ListViewGrid* grid : {&gridinfo_, &gridcomparison_})
        if (grid->Hwnd())
            grid->FitLastColumn();
}

void MainWindow::EnsurePage(int page) {
    const SIZE grow = Growth();
    if (!BuildPage(form_, page, grow.cx, grow.cy))
        return;
    if (::IsWindow(Control(IDC_TEXT1)) && ControlText(IDC_TEXT1).empty())
        ControlText(IDC_TEXT1, kShellHelpText);
    if (services_.initButtons)
        services_.initButtons(form_.pages[static_cast<size_t>(page)], true, true);
    if (gridcomparison_.Hwnd())
        gridcomparison_.FitLastColumn();
    UpdateShields();
}

void MainWindow::OnDestroy() {
    // The unload handler: the window's own registry object goes first.
    oShellRegistry.reset();
    RelayMouseMessagesTo(nullptr);
    fonts_ = {};
    form_ = {};
    if (services_.onUnload)
        services_.onUnload();
}

void MainWindow::OnCommand(int id, int code) {
    if (id >= IDC_PICTAB0 && id <= IDC_PICTAB0 + 10) {
        if (code == STN_CLICKED)
            PictureClick(id - IDC_PICTAB0);
        return;
    }
    // While a registration runs no button acts, also one of a page first
    // shown meanwhile.
    if (code != BN_CLICKED || busy_)
        return;
    switch (id) {
    case IDC_CMDBROWSE:
        Browse();
        break;
    case IDC_CMDREG:
        RegisterFile(false);
        break;
    case IDC_CMDUNREG:
        RegisterFile(true);
        break;
    case IDC_CMDEXPORT:
        ExportFile();
        break;
    case IDC_CMDCHECK:
        CheckRegistration();
        break;
    case IDC_CMDSELECTONE:
        SelectFile(false);
        break;
    case IDC_CMDSELECTTWO:
        SelectFile(true);
        break;
    case IDC_CMDSHELLEX:
        SwitchShellExtensions();
        break;
    case IDC_CHKFORME:
        UpdateShields();
        break;
    case IDC_CMDSCAN:
        if (services_.checkComputer)
            services_.checkComputer();
        break;
    case IDOK: {
        // Enter in a file box: the report of the path typed there, or the
        // comparison of what the two boxes hold.
        HWND focus = ::GetFocus();
        if (focus && focus == Control(IDC_TXTFILE))
            ShowReport(ControlText(IDC_TXTFILE));
        else if (focus &&
                 (focus == Control(IDC_TXTFIRSTFILE) || focus == Control(IDC_TXTSECONDFILE)))
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
    for (ListViewGrid* grid : {&gridinfo_, &gridcomparison_}) {
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
    if (HWND icon = Control(IDC_IMGTABICON); icon && active >= 0)
        ShowPicture(form_, icon, IDB_TAB_PICTURE_0 + active);
    for (size_t i = 0; i < form_.pages.size(); ++i)
        ::ShowWindow(form_.pages[i], static_cast<int>(i) == active ? SW_SHOW : SW_HIDE);
    if (active == 2)
        ShellExtensionStateTest();
}

} // namespace calvorn::ui
