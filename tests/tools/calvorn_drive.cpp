// calvorn_drive: runs calvorn.exe once, answers its message boxes and prints
// every box it saw (title, text, icon, buttons, answer) and the exit code.
//
//   calvorn_drive.exe [--program PATH] [--timeout SECONDS]
//                     [--answer yes|no|ok]... -- <arguments for calvorn.exe>
//   calvorn_drive.exe [options] --raw "<command-line text for calvorn.exe>"
//
// After "--", each argument that is not a switch is passed in double quotes,
// as the Explorer verbs pass paths: `-- -r C:\My Files\a.dll` (one argument
// for the path) reaches the program as -r "C:\My Files\a.dll". --raw passes
// its text unchanged, for command lines without the usual quoting.

#include "platform/text.h"
#include "support/test_paths.h"
#include "tools/drive_session.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

using namespace calvorn;
using namespace calvorn::test;

namespace {

void Print(const std::wstring& text) {
    std::string utf8 = platform::Narrow(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

// Line ends inside a message are shown as "\n" so each box stays readable.
std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n')
            out += L"\\n";
        else if (c != L'\r')
            out += c;
    }
    return out;
}

const wchar_t* AnswerName(int answer) {
    return answer == IDYES ? L"yes" : answer == IDNO ? L"no" : L"ok";
}

int Usage() {
    Print(L"usage: calvorn_drive.exe [--program PATH] [--timeout SECONDS] "
          L"[--answer yes|no|ok]... (-- <arguments> | --raw <text>)\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring program = ProgramPath();
    std::wstring arguments;
    std::vector<int> answers;
    int seconds = 60;
    bool separator = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--") {
            separator = true;
            for (int j = i + 1; j < argc; ++j) {
                std::wstring part = argv[j];
                if (!arguments.empty())
                    arguments += L' ';
                arguments += !part.empty() && part[0] == L'-' ? part : L"\"" + part + L"\"";
            }
            break;
        }
        if (i + 1 >= argc)
            return Usage();
        std::wstring value = argv[++i];
        if (arg == L"--raw") {
            arguments = value;
            separator = true;
        } else if (arg == L"--program")
            program = value;
        else if (arg == L"--timeout")
            seconds = _wtoi(value.c_str());
        else if (arg == L"--answer" && value == L"yes")
            answers.push_back(IDYES);
        else if (arg == L"--answer" && value == L"no")
            answers.push_back(IDNO);
        else if (arg == L"--answer" && value == L"ok")
            answers.push_back(IDOK);
        else
            return Usage();
    }
    if (!separator)
        return Usage();

    Print(L"program: " + program + L"\narguments: " + arguments + L"\n");
    DriveResult result = Drive(program, arguments, answers, std::chrono::seconds(seconds));
    int n = 0;
    for (const DrivenBox& box : result.boxes) {
        Print(L"message box " + std::to_wstring(++n) + L"\n");
        Print(L"  title:   " + box.title + L"\n");
        Print(L"  text:    " + Escaped(box.text) + L"\n");
        Print(std::wstring(L"  icon:    ") + IconName(box.icon) + L"\n");
        std::wstring buttons;
        for (const std::wstring& b : box.buttons)
            buttons += (buttons.empty() ? L"" : L" | ") + b;
        Print(L"  buttons: " + buttons + L"\n");
        Print(std::wstring(L"  answer:  ") + AnswerName(box.answer) + L"\n");
    }
    Print(std::wstring(L"main window shown: ") + (result.mainWindowSeen ? L"yes" : L"no") + L"\n");
    if (result.exitCode)
        Print(L"exit code: " + std::to_wstring(*result.exitCode) + L"\n");
    else
        Print(L"exit code: none (still running after the time-out; ended)\n");
    return result.exitCode ? 0 : 1;
}
