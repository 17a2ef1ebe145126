#pragma once
// Starts calvorn.exe (or any program) and drives it from outside, as a user
// would: finds the message boxes it shows, reads their title and text,
// presses their buttons, finds its windows and waits for it to end.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::test {

struct SeenMessageBox {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    std::vector<std::wstring> buttons; // captions, in control order
};

// The rights a started program gets: the test's own, or the filtered
// (limited) half of an administrator's split token, as a program started by
// a user under UAC has them. Wine runs every program elevated, and has the
// limited half as its linked token.
enum class Rights { AsTest, Limited };

class ProgramRun {
  public:
    // Starts `program` with `arguments` (the text after the program name).
    // An empty working folder keeps the test's own.
    ProgramRun(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& workingDir = {}, Rights rights = Rights::AsTest);
    ~ProgramRun(); // ends the process if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD ProcessId() const { return pid_; }

    // The next visible message box of the process, or nothing after the timeout
    // (or when the process ended first).
    std::optional<SeenMessageBox> WaitForMessageBox(std::chrono::milliseconds timeout);
    // Presses a button of a message box by its command id (IDOK, IDYES, IDNO ...)
    // and waits for the box to go away.
    bool Answer(const SeenMessageBox& box, int commandId);

    // A visible top-level window of the process with this class name.
    HWND WaitForWindow(const std::wstring& className, std::chrono::milliseconds timeout);
    // Every visible top-level window of the process.
    std::vector<HWND> VisibleWindows() const;

    // Exit code, or nothing when it has not ended within the timeout.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout);
    void Kill();

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Reads a window's text through WM_GETTEXT (works across processes).
std::wstring WindowText(HWND hwnd);
std::wstring ClassNameOf(HWND hwnd);
// The descendant of `parent` with this control id, or nullptr.
HWND FindControl(HWND parent, int id);

// A whole run in one call: answers each message box in turn with the next of
// `answers` (IDOK when they run out) and records what it saw.
struct RunTranscript {
    std::vector<SeenMessageBox> boxes;
    std::optional<DWORD> exitCode; // empty: did not end in time (then killed)
    bool mainWindowSeen = false;
};
// `beforeAnswer`, when given, sees each box while it is still shown.
RunTranscript RunAndAnswer(const std::wstring& arguments, const std::vector<int>& answers,
                           std::chrono::milliseconds timeout = std::chrono::seconds(60),
                           const std::wstring& program = {}, const std::wstring& workingDir = {},
                           const std::function<void(const SeenMessageBox&)>& beforeAnswer = {});

} // namespace calvorn::test
