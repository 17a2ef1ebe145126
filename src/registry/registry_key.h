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
    static std::optional<RegistryKey> Open(std::int32_t root, const std::wstring& path);
    // A key below this one, opened for reading its values; empty when it does
    // not open.
    std::optional<RegistryKey> Sub(const std::wstring& path) const;

    // The value as text ("" for binary data); empty when there is no such
    // value. An empty name is the key's default value.
    std::optional<std::wstring> Text(const std::wstring& name = {}) const;
    // The subkey names in the registry's order. A listing that breaks off
    // for any reason other than its end throws platform::Failure, as
    // RegistryAccessor::EnumerateSections does.
    std::vector<std::wstring> SubkeyNames() const;

  private:
    explicit RegistryKey(platform::UniqueHKey key) : key_(std::move(key)) {}
    platform::UniqueHKey key_;
};

} // namespace calvorn::registry
