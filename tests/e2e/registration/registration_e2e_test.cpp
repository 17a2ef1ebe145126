// The real calvorn.exe with "-r" and "-u", driven from outside: the question,
// every outcome message (text, title, icon), the paths that reach the engine,
// and that no switch ever shows the main window.

#include "e2e/hostile/misbehaviours.h"
#include "e2e_helpers.h"

#include "platform/text.h"

using namespace calvorn;
using namespace calvorn::test;

namespace {

struct Expected {
    const wchar_t* title;
    const wchar_t* text; // the first line
    unsigned icon;
};

// Runs one switch answered Yes and checks the question, the one outcome
// message (its first line; the second is returned) and a clean end.
std::wstring ExpectOutcome(const std::wstring& arguments, const Expected& expected) {
    DriveResult r = RunCalvorn(arguments, {IDYES, IDOK});
    // The box tells a person; the exit code, as -q gives it, the script.
    EXPECT_EQ(r.exitCode == 0u, expected.icon == MB_ICONASTERISK) << r.exitCode.value_or(~0u);
    EXPECT_FALSE(r.mainWindowSeen);
    if (r.boxes.size() != 2) {
        ADD_FAILURE() << "boxes seen: " << r.boxes.size();
        return {};
    }
    bool registering = arguments.rfind(L"-r", 0) == 0;
    EXPECT_EQ(r.boxes[0].title,
              registering ? L"Calvorn - Registering ActiveX" : L"Calvorn - UnRegistering ActiveX");
    EXPECT_EQ(r.boxes[0].text, L"Are You Sure?");
    EXPECT_EQ(r.boxes[0].icon, static_cast<unsigned>(MB_ICONQUESTION));
    const DrivenBox& outcome = r.boxes[1];
    EXPECT_EQ(outcome.title, expected.title);
    EXPECT_EQ(outcome.icon, expected.icon) << platform::Narrow(IconName(outcome.icon));
    EXPECT_EQ(outcome.buttons.size(), 1u);
    size_t lineEnd = outcome.text.find(L'\n');
    EXPECT_EQ(outcome.text.substr(0, lineEnd), expected.text);
    return lineEnd == std::wstring::npos ? L"" : outcome.text.substr(lineEnd + 1);
}

const wchar_t* kReg = L"Calvorn - Registering";
const wchar_t* kUnreg = L"Calvorn - UnRegistering";

} // namespace

using RegistrationE2E = CleanProbes;

TEST_F(RegistrationE2E, RegisterAndUnregisterAnsweredYes) {
    const std::wstring path = FixturePath(L"probe_good.dll");
    EXPECT_EQ(ExpectOutcome(L"-r " + Quoted(path),
                            {kReg, L"ActiveX Component registration successful!", MB_ICONASTERISK}),
              L"");
    EXPECT_EQ(ProbeText(L"probe_good.dll", L"Path"), path);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kProbeTypeLib));

    EXPECT_EQ(
        ExpectOutcome(L"-u " + Quoted(path),
                      {kUnreg, L"ActiveX Component unregistration successful!", MB_ICONASTERISK}),
        L"");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(L"probe_good.dll")));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProbeTypeLib));
}

TEST_F(RegistrationE2E, AnsweredNoDoesNothing) {
    const std::wstring path = Quoted(FixturePath(L"probe_good.dll"));
    for (const wchar_t* sw : {L"-r ", L"-u "}) {
        DriveResult r = RunCalvorn(sw + path, {IDNO});
        EXPECT_EQ(r.exitCode, 0u);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].text, L"Are You Sure?");
        EXPECT_FALSE(r.mainWindowSeen);
    }
    // The host starts while the question is on screen, so that a Yes finds
    // it ready; a No ends it with the program.
    bool hostWhileAsked = false;
    RunTranscript t = RunAndAnswer(
        L"-r " + path, {IDNO}, std::chrono::seconds(60), {}, {}, [&](const SeenMessageBox&) {
            hostWhileAsked = WaitUntil([] { return ProcessRuns(kHost); });
        });
    EXPECT_EQ(t.exitCode, std::optional<DWORD>(0));
    EXPECT_TRUE(hostWhileAsked);
    EXPECT_TRUE(WaitUntil([] { return !ProcessRuns(kHost); }));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(L"probe_good.dll")));
}

TEST_F(RegistrationE2E, FailuresAndRefusals) {
    ExpectOutcome(L"-r " + Quoted(FixturePath(L"not_a_module.dll")),
                  {kReg, L"Selected file could not be loaded into memory!", MB_ICONHAND});
    ExpectOutcome(L"-u " + Quoted(FixturePath(L"probe_plain.dll")),
                  {kUnreg, L"Selected file is not a valid ActiveX!", MB_ICONEXCLAMATION});
    ExpectOutcome(L"-r", {kReg, L"No file provided!", MB_ICONEXCLAMATION});
    ExpectOutcome(L"-u", {kUnreg, L"No file provided!", MB_ICONEXCLAMATION});

    // A failure HRESULT is a failure, with its code and the system's words.
    std::wstring detail =
        ExpectOutcome(L"-r " + Quoted(FixturePath(L"probe_fail.dll")),
                      {kReg, L"ActiveX Component registration failed!", MB_ICONHAND});
    EXPECT_EQ(detail.rfind(L"0x80004005: ", 0), 0u) << platform::Narrow(detail);
    detail = ExpectOutcome(L"-u " + Quoted(FixturePath(L"probe_fail.dll")),
                           {kUnreg, L"ActiveX Component unregistration failed!", MB_ICONHAND});
    EXPECT_EQ(detail.rfind(L"0x80070005: ", 0), 0u) << platform::Narrow(detail);

    // A crash inside the component is reported; the program ends normally.
    detail = ExpectOutcome(L"-r " + Quoted(FixturePath(L"probe_crash.dll")),
                           {kReg, L"ActiveX Component registration failed!", MB_ICONHAND});
    EXPECT_EQ(detail, L"0xC0000005: The component crashed (access violation).");
}

namespace {

// How many runs reached the refusing probe's entry points.
DWORD DeniedAttempts() {
    DWORD attempts = 0, size = sizeof attempts;
    ::RegGetValueW(HKEY_CURRENT_USER, ProbeKey(L"probe_denied.dll").c_str(), L"Attempts",
                   RRF_RT_REG_DWORD, nullptr, &attempts, &size);
    return attempts;
}

// "-r" on the refusing probe in a program without the rights, answered Yes,
// up to the offer that follows the refusal; the offer is pressed `choice`.
std::optional<SeenMessageBox> RefusedAndOffered(ProgramRun& run, int choice) {
    std::optional<SeenMessageBox> question = run.WaitForMessageBox(std::chrono::seconds(30));
    if (!question || question->text != L"Are You Sure?")
        return std::nullopt;
    run.Answer(*question, IDYES);
    std::optional<SeenMessageBox> offer = run.WaitForMessageBox(std::chrono::seconds(30));
    if (offer)
        run.Answer(*offer, choice);
    return offer;
}

} // namespace

// Refused for want of rights, a program started without them offers to run
// the action again as administrator, or for this user only.
TEST_F(RegistrationE2E, ARefusalOffersTheRunAsAdministratorOrForThisUser) {
    const std::wstring arguments = L"-r " + Quoted(FixturePath(L"probe_denied.dll"));
    {
        ProgramRun run(ProgramPath(), arguments, {}, Rights::Limited);
        std::optional<SeenMessageBox> offer = RefusedAndOffered(run, 101);
        ASSERT_TRUE(offer);
        EXPECT_EQ(offer->title, kReg);
        EXPECT_EQ(offer->text, L"ActiveX Component registration failed!");
        ASSERT_GE(offer->buttons.size(), 2u);
        EXPECT_EQ(offer->buttons[0].rfind(L"Try again as administrator", 0), 0u);
        EXPECT_EQ(offer->buttons[1].rfind(L"Register for me only", 0), 0u);
        // The second run carries the one action out quietly; Wine's "runas"
        // gives it no more rights than the first, so it is refused as well,
        // and its exit code is what the window tells and the program ends with.
        std::optional<SeenMessageBox> told = run.WaitForMessageBox(std::chrono::seconds(60));
        ASSERT_TRUE(told);
        EXPECT_EQ(told->text.rfind(L"The run as administrator failed (needs-elevation)", 0), 0u)
            << platform::Narrow(told->text);
        run.Answer(*told, IDOK);
        EXPECT_EQ(run.WaitForExit(std::chrono::seconds(30)), std::optional<DWORD>(21));
    }
    EXPECT_EQ(DeniedAttempts(), 2u);
    EXPECT_FALSE(ProbeText(L"probe_denied.dll", L"Path"));

    ProgramRun run(ProgramPath(), arguments, {}, Rights::Limited);
    ASSERT_TRUE(RefusedAndOffered(run, 102));
    std::optional<SeenMessageBox> told = run.WaitForMessageBox(std::chrono::seconds(60));
    ASSERT_TRUE(told);
    EXPECT_EQ(told->text, L"ActiveX Component registration successful!");
    run.Answer(*told, IDOK);
    EXPECT_EQ(run.WaitForExit(std::chrono::seconds(30)), std::optional<DWORD>(0));
    EXPECT_EQ(ProbeText(L"probe_denied.dll", L"Path"), L"registered for this user");
}

// The one run that waits out the program's own 10 s time-out.
TEST_F(RegistrationE2E, UnregistrationThatNeverEndsTimesOut) {
    HANDLE release = ::CreateEventW(nullptr, FALSE, FALSE, L"CalvornProbeHangRelease");
    ::ResetEvent(release);
    std::wstring detail =
        ExpectOutcome(L"-u " + Quoted(FixturePath(L"probe_hang.dll")),
                      {kUnreg, L"ActiveX Component unregistration failed!", MB_ICONHAND});
    EXPECT_EQ(detail.rfind(L"0x800705B4", 0), 0u) << platform::Narrow(detail);
    ::CloseHandle(release);
}

TEST_F(RegistrationE2E, PathsWithSpacesAndBeyondTheAnsiCodePage) {
    std::wstring scratch = MakeScratchDir(L"e2e-paths");
    for (auto [folder, name] : {std::pair{L"with spaces\\", L"probe good.dll"},
                                std::pair{L"Ωμέγα ü 名前\\", L"probé ✓.dll"},
                                std::pair{L"tools.exe\\", L"probe_good.dll"}}) {
        std::wstring path = CopyInto(FixturePath(L"probe_good.dll"), scratch + folder, name);
        ExpectOutcome(L"-r " + Quoted(path),
                      {kReg, L"ActiveX Component registration successful!", MB_ICONASTERISK});
        EXPECT_EQ(ProbeText(name, L"Path"), path);
        ExpectOutcome(L"-u " + Quoted(path),
                      {kUnreg, L"ActiveX Component unregistration successful!", MB_ICONASTERISK});
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(name)));
    }
}

TEST_F(RegistrationE2E, RelativePathIsTakenFromTheProgramFolder) {
    std::wstring folder = MakeScratchDir(L"e2e-relative");
    std::wstring program = CopyInto(ProgramPath(), folder, L"calvorn.exe");
    CopyInto(BuildDir() + HostFileName(), folder, HostFileName());
    CopyInto(FixturePath(L"probe_good.dll"), folder, L"rel probe.dll");
    // Started from elsewhere, so only the program folder can find it.
    DriveResult r = RunCalvorn(L"-r \"rel probe.dll\"", {IDYES, IDOK}, program, BuildDir());
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[1].text, L"ActiveX Component registration successful!");
    EXPECT_EQ(ProbeText(L"rel probe.dll", L"Path"), folder + L"rel probe.dll");
}

TEST_F(RegistrationE2E, ExeServerIsStartedWithItsSwitchAndItsOutcomeTold) {
    std::wstring folder = MakeScratchDir(L"e2e-exe");
    for (const wchar_t* name : {L"probe_server.exe", L"SERVER.EXE"}) {
        std::wstring path = CopyInto(FixturePath(L"probe_server.exe"), folder, name);
        ExpectOutcome(L"-r " + Quoted(path),
                      {kReg, L"ActiveX Component registration successful!", MB_ICONASTERISK});
        EXPECT_NE(ProbeText(name, L"Switch")->find(L"/regserver"), std::wstring::npos);

        ExpectOutcome(L"-u " + Quoted(path),
                      {kUnreg, L"ActiveX Component unregistration successful!", MB_ICONASTERISK});
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ProbeKey(name)));
    }
}

TEST_F(RegistrationE2E, ExeThatCannotStartIsReported) {
    DriveResult r = RunCalvorn(L"-r \"C:\\nowhere\\gone.exe\"", {IDYES, IDOK});
    EXPECT_EQ(r.exitCode, 8u) << "not-started";
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[1].title, L"Calvorn - Registering");
    EXPECT_EQ(r.boxes[1].icon, static_cast<unsigned>(MB_ICONHAND));
    EXPECT_EQ(r.boxes[1].text.rfind(L"Selected file could not be started!\n0x8007", 0), 0u)
        << platform::Narrow(r.boxes[1].text);
}
