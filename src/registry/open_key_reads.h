#pragma once
// The reads that the accessor and an open RegistryKey share.

#include "registry/registry_accessor.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace calvorn::registry {

// A predefined root from its number (kHKeyClassesRoot ...).
HKEY RootOf(std::int32_t classKey);
// One value of an open key as RegistryAccessor::Value reads it; `type` becomes the
// stored type. Empty when there is no such value.
std::optional<RegValue> ReadOpenKeyValue(HKEY key, const wchar_t* name, std::int32_t& type);
// Appends the subkey names; ERROR_NO_MORE_ITEMS when the listing ran to its end.
LSTATUS ListSubkeys(HKEY key, std::vector<std::wstring>& names);
// The error source of the registry's records: "<program>.cRegistry".
const std::wstring& ErrorSource();

} // namespace calvorn::registry
