#include "registration/registration_session.h"

#include "inspection/image_file.h"
#include "platform/disk_file.h"
#include "platform/ole_session.h"
#include "platform/proc_address.h"
#include "platform/program_parts.h"
#include "platform/unique_handle.h"
#include "registration/host_protocol.h"
#include "registration/machine_watch.h"
#include "registration/other_view_interfaces.h"
#include "registration/registration_capture.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <utility>
#include <vector>

namespace calvorn::registration {

using platform::Bitness;
using platform::PersistentChild;

namespace {

// An export runs the registration's entry point: its outcome is that one's.
RegistrationStatus Succeeded(Operation operation) {
    return operation == Operation::Unregister ? rsUnregistered : rsRegistered;
}
RegistrationStatus Failed(Operation operation) {
    return operation == Operation::Unregister ? rsUnregisterFailed : rsRegisterFailed;
}

host::RequestKind KindOf(Operation operation) {
    switch (operation) {
    case Operation::Register:
        break;
    case Operation::Unregister:
        return host::RequestKind::Unregister;
    case Operation::Export:
        return host::RequestKind::Capture;
    }
    return host::RequestKind::Register;
}

// Hosts that may wait, started, per bitness: a host's start costs about
// what the platform's own tool costs for a whole registration, so a long
// call overlaps several of them with the work.
constexpr std::size_t kStartedAhead = 6;

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

// The machine-wide turn of a capture; a capture that overstays its bound is
// ended, so a turn is not waited for much longer than that.
class CaptureTurn {
  public:
    CaptureTurn() = default;
    ~CaptureTurn() {
        // Every hold, however many the waits below took.
        while (held_ && ::ReleaseMutex(mutex_.get())) {
        }
    }
    CaptureTurn(const CaptureTurn&) = delete;
    CaptureTurn& operator=(const CaptureTurn&) = delete;

    bool Take(const RegistrationOptions& options) {
        mutex_.reset(::CreateMutexW(nullptr, FALSE, L"Global\\Calvorn.Capture"));
        if (!mutex_)
            mutex_.reset(::CreateMutexW(nullptr, FALSE, L"Local\\Calvorn.Capture"));
        if (!mutex_)
            return false;
        // An owner that died leaves it abandoned, which is ours then, but
        // which the wait for a turn does not count as a turn.
        auto ours = [this] {
            const DWORD now = ::WaitForSingleObject(mutex_.get(), 0);
            return now == WAIT_OBJECT_0 || now == WAIT_ABANDONED;
        };
        held_ = ours() ||
                platform::WaitForHandle(mutex_.get(), options.timeoutMs + kHostStartMs + 20000,
                                        options.wait) ||
                ours();
        return held_;
    }

  private:
    platform::UniqueHandle mutex_;
    bool held_ = false;
};

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

namespace {

int SlotOf(Bitness bitness) {
    return bitness == Bitness::x64 ? 1 : 0;
}

bool Succeeded(const EngineOutcome& out) {
    return out.status == rsRegistered || out.status == rsUnregistered;
}

} // namespace

bool RegistrationSession::Prepare(const std::wstring& path) {
    if (path.empty() || !platform::MayBeDiskFile(path))
        return true;
    const Bitness bitness = BitnessOf(MachineOf(path));
    if (starter_.Waiting(SlotOf(bitness)) >= kStartedAhead)
        return false;
    if (auto hostPath = platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness))
        starter_.Ask(SlotOf(bitness), *hostPath);
    return true;
}

EngineOutcome RegistrationSession::Run(const std::wstring& path, Operation operation) {
    const bool readable = !path.empty() && platform::MayBeDiskFile(path);
    return Run(path, operation, readable ? MachineOf(path) : std::nullopt);
}

EngineOutcome RegistrationSession::Run(const std::wstring& path, Operation operation,
                                       std::optional<std::uint16_t> machine) {
    if (path.empty())
        return Ended(rsNoFile, Ending::Finished);
    if (!platform::MayBeDiskFile(path))
        return Ended(rsLoadFailed, Ending::NotAFile, HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    const Bitness bitness = BitnessOf(machine);
    const auto hostPath = platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness);
    if (!hostPath) {
        EngineOutcome out =
            Ended(rsLoadFailed, Ending::HostMissing, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
        out.machine = machine.value_or(0);
        return out;
    }
    // Every host starts on the starter's thread, so that no two starts
    // overlap and hand one host's handles to another.
    const int slot = SlotOf(bitness);
    unsigned long error = 0;
    std::optional<PersistentChild> host;
    if (starter_.Waiting(slot) > 0 || starter_.Ask(slot, *hostPath))
        host = starter_.Take(slot, error);
    else
        error = ::GetLastError();
    if (!host)
        return Ended(Failed(operation), Ending::NotStarted,
                     HRESULT_FROM_WIN32(error ? error : ERROR_FILE_NOT_FOUND));
    unsigned long scratchError = 0;
    std::optional<ScratchKey> scratch =
        operation == Operation::Export ? ScratchKey::Create(scratchError) : std::nullopt;
    if (operation == Operation::Export && !scratch) {
        host->End();
        return Ended(Failed(operation), Ending::NotStarted, HRESULT_FROM_WIN32(scratchError));
    }
    // One capture at a time on the machine: what the platform writes past
    // one (the other view's interfaces) would be taken for another's own
    // change, or kept as if it had been there before.
    CaptureTurn turn;
    if (scratch && !turn.Take(options_)) {
        host->End();
        return Ended(Failed(operation), Ending::NotStarted, HRESULT_FROM_WIN32(ERROR_BUSY));
    }
    std::optional<OtherViewInterfaces> otherView;
    std::optional<MachineWatch> watch;
    if (scratch) {
        // A captured component starts nothing: a process of its own would
        // write to the machine past the capture. Where the system will not
        // hold the host to that, the watch still sees what reached the keys.
        host->ForbidChildProcesses();
        otherView.emplace(bitness);
        watch.emplace(bitness);
    }
    EngineOutcome out = Serve(*host, path, operation, scratch ? scratch->Path() : std::wstring());
    out.machine = machine.value_or(0);
    out.boundMs = options_.timeoutMs;
    if (scratch) {
        // Gone before the keys are read and deleted: nothing it wrote late
        // can outlive the scratch key.
        host->End();
        otherView->RemoveNewOnes();
        std::vector<CapturedKey> keys = scratch->ReadBack();
        out.machineChanges = watch->Changes(keys);
        if (Succeeded(out))
            out.captured = CapturedRegistration{
                path, bitness == Bitness::x64 ? CapturedMachine::X64 : CapturedMachine::X86,
                std::move(keys)};
        scratch->Remove();
        if (!Succeeded(out) || NotUnloaded(out))
            out.printed = host->Printed(kPrintedKept);
        return out;
    }
    if (!Succeeded(out) || NotUnloaded(out)) {
        // Ended before its file is read: nothing of it writes there meanwhile.
        host->End();
        out.printed = host->Printed(kPrintedKept);
    }
    return out;
}

EngineOutcome RegistrationSession::Serve(PersistentChild& host, const std::wstring& path,
                                         Operation operation, const std::wstring& scratch) {
    using host::Report;
    using host::ReportKind;
    if (path.size() > host::kMaxPathChars)
        return Ended(rsLoadFailed, Ending::Finished,
                     HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    const host::Request request{KindOf(operation), options_.perUser ? host::kPerUser : 0u,
                                static_cast<std::uint32_t>(path.size()),
                                static_cast<std::uint32_t>(scratch.size())};
    std::vector<char> bytes(sizeof request + (path.size() + scratch.size()) * sizeof(wchar_t));
    std::memcpy(bytes.data(), &request, sizeof request);
    std::memcpy(bytes.data() + sizeof request, path.data(), path.size() * sizeof(wchar_t));
    std::memcpy(bytes.data() + sizeof request + path.size() * sizeof(wchar_t), scratch.data(),
                scratch.size() * sizeof(wchar_t));
    if (!host.Send(bytes.data(), bytes.size())) {
        host.End();
        return Ended(Failed(operation), Ending::NotStarted, HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE));
    }
    // The request waits in the pipe while the host sets itself up; a busy
    // machine's slow start is not counted against the component.
    Report ready{};
    if (host.Receive(&ready, sizeof ready, ::GetTickCount64() + kHostStartMs, options_.wait) !=
            PersistentChild::Received::Whole ||
        ready.kind != ReportKind::Ready) {
        host.End();
        return Ended(Failed(operation), Ending::NotStarted,
                     HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT));
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
        case PersistentChild::Received::TimedOut: {
            host.End();
            if (stage == Stage::Unloading && exported && SUCCEEDED(returned)) {
                // The work is done; only the module would not go.
                EngineOutcome out = Ended(Succeeded(operation), Ending::HungUnloading,
                                          HRESULT_FROM_WIN32(ERROR_TIMEOUT));
                out.timedOut = true;
                return out;
            }
            return StoppedAfterTheBound(operation, stage == Stage::Loading ? Ending::HungLoading
                                                   : stage == Stage::Unloading
                                                       ? Ending::HungUnloading
                                                   : lockHeld ? Ending::HungInLoaderLock
                                                              : Ending::TimedOut);
        }
        case PersistentChild::Received::Ended: {
            // Its own end, with its own code: a moment for the system to
            // settle it before anything of ours could overwrite it.
            EngineOutcome out = Ended(Failed(operation), Ending::ExitedEarly);
            out.exitCode = host.ExitCode(2000).value_or(0);
            host.End();
            return out;
        }
        }
        switch (report.kind) {
        case ReportKind::LoadFailed:
            return Ended(rsLoadFailed, Ending::Finished, HRESULT_FROM_WIN32(report.value));
        case ReportKind::PerUserFailed:
        case ReportKind::CaptureFailed:
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

EngineOutcome RunRegistration(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options,
                              std::optional<std::uint16_t> machine) {
    RegistrationSession session(options);
    return session.Run(path, operation, machine);
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
    info.lpParameters = operation == Operation::Unregister ? L"/unregserver" : L"/regserver";
    info.nShow = SW_SHOWNORMAL;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const shellExecuteEx =
        platform::SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    // The shell may hand the start to its extensions, which want COM on this
    // thread; without it the shell still starts a plain EXE.
    platform::OleSession::Start();
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
