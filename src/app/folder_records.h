#pragma once
// The machine-readable folder report: one record per component file, written
// as CSV (RFC 4180) or as JSON Lines, both in UTF-8 so that no character of a
// version string is lost. Free of Windows headers: fuzzed and tested natively.

#include "inspection/clsFileInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace calvorn::app {

struct FolderRecord {
    std::wstring path;
    inspection::clsFileInfo info;
    // Nothing when the file could not be read: an empty cell (null in JSON),
    // never a size or date that the file does not have.
    std::optional<std::uint64_t> size;
    // 100-nanosecond intervals since 1 January 1601 UTC, as the file system
    // keeps the last write.
    std::optional<std::uint64_t> lastWrite;
    // The system's text for why the file could not be read; empty when it was.
    std::wstring error;
};

// Every character kept: a lone surrogate becomes U+FFFD, nothing is dropped.
std::string Utf8(std::wstring_view text);
// "2024-05-01T12:34:56Z"; whole seconds.
std::string IsoUtc(std::uint64_t fileTime);

// The header row and one row, each ending in CR LF. A cell that a
// spreadsheet would take for a formula (it begins with "=", "+", "-", "@",
// a tab or a CR) is quoted and begins with "'", which makes it text there.
std::string CsvHeader();
std::string CsvRow(const FolderRecord& record);
// One JSON object and a LF.
std::string JsonLine(const FolderRecord& record);

} // namespace calvorn::app
