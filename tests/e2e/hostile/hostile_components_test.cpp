// Components that misbehave: the program stays alive where it can, tells the
// truth, and never reports success for a failure.

#include "e2e/registration/e2e_helpers.h"

#include <gtest/gtest.h>

using namespace calvorn::test;

namespace {

bool AnySaysSuccessful(const DriveResult& r) {
    for (const DrivenBox& box : r.boxes)
        if (box.text.find(L"successful") != std::wstring::npos)
            return true;
    return false;
}

} // namespace

TEST(HostileComponents, EntryPointWithAMessageBoxOfItsOwn) {
    const std::wstring dll = Quoted(FixturePath(L"probe_msgbox.dll"));
    DriveResult r = RunCalvorn(L"-r " + dll, {IDYES, IDOK, IDOK});
    ASSERT_TRUE(r.exitCode.has_value());
    ASSERT_EQ(r.boxes.size(), 3u);
    EXPECT_EQ(r.boxes[1].title, L"Probe server");
    EXPECT_EQ(r.boxes[1].text, L"The probe server is registering itself.");
    EXPECT_EQ(r.boxes[2].text, L"ActiveX Component registration successful!");
    EXPECT_FALSE(r.mainWindowSeen);
}

TEST(HostileComponents, EntryPointThatEndsTheProcessIsNeverCalledSuccessful) {
    // The component takes the whole process down on our worker thread; nothing
    // of ours can run after that, so the honest outcome is the component's own
    // exit code and no word of success.
    DriveResult r = RunCalvorn(L"-u " + Quoted(FixturePath(L"probe_exit.dll")), {IDYES});
    ASSERT_TRUE(r.exitCode.has_value());
    EXPECT_EQ(*r.exitCode, 43u);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, L"Are You Sure?");
    EXPECT_FALSE(AnySaysSuccessful(r));
}

TEST(HostileComponents, ExeServerThatNeverExitsDoesNotHoldTheProgram) {
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, L"CalvornProbeStuckRelease");
    ASSERT_NE(release, nullptr);
    DriveResult r = RunCalvorn(L"-r " + Quoted(FixturePath(L"probe_stuck_server.exe")), {IDYES});
    ASSERT_TRUE(r.exitCode.has_value());
    EXPECT_EQ(*r.exitCode, 0u);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_FALSE(AnySaysSuccessful(r));
    EXPECT_FALSE(r.mainWindowSeen);
    ::SetEvent(release);
    ::CloseHandle(release);
}
