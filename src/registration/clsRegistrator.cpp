#include "registration/clsRegistrator.h"

#include "platform/proc_address.h"
#include "registration/module_check.h"

#include <windows.h>

namespace calvorn::registration {
namespace {

const wchar_t* TitleOf(Operation operation) {
    return operation == Operation::Register ? L"Calvorn - Registering" : L"Calvorn - UnRegistering";
}

} // namespace

EngineOutcome SystemRegistrationEngine::Run(const std::wstring& path, Operation operation,
                                            const RegistrationOptions& options) {
    if (std::unique_ptr<RegistrationSession> session = std::move(prepared_)) {
        session->Options() = options;
        return session->Run(path, operation);
    }
    return RunRegistration(path, operation, options);
}

void SystemRegistrationEngine::Prepare(const std::wstring& path,
                                       const RegistrationOptions& options) {
    prepared_ = std::make_unique<RegistrationSession>(options);
    prepared_->Prepare(path);
}

EngineOutcome SystemRegistrationEngine::RunServer(const std::wstring& path, Operation operation,
                                                  const RegistrationOptions& options) {
    return RunExeServer(path, operation, options);
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
    {rsLoadFailed, L"Selected file could not be loaded into memory!", MB_OK | MB_ICONHAND, true},
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
    if (outcome.exeServer && outcome.ending == Ending::NotStarted)
        return OutcomeMessage{L"Selected file could not be started!\n" +
                                  DescribeCode(outcome.code, false),
                              TitleOf(operation), MB_OK | MB_ICONHAND};
    const std::wstring printed = DescribePrinted(outcome);
    if (NotUnloaded(outcome))
        return OutcomeMessage{L"ActiveX Component " + std::wstring(NotUnloadedText(outcome)) +
                                  L".\n" + DescribeOutcome(outcome) +
                                  (printed.empty() ? L"" : L"\n" + printed),
                              TitleOf(operation), MB_OK | MB_ICONEXCLAMATION};
    for (const OutcomeRow& row : kOutcomes) {
        if (row.status != outcome.status)
            continue;
        OutcomeMessage message{row.text, TitleOf(operation), row.flags};
        // A cause found in the component's headers says more than the
        // loader's code ("module not found" for a missing import), so it
        // takes that code's place.
        if (outcome.diagnosis) {
            message.text += L"\n" + DiagnosisText(*outcome.diagnosis);
        } else if (row.withCode) {
            if (std::wstring detail = DescribeOutcome(outcome); !detail.empty())
                message.text += L"\n" + detail;
        }
        if (!printed.empty())
            message.text += L"\n" + printed;
        return message;
    }
    return std::nullopt;
}

clsRegistrator::clsRegistrator(platform::IMessageBox& messages, IRegistrationEngine& engine)
    : messages_(messages), engine_(engine) {}

RegistrationStatus clsRegistrator::Register(std::wstring sFile) {
    last_ = engine_.Run(sFile, Operation::Register, options_);
    return last_.status;
}

RegistrationStatus clsRegistrator::UnRegister(std::wstring sFile) {
    last_ = engine_.Run(sFile, Operation::Unregister, options_);
    return last_.status;
}

void clsRegistrator::RegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Register);
}

void clsRegistrator::UnRegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Unregister);
}

void clsRegistrator::Prepare(const std::wstring& sFile) {
    if (!IsExeServer(sFile))
        engine_.Prepare(sFile, options_);
}

void clsRegistrator::Carry(const std::wstring& sFile, Operation operation) {
    last_ = IsExeServer(sFile) ? engine_.RunServer(sFile, operation, options_)
                               : RunChecked(engine_, sFile, operation, options_);
    if (auto message = MessageFor(operation, last_))
        messages_.Show(message->text, message->title, message->flags);
}

} // namespace calvorn::registration
