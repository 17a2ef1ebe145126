#pragma once
// The main window: three tabs for registering and inspecting one component,
// comparing two, and switching the Explorer verbs.

#include "platform/error_record.h"
#include "registration/export/export_formats.h"
#include "ui/form_builder.h"
#include "ui/list_view_grid.h"
#include "ui/window.h"

#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace calvorn::inspection {
class ComponentInspector;
}
namespace calvorn::registration {
class RegistrationPrompter;
}
namespace calvorn::registry {
class RegistryAccessor;
}

namespace calvorn::ui {

// What the window uses of the application; filled in by start-up.
struct MainWindowServices {
    std::wstring appPath;
    registration::RegistrationPrompter* registrator = nullptr;
    inspection::ComponentInspector* activeX = nullptr;
    std::function<void(const std::wstring& tag, const platform::ErrorRecord&)> showError;
    std::function<void()> onUnload; // ends the program
    // "Check this computer...": the scan of the broken COM registrations.
    std::function<void()> checkComputer;
    // Initialises or enables every Command button of a window.
    std::function<void(HWND window, bool initialize, bool enabled)> initButtons;
    // The per-user settings store: read (with a default) and write one text.
    std::function<std::wstring(const std::wstring& key, const std::wstring& defaultValue)>
        getSetting;
    std::function<void(const std::wstring& key, const std::wstring& value)> saveSetting;
    // Exports a component's registration to `out` and tells the outcome as
    // a registration's is told; an empty `file` is told as Register tells it.
    std::function<void(const std::wstring& file, registration::ExportFormat format,
                       const std::wstring& out, bool perUser)>
        exportFile;
    // Runs the component's registration code against a scratch key (the
    // machine keeps its keys) and shows the whole result in the report.
    std::function<void(const std::wstring& path)> checkRegistration;
    // The program runs without the administrator's rights: the actions that
    // change the machine carry the shield.
    bool needsElevation = false;
    // Enable was refused for want of rights: offers the run as administrator
    // in place of `message`; false when it told nothing and the message is due.
    std::function<bool(const std::wstring& message)> verbsRefused;
    // The About box, and the guide at the section of a tab (F1).
    std::function<void()> showAbout;
    std::function<void(int tab)> showGuide;
};

// The setting that holds the main window's size and place.
inline constexpr const wchar_t* kPlacementSetting = L"MainWindowPlacement";

// Stable control identifiers, for keyboard routing and for tests.
enum MainControlId : int {
    IDC_TABS = 1001,
    IDC_FILE_FRAME = 1002,
    IDC_FILE_LABEL = 1003,
    IDC_BROWSE = 1005,
    IDC_REGISTRATION_FRAME = 1006,
    IDC_REGISTER = 1007,
    IDC_UNREGISTER = 1008,
    IDC_REPORT_FRAME = 1009,
    IDC_FILE_PATH = 1010,
    IDC_REPORT_GRID = 1011,
    IDC_FIRST_FILE_FRAME = 1012,
    IDC_FIRST_FILE_PATH = 1013,
    IDC_SELECT_FIRST_FILE = 1014,
    IDC_SECOND_FILE_FRAME = 1015,
    IDC_SECOND_FILE_PATH = 1016,
    IDC_SELECT_SECOND_FILE = 1017,
    IDC_COMPARISON_FRAME = 1018,
    IDC_COMPARISON_GRID = 1020,
    IDC_OPTIONS_FRAME = 1021,
    IDC_SHELL_STATE = 1022,
    IDC_SHELL_SWITCH = 1023,
    IDC_HELP_FRAME = 1024,
    IDC_HELP_TEXT = 1025,
    IDC_TAB_ICON = 1026,
    IDC_FOR_ME_ONLY = 1027,
    IDC_EXPORT = 1028,
    IDC_SCAN_LABEL = 1029,
    IDC_SCAN = 1030,
    IDC_CHECK = 1031,
    IDC_TAB_PAGE0 = 1090,    // the pages of the three tabs: 1090 to 1092
    IDC_TAB_PICTURE0 = 1100, // picTab(index) is IDC_TAB_PICTURE0 + index, index 0 to 10
};

// The help text of the Options tab.
extern const wchar_t* const kShellHelpText;

// The one message after Enable or Disable: the plain confirmation when every
// association went as asked, else a heading and what could not be done, one
// line each.
std::wstring ShellSwitchMessage(bool enable, bool installed,
                                const std::vector<std::wstring>& problems);

class MainWindow final : public Window<MainWindow> {
  public:
    static const wchar_t* ClassName() { return L"Calvorn.MainWindow"; }

    MainWindow();
    ~MainWindow() override;

    MainWindowServices& Services() { return services_; }

    // Creates the window hidden and runs its load handler.
    bool Load();
    void Caption(const std::wstring& text);
    int ActiveTab() const;
    // Selects a tab as a user would, running the handler of a tab change.
    void ActiveTab(int index);
    void Show();
    // A control by its id; nullptr before Load.
    HWND Control(int id) const;
    IFlexGrid& ReportGrid() { return reportGrid_; }
    IFlexGrid& ComparisonGrid() { return comparisonGrid_; }
    void FilePath(const std::wstring& text) { ControlText(IDC_FILE_PATH, text); }
    std::wstring FilePath() const { return ControlText(IDC_FILE_PATH); }

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnDestroy();
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR& header, LPARAM lp);
    void OnTabChanged();
    void OnSize();
    void OnPaint();
    void OnMinMaxInfo(MINMAXINFO& info) const;
    // A DPI change, a change of colours or theme (main_window_display.cpp).
    LRESULT OnDisplayChange(UINT msg, WPARAM wp, LPARAM lp);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void OnSchemeChanged();
    // The client size the stored layout asks for, and the window's fonts,
    // at a DPI: the same at creation and after a move to another monitor.
    static SIZE DesignClientAt(const std::vector<LayoutBlock>& layout, UINT dpi);
    static OwnedFormFonts FontsAt(UINT dpi);
    void SavePlacement();
    // The controls of a page, made the first time it is shown.
    void EnsurePage(int page);
    SIZE Growth() const;

    void Browse();
    void RegisterFile(bool unregister);
    // Asks where to and in which format, then exports the file in the box.
    void ExportFile();
    // The file in the box checked by its own registration code.
    void CheckRegistration();
    // `work` with the window busy; a close asked for meanwhile follows it.
    void WhileBusy(const std::function<void()>& work);
    // The report of `path`, which becomes the file of the report.
    void ShowReport(const std::wstring& path);
    // While a registration runs: the buttons and the file box take no input,
    // the window shows the wait cursor and a close waits for the end.
    void Busy(bool on);
    void RefreshCursor();
    void SelectFile(bool second);
    // The comparison of the paths the two boxes hold, typed or picked.
    void CompareBoxes();
    // Dropped files: one opens its report; on the comparison tab two are
    // compared, and one fills the box it was dropped on.
    void OnDropFiles(HDROP drop);
    // The shield on the buttons whose action needs the administrator's
    // rights as the window is set now (main_window_elevation.cpp).
    void UpdateShields();
    // "About Calvorn..." and "Guide" in the system menu; F1 and the two
    // items (main_window_help.cpp). False for a system command not ours.
    void AddHelpToSystemMenu();
    bool OnHelp(UINT msg, WPARAM wp);
    void ShellExtensionStateTest();
    void ShowShellState(bool installed);
    void SwitchShellExtensions();
    void GridDoubleClick(ListViewGrid& grid, POINT at);
    // Shows one cell in the text window; nothing when the grid has no such cell.
    void ShowCell(ListViewGrid& grid, int row, int col);
    // Ctrl+Tab and Ctrl+PgDn (and back), Enter on a grid row.
    bool TakeKey(const MSG& msg);
    void StepTab(int step);
    void NextControl(WPARAM wp, LPARAM lp);
    void PictureClick(int index);

    std::wstring ControlText(int id) const;
    void ControlText(int id, const std::wstring& text);
    void ButtonCaption(int id, const std::wstring& text);

    MainWindowServices services_;
    std::unique_ptr<registry::RegistryAccessor> shellRegistry_;
    BuiltForm form_;
    OwnedFormFonts fonts_;
    HWND lastFocus_ = nullptr;     // the control that had the focus when the window was left
    HWND accessKeyFrom_ = nullptr; // the label or frame whose access key was pressed
    SIZE designClient_{};          // the stored layout's client size in pixels: the smallest
    SIZE arranged_{};              // the growth the controls are placed for; built for none
    bool busy_ = false;
    bool closePending_ = false;
    // The export's file type chosen last, as an index into its filters.
    int exportFilter_ = 0;
    std::vector<HWND> disabledWhileBusy_;
    HWND focusBeforeBusy_ = nullptr;
    DWORD style_ = 0;
    bool shown_ = false;
    ListViewGrid reportGrid_;
    ListViewGrid comparisonGrid_;
};

MainWindow& TheMainWindow();

} // namespace calvorn::ui
