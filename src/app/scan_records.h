#pragma once
// The machine scan's entries as the quiet mode and the window write them:
// one line of text, one CSV row or one JSON object per broken registration.
// Free of Windows headers.

#include "app/command_line.h"
#include "registration/health/registration_scan.h"

#include <string>

namespace calvorn::app {

// "missing file \"C:\x.dll\"", "cannot check \"\\server\x.dll\"", "missing
// class {...}": what is wrong, in words.
std::wstring ScanProblem(const registration::ScanEntry& entry);

// One line: state, view, kind, the key's full name and the problem, every
// value on its one line (a registry value cannot forge another entry).
std::wstring ScanTextLine(const registration::ScanEntry& entry);

// The columns view, kind, key, missing and state, in a format's bytes; the
// header goes before the first row (CSV only).
std::string ScanHeader(ReportFormat format);
std::string ScanRecord(ReportFormat format, const registration::ScanEntry& entry);

// "3 broken, 1 unknown, 5120 registrations checked".
std::wstring ScanSummary(const registration::ScanResult& result);

} // namespace calvorn::app
