#include "registration/registration_engine.h"

#include "platform/elevation.h"
#include "platform/text.h"

#include <windows.h>

#include <cstdio>

namespace calvorn::registration {
namespace {

const wchar_t* CrashKind(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return L"access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return L"stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return L"illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
        return L"privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return L"integer division by zero";
    case EXCEPTION_IN_PAGE_ERROR:
        return L"in-page error";
    case 0xE06D7363: // what a C++ throw of the platform's compiler raises
    case 0x20474343: // and of GCC
        return L"C++ exception not caught";
    default:
        return nullptr;
    }
}

} // namespace

std::wstring DescribeCode(long code, bool crashed) {
    std::wstring text = platform::HexCode(code);
    std::wstring words;
    if (crashed) {
        words = L"The component crashed";
        if (const wchar_t* kind = CrashKind(static_cast<DWORD>(code)))
            words += std::wstring(L" (") + kind + L")";
        words += L".";
    } else {
        words = platform::SystemMessage(static_cast<unsigned long>(code));
    }
    if (!words.empty())
        text += L": " + words;
    return text;
}

bool RefusedForRights(const EngineOutcome& outcome) {
    if (outcome.ending != Ending::Finished || outcome.crashed || outcome.timedOut)
        return false;
    // An EXE server built the usual way ends with its HRESULT as exit code.
    if (outcome.exeServer)
        return platform::IsAccessDenied(static_cast<long>(outcome.exitCode));
    return (outcome.status == rsRegisterFailed || outcome.status == rsUnregisterFailed) &&
           platform::IsAccessDenied(outcome.code);
}

const wchar_t* NotUnloadedText(const EngineOutcome& outcome) {
    return outcome.status == rsUnregistered
               ? L"unregistered, but the component did not unload in time"
               : L"registered, but the component did not unload in time";
}

std::wstring DescribeOutcome(const EngineOutcome& outcome) {
    const std::wstring waited = platform::HexCode(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    const unsigned long seconds = (outcome.boundMs + 999) / 1000;
    const std::wstring within =
        L" within " + std::to_wstring(seconds) + (seconds == 1 ? L" second" : L" seconds");
    const std::wstring after =
        L" after " + std::to_wstring(seconds) + (seconds == 1 ? L" second" : L" seconds");
    const wchar_t* who = outcome.exeServer ? L"server" : L"component";
    wchar_t text[200];
    Ending ending = outcome.ending;
    if (ending == Ending::Finished && outcome.crashed)
        ending = Ending::Crashed;
    else if (ending == Ending::Finished && outcome.timedOut)
        ending = Ending::TimedOut;
    switch (ending) {
    case Ending::Finished:
        if (outcome.exeServer) {
            if (outcome.exitCode == 0)
                return {};
            std::swprintf(text, 200, L"The server ended with exit code %lu.", outcome.exitCode);
            return text;
        }
        return outcome.code != 0 ? DescribeCode(outcome.code, false) : std::wstring();
    case Ending::Crashed:
        return DescribeCode(outcome.code, true);
    case Ending::ExitedEarly:
        std::swprintf(text, 200,
                      L"The component ended the registration process (exit code %lu) before it "
                      L"finished.",
                      outcome.exitCode);
        return text;
    case Ending::TimedOut:
        return waited + L": The " + who + L" did not finish" + within +
               L" and was stopped; the outcome is unknown (it may have written part of its keys).";
    case Ending::HungLoading:
        return waited + L": The component did not finish loading" + within +
               L" (its DllMain hangs) and was stopped; its entry point never ran.";
    case Ending::HungUnloading:
        if (NotUnloaded(outcome))
            return waited +
                   L": The component's entry point succeeded, but the component did "
                   L"not unload" +
                   within + L" (its DllMain hangs) and was stopped.";
        return waited +
               L": The component's entry point returned, but the component did not "
               L"unload" +
               within + L" (its DllMain hangs) and was stopped.";
    case Ending::HungInLoaderLock:
        return waited +
               L": The component hung holding the system's loader lock and was "
               L"stopped" +
               after + L"; the outcome is unknown.";
    case Ending::NotAFile:
        return L"The path names a pipe, a device or a folder, not a file.";
    case Ending::HostMissing:
        if (outcome.machine == IMAGE_FILE_MACHINE_AMD64)
            return L"Selected file is a 64-bit component; the 64-bit part of Calvorn is missing.";
        if (outcome.machine == IMAGE_FILE_MACHINE_I386)
            return L"Selected file is a 32-bit component; the 32-bit part of Calvorn is missing.";
        return sizeof(void*) == 8 ? L"The 64-bit part of Calvorn is missing."
                                  : L"The 32-bit part of Calvorn is missing.";
    case Ending::NotExportable:
        return L"An EXE server writes its keys only while it runs; it cannot be exported without "
               L"running it for real (register it instead).";
    case Ending::NotStarted:
        if (outcome.exeServer)
            return DescribeCode(outcome.code, false);
        return DescribeCode(outcome.code, false) +
               L" The registration host could not be started; the component did not run.";
    }
    return {};
}

std::wstring DescribePrinted(const EngineOutcome& outcome) {
    if (outcome.printed.empty())
        return {};
    const std::string& bytes = outcome.printed;
    // UTF-8 when it is that, else the system's ANSI code page, as a console
    // program of the system would have printed it.
    const bool utf8 = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                            static_cast<int>(bytes.size()), nullptr, 0) > 0;
    const std::wstring wide = utf8 ? platform::Widen(bytes) : platform::WidenAnsi(bytes);
    // One line: a log line stays one, and nothing printed can pass for one
    // of ours.
    std::wstring text;
    bool gap = false;
    for (wchar_t c : wide) {
        if (c == L'\r' || c == L'\n') {
            gap = !text.empty();
            continue;
        }
        if (gap)
            text += L" | ";
        gap = false;
        text += c < L' ' && c != L'\t' ? L'?' : c;
    }
    if (text.empty())
        return {};
    return L"The component printed: " + text;
}

} // namespace calvorn::registration

namespace calvorn::registration {
namespace {

const wchar_t* TitleOf(Operation operation) {
    switch (operation) {
    case Operation::Register:
        return L"Calvorn - Registering";
    case Operation::Unregister:
        return L"Calvorn - UnRegistering";
    case Operation::Export:
        break;
    }
    return L"Calvorn - Exporting";
}

// What each status tells the user, and whether the failure code follows on
// a second line.
struct StatusWords {
    const wchar_t* text;
    unsigned flags;
    bool withCode;
};

std::optional<StatusWords> WordsOf(RegistrationStatus status) {
    switch (status) {
    case rsLoadFailed:
        return StatusWords{L"Selected file could not be loaded into memory!", MB_OK | MB_ICONHAND,
                           true};
    case rsNotActiveX:
        return StatusWords{L"Selected file is not a valid ActiveX!", MB_OK | MB_ICONEXCLAMATION,
                           false};
    case rsRegisterFailed:
        return StatusWords{L"ActiveX Component registration failed!", MB_OK | MB_ICONHAND, true};
    case rsRegistered:
        return StatusWords{L"ActiveX Component registration successful!", MB_OK | MB_ICONASTERISK,
                           false};
    case rsUnregistered:
        return StatusWords{L"ActiveX Component unregistration successful!", MB_OK | MB_ICONASTERISK,
                           false};
    case rsUnregisterFailed:
        return StatusWords{L"ActiveX Component unregistration failed!", MB_OK | MB_ICONHAND, true};
    case rsNoFile:
        return StatusWords{L"No file provided!", MB_OK | MB_ICONEXCLAMATION, false};
    }
    // A number no status has (the self-install's numbering is shared) tells
    // nothing rather than something wrong.
    return std::nullopt;
}

// %1 is the component's file name, %2 the machine, bitness or entry point.
const wchar_t* CauseText(inspection::ModuleCause cause) {
    using inspection::ModuleCause;
    switch (cause) {
    case ModuleCause::NotWindowsModule:
        return L"%1 is not a Windows module";
    case ModuleCause::UnsupportedMachine:
        return L"%1 is built for %2; Calvorn registers x86 and x64 components only";
    case ModuleCause::MissingPart:
        return L"%1 is a %2-bit component; the %2-bit part of Calvorn is missing";
    case ModuleCause::DotNetAssembly:
        return L"%1 is a .NET assembly: it is registered with the .NET registration tool "
               L"(RegAsm), not through an entry point";
    case ModuleCause::MissingEntryPoint:
        return L"%1 does not export %2";
    case ModuleCause::MissingImport:
        return L"A DLL it needs cannot be found: %2";
    }
    return L"";
}

std::wstring Fill(std::wstring text, const wchar_t* mark, const std::wstring& value) {
    for (auto at = text.find(mark); at != std::wstring::npos;
         at = text.find(mark, at + value.size())) {
        text.replace(at, 2, value);
    }
    return text;
}

} // namespace

std::wstring DiagnosisText(const inspection::ModuleDiagnosis& diagnosis) {
    return Fill(Fill(CauseText(diagnosis.cause), L"%1", diagnosis.fileName), L"%2",
                diagnosis.cause == inspection::ModuleCause::MissingImport ? diagnosis.chain
                                                                          : diagnosis.detail);
}

namespace {

// The code that stands for a failure found in the headers, before any load.
long CodeOfCause(const inspection::ModuleDiagnosis& diagnosis) {
    switch (diagnosis.cause) {
    case inspection::ModuleCause::NotWindowsModule:
        return HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
    case inspection::ModuleCause::UnsupportedMachine:
    case inspection::ModuleCause::MissingPart:
        return HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);
    case inspection::ModuleCause::DotNetAssembly:
    case inspection::ModuleCause::MissingEntryPoint:
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    case inspection::ModuleCause::MissingImport:
        break;
    }
    return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

// What each kind is: its exit code, its own headline and icon (none: the
// status's words), whether the window shows the detail, and the code the
// detail shows when the host reported none.
struct KindTraits {
    app::ExitCode code;
    const wchar_t* headline;
    unsigned icon;
    bool detailInWindow;
    long fallbackCode;
};

KindTraits TraitsOf(OutcomeKind kind, bool unregistering) {
    using app::ExitCode;
    switch (kind) {
    case OutcomeKind::Done:
        return {ExitCode::Success, nullptr, 0, false, 0};
    case OutcomeKind::NotUnloaded:
        return {ExitCode::NotUnloaded,
                unregistering
                    ? L"ActiveX Component unregistered, but the component did not unload in time."
                    : L"ActiveX Component registered, but the component did not unload in time.",
                MB_OK | MB_ICONEXCLAMATION, true, HRESULT_FROM_WIN32(ERROR_TIMEOUT)};
    case OutcomeKind::NoFile:
        return {ExitCode::BadArguments, nullptr, 0, false, HRESULT_FROM_WIN32(ERROR_INVALID_NAME)};
    case OutcomeKind::LoadFailed:
    case OutcomeKind::HostMissing:
        return {ExitCode::NotLoaded, nullptr, 0, true, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)};
    case OutcomeKind::NotAFile:
        return {ExitCode::NotLoaded, nullptr, 0, true, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)};
    case OutcomeKind::HostNotStarted:
        // Our own host that did not start leaves the component unloaded.
        return {ExitCode::NotLoaded, nullptr, 0, true, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)};
    case OutcomeKind::NoEntryPoint:
        return {ExitCode::NoEntryPoint, nullptr, 0, false,
                HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)};
    case OutcomeKind::EntryPointFailed:
        return {ExitCode::EntryPointFailed, nullptr, 0, true, E_FAIL};
    case OutcomeKind::Crashed:
    case OutcomeKind::ExitedEarly:
        return {ExitCode::Crashed, nullptr, 0, true, E_FAIL};
    case OutcomeKind::TimedOut:
    case OutcomeKind::HungLoading:
    case OutcomeKind::HungUnloading:
    case OutcomeKind::HungInLoaderLock:
        return {ExitCode::TimedOut, nullptr, 0, true, HRESULT_FROM_WIN32(ERROR_TIMEOUT)};
    case OutcomeKind::ServerFailed:
        return {ExitCode::ServerFailed, nullptr, 0, true, E_FAIL};
    case OutcomeKind::ServerNotStarted:
        return {ExitCode::ServerNotStarted, L"Selected file could not be started!",
                MB_OK | MB_ICONHAND, true, E_FAIL};
    case OutcomeKind::NotExportable:
        return {ExitCode::ServerNotStarted, nullptr, 0, true, E_FAIL};
    }
    return {ExitCode::EntryPointFailed, nullptr, 0, true, E_FAIL};
}

} // namespace

OutcomeKind KindOf(const EngineOutcome& outcome) {
    switch (outcome.ending) {
    case Ending::Crashed:
        return OutcomeKind::Crashed;
    case Ending::ExitedEarly:
        return OutcomeKind::ExitedEarly;
    case Ending::HungUnloading:
        return NotUnloaded(outcome) ? OutcomeKind::NotUnloaded : OutcomeKind::HungUnloading;
    case Ending::TimedOut:
        return OutcomeKind::TimedOut;
    case Ending::HungLoading:
        return OutcomeKind::HungLoading;
    case Ending::HungInLoaderLock:
        return OutcomeKind::HungInLoaderLock;
    case Ending::NotAFile:
        return OutcomeKind::NotAFile;
    case Ending::HostMissing:
        return OutcomeKind::HostMissing;
    case Ending::NotExportable:
        return OutcomeKind::NotExportable;
    case Ending::NotStarted:
        return outcome.exeServer ? OutcomeKind::ServerNotStarted : OutcomeKind::HostNotStarted;
    case Ending::Finished:
        break;
    }
    if (outcome.crashed)
        return OutcomeKind::Crashed;
    if (outcome.timedOut)
        return OutcomeKind::TimedOut;
    if (outcome.exeServer)
        return outcome.exitCode == 0 ? OutcomeKind::Done : OutcomeKind::ServerFailed;
    switch (outcome.status) {
    case rsRegistered:
    case rsUnregistered:
        return OutcomeKind::Done;
    case rsLoadFailed:
        return OutcomeKind::LoadFailed;
    case rsNotActiveX:
        return OutcomeKind::NoEntryPoint;
    case rsNoFile:
        return OutcomeKind::NoFile;
    case rsRegisterFailed:
    case rsUnregisterFailed:
        break;
    }
    return OutcomeKind::EntryPointFailed;
}

OutcomeReport ReportOf(const EngineOutcome& outcome) {
    OutcomeReport report;
    report.kind = KindOf(outcome);
    const bool unregistering =
        outcome.status == rsUnregistered || outcome.status == rsUnregisterFailed;
    const KindTraits traits = TraitsOf(report.kind, unregistering);
    report.code = traits.code;
    report.detailInWindow = traits.detailInWindow;
    report.printed = DescribePrinted(outcome);
    const std::optional<StatusWords> words = WordsOf(outcome.status);
    report.headline = traits.headline ? traits.headline : words ? words->text : L"";
    report.icon = traits.icon ? traits.icon : words ? words->flags : MB_OK | MB_ICONHAND;
    if (report.code == app::ExitCode::Success)
        return report;
    long code = outcome.code;
    if (!code)
        code = outcome.diagnosis ? CodeOfCause(*outcome.diagnosis)
               : outcome.exeServer || report.kind == OutcomeKind::ExitedEarly
                   ? static_cast<long>(outcome.exitCode)
                   : traits.fallbackCode;
    // A cause found in the component's headers says more than the loader's
    // words ("module not found" for a missing import), so it takes their
    // place; the log line keeps the code for scripts.
    std::wstring said =
        outcome.diagnosis ? DiagnosisText(*outcome.diagnosis) : DescribeOutcome(outcome);
    if (outcome.diagnosis)
        report.detailInWindow = true;
    if (report.detailInWindow)
        report.windowLine = said;
    if (said.rfind(L"0x", 0) == 0)
        report.detail = std::move(said);
    else if (!said.empty())
        report.detail = platform::HexCode(code) + L": " + said;
    else
        report.detail = DescribeCode(code, report.code == app::ExitCode::Crashed);
    // The window's headline says it; the log line's word alone would not.
    if (report.kind == OutcomeKind::NotUnloaded)
        report.detail = std::wstring(NotUnloadedText(outcome)) + L": " + report.detail;
    return report;
}

std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome) {
    const OutcomeReport report = ReportOf(outcome);
    OutcomeMessage message{report.headline, TitleOf(operation), report.icon};
    if (!report.windowLine.empty())
        message.text += L"\n" + report.windowLine;
    if (!report.printed.empty())
        message.text += L"\n" + report.printed;
    return message;
}

} // namespace calvorn::registration
