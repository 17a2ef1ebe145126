#pragma once
// A file's type library as the report and the comparison read it: its
// identity (GUID, version), its name and its help string, without
// registering anything.
//
// Most libraries are read from their header by a bounded reader of our own
// (typelib_header.h), in this process and without the system's loader. The
// rest go to the loader, which is not safe against damaged libraries (Wine's
// breaks into the debugger on some, which ends the process): it runs in a
// helper process of ours (calvorn-typelib32.exe or calvorn-typelib64.exe,
// found by the part locator). The program itself never calls the loader: a
// copy without its helper reads only what the header reader reads.

#include "inspection/typelib_header.h"
#include "platform/program_parts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

class TypeLibInfo {
  public:
    // The library of a file (a .tlb, or a module holding a TYPELIB resource);
    // empty when the file holds no loadable type library or cannot be read.
    static std::optional<TypeLibInfo> Open(const std::wstring& path);
    // The bitness of the helper that reads a file: the component's own, as
    // the registration host of that bitness registers it; ours for a .tlb
    // file. A helper that is not there leaves it to ours.
    static platform::Bitness ReaderBitness(const std::wstring& path);
    // The same from the library's header alone, read by our bounded reader
    // (typelib_header.h); empty when it declines the file.
    static std::optional<TypeLibInfo> FromHeader(const std::wstring& path);

    // A library as the header reader read it.
    static TypeLibInfo FromTypeLibHeader(const TypeLibHeader& header);
    // A library as a reader found it (the helper's loader).
    static TypeLibInfo FromFields(std::wstring guid, std::uint16_t major, std::uint16_t minor,
                                  std::uint32_t lcid, int syskind, std::wstring name,
                                  std::wstring helpString);

    // The helper's answer: every field as its length, ":" and its text.
    std::wstring Serialize() const;
    static std::optional<TypeLibInfo> Parse(const std::wstring& text);

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as registry key names use it.
    const std::wstring& Guid() const { return guid_; }
    std::uint16_t MajorVersion() const { return major_; }
    std::uint16_t MinorVersion() const { return minor_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& HelpString() const { return helpString_; }
    std::uint32_t Lcid() const { return lcid_; }
    // The platform the library was built for: "win16", "win32", "mac",
    // "win64", or the number when it is none of those.
    std::wstring TargetPlatform() const;

    // True when both describe the same library: same GUID, version, locale
    // and platform kind (the library attributes that identify a registration).
    bool IsSameLibrary(const TypeLibInfo& other) const;

  private:
    TypeLibInfo() = default;

    std::wstring guid_;
    std::uint16_t major_ = 0;
    std::uint16_t minor_ = 0;
    std::uint32_t lcid_ = 0;
    int syskind_ = 0;
    std::wstring name_;
    std::wstring helpString_;
};

// A class or interface of a library that registration writes keys for (see
// RegisteredKindOf).
struct LibraryType {
    bool isClass = false;
    std::wstring guid; // "{...}"
    std::wstring name;
};

// The header of the file's library as our bounded reader reads it, the file
// named as the module facts read it (a 32-bit program is not shown the
// 32-bit copy of a system folder's library); empty when it declines it.
std::optional<TypeLibHeader> ReadTypeLibHeaderOf(const std::wstring& path);

// The library's classes and interfaces: those of `header` (the file's header,
// already read) when the reader listed them, else read by the loader in the
// helper process; empty when the helper is missing, fails or finds no
// library.
std::vector<LibraryType> LibraryTypesOf(const std::wstring& path,
                                        const std::optional<TypeLibHeader>& header);
// Each way alone: the header reader's (nothing when it declines the file)
// and the loader's.
std::optional<std::vector<LibraryType>> LibraryTypesFromHeader(const std::wstring& path);
std::vector<LibraryType> LibraryTypesByLoader(const std::wstring& path);
// The helper's answer for them, and reading it back; nothing when the
// answer does not hold together.
std::wstring SerializeTypes(const std::vector<LibraryType>& types);
std::optional<std::vector<LibraryType>> ParseTypes(const std::wstring& text);

// A type library file (.tlb, .olb, in any letter case): registered as a
// library, by the system's calls, rather than by code of its own.
bool IsTypeLibraryFile(const std::wstring& path);

// The registry key name of a version: hexadecimal, lower case, no leading
// zeros ("1.a"); and its display text, decimal ("1.10").
std::wstring VersionKeyName(std::uint16_t major, std::uint16_t minor);
std::wstring VersionText(std::uint16_t major, std::uint16_t minor);

} // namespace calvorn::inspection
