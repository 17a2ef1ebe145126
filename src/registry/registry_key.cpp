#include "registry/registry_key.h"

#include "platform/error_record.h"
#include "platform/text.h"
#include "registry/open_key_reads.h"

namespace calvorn::registry {

std::optional<RegistryKey> RegistryKey::Open(std::int32_t root, const std::wstring& path) {
    platform::UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(root), path.c_str(), 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                        key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key));
}

std::optional<RegistryKey> RegistryKey::Sub(const std::wstring& path) const {
    platform::UniqueHKey key;
    if (::RegOpenKeyExW(key_.get(), path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key));
}

std::optional<std::wstring> RegistryKey::Text(const std::wstring& name) const {
    std::int32_t type = 0;
    auto value = ReadOpenKeyValue(key_.get(), name.c_str(), type);
    if (!value)
        return std::nullopt;
    return ValueAsText(*value);
}

std::vector<std::wstring> RegistryKey::SubkeyNames() const {
    std::vector<std::wstring> names;
    const LSTATUS rc = ListSubkeys(key_.get(), names);
    if (rc != ERROR_NO_MORE_ITEMS)
        throw platform::Failure({kErrListing, ErrorSource(), platform::SystemMessage(rc)});
    return names;
}

} // namespace calvorn::registry
