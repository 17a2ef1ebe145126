#include "platform/error_record.h"

#include "platform/text.h"

#include <windows.h>

#include <new>

namespace calvorn::platform {

namespace {

// A code the system has no words for is still named: never an empty reason.
std::wstring Describe(unsigned long code) {
    std::wstring text = SystemMessage(code);
    return text.empty() ? HexCode(static_cast<long>(code)) : text;
}

} // namespace

ErrorRecord Win32Error(unsigned long code, std::wstring source) {
    return {static_cast<std::int32_t>(code), std::move(source), Describe(code)};
}

ErrorRecord HResultError(long hr, std::wstring source) {
    return {static_cast<std::int32_t>(hr), std::move(source),
            Describe(static_cast<unsigned long>(hr))};
}

ErrorRecord CurrentFailure() noexcept {
    std::int32_t number = ERROR_INTERNAL_ERROR;
    try {
        try {
            throw;
        } catch (const Failure& failure) {
            number = failure.Record().number;
            return failure.Record();
        } catch (const std::bad_alloc&) {
            number = ERROR_NOT_ENOUGH_MEMORY;
            return Win32Error(ERROR_NOT_ENOUGH_MEMORY);
        } catch (const std::exception& other) {
            ErrorRecord record = Win32Error(ERROR_INTERNAL_ERROR);
            record.description += L" (" + Widen(other.what()) + L")";
            return record;
        } catch (...) {
            return Win32Error(ERROR_INTERNAL_ERROR);
        }
    } catch (...) {
        return {number, {}, {}};
    }
}

long HResultOf(const ErrorRecord& record) noexcept {
    if (record.number == 0)
        return E_FAIL; // a failure never answers S_OK
    return record.number < 0 ? record.number
                             : HRESULT_FROM_WIN32(static_cast<unsigned long>(record.number));
}

std::wstring FormatErrorReport(const std::wstring& tag, const ErrorRecord& record) {
    return tag + L": error " + std::to_wstring(record.number) + L": " + record.description;
}

} // namespace calvorn::platform
