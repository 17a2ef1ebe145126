// Every window and control procedure of the program keeps C++ exceptions
// from the system, and tells them through the program's error reporter; and
// the scoped GDI selection gives the DC back as it found it.

#include "app/startup.h"
#include "platform/gdi_objects.h"
#include "support/fake_message_box.h"
#include "ui/command_button.h"
#include "ui/form_builder.h"
#include "ui/list_view_grid.h"
#include "ui/procedure_guard.h"
#include "ui/window.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

using namespace calvorn;
using namespace calvorn::ui;

namespace {

constexpr UINT kFault = WM_APP + 77;

class PlainWindow : public Window<PlainWindow> {
  public:
    static const wchar_t* ClassName() { return L"Calvorn.TestPlainWindow"; }
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return DefaultProc(msg, wp, lp); }
};

// A box that, while it is shown, has the faulty message sent again: as a
// paint or a timer would reach the window from the box's own message loop.
class ReenteringBox final : public platform::IMessageBox {
  public:
    int Show(const std::wstring& text, const std::wstring&, unsigned) override {
        shown.push_back(text);
        if (window)
            ::SendMessageW(window, kFault, 0, 0);
        return IDOK;
    }
    HWND window = nullptr;
    std::vector<std::wstring> shown;
};

class FaultyProcedures : public ::testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        ::InitCommonControlsEx(&icc);
        host_ = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  500, 400, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        ReportProcedureErrorsTo(app::ShowError);
        ui::testing::ThrowInProcedures(kFault);
    }
    void TearDown() override {
        ui::testing::ThrowInProcedures(0);
        ReportProcedureErrorsTo(nullptr);
        ::DestroyWindow(host_);
    }

    HWND host_ = nullptr;
};

} // namespace

TEST_F(FaultyProcedures, EachProcedureReportsTheExceptionOnceAndItsWindowLivesOn) {
    PlainWindow plain;
    ASSERT_TRUE(plain.CreateHidden(L"plain", WS_OVERLAPPEDWINDOW, 0, 200, 100));
    ListViewGrid grid;
    ASSERT_TRUE(grid.Create(host_, 7));
    FormSource source;
    source.window = host_;
    source.layout = ParseLayout(L"Begin TabStrip tabs\n   Tabs = \"One|Two\"\n   Left = 120\n"
                                L"   Top = 120\n   Width = 4000\n   Height = 3000\nEnd\n");
    const OwnedFormFonts fonts{UiFont(96), UiFont(96)};
    source.fonts = fonts.Lent();
    source.idOf = [](const std::wstring&) { return 5; };
    source.firstPageId = 100;
    BuiltForm form = BuildForm(std::move(source), 0);
    ASSERT_NE(form.tabStrip, nullptr);
    ASSERT_FALSE(form.pages.empty());

    struct Case {
        const wchar_t* tag;
        HWND hwnd;
    };
    for (const Case& c :
         {Case{L"Calvorn.TestPlainWindow", plain.Hwnd()},
          Case{L"Calvorn.Command", CreateCommand(host_, 42, L"&Go", 0, 0, 90, 25)},
          Case{L"ListViewGrid", grid.Hwnd()}, Case{L"Calvorn.TabPage", form.pages[0]},
          Case{L"TabStripFrame", form.tabFrame ? form.tabStrip : nullptr}}) {
        if (!c.hwnd) {
            // The strip keeps its own procedure when it has no visual style.
            continue;
        }
        test::FakeMessageBox box;
        test::ScopedMessages scoped(box);
        ::SendMessageW(c.hwnd, kFault, 0, 0);
        ASSERT_EQ(box.shown.size(), 1u) << c.tag;
        EXPECT_EQ(box.shown[0].text.rfind(std::wstring(c.tag) + L": error 1359: ", 0), 0u)
            << c.tag << ": " << box.shown[0].text;
        // The window lives on, with the same procedure in its place.
        EXPECT_TRUE(::IsWindow(c.hwnd)) << c.tag;
        ::SendMessageW(c.hwnd, kFault, 0, 0);
        EXPECT_EQ(box.shown.size(), 2u) << c.tag << ": a second failure is reported too";
    }
    EXPECT_EQ(app::App().lastErrorNumber, ERROR_INTERNAL_ERROR);
}

TEST_F(FaultyProcedures, AFailureWhileTheReportIsOnScreenStacksNoSecondBox) {
    PlainWindow plain;
    ASSERT_TRUE(plain.CreateHidden(L"plain", WS_OVERLAPPEDWINDOW, 0, 200, 100));
    ReenteringBox box;
    box.window = plain.Hwnd();
    test::ScopedMessages scoped(box);
    ::SendMessageW(plain.Hwnd(), kFault, 0, 0);
    EXPECT_EQ(box.shown.size(), 1u);
    // Once the box is gone, the next failure is told again.
    box.window = nullptr;
    ::SendMessageW(plain.Hwnd(), kFault, 0, 0);
    EXPECT_EQ(box.shown.size(), 2u);
}

TEST(GdiSelection, TheDcGetsBackTheObjectItHeldBeforeTheFirstSelection) {
    const platform::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = ::GetCurrentObject(dc.get(), OBJ_BRUSH);
    const platform::UniqueBrush red(::CreateSolidBrush(RGB(255, 0, 0)));
    const platform::UniqueBrush blue(::CreateSolidBrush(RGB(0, 0, 255)));
    {
        platform::SelectedObject chosen(dc.get(), red.get());
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());
        chosen.Select(dc.get(), blue.get());
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), blue.get());
        // Moved, the selection is undone once, by its new holder.
        platform::SelectedObject moved = std::move(chosen);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), blue.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), original);
    // No object and no DC select nothing and undo nothing.
    {
        const platform::SelectedObject none(dc.get(), nullptr);
        const platform::SelectedObject nowhere(nullptr, red.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BRUSH), original);
}
