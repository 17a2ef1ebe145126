#include "platform/child_process.h"

#include "platform/unique_handle.h"

#include <windows.h>

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
