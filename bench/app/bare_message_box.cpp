// The least a Windows program does to ask one question: the baseline for the
// time from start to the confirmation of a command-line switch.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return ::MessageBoxW(nullptr, L"Are You Sure?", L"Bare", MB_YESNO | MB_ICONQUESTION);
}
