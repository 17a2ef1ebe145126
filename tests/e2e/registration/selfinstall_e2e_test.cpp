// The first run of a copied program with a planted component beside it.

#include "e2e_helpers.h"

#include "app/first_run.h"
#include "registration/registration_session.h"

#include <optional>

using namespace calvorn;
using namespace calvorn::test;

namespace {

std::optional<std::wstring> StoredSetting() {
    wchar_t buffer[256];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, app::kSettingsKey, app::kSelfInstallSetting,
                       RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return std::wstring(buffer) + L"\\";
}

} // namespace

// A DLL planted beside a downloaded copy under a name that earlier versions
// took into the system folder stays where it is, and never runs.
TEST(SelfInstallE2E, FirstRunInstallsNothingPlantedBesideTheProgram) {
    const std::wstring target = SystemFolder() + L"TLBINF32.DLL";
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the prefix already has TLBINF32.DLL";
    CleanProbeRegistry();
    std::optional<std::wstring> saved = StoredSetting();
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, app::kSettingsKey, app::kSelfInstallSetting);

    std::wstring folder = MakeScratchDir(L"e2e-selfinstall");
    std::wstring program = CopyInto(ProgramPath(), folder, L"calvorn.exe");
    CopyInto(BuildDir() + HostFileName(), folder, HostFileName());
    CopyInto(FixturePath(L"probe_good.dll"), folder, L"TLBINF32.DLL");

    DriveResult r = RunCalvorn(L"-r", {IDNO}, program);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.boxes.size(), 1u) << "the first run is silent";
    EXPECT_EQ(::GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ProbeText(L"TLBINF32.DLL", L"Path"));
    EXPECT_EQ(StoredSetting(), L"true");

    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        registration::RunRegistration(target, registration::Operation::Unregister);
        ::DeleteFileW(target.c_str());
    }
    CleanProbeRegistry();
    if (saved)
        app::SaveSetting(L"General", app::kSelfInstallSetting, *saved);
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, app::kSettingsKey, app::kSelfInstallSetting);
}
