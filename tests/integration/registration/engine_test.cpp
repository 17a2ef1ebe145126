// The registration engine against the probe servers: each runs in a
// registration host, and nothing of them is ever loaded in this process.

#include "fixtures/com/probe_registry.h"
#include "registration/registration_prompter.h"
#include "platform/program_parts.h"
#include "registration/registration_engine.h"
#include "registration/registration_session.h"
#include "support/polling.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

using namespace calvorn::registration;
using namespace calvorn::test;

namespace {

class Engine : public ::testing::Test {
  protected:
    void SetUp() override { CleanProbeRegistry(); }
    void TearDown() override { CleanProbeRegistry(); }
};

EngineOutcome RunInHost(const std::wstring& path, Operation operation,
                        unsigned long timeoutMs = kRegistrationTimeoutMs) {
    return RunRegistration(path, operation,
                           {false, calvorn::platform::WaitStyle::Block, timeoutMs});
}

bool Loaded(const std::wstring& path) {
    return ::GetModuleHandleW(path.c_str()) != nullptr;
}

} // namespace

TEST_F(Engine, GoodServerRegistersWithOleAndUnregistersAgain) {
    const std::wstring path = FixturePath(L"probe_good.dll");
    EngineOutcome registered = RunInHost(path, Operation::Register);
    EXPECT_EQ(registered.status, rsRegistered);
    EXPECT_EQ(registered.code, S_OK);
    EXPECT_EQ(ProbeText(L"probe_good.dll", L"Path"), path);
    EXPECT_EQ(ProbeNumber(L"probe_good.dll"), 1u) << "no apartment in the host";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kProbeTypeLib));
    EXPECT_FALSE(Loaded(path));

    EngineOutcome unregistered = RunInHost(path, Operation::Unregister);
    EXPECT_EQ(unregistered.status, rsUnregistered);
    EXPECT_EQ(unregistered.code, S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(L"probe_good.dll")));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProbeTypeLib));

    // Nothing left to take away: the server says S_FALSE, still a success.
    EngineOutcome again = RunInHost(path, Operation::Unregister);
    EXPECT_EQ(again.status, rsUnregistered);
    EXPECT_EQ(again.code, S_FALSE);
}

TEST_F(Engine, FailureHResultIsAFailedOperationWithItsCode) {
    const std::wstring path = FixturePath(L"probe_fail.dll");
    EngineOutcome reg = RunInHost(path, Operation::Register);
    EXPECT_EQ(reg.status, rsRegisterFailed);
    EXPECT_EQ(reg.code, E_FAIL);
    EXPECT_FALSE(reg.crashed);
    EXPECT_FALSE(reg.timedOut);
    EngineOutcome unreg = RunInHost(path, Operation::Unregister);
    EXPECT_EQ(unreg.status, rsUnregisterFailed);
    EXPECT_EQ(unreg.code, E_ACCESSDENIED);
    EXPECT_FALSE(Loaded(path));
}

TEST_F(Engine, CrashInsideTheEntryPointIsSurvivedAndReported) {
    const std::wstring path = FixturePath(L"probe_crash.dll");
    EngineOutcome reg = RunInHost(path, Operation::Register);
    EXPECT_EQ(reg.status, rsRegisterFailed);
    EXPECT_TRUE(reg.crashed);
    EXPECT_EQ(static_cast<DWORD>(reg.code), EXCEPTION_ACCESS_VIOLATION);
    EngineOutcome unreg = RunInHost(path, Operation::Unregister);
    EXPECT_EQ(unreg.status, rsUnregisterFailed);
    EXPECT_TRUE(unreg.crashed);
    // It crashed its host, never this process.
    EXPECT_FALSE(Loaded(path));
    EXPECT_EQ(DescribeCode(reg.code, true),
              L"0xC0000005: The component crashed (access violation).");

    // The process is intact: a good server still registers afterwards.
    EXPECT_EQ(RunInHost(FixturePath(L"probe_good.dll"), Operation::Register).status, rsRegistered);
}

TEST_F(Engine, ModulesThatCannotServe) {
    EXPECT_EQ(RunInHost(L"", Operation::Register).status, rsNoFile);
    EXPECT_EQ(RunInHost(L"", Operation::Unregister).status, rsNoFile);
    EXPECT_EQ(RunInHost(FixturePath(L"not_a_module.dll"), Operation::Register).status,
              rsLoadFailed);
    EngineOutcome missing = RunInHost(FixturePath(L"missing.dll"), Operation::Unregister);
    EXPECT_EQ(missing.status, rsLoadFailed);
    EXPECT_EQ(missing.code, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

    const std::wstring plain = FixturePath(L"probe_plain.dll");
    EXPECT_EQ(RunInHost(plain, Operation::Register).status, rsNotActiveX);
    EXPECT_EQ(RunInHost(plain, Operation::Unregister).status, rsNotActiveX);
    EXPECT_FALSE(Loaded(plain));

    // A bare name goes to the host's loader as it is, which looks for it in
    // the system folder only: not beside the host, not in a folder of ours.
    ASSERT_TRUE(::SetDllDirectoryW(FixturePath(L"").c_str()));
    EXPECT_EQ(RunInHost(L"probe_plain.dll", Operation::Register).status, rsLoadFailed);
    ::SetDllDirectoryW(nullptr);
}

TEST_F(Engine, NonAsciiFolderAndName) {
    std::wstring folder = MakeScratchDir(L"reg") + L"Ωμέγα ü 名前\\";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring path = folder + L"probé ✓.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_good.dll").c_str(), path.c_str(), FALSE));
    EXPECT_EQ(RunInHost(path, Operation::Register).status, rsRegistered);
    EXPECT_EQ(ProbeText(L"probé ✓.dll", L"Path"), path);
    EXPECT_EQ(RunInHost(path, Operation::Unregister).status, rsUnregistered);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(L"probé ✓.dll")));
}

// A short time-out here; the program's own 10 s one is driven end to end.
TEST_F(Engine, TimedOutComponentIsStoppedWithItsHost) {
    HANDLE release = ::CreateEventW(nullptr, FALSE, FALSE, L"CalvornProbeHangRelease");
    ASSERT_NE(release, nullptr);
    ::ResetEvent(release);
    const std::wstring path = FixturePath(L"probe_hang.dll");

    EngineOutcome reg = RunInHost(path, Operation::Register, 300);
    EXPECT_EQ(reg.status, rsRegisterFailed);
    EXPECT_TRUE(reg.timedOut);
    EXPECT_EQ(reg.code, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_FALSE(Loaded(path));

    // Its host is gone, with the thread that waited for the release.
    EngineOutcome unreg = RunInHost(path, Operation::Unregister, 300);
    EXPECT_EQ(unreg.status, rsUnregisterFailed);
    EXPECT_TRUE(unreg.timedOut);
    EXPECT_FALSE(Loaded(path));
    ::CloseHandle(release);
}

TEST_F(Engine, FrontEndEngineCallsGiveTheStatusOnly) {
    RegistrationPrompter registrator;
    EXPECT_EQ(registrator.Register(FixturePath(L"probe_good.dll")), rsRegistered);
    EXPECT_EQ(registrator.UnRegister(FixturePath(L"probe_good.dll")), rsUnregistered);
    EXPECT_EQ(registrator.Register(FixturePath(L"probe_fail.dll")), rsRegisterFailed);
    EXPECT_EQ(registrator.UnRegister(L""), rsNoFile);
}

TEST(ProgramParts, FoundBesideTheProgramOrNotAtAll) {
    using namespace calvorn::platform;
    EXPECT_EQ(PartFileName(ProgramPart::Program, Bitness::x64), L"calvorn64.exe");
    EXPECT_EQ(PartFileName(ProgramPart::TypeLibHelper, Bitness::x86), L"calvorn-typelib32.exe");
    EXPECT_EQ(LocatePart(ProgramPart::RegistrationHost, Bitness::x86),
              BuildDir() + L"calvorn-reghost32.exe");
    EXPECT_EQ(LocatePart(ProgramPart::Program, Bitness::x86), BuildDir() + L"calvorn.exe");
    // The 64-bit parts are built elsewhere and nothing is installed.
    EXPECT_FALSE(LocatePart(ProgramPart::RegistrationHost, Bitness::x64));
}
