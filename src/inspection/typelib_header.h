#pragma once
// The identity of a type library read from its own header, without the
// system's loader: the GUID, the version, the locale, the platform, the name
// and the help string, which is all the report and the comparison ask of a
// library. No platform headers (fuzzable); every number taken from the file
// is treated as hostile.
//
// It reads only the common layout (an "MSFT" library, alone in a .tlb file
// or the one TYPELIB resource of a module) and declines whatever it is not
// sure to read as the loader does: another layout, several resources or
// languages, names outside plain ASCII. The caller
// then asks the loader, in a process of its own.

#include "inspection/file_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace calvorn::inspection {

struct TypeLibHeader {
    std::array<std::uint8_t, 16> guid{}; // as stored: Data1-3 little-endian, then Data4
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint32_t lcid = 0;
    int syskind = 0;
    std::string name;       // ASCII
    std::string helpString; // ASCII; "" when the library has none
};

std::optional<TypeLibHeader> ReadTypeLibHeader(FileReader& file);

// Whether a PE module has a TYPELIB resource at all: when the header reader
// declines one that does, only the loader can tell what it holds.
bool HasTypeLibResource(FileReader& file);

} // namespace calvorn::inspection
