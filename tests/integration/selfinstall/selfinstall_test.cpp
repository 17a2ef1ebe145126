// The first-run self-install against the real system folder of the test
// prefix: probe servers planted beside the program under the names of the
// components that earlier versions copied into the system folder.

#include "fixtures/com/probe_registry.h"
#include "app/startup.h"
#include "app/first_run.h"
#include "platform/text.h"
#include "registration/registration_engine.h"
#include "registration/registration_session.h"
#include "support/fake_message_box.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <optional>

using namespace calvorn;
using namespace calvorn::app;
using namespace calvorn::test;

namespace {

// What earlier versions took from the program's folder on a first run.
const wchar_t* const kOldComponents[] = {L"prjXTab.ocx", L"MSFLXGRD.OCX", L"comdlg32.ocx",
                                         L"TLBINF32.DLL"};

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
        for (const wchar_t* name : kOldComponents)
            if (Exists(SystemFolder() + name))
                GTEST_SKIP() << "the prefix already has " << platform::Narrow(name);
        saved_ = StoredSetting();
        savedAppPath_ = App().programFolder;
        App().programFolder = MakeScratchDir(L"selfinstall");
        CleanProbeRegistry();
    }
    void TearDown() override {
        for (const wchar_t* name : kOldComponents)
            RemoveFromSystemFolder(name);
        CleanProbeRegistry();
        StoreSetting(saved_);
        App().programFolder = savedAppPath_;
    }
    void PlaceStandIn(const std::wstring& folder, const std::wstring& fixture,
                      const std::wstring& name = L"TLBINF32.DLL") {
        ASSERT_TRUE(::CopyFileW(FixturePath(fixture).c_str(), (folder + name).c_str(), TRUE));
    }
    // Nothing planted reached the system folder or the registry.
    void ExpectNothingInstalled() {
        for (const wchar_t* name : kOldComponents) {
            EXPECT_FALSE(Exists(SystemFolder() + name)) << platform::Narrow(name);
            EXPECT_FALSE(ProbeText(name, L"Path")) << platform::Narrow(name);
        }
    }

    std::optional<std::wstring> saved_;
    std::wstring savedAppPath_;
    FakeMessageBox box_;
    ScopedMessages scoped_{box_};
};

} // namespace

TEST_F(SelfInstall, FirstRunInstallsNothingFromTheProgramFolderAndRemembers) {
    StoreSetting(std::nullopt);
    for (const wchar_t* name : kOldComponents)
        PlaceStandIn(App().programFolder, L"probe_good.dll", name);
    InstallDependencies();
    ExpectNothingInstalled();
    EXPECT_EQ(StoredSetting(), L"true");
    EXPECT_TRUE(box_.shown.empty());

    // The second run leaves the setting as it is.
    InstallDependencies();
    EXPECT_EQ(StoredSetting(), L"true");
}

TEST_F(SelfInstall, SettingIsReadAsABoolean) {
    PlaceStandIn(App().programFolder, L"probe_good.dll");
    for (const wchar_t* done : {L"TRUE", L"True", L"1"}) {
        StoreSetting(done);
        InstallDependencies();
        EXPECT_EQ(StoredSetting(), done);
    }
    // "yes" is no boolean: the first run counts as not done and writes "true".
    StoreSetting(L"yes");
    InstallDependencies();
    EXPECT_EQ(StoredSetting(), L"true");
    ExpectNothingInstalled();
}

TEST_F(SelfInstall, ASettingOfAnotherTypeCountsAsNotDone) {
    const DWORD one = 1;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSelfInstallSetting, REG_DWORD,
                                &one, sizeof one),
              ERROR_SUCCESS);
    InstallDependencies();
    EXPECT_EQ(StoredSetting(), L"true");
    EXPECT_TRUE(box_.shown.empty());
}

TEST_F(SelfInstall, AComponentAlreadyInTheSystemFolderIsLeftAlone) {
    PlaceStandIn(SystemFolder(), L"probe_good.dll");
    PlaceStandIn(App().programFolder, L"probe_plain.dll");
    StoreSetting(std::nullopt);
    InstallDependencies();
    EXPECT_FALSE(ProbeText(L"TLBINF32.DLL", L"Path")) << "registered on the first run";
    EXPECT_EQ(StoredSetting(), L"true");
}

// The silent registration that the first run used: the engine's statuses.
TEST_F(SelfInstall, RegisterServerSharesTheEnginesStatuses) {
    auto RegisterServer = [](const std::wstring& path) {
        return registration::RunRegistration(path, registration::Operation::Register).status;
    };
    EXPECT_EQ(RegisterServer(L""), registration::rsNoFile);
    EXPECT_EQ(RegisterServer(FixturePath(L"not_a_module.dll")), registration::rsLoadFailed);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_plain.dll")), registration::rsNotActiveX);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_good.dll")), registration::rsRegistered);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_fail.dll")), registration::rsRegisterFailed);
    EXPECT_EQ(RegisterServer(FixturePath(L"probe_crash.dll")), registration::rsRegisterFailed);
    EXPECT_TRUE(box_.shown.empty());
}
