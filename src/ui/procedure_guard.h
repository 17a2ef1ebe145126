#pragma once
// Window and control procedures run their handling through Guarded: the
// system calls them from C, so a C++ exception must end inside them. It is
// told through the program's error reporter, which start-up hands down here
// (the windows sit below the part of the program that owns it), and the
// message then gets the handling it would have had without us.

#include "platform/error_record.h"

#include <windows.h>

#include <string>

namespace calvorn::ui {

using ProcedureErrorReporter = void (*)(const std::wstring& tag, const platform::ErrorRecord&);

// Where a procedure's exception is told; nullptr tells nobody.
void ReportProcedureErrorsTo(ProcedureErrorReporter reporter) noexcept;

// Tells the reporter of the exception being handled (call from a catch).
// While one such report is on screen its box's message loop still runs our
// procedures; a failure among them is not told again, or a failing paint or
// timer would stack boxes without end.
void ReportCaughtException(const wchar_t* tag) noexcept;

namespace testing {
// Makes every guarded procedure throw on `message` (0 stops it), so that
// tests can reach the guard of each.
void ThrowInProcedures(UINT message) noexcept;
} // namespace testing

namespace detail {
void ThrowIfAsked(UINT message);
} // namespace detail

// `handle()` for `message`; should it throw, the exception is reported with
// `tag` and `fallback()` answers instead.
template <typename Handle, typename Fallback>
LRESULT Guarded(const wchar_t* tag, UINT message, Handle&& handle, Fallback&& fallback) noexcept {
    try {
        detail::ThrowIfAsked(message);
        return handle();
    } catch (...) {
        ReportCaughtException(tag);
    }
    try {
        return fallback();
    } catch (...) {
        return 0;
    }
}

} // namespace calvorn::ui
