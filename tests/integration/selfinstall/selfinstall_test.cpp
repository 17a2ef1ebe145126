// The first-run self-install against the real system folder of the test
// prefix, with a probe server standing in for one of the components.

#include "fixtures/com/probe_registry.h"
#include "app/basMain.h"
#include "app/basSelfInstall.h"
#include "platform/text.h"
#include "registration/registration_session.h"
#include "support/fake_message_box.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <optional>

using namespace calvorn;
using namespace calvorn::app;
using namespace calvorn::test;

namespace {

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return std::wstring(buffer) + L"\\";
}

std::optional<std::wstring> StoredSetting() {
    wchar_t buffer[256];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kSelfInstallSetting, RRF_RT_REG_SZ, nullptr,
                       buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

void StoreSetting(const std::optional<std::wstring>& value) {
    if (value)
        SaveSetting(L"General", kSelfInstallSetting, *value);
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSelfInstallSetting);
}

// Takes away whatever a test put into the system folder, registration first.
void RemoveFromSystemFolder(const std::wstring& name) {
    std::wstring path = SystemFolder() + name;
    if (!Exists(path))
        return;
    registration::RunRegistration(path, registration::Operation::Unregister);
    ::DeleteFileW(path.c_str());
}

class SelfInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const wchar_t* name : kDependencies)
            if (Exists(SystemFolder() + name))
                GTEST_SKIP() << "the prefix already has " << platform::Narrow(name);
        saved_ = StoredSetting();
        savedAppPath_ = App().sAppPath;
        App().sAppPath = MakeScratchDir(L"selfinstall");
        CleanProbeRegistry();
    }
    void TearDown() override {
        for (const wchar_t* name : kDependencies)
            RemoveFromSystemFolder(name);
        CleanProbeRegistry();
        StoreSetting(saved_);
        App().sAppPath = savedAppPath_;
    }
    void PlaceStandIn(const std::wstring& folder, const std::wstring& fixture) {
        ASSERT_TRUE(
            ::CopyFileW(FixturePath(fixture).c_str(), (folder + L"TLBINF32.DLL").c_str(), TRUE));
    }

    std::optional<std::wstring> saved_;
    std::wstring savedAppPath_;
    FakeMessageBox box_;
    ScopedMessages scoped_{box_};
};

} // namespace

TEST_F(SelfInstall, FirstRunCopiesRegistersAndRemembers) {
    StoreSetting(std::nullopt);
    PlaceStandIn(App().sAppPath, L"probe_good.dll");
    InstallDependencies();

    std::wstring target = SystemFolder() + L"TLBINF32.DLL";
    EXPECT_TRUE(Exists(target));
    EXPECT_EQ(ProbeText(L"TLBINF32.DLL", L"Path"), target) << "not registered from the copy";
    EXPECT_EQ(StoredSetting(), L"true");
    EXPECT_FALSE(Exists(SystemFolder() + L"prjXTab.ocx"));
    EXPECT_TRUE(box_.shown.empty());

    // The second run does nothing, even with the registration gone.
    CleanProbeRegistry();
    InstallDependencies();
    EXPECT_FALSE(ProbeText(L"TLBINF32.DLL", L"Path"));
}

TEST_F(SelfInstall, SettingIsReadAsABoolean) {
    PlaceStandIn(App().sAppPath, L"probe_good.dll");
    for (const wchar_t* done : {L"TRUE", L"True", L"1"}) {
        StoreSetting(done);
        InstallDependencies();
        EXPECT_FALSE(Exists(SystemFolder() + L"TLBINF32.DLL")) << platform::Narrow(done);
        EXPECT_EQ(StoredSetting(), done);
    }
    // "yes" is no boolean: the install runs again and writes "true".
    StoreSetting(L"yes");
    InstallDependencies();
    EXPECT_TRUE(Exists(SystemFolder() + L"TLBINF32.DLL"));
    EXPECT_TRUE(ProbeText(L"TLBINF32.DLL", L"Path"));
    EXPECT_EQ(StoredSetting(), L"true");
}

TEST_F(SelfInstall, MissingDependencyFailsSilently) {
    EXPECT_EQ(InstallDependency(L"prjXTab.ocx"), registration::rsLoadFailed);
    EXPECT_FALSE(Exists(SystemFolder() + L"prjXTab.ocx"));
    StoreSetting(std::nullopt);
    InstallDependencies();
    EXPECT_EQ(StoredSetting(), L"true");
    EXPECT_TRUE(box_.shown.empty());
}

TEST_F(SelfInstall, ExistingSystemCopyIsNeverOverwrittenButRegistered) {
    PlaceStandIn(SystemFolder(), L"probe_good.dll");
    PlaceStandIn(App().sAppPath, L"probe_plain.dll");
    EXPECT_EQ(InstallDependency(L"TLBINF32.DLL"), registration::rsRegistered);
    EXPECT_EQ(ProbeText(L"TLBINF32.DLL", L"Path"), SystemFolder() + L"TLBINF32.DLL");
}

TEST_F(SelfInstall, RegisterServerSharesTheEnginesStatuses) {
    EXPECT_EQ(RegisterServer(L""), registration::rsNoFile);
    EXPECT_EQ(RegisterServer(FixturePath(L"not_a_module.dll")), registration::rsLoadFailed);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_plain.dll")), registration::rsNotActiveX);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_good.dll")), registration::rsRegistered);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_fail.dll")), registration::rsRegisterFailed);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_crash.dll")), registration::rsRegisterFailed);
    EXPECT_TRUE(box_.shown.empty());
}
