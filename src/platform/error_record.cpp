#include "platform/error_record.h"

#include "platform/text.h"

#include <windows.h>

namespace calvorn::platform {

ErrorRecord Win32Error(unsigned long code, std::wstring source) {
    return {static_cast<std::int32_t>(code), std::move(source), SystemMessage(code)};
}

ErrorRecord HResultError(long hr, std::wstring source) {
    return {static_cast<std::int32_t>(hr), std::move(source),
            SystemMessage(static_cast<unsigned long>(hr))};
}

std::wstring FormatErrorReport(const std::wstring& tag, const ErrorRecord& record) {
    return tag + L": error " + std::to_wstring(record.number) + L": " + record.description;
}

} // namespace calvorn::platform
