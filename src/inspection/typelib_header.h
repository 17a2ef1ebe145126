#pragma once
// The identity of a type library read from its own header, without the
// system's loader: the GUID, the version, the locale, the platform, the name
// and the help string, which is all the report and the comparison ask of a
// library; and the classes and interfaces that registering it writes keys
// for, which is all the registration check asks. No platform headers (fuzzable); every number taken
// from the file is treated as hostile.
//
// It reads only the common layout (an "MSFT" library, alone in a .tlb file
// or as TYPELIB resource number 1 of a module, which the loader reads when
// given the module's path) and declines whatever it is not sure to read as
// the loader does: another layout, a resource in several languages, names
// outside plain ASCII. The caller then asks the loader, in a process of its
// own.

#include "inspection/file_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

using StoredGuid = std::array<std::uint8_t, 16>; // Data1-3 little-endian, then Data4

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as registry key names use it.
std::wstring GuidText(const StoredGuid& guid);

// A class or interface of a library that registration writes keys for: the
// creatable classes, and the interfaces that Automation marshals (dispatch,
// dual and oleautomation ones). Other kinds leave no trace in the registry.
enum class RegisteredKind { None, Class, Interface };
// `typeKind` and `typeFlags` as the loader's TYPEATTR has them.
RegisteredKind RegisteredKindOf(int typeKind, unsigned typeFlags);

struct HeaderType {
    bool isClass = false;
    StoredGuid guid{};
    std::string name; // ASCII
};

struct TypeLibHeader {
    StoredGuid guid{};
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint32_t lcid = 0;
    int syskind = 0;
    std::string name;       // ASCII
    std::string helpString; // ASCII; "" when the library has none
    // The registered types in the library's order; empty when one of its
    // type descriptions is not read plainly (the loader's to judge).
    std::optional<std::vector<HeaderType>> types;
};

std::optional<TypeLibHeader> ReadTypeLibHeader(FileReader& file);

// Whether a PE module has a TYPELIB resource at all: when the header reader
// declines one that does, only the loader can tell what it holds.
bool HasTypeLibResource(FileReader& file);

} // namespace calvorn::inspection
