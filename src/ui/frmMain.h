#pragma once
// The main window: three tabs for registering and inspecting one component,
// comparing two, and switching the Explorer verbs.

#include "platform/error_record.h"
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

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void OnDestroy();

    MainWindowServices services_;
    HWND tab_ = nullptr;
    HFONT font_ = nullptr;
};

frmMain& MainWindow();

} // namespace calvorn::ui
