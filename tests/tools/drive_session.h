#pragma once
// Drives one run of a program from outside and records every message box it
// shows: title, text, buttons, the icon, and the answer given. Used by the
// end-to-end tests and by the calvorn_drive tool.

#include "support/polling.h"
#include "support/program_driver.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace calvorn::test {

struct DrivenBox {
    std::wstring title;
    std::wstring text;
    std::vector<std::wstring> buttons;
    unsigned icon = 0; // MB_ICONHAND, MB_ICONQUESTION, ...; 0 none; ~0u unrecognised
    int answer = IDOK;
};

struct DriveResult {
    std::vector<DrivenBox> boxes;
    std::optional<DWORD> exitCode; // empty: killed after the time-out
    bool mainWindowSeen = false;
};

namespace detail {

struct IconPixels {
    std::vector<DWORD> pixels;
    int width = 0;
    int height = 0;
};

// Paints into a 32-bit top-down DIB and reads it back.
template <typename Paint> IconPixels Render(int width, int height, Paint paint) {
    IconPixels out{std::vector<DWORD>(static_cast<size_t>(width * height)), width, height};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        paint(memory, screen);
        ::GdiFlush();
        std::memcpy(out.pixels.data(), bits, out.pixels.size() * sizeof(DWORD));
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return out;
}

inline HWND IconControl(HWND box) {
    HWND found = nullptr;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (ClassNameOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
            ::IsWindowVisible(child))
            found = child;
    }
    return found;
}

} // namespace detail

// Tells the icon of a message box by comparing what the screen shows in its
// icon control with each of the system's message icons drawn here.
inline unsigned ReadMessageBoxIcon(HWND box) {
    HWND control = detail::IconControl(box);
    if (!control)
        return 0;
    RECT r{};
    ::GetWindowRect(control, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return 0;
    struct Candidate {
        unsigned flag;
        const wchar_t* id;
    };
    const Candidate candidates[] = {{MB_ICONHAND, IDI_HAND},
                                    {MB_ICONQUESTION, IDI_QUESTION},
                                    {MB_ICONEXCLAMATION, IDI_EXCLAMATION},
                                    {MB_ICONASTERISK, IDI_ASTERISK}};
    // The icon may be drawn a moment after the box shows.
    unsigned matched = ~0u;
    WaitUntil(
        [&] {
            auto shown = detail::Render(w, h, [&](HDC memory, HDC screen) {
                ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
            });
            const DWORD background = shown.pixels[0];
            unsigned best = ~0u;
            size_t bestSame = 0;
            for (const Candidate& c : candidates) {
                auto drawn = detail::Render(w, h, [&](HDC memory, HDC) {
                    HBRUSH brush = ::CreateSolidBrush(RGB(
                        (background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
                    RECT all{0, 0, w, h};
                    ::FillRect(memory, &all, brush);
                    ::DeleteObject(brush);
                    ::DrawIconEx(memory, 0, 0, ::LoadIconW(nullptr, c.id), w, h, 0, nullptr,
                                 DI_NORMAL);
                });
                size_t same = 0;
                for (size_t i = 0; i < drawn.pixels.size(); ++i)
                    same += (drawn.pixels[i] & 0xFFFFFF) == (shown.pixels[i] & 0xFFFFFF);
                if (same > bestSame) {
                    bestSame = same;
                    best = c.flag;
                }
            }
            if (bestSame * 100 < shown.pixels.size() * 95)
                return false;
            matched = best;
            return true;
        },
        std::chrono::seconds(1), std::chrono::milliseconds(50));
    return matched;
}

inline const wchar_t* IconName(unsigned icon) {
    switch (icon) {
    case 0:
        return L"none";
    case MB_ICONHAND:
        return L"critical (16)";
    case MB_ICONQUESTION:
        return L"question (32)";
    case MB_ICONEXCLAMATION:
        return L"exclamation (48)";
    case MB_ICONASTERISK:
        return L"information (64)";
    default:
        return L"unrecognised";
    }
}

// Starts `program` with `arguments` and answers its message boxes in turn
// (IDOK once `answers` runs out) until it ends or `timeout` passes.
inline DriveResult Drive(const std::wstring& program, const std::wstring& arguments,
                         const std::vector<int>& answers,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60),
                         const std::wstring& workingDir = {}) {
    // The icon can only be read while the box is on the screen.
    std::vector<unsigned> icons;
    RunTranscript t = RunAndAnswer(
        arguments, answers, timeout, program, workingDir,
        [&icons](const SeenMessageBox& box) { icons.push_back(ReadMessageBoxIcon(box.hwnd)); });
    DriveResult result;
    result.exitCode = t.exitCode;
    result.mainWindowSeen = t.mainWindowSeen;
    for (size_t i = 0; i < t.boxes.size(); ++i)
        result.boxes.push_back({t.boxes[i].title, t.boxes[i].text, t.boxes[i].buttons, icons[i],
                                i < answers.size() ? answers[i] : IDOK});
    return result;
}

} // namespace calvorn::test
