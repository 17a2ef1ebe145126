#pragma once
// File-system routines of the file model: one routine per family of calls.

#include <string>

namespace calvorn::files {

// Appends the suffix unless the text already ends in it (case-sensitive).
std::wstring EnsureSuffix(const std::wstring& text, const std::wstring& suffix);

} // namespace calvorn::files
