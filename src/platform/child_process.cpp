#include "platform/child_process.h"

#include "platform/proc_address.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace calvorn::platform {

std::optional<ChildResult> RunChild(const std::wstring& program, const std::wstring& arguments,
                                    std::chrono::milliseconds timeout) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle readEnd, writeEnd;
    // Large enough for any answer, so the child never blocks on a full pipe
    // while we wait for it to end.
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 1 << 20))
        return std::nullopt;
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
    si.hStdInput = nullptr;
    std::wstring line = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &si, &pi))
        return std::nullopt;
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    writeEnd.reset();

    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(timeout.count())) !=
        WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
        return std::nullopt;
    }
    ChildResult result;
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    // Everything the child wrote is in the pipe now. Read only what is there:
    // a process the child started (Wine starts its desktop process on demand)
    // may hold the write end open for ever, so a read to the end could block.
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) ||
            available == 0)
            break;
        DWORD got = 0;
        DWORD want = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
        if (!::ReadFile(readEnd.get(), buffer, want, &got, nullptr) || got == 0)
            break;
        result.output.append(buffer, got);
    }
    return result;
}

} // namespace calvorn::platform

namespace calvorn::platform {

namespace {

// Both waits below share this: `count` handles, at most `timeoutMs`; the
// index of the first signalled one, or `count` when the time ran out.
DWORD WaitForAny(const HANDLE* handles, DWORD count, DWORD timeoutMs, WaitStyle style) {
    if (style == WaitStyle::Block) {
        DWORD wait = ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
        return wait < WAIT_OBJECT_0 + count ? wait - WAIT_OBJECT_0 : count;
    }
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    std::optional<int> quit;
    DWORD result = count;
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD wait = quit ? ::WaitForMultipleObjects(count, handles, FALSE, left)
                          : ::MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT,
                                                          MWMO_INPUTAVAILABLE);
        if (wait < WAIT_OBJECT_0 + count) {
            result = wait - WAIT_OBJECT_0;
            break;
        }
        if (quit || wait != WAIT_OBJECT_0 + count)
            break;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Not ours to take: the loop that waits for it sees it later.
                quit = static_cast<int>(msg.wParam);
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (quit)
        ::PostQuitMessage(*quit);
    return result;
}

// A name nobody can guess: a process of the session that could would create
// the pipe first, or connect to it before the child does, and so turn away
// every registration. Random bytes from the system; the counter and the
// clock only when it has none to give.
std::wstring UnguessablePipeName() {
    using GenRandomFn = BOOLEAN WINAPI(void*, ULONG);
    static auto* const genRandom = SystemProc<GenRandomFn>(L"advapi32.dll", "SystemFunction036");
    static LONG counter = 0;
    unsigned long long bits[2] = {
        ::GetTickCount64() ^ ::GetCurrentProcessId(),
        static_cast<unsigned long long>(::InterlockedIncrement(&counter))};
    if (genRandom)
        genRandom(bits, sizeof bits);
    wchar_t name[80];
    ::swprintf(name, 80, L"\\\\.\\pipe\\calvorn-%016llx%016llx", bits[0], bits[1]);
    return name;
}

// Only our own user may open the pipes, whatever the defaults of the
// session would let others do. Built once: the token's user does not change.
class OwnUserOnly {
  public:
    OwnUserOnly() {
        UniqueHandle token;
        DWORD size = 0;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
            return;
        ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        user_.resize(size);
        if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user_.data(), size, &size))
            return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        ok_ = ::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
              ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
              ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
              ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    }
    SECURITY_ATTRIBUTES* Attributes() { return ok_ ? &attributes_ : nullptr; }

  private:
    std::vector<BYTE> user_; // a TOKEN_USER and the SID it points into
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ok_ = false;
};

// Our end overlapped (so reads can wait with a deadline), the child's end an
// ordinary inheritable handle.
bool MakePipe(bool childReads, UniqueFile& ours, UniqueFile& theirs) {
    static OwnUserOnly security;
    if (!security.Attributes()) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::wstring name = UnguessablePipeName();
    ours.reset(::CreateNamedPipeW(name.c_str(),
                                  (childReads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                                      FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                      PIPE_REJECT_REMOTE_CLIENTS,
                                  1, 4096, 4096, 0, security.Attributes()));
    if (!ours)
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    theirs.reset(::CreateFileW(name.c_str(), childReads ? GENERIC_READ : GENERIC_WRITE, 0, &inherit,
                               OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                               nullptr));
    // One instance, made first by us: the only client that gets in is this
    // one, or none, and then the start fails as the host's, not as a
    // component's fault.
    return static_cast<bool>(theirs);
}

constexpr const wchar_t* kOutputPrefix = L"cvh";

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
    return n == 0 || n > MAX_PATH ? std::wstring() : std::wstring(folder, n);
}

// Where the child's standard output and error go: a file of its own, made
// already deleted on close (a run killed at any moment leaves none behind
// but by a crash of the system), named "cvh<pid>-<start time>-<nonce>.tmp"
// after us so that one left anyway is known to be stale. A file, not a pipe:
// a component that prints much never blocks on a reader.
bool MakeOutputFile(UniqueFile& ours, UniqueFile& theirs) {
    const std::wstring folder = TempFolder();
    if (folder.empty())
        return false;
    static LONG counter = 0;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    for (int attempt = 0; attempt < 16 && !theirs; ++attempt) {
        wchar_t name[80];
        ::swprintf(name, 80, L"%ls%lu-%016llx-%08lx.tmp", kOutputPrefix, ::GetCurrentProcessId(),
                   static_cast<unsigned long long>(ProcessStartTime(::GetCurrentProcess())),
                   static_cast<unsigned long>(::InterlockedIncrement(&counter)) ^
                       static_cast<unsigned long>(::GetTickCount64() << 12));
        theirs.reset(::CreateFileW((folder + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                   CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr));
        if (!theirs && ::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (!theirs)
        return false;
    HANDLE self = ::GetCurrentProcess();
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(self, theirs.get(), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    ours.reset(copy);
    return true;
}

// Whether `name` is an output file of ours whose owner has gone: one of the
// form above, or "cvh<1-4 hex digits>.tmp" of the temporary-name call that
// made them before (delete-on-close as well, so even a live one may go).
bool StaleOutputFile(const std::wstring& name) {
    unsigned long pid = 0;
    unsigned long long started = 0;
    wchar_t rest[8] = {};
    if (std::swscanf(name.c_str(), L"cvh%lu-%llx-%*lx%7ls", &pid, &started, rest) == 3 &&
        _wcsicmp(rest, L".tmp") == 0)
        return ProcessGone(pid, started);
    const std::size_t digits = name.size() - 7; // "cvh" + digits + ".tmp"
    return name.size() > 7 && digits <= 4 && _wcsnicmp(name.c_str(), L"cvh", 3) == 0 &&
           _wcsicmp(name.c_str() + 3 + digits, L".tmp") == 0 &&
           name.find_first_not_of(L"0123456789abcdefABCDEF", 3) == 3 + digits;
}

} // namespace

std::uint64_t ProcessStartTime(void* process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool ProcessGone(unsigned long pid, std::uint64_t started) {
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
        return true;
    return ProcessStartTime(process.get()) != started;
}

void RemoveStaleOutputFiles() {
    const std::wstring folder = TempFolder();
    if (folder.empty())
        return;
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileW((folder + kOutputPrefix + L"*.tmp").c_str(), &data));
    if (!find)
        return;
    std::vector<std::wstring> stale;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && StaleOutputFile(data.cFileName))
            stale.push_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    for (const std::wstring& name : stale)
        ::DeleteFileW((folder + name).c_str());
}

bool WaitForHandle(void* handle, unsigned long timeoutMs, WaitStyle style) {
    HANDLE h = handle;
    return WaitForAny(&h, 1, timeoutMs, style) == 0;
}

struct PersistentChild::Handles {
    // Holds the child, so that it goes when we go, however we go.
    UniqueHandle job;
    UniqueHandle process;
    UniqueFile toChild;
    UniqueFile fromChild;
    UniqueHandle readDone;
    UniqueFile printed; // its standard output and error
};

std::optional<PersistentChild> PersistentChild::Start(const std::wstring& program,
                                                      unsigned long* error) {
    auto fail = [error]() -> std::optional<PersistentChild> {
        if (error)
            *error = ::GetLastError();
        return std::nullopt;
    };
    PersistentChild child;
    child.handles_ = std::make_unique<Handles>();
    Handles& h = *child.handles_;
    UniqueFile childIn, childOut, childPrints;
    if (!MakePipe(true, h.toChild, childIn) || !MakePipe(false, h.fromChild, childOut) ||
        !MakeOutputFile(h.printed, childPrints))
        return fail();
    h.readDone.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!h.readDone)
        return fail();

    // Its standard handles are not the channel: what a DLL in it writes
    // there lands in the file, and the channel's handles are only told.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = childPrints.get();
    si.hStdError = childPrints.get();
    wchar_t handles[48];
    ::swprintf(handles, 48, L" %llu %llu",
               static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(childIn.get())),
               static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(childOut.get())));
    std::wstring line = L"\"" + program + L"\"" + handles;
    // It inherits these three and nothing else of ours (our own standard
    // handles, say, where a script reads our log), where the system can
    // tell it so.
    STARTUPINFOEXW extended{};
    extended.StartupInfo = si;
    extended.StartupInfo.cb = sizeof extended;
    HANDLE inherited[3] = {childIn.get(), childOut.get(), childPrints.get()};
    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> list(listSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    const bool listed =
        listSize > 0 && ::InitializeProcThreadAttributeList(attributes, 1, 0, &listSize);
    if (listed && ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                              inherited, sizeof inherited, nullptr, nullptr))
        extended.lpAttributeList = attributes;
    PROCESS_INFORMATION pi{};
    const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
    bool started =
        extended.lpAttributeList && ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr,
                                                     TRUE, flags | EXTENDED_STARTUPINFO_PRESENT,
                                                     nullptr, nullptr, &extended.StartupInfo, &pi);
    if (listed)
        ::DeleteProcThreadAttributeList(attributes);
    if (!started)
        started = ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                   nullptr, nullptr, &si, &pi);
    if (!started)
        return fail();
    h.process.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    // Without a job (a system that refuses one) the child still runs; it
    // then ends on its own when its input closes.
    h.job.reset(::CreateJobObjectW(nullptr, nullptr));
    if (h.job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(h.job.get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits) ||
            !::AssignProcessToJobObject(h.job.get(), h.process.get()))
            h.job.reset();
    }
    ::ResumeThread(thread.get());
    return child;
}

PersistentChild::PersistentChild() = default;
PersistentChild::PersistentChild(PersistentChild&&) noexcept = default;
PersistentChild& PersistentChild::operator=(PersistentChild&&) noexcept = default;

PersistentChild::~PersistentChild() {
    if (!handles_ || !handles_->process)
        return;
    handles_->toChild.reset();
    // In its job, the child goes with the job's handle, at once: nobody
    // waits for its own way out. Without one, a child that does not take
    // the hint within a moment is ended.
    if (!handles_->job && ::WaitForSingleObject(handles_->process.get(), 2000) != WAIT_OBJECT_0)
        End();
}

bool PersistentChild::Send(const void* bytes, std::size_t size) {
    OVERLAPPED at{};
    at.hEvent = handles_->readDone.get();
    ::ResetEvent(at.hEvent);
    DWORD written = 0;
    if (!::WriteFile(handles_->toChild.get(), bytes, static_cast<DWORD>(size), &written, &at)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return false;
        // The pipe's buffer takes a request whole; this wait is for the
        // system, not for the child.
        HANDLE both[2] = {at.hEvent, handles_->process.get()};
        if (::WaitForMultipleObjects(2, both, FALSE, 5000) != WAIT_OBJECT_0) {
            ::CancelIo(handles_->toChild.get());
            ::GetOverlappedResult(handles_->toChild.get(), &at, &written, TRUE);
            return false;
        }
        if (!::GetOverlappedResult(handles_->toChild.get(), &at, &written, FALSE))
            return false;
    }
    return written == size;
}

PersistentChild::Received PersistentChild::Receive(void* bytes, std::size_t size,
                                                   unsigned long long deadline, WaitStyle style) {
    auto* at = static_cast<char*>(bytes);
    HANDLE pipe = handles_->fromChild.get();
    bool childEnded = false;
    while (size > 0) {
        OVERLAPPED read{};
        read.hEvent = handles_->readDone.get();
        ::ResetEvent(read.hEvent);
        DWORD got = 0;
        if (!::ReadFile(pipe, at, static_cast<DWORD>(size), &got, &read)) {
            if (::GetLastError() != ERROR_IO_PENDING)
                return Received::Ended; // the child closed its end
            if (childEnded) {
                // What it wrote before it went has been read; the rest never comes
                // (a process it started may still hold its end open).
                ::CancelIo(pipe);
                ::GetOverlappedResult(pipe, &read, &got, TRUE);
                return Received::Ended;
            }
            ULONGLONG now = ::GetTickCount64();
            DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
            HANDLE both[2] = {read.hEvent, handles_->process.get()};
            DWORD which = WaitForAny(both, 2, left, style);
            if (which != 0) {
                ::CancelIo(pipe);
                if (!::GetOverlappedResult(pipe, &read, &got, TRUE))
                    got = 0;
                if (which == 2 && got < size) {
                    at += got;
                    size -= got;
                    return Received::TimedOut;
                }
                childEnded = true;
            } else if (!::GetOverlappedResult(pipe, &read, &got, FALSE)) {
                return Received::Ended;
            }
        }
        at += got;
        size -= got;
    }
    return Received::Whole;
}

bool PersistentChild::ForbidChildProcesses() {
    if (!handles_ || !handles_->job)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    return ::SetInformationJobObject(handles_->job.get(), JobObjectExtendedLimitInformation,
                                     &limits, sizeof limits) != FALSE;
}

void PersistentChild::End() {
    if (!handles_ || !handles_->process)
        return;
    // Whatever it started in its job goes with it.
    if (handles_->job)
        ::TerminateJobObject(handles_->job.get(), 1);
    ::TerminateProcess(handles_->process.get(), 1);
    ::WaitForSingleObject(handles_->process.get(), 5000);
}

std::string PersistentChild::Printed(std::size_t limit) const {
    std::string bytes;
    if (!handles_ || !handles_->printed)
        return bytes;
    bytes.resize(limit);
    OVERLAPPED from{}; // from the start, wherever the child left the position
    DWORD got = 0;
    if (!::ReadFile(handles_->printed.get(), bytes.data(), static_cast<DWORD>(limit), &got, &from))
        got = 0;
    bytes.resize(got);
    return bytes;
}

std::optional<unsigned long> PersistentChild::ExitCode(unsigned long waitMs) const {
    DWORD code = 0;
    if (!handles_ || !handles_->process ||
        ::WaitForSingleObject(handles_->process.get(), waitMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(handles_->process.get(), &code))
        return std::nullopt;
    return code;
}

} // namespace calvorn::platform
