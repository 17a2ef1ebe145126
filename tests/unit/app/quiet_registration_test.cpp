// Quiet registration: every outcome's exit code and log line, and many files
// in one call, each handled whatever became of the ones before.

#include "app/quiet_registration.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace calvorn::app;
using namespace calvorn::registration;
using calvorn::registration::Ending;

namespace {

struct RecordingOutput final : IQuietOutput {
    void Line(const std::wstring& text, bool failure) override {
        (failure ? err : out).push_back(text);
    }
    unsigned long Data(std::string_view) override { return 0; }
    std::vector<std::wstring> out, err;
};

EngineOutcome Engine(RegistrationStatus status, long code = 0, bool crashed = false,
                     bool timedOut = false) {
    return {status, code, crashed, timedOut};
}

} // namespace

TEST(QuietOutcomes, EngineStatusesMapToTheTable) {
    struct Case {
        EngineOutcome outcome;
        ExitCode code;
        const wchar_t* detail;
    } cases[] = {
        {Engine(rsRegistered), ExitCode::Success, L""},
        {Engine(rsUnregistered, S_FALSE), ExitCode::Success, L""},
        {Engine(rsLoadFailed, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)), ExitCode::NotLoaded,
         L"0x800700C1"},
        {Engine(rsNotActiveX), ExitCode::NoEntryPoint, L"0x8007007F"},
        {Engine(rsRegisterFailed, E_FAIL), ExitCode::EntryPointFailed, L"0x80004005"},
        {Engine(rsUnregisterFailed, static_cast<long>(0xC0000005), true), ExitCode::Crashed,
         L"0xC0000005: The component crashed (access violation)."},
        {Engine(rsRegisterFailed, HRESULT_FROM_WIN32(ERROR_TIMEOUT), false, true),
         ExitCode::TimedOut, L"0x800705B4"},
        // Nothing reported (the host never answered): nothing succeeded.
        {EngineOutcome{}, ExitCode::EntryPointFailed, L"0x80004005"},
    };
    for (const Case& c : cases) {
        FileOutcome got = OutcomeOf(c.outcome);
        EXPECT_EQ(got.code, c.code) << c.detail;
        EXPECT_EQ(got.detail.rfind(c.detail, 0), 0u) << got.detail;
    }
}

namespace {

using calvorn::registration::OutcomeKind;

// An outcome of each kind, as a host would report it.
EngineOutcome OfKind(OutcomeKind kind) {
    EngineOutcome outcome = Engine(rsRegisterFailed, E_FAIL);
    switch (kind) {
    case OutcomeKind::Done:
        return Engine(rsRegistered);
    case OutcomeKind::NotUnloaded:
        outcome = Engine(rsUnregistered, 0, false, true);
        outcome.ending = Ending::HungUnloading;
        return outcome;
    case OutcomeKind::NoFile:
        return Engine(rsNoFile);
    case OutcomeKind::LoadFailed:
        return Engine(rsLoadFailed, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    case OutcomeKind::NotAFile:
        outcome.ending = Ending::NotAFile;
        return outcome;
    case OutcomeKind::HostMissing:
        outcome.ending = Ending::HostMissing;
        return outcome;
    case OutcomeKind::HostNotStarted:
        outcome.ending = Ending::NotStarted;
        return outcome;
    case OutcomeKind::NoEntryPoint:
        return Engine(rsNotActiveX);
    case OutcomeKind::EntryPointFailed:
        return outcome;
    case OutcomeKind::Crashed:
        return Engine(rsRegisterFailed, static_cast<long>(0xC0000005), true);
    case OutcomeKind::ExitedEarly:
        outcome.ending = Ending::ExitedEarly;
        return outcome;
    case OutcomeKind::TimedOut:
        return Engine(rsRegisterFailed, 0, false, true);
    case OutcomeKind::HungLoading:
        outcome.ending = Ending::HungLoading;
        return outcome;
    case OutcomeKind::HungUnloading:
        outcome.ending = Ending::HungUnloading;
        return outcome;
    case OutcomeKind::HungInLoaderLock:
        outcome.ending = Ending::HungInLoaderLock;
        return outcome;
    case OutcomeKind::ServerFailed:
        outcome.exeServer = true;
        outcome.exitCode = 5;
        return outcome;
    case OutcomeKind::ServerNotStarted:
        outcome.exeServer = true;
        outcome.ending = Ending::NotStarted;
        return outcome;
    case OutcomeKind::NotExportable:
        outcome.ending = Ending::NotExportable;
        return outcome;
    }
    return outcome;
}

} // namespace

// The window's second line and the quiet line are one text: for every kind,
// bare, with a cause found in the headers and with what the component printed.
TEST(QuietOutcomes, TheWindowAndTheQuietLineSayTheSame) {
    for (int index = 0; index <= static_cast<int>(calvorn::registration::kLastOutcomeKind);
         ++index) {
        const auto kind = static_cast<OutcomeKind>(index);
        EngineOutcome bare = OfKind(kind);
        ASSERT_EQ(calvorn::registration::KindOf(bare), kind) << index;
        EngineOutcome diagnosed = bare;
        diagnosed.diagnosis = calvorn::inspection::ModuleDiagnosis{
            calvorn::inspection::ModuleCause::NotWindowsModule, L"a.dll", L"", L""};
        EngineOutcome printed = bare;
        printed.printed = "hello";
        for (const EngineOutcome& outcome : {bare, diagnosed, printed}) {
            const auto report = calvorn::registration::ReportOf(outcome);
            const FileOutcome quiet = OutcomeOf(outcome);
            EXPECT_EQ(quiet.code, report.code) << index;
            const std::wstring window =
                calvorn::registration::MessageFor(Operation::Register, outcome)->text;
            const size_t lineEnd = window.find(L'\n');
            EXPECT_EQ(window.substr(0, lineEnd), report.headline) << index;
            if (report.code == ExitCode::Success) {
                EXPECT_EQ(quiet.detail, L"") << index;
                continue;
            }
            const std::wstring tail = outcome.printed.empty() ? L"" : L" " + report.printed;
            EXPECT_EQ(quiet.detail, report.detail + tail) << index;
            if (report.detailInWindow) {
                const std::wstring line = window.substr(lineEnd + 1, report.windowLine.size());
                EXPECT_EQ(line, report.windowLine) << index;
                EXPECT_FALSE(line.empty()) << index;
                EXPECT_EQ(report.detail.substr(report.detail.size() - line.size()), line) << index;
            } else {
                EXPECT_EQ(lineEnd == std::wstring::npos || outcome.printed.size(), true) << index;
            }
            if (outcome.diagnosis) {
                EXPECT_NE(quiet.detail.find(L"a.dll is not a Windows module"), std::wstring::npos)
                    << index;
            }
        }
    }
}

TEST(QuietOutcomes, EndingsAndServersMapToTheirOwnCodes) {
    auto ended = [](Ending ending, unsigned long exitCode = 0, bool exe = false) {
        EngineOutcome outcome = Engine(rsRegisterFailed);
        outcome.ending = ending;
        outcome.exitCode = exitCode;
        outcome.exeServer = exe;
        return outcome;
    };
    FileOutcome early = OutcomeOf(ended(Ending::ExitedEarly, 43));
    EXPECT_EQ(early.code, ExitCode::Crashed);
    EXPECT_EQ(early.detail.rfind(L"0x0000002B: ", 0), 0u) << early.detail;
    EXPECT_NE(early.detail.find(L"exit code 43"), std::wstring::npos);
    for (Ending hung :
         {Ending::TimedOut, Ending::HungLoading, Ending::HungUnloading, Ending::HungInLoaderLock})
        EXPECT_EQ(OutcomeOf(ended(hung)).code, ExitCode::TimedOut);
    EXPECT_EQ(OutcomeOf(ended(Ending::NotAFile)).code, ExitCode::NotLoaded);
    EXPECT_EQ(OutcomeOf(ended(Ending::HostMissing)).code, ExitCode::NotLoaded);

    EngineOutcome server = ended(Ending::Finished, 0, true);
    server.status = rsRegistered;
    EXPECT_EQ(OutcomeOf(server).code, ExitCode::Success);
    server.exitCode = 3;
    FileOutcome refused = OutcomeOf(server);
    EXPECT_EQ(refused.code, ExitCode::ServerFailed);
    EXPECT_EQ(refused.detail, L"0x00000003: The server ended with exit code 3.");
    server = ended(Ending::NotStarted, 0, true);
    server.code = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    FileOutcome missing = OutcomeOf(server);
    EXPECT_EQ(missing.code, ExitCode::ServerNotStarted);
    EXPECT_EQ(missing.detail.rfind(L"0x80070002", 0), 0u);
}

// A refusal for want of rights is NeedsElevation only where more rights
// could change it: a machine-wide registration in a program without them.
TEST(QuietOutcomes, ARefusalNeedsElevationOnlyWhereRightsWouldHelp) {
    const EngineOutcome denied = Engine(rsRegisterFailed, E_ACCESSDENIED);
    EXPECT_EQ(OutcomeOf(denied, Operation::Register, false).code, ExitCode::NeedsElevation);
    EXPECT_EQ(
        OutcomeOf(Engine(rsUnregisterFailed, STG_E_ACCESSDENIED), Operation::Unregister, false)
            .code,
        ExitCode::NeedsElevation);
    EXPECT_EQ(OutcomeOf(denied, Operation::Register, true).code, ExitCode::EntryPointFailed);
    EXPECT_EQ(OutcomeOf(denied, Operation::Export, false).code, ExitCode::EntryPointFailed);
    EXPECT_EQ(OutcomeOf(Engine(rsRegisterFailed, E_FAIL), Operation::Register, false).code,
              ExitCode::EntryPointFailed);
    // A crash whose code happens to read as a refusal is still a crash.
    EXPECT_EQ(
        OutcomeOf(Engine(rsRegisterFailed, E_ACCESSDENIED, true), Operation::Register, false).code,
        ExitCode::Crashed);
    EngineOutcome server = Engine(rsRegisterFailed);
    server.exeServer = true;
    server.exitCode = static_cast<unsigned long>(E_ACCESSDENIED);
    EXPECT_EQ(OutcomeOf(server, Operation::Register, false).code, ExitCode::NeedsElevation);
    EXPECT_EQ(OutcomeOf(denied, Operation::Register, false).detail.rfind(L"0x80070005: ", 0), 0u);
}

TEST(QuietOutcomes, DoneButNotUnloadedAndWhatWasPrinted) {
    EngineOutcome stuck = Engine(rsUnregistered, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    stuck.ending = Ending::HungUnloading;
    stuck.boundMs = 30000;
    FileOutcome told = OutcomeOf(stuck);
    EXPECT_EQ(told.code, ExitCode::NotUnloaded);
    EXPECT_EQ(told.detail, L"unregistered, but the component did not unload in time: 0x800705B4: "
                           L"The component's entry point succeeded, but the component did not "
                           L"unload within 30 seconds (its DllMain hangs) and was stopped.");
    // A failed entry point whose module then hung is a time-out as before.
    stuck.status = rsUnregisterFailed;
    EXPECT_EQ(OutcomeOf(stuck).code, ExitCode::TimedOut);

    // What was printed follows on the same line, its line ends and controls
    // made harmless; UTF-8 when it is that.
    EngineOutcome crashed = Engine(rsRegisterFailed, static_cast<long>(0xC0000005), true);
    crashed.printed = "ok\r\nregistered \"x\"\x01\n\xC3\xA9t\xC3\xA9\r\n";
    EXPECT_EQ(OutcomeOf(crashed).detail,
              L"0xC0000005: The component crashed (access violation). The component printed: ok | "
              L"registered \"x\"? | \u00E9t\u00E9");
    crashed.printed = "\r\n";
    EXPECT_EQ(OutcomeOf(crashed).detail, L"0xC0000005: The component crashed (access violation).");
}

TEST(QuietOutcomes, LogLinesNameTheOutcomeAndThePath) {
    EXPECT_EQ(LogLine(Operation::Register, L"C:\\a b.dll", {}), L"registered \"C:\\a b.dll\"");
    EXPECT_EQ(LogLine(Operation::Unregister, L"C:\\a.dll", {}), L"unregistered \"C:\\a.dll\"");
    EXPECT_EQ(LogLine(Operation::Register, L"C:\\a.dll", {ExitCode::NoEntryPoint, L"0x1: x"}),
              L"no-entry-point \"C:\\a.dll\" 0x1: x");
}

TEST(QuietRegistration, EveryFileIsTriedAndTheFirstFailureIsTheExitCode) {
    RecordingOutput output;
    std::vector<std::wstring> tried;
    const std::vector<std::wstring> paths = {L"a.dll", L"b.dll", L"c.dll", L"d.dll"};
    ExitCode code = RegisterEach(
        Operation::Register, paths,
        [&](const std::wstring& path) -> FileOutcome {
            tried.push_back(path);
            if (path == L"b.dll")
                return {ExitCode::Crashed, L"0xC0000005: crash"};
            if (path == L"c.dll")
                return {ExitCode::NotLoaded, L"0x8007007E: gone"};
            return {};
        },
        output);
    EXPECT_EQ(code, ExitCode::Crashed);
    EXPECT_EQ(tried, paths);
    EXPECT_EQ(output.err, (std::vector<std::wstring>{L"crashed \"b.dll\" 0xC0000005: crash",
                                                     L"not-loaded \"c.dll\" 0x8007007E: gone"}));
    ASSERT_EQ(output.out.size(), 3u);
    EXPECT_EQ(output.out.back(), L"4 files: 2 succeeded, 2 failed");

    RecordingOutput one;
    EXPECT_EQ(RegisterEach(
                  Operation::Unregister, {L"a.dll"},
                  [](const std::wstring&) { return FileOutcome{}; }, one),
              ExitCode::Success);
    EXPECT_EQ(one.out.back(), L"1 file: 1 succeeded, 0 failed");
}

TEST(QuietOutcomes, AFailureFoundInTheHeadersKeepsItsCauseInTheLine) {
    EngineOutcome outcome = Engine(rsLoadFailed);
    outcome.diagnosis = calvorn::inspection::ModuleDiagnosis{
        calvorn::inspection::ModuleCause::NotWindowsModule, L"a.dll", L"", L""};
    FileOutcome got = OutcomeOf(outcome);
    EXPECT_EQ(got.code, ExitCode::NotLoaded);
    EXPECT_EQ(got.detail.rfind(L"0x800700C1: ", 0), 0u) << got.detail;
    EXPECT_NE(got.detail.find(L"a.dll is not a Windows module"), std::wstring::npos);

    outcome = Engine(rsNotActiveX);
    outcome.diagnosis = calvorn::inspection::ModuleDiagnosis{
        calvorn::inspection::ModuleCause::DotNetAssembly, L"n.dll", L"", L""};
    got = OutcomeOf(outcome);
    EXPECT_EQ(got.code, ExitCode::NoEntryPoint);
    EXPECT_NE(got.detail.find(L"n.dll is a .NET assembly"), std::wstring::npos);
}
