#include "registration/clsRegistrator.h"

#include "platform/proc_address.h"
#include "registration/module_check.h"

#include <windows.h>

#include <shellapi.h>

namespace calvorn::registration {
namespace {

const wchar_t* TitleOf(Operation operation) {
    return operation == Operation::Register ? L"Calvorn - Registering" : L"Calvorn - UnRegistering";
}

} // namespace

EngineOutcome SystemRegistrationEngine::Run(const std::wstring& path, Operation operation) {
    return RunSelfRegistration(path, operation);
}

unsigned long SystemRegistrationEngine::StartServer(const std::wstring& path,
                                                    const std::wstring& switchText) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No shell dialog of its own: a failure is reported by the caller.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"Open";
    info.lpFile = path.c_str();
    info.lpParameters = switchText.c_str();
    info.nShow = SW_SHOWNORMAL;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const shellExecuteEx =
        platform::SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecuteEx)
        return ERROR_PROC_NOT_FOUND;
    if (!shellExecuteEx(&info)) {
        DWORD error = ::GetLastError();
        return error ? error : ERROR_FILE_NOT_FOUND;
    }
    // The server's outcome is not awaited; it gets a moment to start, and
    // our own windows get their pending messages once.
    ::Sleep(200);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}

IRegistrationEngine& SystemEngine() {
    static SystemRegistrationEngine engine;
    return engine;
}

bool IsExeServer(const std::wstring& path) {
    size_t name = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name))
        return false;
    return ::CompareStringOrdinal(path.c_str() + dot, -1, L".exe", -1, TRUE) == CSTR_EQUAL;
}

namespace {

// The outcome table: what each status tells the user, and whether the
// failure code follows on a second line.
struct OutcomeRow {
    RegistrationStatus status;
    const wchar_t* text;
    unsigned flags;
    bool withCode;
};

constexpr OutcomeRow kOutcomes[] = {
    {rsLoadFailed, L"Selected file could not be loaded into memory!", MB_OK | MB_ICONHAND, false},
    {rsNotActiveX, L"Selected file is not a valid ActiveX!", MB_OK | MB_ICONEXCLAMATION, false},
    {rsRegisterFailed, L"ActiveX Component registration failed!", MB_OK | MB_ICONHAND, true},
    {rsRegistered, L"ActiveX Component registration successful!", MB_OK | MB_ICONASTERISK, false},
    {rsUnregistered, L"ActiveX Component unregistration successful!", MB_OK | MB_ICONASTERISK,
     false},
    {rsUnregisterFailed, L"ActiveX Component unregistration failed!", MB_OK | MB_ICONHAND, true},
    {rsNoFile, L"No file provided!", MB_OK | MB_ICONEXCLAMATION, false},
};

// The causes a diagnosis names; %1 is the component's file name, %2 the
// machine, bitness or entry point.
struct CauseRow {
    inspection::ModuleCause cause;
    const wchar_t* text;
};

constexpr CauseRow kCauses[] = {
    {inspection::ModuleCause::NotWindowsModule, L"%1 is not a Windows module"},
    {inspection::ModuleCause::UnsupportedMachine,
     L"%1 is built for %2; Calvorn registers x86 and x64 components only"},
    {inspection::ModuleCause::MissingPart,
     L"%1 is a %2-bit component; the %2-bit part of Calvorn is missing"},
    {inspection::ModuleCause::DotNetAssembly,
     L"%1 is a .NET assembly: it is registered with the .NET registration tool (RegAsm), not "
     L"through an entry point"},
    {inspection::ModuleCause::MissingEntryPoint, L"%1 does not export %2"},
    {inspection::ModuleCause::MissingImport, L"A DLL it needs cannot be found: %2"},
};

std::wstring Fill(std::wstring text, const wchar_t* mark, const std::wstring& value) {
    for (auto at = text.find(mark); at != std::wstring::npos;
         at = text.find(mark, at + value.size())) {
        text.replace(at, 2, value);
    }
    return text;
}

} // namespace

std::wstring DiagnosisText(const inspection::ModuleDiagnosis& diagnosis) {
    for (const CauseRow& row : kCauses)
        if (row.cause == diagnosis.cause)
            return Fill(Fill(row.text, L"%1", diagnosis.fileName), L"%2",
                        diagnosis.cause == inspection::ModuleCause::MissingImport
                            ? diagnosis.chain
                            : diagnosis.detail);
    return L"";
}

std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.status != outcome.status)
            continue;
        OutcomeMessage message{row.text, TitleOf(operation), row.flags};
        if (row.withCode && outcome.code != 0)
            message.text += L"\n" + DescribeCode(outcome.code, outcome.crashed);
        if (outcome.diagnosis)
            message.text += L"\n" + DiagnosisText(*outcome.diagnosis);
        return message;
    }
    return std::nullopt;
}

OutcomeMessage StartFailureMessage(Operation operation, unsigned long win32Error) {
    return {L"Selected file could not be started!\n" +
                DescribeCode(HRESULT_FROM_WIN32(win32Error), false),
            TitleOf(operation), MB_OK | MB_ICONHAND};
}

clsRegistrator::clsRegistrator(platform::IMessageBox& messages, IRegistrationEngine& engine)
    : messages_(messages), engine_(engine) {}

RegistrationStatus clsRegistrator::Register(std::wstring sFile) {
    return engine_.Run(sFile, Operation::Register).status;
}

RegistrationStatus clsRegistrator::UnRegister(std::wstring sFile) {
    return engine_.Run(sFile, Operation::Unregister).status;
}

void clsRegistrator::RegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Register);
}

void clsRegistrator::UnRegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Unregister);
}

void clsRegistrator::Carry(const std::wstring& sFile, Operation operation) {
    if (IsExeServer(sFile)) {
        const wchar_t* switchText =
            operation == Operation::Register ? L"/regserver" : L"/unregserver";
        if (unsigned long error = engine_.StartServer(sFile, switchText)) {
            OutcomeMessage message = StartFailureMessage(operation, error);
            messages_.Show(message.text, message.title, message.flags);
        }
        return;
    }
    if (auto message = MessageFor(operation, RunChecked(engine_, sFile, operation)))
        messages_.Show(message->text, message->title, message->flags);
}

} // namespace calvorn::registration
