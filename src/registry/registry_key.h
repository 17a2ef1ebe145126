#pragma once
// A registry key held open for a run of reads below it. Every registry call
// is a round trip to the registry (a server call under Wine), and every open
// from the root walks the whole path again: a listing that reads values of
// many subkeys opens the parent once and names each place relative to it.
//
// Values read as the accessor reads them (RegistryAccessor::Value): text types
// without their terminating NUL, REG_EXPAND_SZ expanded, integers in decimal.

#include "platform/unique_handle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::registry {

class RegistryKey {
  public:
    // The key below a predefined root (kHKeyClassesRoot ...), opened for
    // reading its values and listing its subkeys; empty when it does not open.
    // `view` is KEY_WOW64_32KEY or KEY_WOW64_64KEY for that registry view, 0
    // for the process's own; keys opened below this one keep it.
    static std::optional<RegistryKey> Open(std::int32_t root, const std::wstring& path,
                                           std::uint32_t view = 0);
    // `base` opened as Open opens it (the system's own links, such as the
    // user's classes, lead where they should), then each name of `below` as
    // the key it is (REG_OPTION_OPEN_LINK): a link planted anywhere below
    // opens as the link, never what it leads to. Keys opened below this one
    // are opened the same way.
    static std::optional<RegistryKey> OpenAsIs(std::int32_t root, const std::wstring& base,
                                               const std::wstring& below, std::uint32_t view = 0);
    // A key below this one, opened for reading its values and listing its
    // subkeys; empty when it does not open.
    std::optional<RegistryKey> Sub(const std::wstring& path) const;

    // The value as text ("" for binary data); empty when there is no such
    // value. An empty name is the key's default value.
    std::optional<std::wstring> Text(const std::wstring& name = {}) const;
    // A string value (REG_SZ or REG_EXPAND_SZ) as stored, %NAME% left for
    // the caller to expand as it must; empty for any other type or none.
    std::optional<std::wstring> StoredText(const std::wstring& name = {}) const;
    // The subkey names in the registry's order. A listing that breaks off
    // for any reason other than its end throws platform::Failure, as
    // RegistryAccessor::EnumerateSections does.
    std::vector<std::wstring> SubkeyNames() const;

    // A value exactly as stored: its type number and bytes, nothing expanded
    // or cut, so that it can be written back as it was.
    struct StoredValue {
        std::wstring name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    // Every value of the key, in the registry's order; throws
    // platform::Failure as SubkeyNames does.
    std::vector<StoredValue> StoredValues() const;

    // Where the key leads when it is a registry link opened as itself (its
    // SymbolicLinkValue, "\Registry\Machine\..."); empty for a key.
    std::optional<std::wstring> LinkTarget() const;

  private:
    RegistryKey(platform::UniqueHKey key, std::uint32_t view, bool asIs)
        : key_(std::move(key)), view_(view), asIs_(asIs) {}
    platform::UniqueHKey key_;
    std::uint32_t view_ = 0;
    bool asIs_ = false;
};

// Deletes the key at `path` below the root, with everything below it, in the
// registry view `view` (as Open takes it). ERROR_SUCCESS, or the system's code
// of why it could not be deleted. No link below the key's parent is
// followed: every key is opened as itself and deleted children first, and a
// link is deleted as the link, never what it leads to.
long DeleteKeyTree(std::int32_t root, const std::wstring& path, std::uint32_t view);
// The same for `below` under `base`, opened as OpenAsIs opens them.
long DeleteKeyTree(std::int32_t root, const std::wstring& base, const std::wstring& below,
                   std::uint32_t view);
// The same below an open key: `path` (one name or several) below `parent`.
long DeleteKeyTreeAsIs(HKEY parent, const std::wstring& path, std::uint32_t view = 0);

} // namespace calvorn::registry
