// The registration front-end: which route a path takes and what the user is
// told for every outcome, with the engine and the message box faked.

#include "app/quiet_registration.h"
#include "inspection/typelib_info.h"
#include "platform/text.h"
#include "registration/registration_capture.h"
#include "registration/registration_prompter.h"
#include "support/fake_message_box.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace calvorn::registration;
using namespace calvorn::test;

namespace {

class FakeEngine final : public IRegistrationEngine {
  public:
    EngineOutcome Run(const std::wstring& path, Operation operation,
                      const RegistrationOptions& options, std::optional<std::uint16_t>) override {
        runs.push_back({path, operation});
        perUser = options.perUser;
        return outcome;
    }
    EngineOutcome RunServer(const std::wstring& path, Operation operation,
                            const RegistrationOptions&) override {
        started.push_back({path, operation});
        return serverOutcome;
    }

    EngineOutcome RunTypeLibrary(const std::wstring& path, Operation operation,
                                 const RegistrationOptions& options) override {
        libraries.push_back({path, operation});
        perUser = options.perUser;
        return outcome;
    }

    EngineOutcome outcome;
    EngineOutcome serverOutcome;
    std::vector<std::pair<std::wstring, Operation>> libraries;
    bool perUser = false;
    std::vector<std::pair<std::wstring, Operation>> runs;
    std::vector<std::pair<std::wstring, Operation>> started;
};

EngineOutcome Outcome(RegistrationStatus status, Ending ending, long code = 0) {
    EngineOutcome outcome;
    outcome.status = status;
    outcome.ending = ending;
    outcome.code = code;
    return outcome;
}

struct Row {
    RegistrationStatus status;
    const wchar_t* text;
    unsigned icon;
};

} // namespace

TEST(RegistrationMessages, EveryStatusUnderBothTitles) {
    const Row rows[] = {
        {rsLoadFailed, L"Selected file could not be loaded into memory!", MB_ICONHAND},
        {rsNotActiveX, L"Selected file is not a valid ActiveX!", MB_ICONEXCLAMATION},
        {rsRegisterFailed, L"ActiveX Component registration failed!", MB_ICONHAND},
        {rsRegistered, L"ActiveX Component registration successful!", MB_ICONASTERISK},
        {rsUnregistered, L"ActiveX Component unregistration successful!", MB_ICONASTERISK},
        {rsUnregisterFailed, L"ActiveX Component unregistration failed!", MB_ICONHAND},
        {rsNoFile, L"No file provided!", MB_ICONEXCLAMATION},
    };
    for (Operation op : {Operation::Register, Operation::Unregister}) {
        for (const Row& row : rows) {
            FakeEngine engine;
            FakeMessageBox box;
            engine.outcome.status = row.status;
            RegistrationPrompter registrator(box, engine);
            if (op == Operation::Register)
                registrator.RegisterActiveX(L"C:\\x\\a.dll");
            else
                registrator.UnRegisterActiveX(L"C:\\x\\a.dll");
            ASSERT_EQ(box.shown.size(), 1u);
            EXPECT_EQ(box.shown[0].text, row.text);
            EXPECT_EQ(box.shown[0].title, op == Operation::Register ? L"Calvorn - Registering"
                                                                    : L"Calvorn - UnRegistering");
            EXPECT_EQ(box.shown[0].flags, MB_OK | row.icon);
        }
    }
}

// Nothing reported is nothing done: the user is told of a failure.
TEST(RegistrationMessages, AnEngineThatReportsNothingIsAFailure) {
    FakeEngine engine;
    FakeMessageBox box;
    RegistrationPrompter registrator(box, engine);
    registrator.RegisterActiveX(L"C:\\x\\a.dll");
    EXPECT_EQ(engine.runs.size(), 1u);
    EXPECT_EQ(box.shown.size(), 1u);
}

TEST(RegistrationMessages, FailureCarriesTheCodeAndTheSystemText) {
    EngineOutcome failed{rsRegisterFailed, E_FAIL, false, false};
    auto message = MessageFor(Operation::Register, failed);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, L"ActiveX Component registration failed!\n0x80004005: " +
                                 calvorn::platform::SystemMessage(E_FAIL));
    EXPECT_FALSE(calvorn::platform::SystemMessage(E_FAIL).empty());

    EngineOutcome crashed{rsUnregisterFailed, static_cast<long>(EXCEPTION_ACCESS_VIOLATION), true,
                          false};
    EXPECT_EQ(MessageFor(Operation::Unregister, crashed)->text,
              L"ActiveX Component unregistration failed!\n"
              L"0xC0000005: The component crashed (access violation).");

    EngineOutcome late{rsUnregisterFailed, HRESULT_FROM_WIN32(ERROR_TIMEOUT), false, true};
    auto timeout = MessageFor(Operation::Unregister, late);
    EXPECT_EQ(timeout->text.rfind(L"ActiveX Component unregistration failed!\n0x800705B4", 0), 0u);
    EXPECT_EQ(timeout->flags, MB_OK | MB_ICONHAND);
}

TEST(RegistrationRoute, ExeByExtensionInAnyCase) {
    EXPECT_TRUE(IsExeServer(L"C:\\x\\server.exe"));
    EXPECT_TRUE(IsExeServer(L"C:\\x\\SERVER.EXE"));
    EXPECT_TRUE(IsExeServer(L"server.Exe"));
    EXPECT_FALSE(IsExeServer(L"C:\\tools.exe\\a.dll"));
    EXPECT_FALSE(IsExeServer(L"C:\\x.exe\\noextension"));
    EXPECT_FALSE(IsExeServer(L"C:\\x\\a.exe.dll"));
    EXPECT_FALSE(IsExeServer(L"C:\\x\\a.exex"));
    EXPECT_FALSE(IsExeServer(L""));
}

// A library file goes to the system's library registration, for one user
// too; its export still takes the entry-point route, which refuses it.
TEST(RegistrationRoute, LibraryFilesByExtensionTakeTheLibraryRoute) {
    EXPECT_TRUE(calvorn::inspection::IsTypeLibraryFile(L"C:\\x\\a.TLB"));
    EXPECT_TRUE(calvorn::inspection::IsTypeLibraryFile(L"C:\\x\\excel.olb"));
    EXPECT_FALSE(calvorn::inspection::IsTypeLibraryFile(L"C:\\a.tlb\\b.dll"));
    EXPECT_FALSE(calvorn::inspection::IsTypeLibraryFile(L"C:\\x\\a.tlbx"));
    FakeEngine engine;
    engine.outcome = Outcome(rsRegistered, Ending::Finished);
    RegistrationOptions forUser;
    forUser.perUser = true;
    EXPECT_EQ(RegisterOne(engine, L"C:\\x\\a.tlb", Operation::Register, forUser).status,
              rsRegistered);
    RegisterOne(engine, L"C:\\x\\a.olb", Operation::Unregister, {});
    EXPECT_EQ(engine.libraries.size(), 2u);
    EXPECT_EQ(engine.libraries[1].second, Operation::Unregister);
    EXPECT_TRUE(engine.runs.empty());
    EXPECT_TRUE(engine.started.empty());
}

TEST(RegistrationRoute, ExeServerTakesItsOwnRouteAndItsOutcomeIsTold) {
    FakeEngine engine;
    FakeMessageBox box;
    RegistrationPrompter registrator(box, engine);
    engine.serverOutcome = Outcome(rsRegistered, Ending::Finished);
    engine.serverOutcome.exeServer = true;
    registrator.RegisterActiveX(L"C:\\x\\SERVER.EXE");
    engine.serverOutcome = Outcome(rsUnregisterFailed, Ending::Finished, 1);
    engine.serverOutcome.exeServer = true;
    engine.serverOutcome.exitCode = 1;
    registrator.UnRegisterActiveX(L"C:\\x\\server.exe");
    ASSERT_EQ(engine.started.size(), 2u);
    EXPECT_EQ(engine.started[1].second, Operation::Unregister);
    EXPECT_TRUE(engine.runs.empty());
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[0].text, L"ActiveX Component registration successful!");
    EXPECT_EQ(box.shown[1].text,
              L"ActiveX Component unregistration failed!\nThe server ended with exit code 1.");
    EXPECT_EQ(registrator.LastOutcome().exitCode, 1u);

    // A DLL in a folder named like an EXE goes to the engine, with the options.
    registrator.Options().perUser = true;
    registrator.RegisterActiveX(L"C:\\tools.exe\\a.dll");
    ASSERT_EQ(engine.runs.size(), 1u);
    EXPECT_EQ(engine.runs[0].first, L"C:\\tools.exe\\a.dll");
    EXPECT_TRUE(engine.perUser);
}

// An EXE server registers itself for the machine: asked for one user, the
// window, "-r" and the quiet mode all refuse it, in the same words, without
// starting it.
TEST(RegistrationRoute, ExeServerForOneUserIsRefusedInEveryFrontEnd) {
    const std::wstring refusal =
        L"0x80070032: " + calvorn::platform::SystemMessage(ERROR_NOT_SUPPORTED);
    for (Operation operation : {Operation::Register, Operation::Unregister}) {
        for (const wchar_t* path : {L"C:\\x\\server.exe", L"C:\\x\\SERVER.EXE"}) {
            FakeEngine engine;
            FakeMessageBox box;
            RegistrationPrompter registrator(box, engine);
            registrator.Options().perUser = true;
            if (operation == Operation::Register)
                registrator.RegisterActiveX(path);
            else
                registrator.UnRegisterActiveX(path);
            EXPECT_TRUE(engine.started.empty() && engine.runs.empty()) << path;
            ASSERT_EQ(box.shown.size(), 1u);
            EXPECT_EQ(box.shown[0].text, L"Selected file could not be started!\n" + refusal);
            EXPECT_EQ(box.shown[0].flags, MB_OK | MB_ICONHAND);

            const calvorn::app::FileOutcome quiet = calvorn::app::OutcomeOf(
                RegisterOne(engine, path, operation, registrator.Options()));
            EXPECT_EQ(quiet.code, calvorn::app::ExitCode::ServerNotStarted);
            EXPECT_EQ(quiet.detail, refusal);
            EXPECT_TRUE(engine.started.empty()) << path;
        }
    }
}

// An export runs DllRegisterServer through the host; an EXE server has no
// entry point to run with the roots redirected, and is never started.
TEST(RegistrationRoute, ExportTakesTheEntryPointAndRefusesExeServers) {
    FakeEngine engine;
    RegisterOne(engine, L"C:\\x\\a.dll", Operation::Export, {});
    ASSERT_EQ(engine.runs.size(), 1u);
    EXPECT_EQ(engine.runs[0].second, Operation::Export);
    const calvorn::app::FileOutcome quiet =
        calvorn::app::OutcomeOf(RegisterOne(engine, L"C:\\x\\server.exe", Operation::Export, {}));
    EXPECT_TRUE(engine.started.empty());
    EXPECT_EQ(quiet.code, calvorn::app::ExitCode::ServerNotStarted);
    EXPECT_NE(quiet.detail.find(L"cannot be exported without running it for real"),
              std::wstring::npos);
    EXPECT_EQ(calvorn::app::LogLine(Operation::Export, L"C:\\x\\a.dll", {}),
              L"exported \"C:\\x\\a.dll\"");
}

// Wine writes a registered type library's path in the extended form.
TEST(CapturedRegistration, ExtendedPathsAreWrittenPlain) {
    for (const auto& [given, plain] : {std::pair{L"\\\\?\\C:\\w\\a.dll", L"C:\\w\\a.dll"},
                                       {L"\\\\?\\UNC\\s\\h\\a.dll", L"\\\\s\\h\\a.dll"},
                                       {L"C:\\w\\a.dll", L"C:\\w\\a.dll"},
                                       {L"\\\\?\\x", L"\\\\?\\x"},
                                       {L"", L""}})
        EXPECT_EQ(PlainPathForm(given), plain);
}

TEST(RegistrationRoute, ExeThatCannotStartIsReported) {
    FakeEngine engine;
    FakeMessageBox box;
    engine.serverOutcome =
        Outcome(rsUnregisterFailed, Ending::NotStarted, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    engine.serverOutcome.exeServer = true;
    RegistrationPrompter registrator(box, engine);
    registrator.UnRegisterActiveX(L"C:\\x\\gone.exe");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].title, L"Calvorn - UnRegistering");
    EXPECT_EQ(box.shown[0].text, L"Selected file could not be started!\n0x80070002: " +
                                     calvorn::platform::SystemMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(box.shown[0].flags, MB_OK | MB_ICONHAND);
}

// The second line says what happened, in the words the user reads.
TEST(RegistrationMessages, EveryEndingHasItsOwnWords) {
    auto second = [](const EngineOutcome& outcome) {
        auto message = MessageFor(Operation::Register, outcome);
        size_t line = message->text.find(L'\n');
        return line == std::wstring::npos ? std::wstring() : message->text.substr(line + 1);
    };
    EngineOutcome exited = Outcome(rsRegisterFailed, Ending::ExitedEarly);
    EXPECT_EQ(second(exited),
              L"The component ended the registration process (exit code 0) before it finished.");
    EXPECT_EQ(second(Outcome(rsRegisterFailed, Ending::TimedOut, 0x800705B4)),
              L"0x800705B4: The component did not finish within 10 seconds and was stopped; the "
              L"outcome is unknown (it may have written part of its keys).");
    for (Ending hang : {Ending::HungLoading, Ending::HungUnloading, Ending::HungInLoaderLock})
        EXPECT_EQ(second(Outcome(rsRegisterFailed, hang)).rfind(L"0x800705B4: The component", 0),
                  0u);
    EXPECT_NE(second(Outcome(rsRegisterFailed, Ending::HungInLoaderLock)).find(L"loader lock"),
              std::wstring::npos);
    EXPECT_EQ(second(Outcome(rsRegisterFailed, Ending::Crashed, 0xE06D7363)),
              L"0xE06D7363: The component crashed (C++ exception not caught).");
    EXPECT_EQ(second(Outcome(rsLoadFailed, Ending::NotAFile)),
              L"The path names a pipe, a device or a folder, not a file.");
    // A load failure gives its reason too; a success never has a second line.
    EXPECT_EQ(
        second(Outcome(rsLoadFailed, Ending::Finished, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))),
        L"0x8007007E: " + calvorn::platform::SystemMessage(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(second(Outcome(rsRegistered, Ending::Finished, S_FALSE)), L"");
    // Our own host that did not start is no fault of the component's.
    EXPECT_NE(second(Outcome(rsRegisterFailed, Ending::NotStarted, E_ACCESSDENIED))
                  .find(L"The registration host could not be started; the component did not run."),
              std::wstring::npos);
}

TEST(RegistrationMessages, DoneButNotUnloadedIsAnOutcomeOfItsOwn) {
    for (Operation operation : {Operation::Register, Operation::Unregister}) {
        const bool registering = operation == Operation::Register;
        EngineOutcome stuck = Outcome(registering ? rsRegistered : rsUnregistered,
                                      Ending::HungUnloading, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
        stuck.printed = "bye";
        auto message = MessageFor(operation, stuck);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->text,
                  std::wstring(L"ActiveX Component ") + (registering ? L"" : L"un") +
                      L"registered, but the component did not unload in time.\n0x800705B4: The "
                      L"component's entry point succeeded, but the component did not unload "
                      L"within 10 seconds (its DllMain hangs) and was stopped.\n"
                      L"The component printed: bye");
        EXPECT_EQ(message->flags, static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
    }
}
