#include "support/program_driver.h"

#include "support/polling.h"
#include "support/test_paths.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace calvorn::test {

using namespace std::chrono;

namespace {

struct EnumContext {
    std::vector<DWORD> pids;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<EnumContext*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (std::find(ctx->pids.begin(), ctx->pids.end(), pid) != ctx->pids.end() &&
        ::IsWindowVisible(hwnd))
        ctx->found.push_back(hwnd);
    return TRUE;
}

// The program and the helpers it started: a component's own message box is
// shown by the registration host, and the user sees it as the program's.
std::vector<DWORD> ProcessAndChildren(DWORD pid) {
    std::vector<DWORD> pids{pid};
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == pid && entry.th32ProcessID != pid)
            pids.push_back(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    return pids;
}

BOOL CALLBACK CollectChildren(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

bool IsMessageBox(HWND hwnd) {
    return ClassNameOf(hwnd) == L"#32770";
}

SeenMessageBox Describe(HWND hwnd) {
    SeenMessageBox box;
    box.hwnd = hwnd;
    box.title = WindowText(hwnd);
    std::vector<HWND> children;
    ::EnumChildWindows(hwnd, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        std::wstring cls = ClassNameOf(child);
        std::wstring text = WindowText(child);
        if (_wcsicmp(cls.c_str(), L"Static") == 0) {
            // The icon is a static without text; the message is the static with text.
            if (!text.empty() && box.text.empty())
                box.text = text;
        } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            box.buttons.push_back(text);
        }
    }
    return box;
}

} // namespace

std::wstring WindowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 2000, &copied);
    text.resize(copied);
    return text;
}

std::wstring ClassNameOf(HWND hwnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

HWND FindControl(HWND parent, int id) {
    std::vector<HWND> children;
    ::EnumChildWindows(parent, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
        if (::GetDlgCtrlID(child) == id)
            return child;
    return nullptr;
}

namespace {

// The limited half of this process's split token, as a primary token; null
// when the test itself runs limited (or without a split token).
HANDLE LimitedToken() {
    HANDLE own = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own))
        return nullptr;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    HANDLE primary = nullptr;
    if (::GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size) &&
        type == TokenElevationTypeFull &&
        ::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
        ::DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                           TokenPrimary, &primary);
        ::CloseHandle(linked.LinkedToken);
    }
    ::CloseHandle(own);
    return primary;
}

} // namespace

ProgramRun::ProgramRun(const std::wstring& program, const std::wstring& arguments,
                       const std::wstring& workingDir, Rights rights) {
    HANDLE limited = rights == Rights::Limited ? LimitedToken() : nullptr;
    std::wstring line = L"\"" + program + L"\"";
    if (!arguments.empty())
        line += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // A start refused by the system is tried once more and named, so that a
    // test that then sees no message box says why instead of failing mute.
    for (int attempt = 0; attempt < 2 && !process_; ++attempt) {
        const wchar_t* folder = workingDir.empty() ? nullptr : workingDir.c_str();
        if (limited ? ::CreateProcessAsUserW(limited, program.c_str(), line.data(), nullptr,
                                             nullptr, FALSE, 0, nullptr, folder, &si, &pi)
                    : ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                       nullptr, folder, &si, &pi)) {
            process_ = pi.hProcess;
            pid_ = pi.dwProcessId;
            ::CloseHandle(pi.hThread);
            ::WaitForInputIdle(process_, 5000);
        } else {
            std::fprintf(stderr, "could not start %ls (error %lu)\n", program.c_str(),
                         ::GetLastError());
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    if (limited)
        ::CloseHandle(limited);
}

ProgramRun::~ProgramRun() {
    if (process_) {
        if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_, 255);
            ::WaitForSingleObject(process_, 5000);
        }
        ::CloseHandle(process_);
    }
}

std::vector<HWND> ProgramRun::VisibleWindows() const {
    EnumContext ctx{ProcessAndChildren(pid_), {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::optional<SeenMessageBox> ProgramRun::WaitForMessageBox(milliseconds timeout) {
    std::optional<SeenMessageBox> found;
    WaitUntil(
        [&] {
            for (HWND hwnd : VisibleWindows())
                if (IsMessageBox(hwnd)) {
                    // The box may still be creating its children: wait for its
                    // text. A program just back from a long wait may be taken as
                    // hung and not be asked for its title at once.
                    SeenMessageBox box;
                    WaitUntil(
                        [&] {
                            box = Describe(hwnd);
                            return !box.text.empty() && !box.buttons.empty() && !box.title.empty();
                        },
                        milliseconds(500), milliseconds(10));
                    found = box;
                    return true;
                }
            return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        timeout, milliseconds(20));
    return found;
}

bool ProgramRun::Answer(const SeenMessageBox& box, int commandId) {
    if (HWND button = ::GetDlgItem(box.hwnd, commandId))
        ::PostMessageW(button, BM_CLICK, 0, 0);
    else
        ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), 0);
    return WaitUntil([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); },
                     seconds(10), milliseconds(5));
}

HWND ProgramRun::WaitForWindow(const std::wstring& className, milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : VisibleWindows())
                if (ClassNameOf(hwnd) == className) {
                    found = hwnd;
                    return true;
                }
            return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        timeout, milliseconds(20));
    return found;
}

std::optional<DWORD> ProgramRun::WaitForExit(milliseconds timeout) {
    if (!process_ ||
        ::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return code;
}

void ProgramRun::Kill() {
    if (process_)
        ::TerminateProcess(process_, 255);
}

RunTranscript RunAndAnswer(const std::wstring& arguments, const std::vector<int>& answers,
                           milliseconds timeout, const std::wstring& program,
                           const std::wstring& workingDir,
                           const std::function<void(const SeenMessageBox&)>& beforeAnswer) {
    RunTranscript transcript;
    ProgramRun run(program.empty() ? ProgramPath() : program, arguments, workingDir);
    if (!run.Started())
        return transcript;
    auto deadline = steady_clock::now() + timeout;
    size_t next = 0;
    while (steady_clock::now() < deadline) {
        if (auto code = run.WaitForExit(milliseconds(0))) {
            transcript.exitCode = code;
            return transcript;
        }
        for (HWND hwnd : run.VisibleWindows())
            if (ClassNameOf(hwnd) == L"Calvorn.MainWindow")
                transcript.mainWindowSeen = true;
        auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now());
        auto box = run.WaitForMessageBox(std::min(remaining, milliseconds(200)));
        if (!box)
            continue;
        if (beforeAnswer)
            beforeAnswer(*box);
        transcript.boxes.push_back(*box);
        run.Answer(*box, next < answers.size() ? answers[next++] : IDOK);
    }
    run.Kill();
    return transcript;
}

} // namespace calvorn::test
