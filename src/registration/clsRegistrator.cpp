#include "registration/clsRegistrator.h"

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
    if (!::ShellExecuteExW(&info)) {
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

std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome) {
    OutcomeMessage message;
    message.title = TitleOf(operation);
    bool withCode = false;
    switch (outcome.status) {
    case rsLoadFailed:
        message.text = L"Selected file could not be loaded into memory!";
        message.flags = MB_OK | MB_ICONHAND;
        break;
    case rsNotActiveX:
        message.text = L"Selected file is not a valid ActiveX!";
        message.flags = MB_OK | MB_ICONEXCLAMATION;
        break;
    case rsRegisterFailed:
        message.text = L"ActiveX Component registration failed!";
        message.flags = MB_OK | MB_ICONHAND;
        withCode = true;
        break;
    case rsRegistered:
        message.text = L"ActiveX Component registration successful!";
        message.flags = MB_OK | MB_ICONASTERISK;
        break;
    case rsUnregistered:
        message.text = L"ActiveX Component unregistration successful!";
        message.flags = MB_OK | MB_ICONASTERISK;
        break;
    case rsUnregisterFailed:
        message.text = L"ActiveX Component unregistration failed!";
        message.flags = MB_OK | MB_ICONHAND;
        withCode = true;
        break;
    case rsNoFile:
        message.text = L"No file provided!";
        message.flags = MB_OK | MB_ICONEXCLAMATION;
        break;
    default:
        return std::nullopt;
    }
    if (withCode && outcome.code != 0)
        message.text += L"\n" + DescribeCode(outcome.code, outcome.crashed);
    return message;
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
    if (auto message = MessageFor(operation, engine_.Run(sFile, operation)))
        messages_.Show(message->text, message->title, message->flags);
}

} // namespace calvorn::registration
