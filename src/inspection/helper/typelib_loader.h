#pragma once
// The system's type-library loader, for the helper process only: it is not
// safe against damaged libraries, so the program never runs it in its own.

#include "inspection/typelib_info.h"

#include <optional>
#include <string>

namespace calvorn::inspection {

std::optional<TypeLibInfo> LoadTypeLibInfo(const std::wstring& path);
// The classes and interfaces that registering the library writes keys for.
std::optional<std::vector<LibraryType>> LoadLibraryTypes(const std::wstring& path);

// Registers the library of a file (RegisterTypeLib; RegisterTypeLibForUser
// for this user alone) or unregisters it; the system's HRESULT, or
// TYPE_E_CANTLOADLIBRARY when the file holds no library.
long RegisterLibraryOf(const std::wstring& path, bool unregister, bool perUser);

} // namespace calvorn::inspection
