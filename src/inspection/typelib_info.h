#pragma once
// A file's type library as the report and the comparison read it: its
// identity (GUID, version), its name and its help string. Built on the
// system's own loader, without registering anything. The library object is
// released as soon as these are read, so the file is not held open.

#include <cstdint>
#include <optional>
#include <string>

namespace calvorn::inspection {

class TypeLibInfo {
  public:
    // The library of a file (a .tlb, or a module holding a TYPELIB resource);
    // empty when the file holds no loadable type library or cannot be read.
    static std::optional<TypeLibInfo> Open(const std::wstring& path);

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as registry key names use it.
    const std::wstring& Guid() const { return guid_; }
    std::uint16_t MajorVersion() const { return major_; }
    std::uint16_t MinorVersion() const { return minor_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& HelpString() const { return helpString_; }

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

// The registry key name of a version: hexadecimal, lower case, no leading
// zeros ("1.a"); and its display text, decimal ("1.10").
std::wstring VersionKeyName(std::uint16_t major, std::uint16_t minor);
std::wstring VersionText(std::uint16_t major, std::uint16_t minor);

} // namespace calvorn::inspection
