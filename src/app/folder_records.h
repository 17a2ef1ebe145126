#pragma once
// The machine-readable folder report: one record per component file, written
// as CSV (RFC 4180) or as JSON Lines, both in UTF-8 so that no character of a
// version string is lost. Free of Windows headers: fuzzed and tested natively.

#include "inspection/clsFileInfo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace calvorn::app {

struct FolderRecord {
    std::wstring path;
    inspection::clsFileInfo info;
    std::uint64_t size = 0;
    // 100-nanosecond intervals since 1 January 1601 UTC, as the file system
    // keeps the last write.
    std::uint64_t lastWrite = 0;
};

// Every character kept: a lone surrogate becomes U+FFFD, nothing is dropped.
std::string Utf8(std::wstring_view text);
// "2024-05-01T12:34:56Z"; whole seconds.
std::string IsoUtc(std::uint64_t fileTime);

// The header row and one row, each ending in CR LF.
std::string CsvHeader();
std::string CsvRow(const FolderRecord& record);
// One JSON object and a LF.
std::string JsonLine(const FolderRecord& record);

} // namespace calvorn::app
