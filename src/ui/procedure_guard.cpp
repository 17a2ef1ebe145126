#include "ui/procedure_guard.h"

#include <atomic>
#include <new>
#include <stdexcept>

namespace calvorn::ui {

namespace {

std::atomic<ProcedureErrorReporter> reporter{nullptr};
std::atomic<UINT> faultMessage{0};
thread_local bool reporting = false;

platform::ErrorRecord RecordOfCaught() {
    try {
        throw;
    } catch (const platform::Failure& failure) {
        return failure.Record();
    } catch (const std::bad_alloc&) {
        return platform::Win32Error(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return platform::Win32Error(ERROR_INTERNAL_ERROR);
    }
}

} // namespace

void ReportProcedureErrorsTo(ProcedureErrorReporter to) noexcept {
    reporter.store(to);
}

void ReportCaughtException(const wchar_t* tag) noexcept {
    const ProcedureErrorReporter report = reporter.load();
    if (!report || reporting)
        return;
    reporting = true;
    try {
        report(tag, RecordOfCaught());
    } catch (...) {
        // A reporter that fails has nobody left to tell.
    }
    reporting = false;
}

namespace testing {
void ThrowInProcedures(UINT message) noexcept {
    faultMessage.store(message);
}
} // namespace testing

namespace detail {
void ThrowIfAsked(UINT message) {
    const UINT fault = faultMessage.load(std::memory_order_relaxed);
    if (fault != 0 && fault == message)
        throw std::runtime_error("procedure fault asked for by a test");
}
} // namespace detail

} // namespace calvorn::ui
