#include "registration/registration_session.h"

#include "inspection/image_file.h"
#include "platform/disk_file.h"
#include "platform/per_user_classes.h"
#include "platform/proc_address.h"
#include "platform/program_parts.h"
#include "platform/unique_handle.h"
#include "registration/host_protocol.h"

#include <windows.h>

#include <ole2.h>
#include <shellapi.h>

#include <cstring>
#include <utility>
#include <vector>

namespace calvorn::registration {

using platform::Bitness;
using platform::PersistentChild;

namespace {

RegistrationStatus Succeeded(Operation operation) {
    return operation == Operation::Register ? rsRegistered : rsUnregistered;
}
RegistrationStatus Failed(Operation operation) {
    return operation == Operation::Register ? rsRegisterFailed : rsUnregisterFailed;
}

// How long a new host may take to be ready for its first component.
constexpr DWORD kHostStartMs = 10000;

EngineOutcome Ended(RegistrationStatus status, Ending ending, long code = 0) {
    EngineOutcome out;
    out.status = status;
    out.ending = ending;
    out.code = code;
    return out;
}

EngineOutcome StoppedAfterTheBound(Operation operation, Ending ending) {
    EngineOutcome out = Ended(Failed(operation), ending, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    out.timedOut = true;
    return out;
}

// The host's bitness follows the component's; what is neither is left to
// the loader of our own bitness to refuse.
Bitness BitnessOf(std::optional<std::uint16_t> machine) {
    if (machine == IMAGE_FILE_MACHINE_AMD64)
        return Bitness::x64;
    if (machine == IMAGE_FILE_MACHINE_I386)
        return Bitness::x86;
    return platform::OwnBitness();
}

// Without a host beside the program (a lone copy of it), a component of our
// own bitness still runs, here, as it did before hosts existed.
EngineOutcome RunHere(const std::wstring& path, Operation operation,
                      const RegistrationOptions& options) {
    platform::PerUserClasses perUser(options.perUser);
    if (!perUser.Ready())
        return Ended(Failed(operation), Ending::Finished, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    return RunSelfRegistration(path, operation, options.timeoutMs);
}

} // namespace

RegistrationSession::RegistrationSession(RegistrationOptions options) : options_(options) {}

RegistrationSession::~RegistrationSession() = default;

namespace {

std::optional<std::uint16_t> MachineOf(const std::wstring& path) {
    const inspection::ModuleFactsResult module = inspection::ReadModuleFactsOf(path);
    if (module.read != inspection::ModuleRead::Read)
        return std::nullopt;
    return module.facts.machineCode;
}

} // namespace

bool RegistrationSession::StartHost(Bitness bitness, const std::wstring& hostPath,
                                    unsigned long& error) {
    const int at = bitness == Bitness::x64 ? 1 : 0;
    if (hosts_[at])
        return true;
    hosts_[at] = PersistentChild::Start(hostPath, &error);
    awaitingReady_[at] = hosts_[at].has_value();
    return awaitingReady_[at];
}

void RegistrationSession::Prepare(const std::wstring& path) {
    if (path.empty() || !platform::MayBeDiskFile(path))
        return;
    const Bitness bitness = BitnessOf(MachineOf(path));
    unsigned long error = 0;
    if (auto hostPath = platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness))
        StartHost(bitness, *hostPath, error);
}

EngineOutcome RegistrationSession::Run(const std::wstring& path, Operation operation) {
    if (path.empty())
        return Ended(rsNoFile, Ending::Finished);
    if (!platform::MayBeDiskFile(path))
        return Ended(rsLoadFailed, Ending::NotAFile, HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    const std::optional<std::uint16_t> machine = MachineOf(path);
    const Bitness bitness = BitnessOf(machine);
    const auto hostPath = platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness);
    if (!hostPath) {
        if (bitness == platform::OwnBitness())
            return RunHere(path, operation, options_);
        EngineOutcome out =
            Ended(rsLoadFailed, Ending::HostMissing, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
        out.machine = machine.value_or(0);
        return out;
    }
    unsigned long error = 0;
    if (!StartHost(bitness, *hostPath, error))
        return Ended(Failed(operation), Ending::NotStarted, HRESULT_FROM_WIN32(error));
    const int at = bitness == Bitness::x64 ? 1 : 0;
    auto& host = hosts_[at];
    const bool fresh = std::exchange(awaitingReady_[at], false);
    bool reusable = false;
    EngineOutcome out = Serve(*host, fresh, path, operation, reusable);
    out.machine = machine.value_or(0);
    if (!reusable)
        host.reset();
    return out;
}

EngineOutcome RegistrationSession::Serve(PersistentChild& host, bool fresh,
                                         const std::wstring& path, Operation operation,
                                         bool& reusable) {
    using host::Report;
    using host::ReportKind;
    if (path.size() > host::kMaxPathChars)
        return Ended(rsLoadFailed, Ending::Finished,
                     HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    const host::Request request{operation == Operation::Register ? host::RequestKind::Register
                                                                 : host::RequestKind::Unregister,
                                options_.perUser ? host::kPerUser : 0u,
                                static_cast<std::uint32_t>(path.size())};
    std::vector<char> bytes(sizeof request + path.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), &request, sizeof request);
    std::memcpy(bytes.data() + sizeof request, path.data(), path.size() * sizeof(wchar_t));
    if (!host.Send(bytes.data(), bytes.size())) {
        host.End();
        return Ended(Failed(operation), Ending::NotStarted, HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE));
    }
    // The request waits in the pipe while a new host sets itself up; a busy
    // machine's slow start is not counted against the component.
    if (fresh) {
        Report ready{};
        if (host.Receive(&ready, sizeof ready, ::GetTickCount64() + kHostStartMs, options_.wait) !=
                PersistentChild::Received::Whole ||
            ready.kind != ReportKind::Ready) {
            host.End();
            return Ended(Failed(operation), Ending::NotStarted,
                         HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT));
        }
    }
    const ULONGLONG deadline = ::GetTickCount64() + options_.timeoutMs;

    // Where the host is in its run decides what a silence means.
    enum class Stage { Loading, Calling, Unloading } stage = Stage::Loading;
    bool lockHeld = false;
    bool exported = true;
    HRESULT returned = S_OK;
    for (;;) {
        Report report{};
        switch (host.Receive(&report, sizeof report, deadline, options_.wait)) {
        case PersistentChild::Received::Whole:
            break;
        case PersistentChild::Received::TimedOut:
            host.End();
            return StoppedAfterTheBound(operation, stage == Stage::Loading ? Ending::HungLoading
                                                   : stage == Stage::Unloading
                                                       ? Ending::HungUnloading
                                                   : lockHeld ? Ending::HungInLoaderLock
                                                              : Ending::TimedOut);
        case PersistentChild::Received::Ended: {
            host.End();
            EngineOutcome out = Ended(Failed(operation), Ending::ExitedEarly);
            out.exitCode = host.ExitCode().value_or(0);
            return out;
        }
        }
        switch (report.kind) {
        case ReportKind::LoadFailed:
            reusable = true;
            return Ended(rsLoadFailed, Ending::Finished, HRESULT_FROM_WIN32(report.value));
        case ReportKind::PerUserFailed:
            reusable = true;
            return Ended(Failed(operation), Ending::Finished, HRESULT_FROM_WIN32(report.value));
        case ReportKind::Loaded:
            stage = Stage::Calling;
            break;
        case ReportKind::NoEntryPoint:
            exported = false;
            stage = Stage::Unloading;
            break;
        case ReportKind::Returned:
            returned = static_cast<HRESULT>(report.value);
            stage = Stage::Unloading;
            break;
        case ReportKind::LoaderLockHeld:
            lockHeld = true;
            break;
        case ReportKind::Done:
            reusable = report.value == 1;
            if (!exported)
                return Ended(rsNotActiveX, Ending::Finished);
            return Ended(FAILED(returned) ? Failed(operation) : Succeeded(operation),
                         Ending::Finished, returned);
        case ReportKind::Crashed: {
            host.End();
            EngineOutcome out =
                Ended(Failed(operation), Ending::Crashed, static_cast<long>(report.value));
            out.crashed = true;
            return out;
        }
        default:
            // Not our host's words: nothing it says can be trusted.
            host.End();
            return Ended(Failed(operation), Ending::ExitedEarly);
        }
    }
}

EngineOutcome RunRegistration(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options) {
    RegistrationSession session(options);
    return session.Run(path, operation);
}

EngineOutcome RunExeServer(const std::wstring& path, Operation operation,
                           const RegistrationOptions& options) {
    EngineOutcome out;
    if (!platform::MayBeDiskFile(path))
        out = Ended(rsLoadFailed, Ending::NotAFile, HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    out.exeServer = true;
    if (out.ending == Ending::NotAFile)
        return out;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No shell dialog of its own: a failure is reported by the caller.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"Open";
    info.lpFile = path.c_str();
    info.lpParameters = operation == Operation::Register ? L"/regserver" : L"/unregserver";
    info.nShow = SW_SHOWNORMAL;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const shellExecuteEx =
        platform::SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    // The shell may hand the start to its extensions, which want COM on this
    // thread; the main window sets it up only where it needs it.
    ::OleInitialize(nullptr);
    if (!shellExecuteEx || !shellExecuteEx(&info)) {
        DWORD error = shellExecuteEx ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        out.status = Failed(operation);
        out.ending = Ending::NotStarted;
        out.code = HRESULT_FROM_WIN32(error ? error : ERROR_FILE_NOT_FOUND);
        return out;
    }
    platform::UniqueHandle process(info.hProcess);
    if (!process) {
        // Handed to something that gives no process to wait for.
        out.status = Succeeded(operation);
        return out;
    }
    if (!platform::WaitForHandle(process.get(), options.timeoutMs, options.wait)) {
        // A server that never ends (or a program that is no server at all)
        // is not left behind.
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
        out.status = Failed(operation);
        out.ending = Ending::TimedOut;
        out.timedOut = true;
        out.code = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        return out;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    out.exitCode = exitCode;
    out.code = static_cast<long>(exitCode);
    out.status = exitCode == 0 ? Succeeded(operation) : Failed(operation);
    return out;
}

} // namespace calvorn::registration
