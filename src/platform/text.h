#pragma once
// Conversions at the edges: the program keeps text as UTF-16.

#include <string>
#include <string_view>

namespace calvorn::platform {

std::wstring Widen(std::string_view utf8);
// UTF-8, every character kept: a lone surrogate becomes U+FFFD, nothing is
// dropped. The only encoder to UTF-8 (see utf8_text.cpp).
std::string Narrow(std::wstring_view wide);
std::string NarrowAnsi(std::wstring_view wide); // the system ANSI code page
std::wstring WidenAnsi(std::string_view ansi);

// The text of a Win32 error code or HRESULT as the system words it, without
// the trailing line end; empty when the system has no text for it. The
// text's inserts ("Bad EXE format for %1.") get `insert` (a file name) when
// the caller knows one; otherwise they are taken out.
std::wstring SystemMessage(unsigned long code, std::wstring_view insert = {});
// A system text with its inserts filled as above and its escapes ("%n",
// "%%") resolved; it leaves no "%" sequence behind.
std::wstring FillInserts(std::wstring_view text, std::wstring_view insert);

// The symbolic name of a common COM or registration code
// ("REGDB_E_CLASSNOTREG"); empty for codes outside the table.
std::wstring_view CodeName(long code);

// A code as the system's tools write it: "0x8007007E". A code the system has
// no words for carries its name where it has one: "0x80040154
// (REGDB_E_CLASSNOTREG)".
std::wstring HexCode(long code);

// The value of an environment variable of this process, "" when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);

// The folder of the running executable, ending in a backslash.
std::wstring ExecutableFolder();

} // namespace calvorn::platform
