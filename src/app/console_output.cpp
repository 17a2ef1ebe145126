#include "app/console_output.h"

#include "platform/text.h"

#include <windows.h>

namespace calvorn::app {
namespace {

HANDLE Passed(DWORD which) {
    HANDLE h = ::GetStdHandle(which);
    if (!h || h == INVALID_HANDLE_VALUE || ::GetFileType(h) == FILE_TYPE_UNKNOWN)
        return nullptr;
    return h;
}

// ERROR_SUCCESS, or why not; a write that takes nothing found the disk full.
unsigned long WriteAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
        if (written == 0)
            return ERROR_DISK_FULL;
        bytes.remove_prefix(written);
    }
    return ERROR_SUCCESS;
}

void WriteText(HANDLE h, const std::wstring& text) {
    if (!h)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(h, &mode))
        ::WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    else
        WriteAll(h, platform::Narrow(text));
}

} // namespace

ConsoleOutput::ConsoleOutput() {
    out_ = Passed(STD_OUTPUT_HANDLE);
    err_ = Passed(STD_ERROR_HANDLE);
    // A console host started for the attach must not inherit a redirected
    // handle: it would hold the caller's file open after we end.
    for (HANDLE h : {out_, err_})
        if (h)
            ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    if ((!out_ || !err_) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        // Lives as long as the process: the lines go out until its end.
        HANDLE console =
            ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            if (!out_)
                out_ = console;
            if (!err_)
                err_ = console;
        }
    }
}

void ConsoleOutput::Line(const std::wstring& text, bool failure) {
    // The one place that decides where a log line goes.
    WriteText(failure || dataOnly_ ? err_ : out_, text + L"\r\n");
}

unsigned long ConsoleOutput::Data(std::string_view utf8) {
    if (!out_)
        return ERROR_INVALID_HANDLE;
    DWORD mode = 0;
    if (::GetConsoleMode(out_, &mode)) {
        std::wstring text = platform::Widen(utf8);
        DWORD written = 0;
        if (!::WriteConsoleW(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
        return ERROR_SUCCESS;
    }
    return WriteAll(out_, utf8);
}

} // namespace calvorn::app
