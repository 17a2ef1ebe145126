#pragma once
// What an inventory of components says about a module beside its version
// resource: the machine it is built for, whether it is a .NET assembly, when
// it was linked, and its COM facts. Read from the file's bytes alone, within
// bounds; no platform headers (fuzzable).

#include "inspection/file_reader.h"
#include "inspection/typelib_header.h"

#include <cstdint>
#include <optional>
#include <string>

namespace calvorn::inspection {

struct ModuleInventory {
    // "x86", "x64", "arm64"; "16-bit" for an MZ file without a PE header (a
    // DOS, NE or LE file); "not-a-module" without the MZ signature; another
    // PE machine as "0x" and its four hex digits ("0x01C4"). An "MZ" file
    // shorter than its header is not a module.
    std::string machine = "not-a-module";
    bool dotnet = false; // a CLR header
    // The file header's time stamp; none when the file is no PE image.
    std::optional<std::uint32_t> linkStamp;
    // The debug directory marks the build reproducible: the stamp is a hash
    // of the contents, not a time.
    bool reproducible = false;
    bool exportsRegister = false; // DllRegisterServer
    std::optional<TypeLibHeader> typeLib;
    // It has a TYPELIB resource that the header reader declined.
    bool typeLibUnread = false;
};

ModuleInventory ReadModuleInventory(FileReader& file);

// Whether the file is a module by its content: it begins with "MZ" and holds
// the whole 64-byte header that the signature starts.
bool IsModuleContent(FileReader& file);

// Whether a stamp can be the time the file was linked (seconds since 1970,
// `lastWrite` as a FILETIME): not before 1993, when the first PE images
// shipped (which also leaves out 0 and a well-known fixed 1992 stamp), and
// not after the file was last written, with a day's grace for clocks.
bool StampIsLinkTime(std::uint32_t stamp, bool reproducible,
                     std::optional<std::uint64_t> lastWrite);

// A stamp as a FILETIME.
std::uint64_t StampToFileTime(std::uint32_t stamp);

} // namespace calvorn::inspection
