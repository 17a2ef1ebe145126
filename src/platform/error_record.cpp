#include "platform/error_record.h"

#include "platform/text.h"

#include <windows.h>

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

std::wstring FormatErrorReport(const std::wstring& tag, const ErrorRecord& record) {
    return tag + L": error " + std::to_wstring(record.number) + L": " + record.description;
}

} // namespace calvorn::platform
