// What the main window does with the files it is given: picked in the Open
// dialog, typed into a box or dropped on the window; their registration,
// report and comparison.

#include "ui/main_window.h"

#include "inspection/component_inspector.h"
#include "platform/proc_address.h"
#include "registration/registration_prompter.h"
#include "ui/command_button.h"
#include "ui/file_dialog.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace calvorn::ui {

namespace {

// The paths of a drop, in the order given; shell32 is loaded by the first
// drop, not at every start.
std::vector<std::wstring> DroppedPaths(HDROP drop) {
    static auto* const queryFile =
        platform::SystemProc<decltype(::DragQueryFileW)>(L"shell32.dll", "DragQueryFileW");
    std::vector<std::wstring> paths;
    if (!queryFile)
        return paths;
    const UINT count = queryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = queryFile(drop, i, nullptr, 0);
        std::wstring path(static_cast<size_t>(length) + 1, L'\0');
        path.resize(queryFile(drop, i, path.data(), length + 1));
        if (!path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}

// Where the drop landed, in the window's client coordinates.
std::optional<POINT> DropPoint(HDROP drop) {
    static auto* const queryPoint =
        platform::SystemProc<decltype(::DragQueryPoint)>(L"shell32.dll", "DragQueryPoint");
    POINT at{};
    if (!queryPoint || !queryPoint(drop, &at))
        return std::nullopt;
    return at;
}

void FinishDrop(HDROP drop) {
    static auto* const finish =
        platform::SystemProc<decltype(::DragFinish)>(L"shell32.dll", "DragFinish");
    if (finish)
        finish(drop);
}

} // namespace

void MainWindow::Browse() {
    auto chosen = ShowOpen(Hwnd(), ControlText(IDC_FILE_PATH));
    if (!chosen || !services_.activeX)
        return;
    services_.activeX->FileName(*chosen);
    ControlText(IDC_FILE_PATH, services_.activeX->FileName());
    services_.activeX->DisplayInfo();
}

void MainWindow::SelectFile(bool second) {
    const int box = second ? IDC_SECOND_FILE_PATH : IDC_FIRST_FILE_PATH;
    auto chosen = ShowOpen(Hwnd(), ControlText(box));
    if (!chosen)
        return;
    ControlText(box, *chosen);
    // A pick with the other box still empty waits for the other file.
    if (!ControlText(IDC_FIRST_FILE_PATH).empty() && !ControlText(IDC_SECOND_FILE_PATH).empty())
        CompareBoxes();
}

void MainWindow::CompareBoxes() {
    // What the boxes hold now is compared, typed or picked: an earlier pick
    // never stands in for a path typed over it.
    inspection::ComponentInspector* activeX = services_.activeX;
    if (!activeX)
        return;
    activeX->FirstFilename(ControlText(IDC_FIRST_FILE_PATH));
    activeX->SecondFilename(ControlText(IDC_SECOND_FILE_PATH));
    activeX->DoComparison();
}

void MainWindow::OnDropFiles(HDROP drop) {
    std::vector<std::wstring> paths = DroppedPaths(drop);
    std::optional<POINT> at = DropPoint(drop);
    FinishDrop(drop);
    if (paths.empty() || busy_)
        return;
    ::SetForegroundWindow(Hwnd());
    if (ActiveTab() != 1) {
        // Only one file has a report: the first of several.
        ActiveTab(0);
        ControlText(IDC_FILE_PATH, paths.front());
        ShowReport(paths.front());
        return;
    }
    if (paths.size() >= 2) {
        ControlText(IDC_FIRST_FILE_PATH, paths[0]);
        ControlText(IDC_SECOND_FILE_PATH, paths[1]);
    } else {
        // One file fills the box whose frame it was dropped on (the first
        // box when dropped elsewhere) and is compared once both are filled.
        RECT second{};
        HWND frame = Control(IDC_SECOND_FILE_FRAME);
        if (frame)
            ::GetWindowRect(frame, &second);
        bool onSecond = false;
        if (at && frame) {
            ::ClientToScreen(Hwnd(), &*at);
            onSecond = ::PtInRect(&second, *at) != FALSE;
        }
        ControlText(onSecond ? IDC_SECOND_FILE_PATH : IDC_FIRST_FILE_PATH, paths.front());
        if (ControlText(IDC_FIRST_FILE_PATH).empty() || ControlText(IDC_SECOND_FILE_PATH).empty())
            return;
    }
    CompareBoxes();
}

void MainWindow::RegisterFile(bool unregister) {
    if (busy_)
        return;
    // The typed text goes to the engine as it stands, and the report that
    // follows is that of the same path: the one on screen.
    const std::wstring path = ControlText(IDC_FILE_PATH);
    WhileBusy([&] {
        if (registration::RegistrationPrompter* registrator = services_.registrator) {
            // The window keeps painting while the component takes its time;
            // Busy keeps its controls from starting anything meanwhile.
            auto& wait = registrator->Options().wait;
            const auto before = std::exchange(wait, platform::WaitStyle::PumpMessages);
            // "For me only": the component's keys go to this user's classes.
            // The box sits on its tab's page, not on the window itself.
            registrator->Options().perUser =
                ::SendMessageW(Control(IDC_FOR_ME_ONLY), BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (unregister)
                registrator->UnRegisterActiveX(path);
            else
                registrator->RegisterActiveX(path);
            wait = before;
        }
        ShowReport(path);
    });
}

void MainWindow::CheckRegistration() {
    if (busy_ || !services_.checkRegistration)
        return;
    const std::wstring path = ControlText(IDC_FILE_PATH);
    WhileBusy([&] { services_.checkRegistration(path); });
}

void MainWindow::WhileBusy(const std::function<void()>& work) {
    Busy(true);
    try {
        work();
    } catch (...) {
        Busy(false);
        throw;
    }
    Busy(false);
    if (std::exchange(closePending_, false))
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
}

void MainWindow::ExportFile() {
    if (busy_ || !services_.exportFile)
        return;
    const std::wstring path = ControlText(IDC_FILE_PATH);
    const bool perUser = ::SendMessageW(Control(IDC_FOR_ME_ONLY), BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::optional<SaveChoice> choice;
    if (!path.empty()) {
        // Suggested: beside the component, its name with the format's
        // extension, in the format chosen last time.
        std::wstring suggested = path;
        const std::size_t slash = suggested.find_last_of(L"\\/");
        const std::size_t dot = suggested.rfind(L'.');
        if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
            suggested.resize(dot);
        static constexpr const wchar_t* extensions[] = {L".reg", L".wxs", L".wxs", L".manifest",
                                                        L".jsonl"};
        suggested += extensions[exportFilter_];
        choice = ShowSave(Hwnd(), suggested, kExportFilters, exportFilter_);
        if (!choice)
            return;
        exportFilter_ = std::clamp(choice->filterIndex, 0, 4);
    }
    WhileBusy([&] {
        services_.exportFile(path, static_cast<registration::ExportFormat>(exportFilter_),
                             choice ? choice->path : std::wstring(), perUser);
    });
}

void MainWindow::ShowReport(const std::wstring& path) {
    if (!services_.activeX)
        return;
    services_.activeX->FileName(path);
    services_.activeX->DisplayInfo();
}

void MainWindow::Busy(bool on) {
    busy_ = on;
    if (on) {
        focusBeforeBusy_ = ::GetFocus();
        for (const BuiltControl& c : form_.controls) {
            CommandButton* button = CommandButton::From(c.hwnd);
            if (button && ::IsWindowEnabled(c.hwnd)) {
                button->Enabled(false);
                disabledWhileBusy_.push_back(c.hwnd);
            }
        }
        // The path on screen is the one being registered and reported.
        ::SendMessageW(Control(IDC_FILE_PATH), EM_SETREADONLY, TRUE, 0);
    } else {
        for (HWND hwnd : disabledWhileBusy_)
            if (CommandButton* button = CommandButton::From(hwnd))
                button->Enabled(true);
        disabledWhileBusy_.clear();
        ::SendMessageW(Control(IDC_FILE_PATH), EM_SETREADONLY, FALSE, 0);
        if (focusBeforeBusy_ && ::IsWindow(focusBeforeBusy_) && ::GetActiveWindow() == Hwnd())
            ::SetFocus(focusBeforeBusy_);
        focusBeforeBusy_ = nullptr;
    }
    RefreshCursor();
}

void MainWindow::RefreshCursor() {
    // The cursor changes at once, not at the next move of the mouse.
    POINT at{};
    ::GetCursorPos(&at);
    HWND under = ::WindowFromPoint(at);
    if (!under || ::GetWindowThreadProcessId(under, nullptr) != ::GetCurrentThreadId())
        return;
    const LRESULT hit = ::SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                   MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}

} // namespace calvorn::ui
