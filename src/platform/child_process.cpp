#include "platform/child_process.h"

#include "platform/unique_handle.h"

#include <windows.h>

#include <cwchar>

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

std::wstring UniquePipeName(const wchar_t* role) {
    static LONG counter = 0;
    wchar_t name[96];
    ::swprintf(name, 96, L"\\\\.\\pipe\\calvorn-%lu-%lu-%ls", ::GetCurrentProcessId(),
               static_cast<unsigned long>(::InterlockedIncrement(&counter)), role);
    return name;
}

// Our end overlapped (so reads can wait with a deadline), the child's end an
// ordinary inheritable handle.
bool MakePipe(bool childReads, UniqueFile& ours, UniqueFile& theirs) {
    const std::wstring name = UniquePipeName(childReads ? L"in" : L"out");
    ours.reset(::CreateNamedPipeW(name.c_str(),
                                  (childReads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                                      FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                  nullptr));
    if (!ours)
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    theirs.reset(::CreateFileW(name.c_str(), childReads ? GENERIC_READ : GENERIC_WRITE, 0, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(theirs);
}

} // namespace

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
    UniqueFile childIn, childOut;
    if (!MakePipe(true, h.toChild, childIn) || !MakePipe(false, h.fromChild, childOut))
        return fail();
    h.readDone.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!h.readDone)
        return fail();

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn.get();
    si.hStdOutput = childOut.get();
    si.hStdError = childOut.get();
    std::wstring line = L"\"" + program + L"\"";
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
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

void PersistentChild::End() {
    if (!handles_ || !handles_->process)
        return;
    ::TerminateProcess(handles_->process.get(), 1);
    ::WaitForSingleObject(handles_->process.get(), 5000);
}

std::optional<unsigned long> PersistentChild::ExitCode() const {
    DWORD code = 0;
    if (!handles_ || !handles_->process ||
        ::WaitForSingleObject(handles_->process.get(), 0) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(handles_->process.get(), &code))
        return std::nullopt;
    return code;
}

} // namespace calvorn::platform
