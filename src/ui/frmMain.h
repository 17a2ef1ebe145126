#pragma once
// The main window: three tabs for registering and inspecting one component,
// comparing two, and switching the Explorer verbs.

#include "platform/error_record.h"
#include "ui/list_view_grid.h"
#include "ui/window.h"

#include <functional>
#include <string>

namespace calvorn::inspection {
class clsActiveX;
}
namespace calvorn::registration {
class clsRegistrator;
}

namespace calvorn::ui {

// What the window uses of the application; filled in by start-up.
struct MainWindowServices {
    std::wstring appPath;
    registration::clsRegistrator* registrator = nullptr;
    inspection::clsActiveX* activeX = nullptr;
    std::function<void(const std::wstring& tag, const platform::ErrorRecord&)> showError;
    std::function<void()> onUnload; // ends the program
};

// Stable control identifiers, for keyboard routing and for tests.
enum MainControlId : int {
    IDC_XTAB1 = 1001,
    IDC_TXTFILE = 1010,        // tab 0: the file of the report
    IDC_GRIDINFO = 1011,       // tab 0: the component report
    IDC_GRIDCOMPARISON = 1020, // tab 1: the two-file comparison
};

class frmMain final : public Window<frmMain> {
  public:
    static const wchar_t* ClassName() { return L"Calvorn.frmMain"; }

    MainWindowServices& Services() { return services_; }

    // Creates the window hidden and runs its load handler.
    bool Load();
    void Caption(const std::wstring& text);
    int ActiveTab() const;
    void ActiveTab(int index);
    void Show();

    IFlexGrid& gridinfo() { return gridinfo_; }
    IFlexGrid& gridcomparison() { return gridcomparison_; }
    void txtFile(const std::wstring& text);
    std::wstring txtFile() const;

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void OnDestroy();
    LRESULT OnNotify(NMHDR* header);
    // Shows the controls of the selected tab and hides the others.
    void ShowTabControls(int index);
    void LayoutControls();

    MainWindowServices services_;
    HWND tab_ = nullptr;
    HFONT font_ = nullptr;
    HWND txtFile_ = nullptr;
    HWND tooltip_ = nullptr;
    ListViewGrid gridinfo_;
    ListViewGrid gridcomparison_;
};

frmMain& MainWindow();

} // namespace calvorn::ui
