#include "registry/registry_key.h"

#include "platform/error_record.h"
#include "platform/text.h"
#include "registry/open_key_reads.h"

namespace calvorn::registry {

std::optional<RegistryKey> RegistryKey::Open(std::int32_t root, const std::wstring& path,
                                             std::uint32_t view) {
    platform::UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(root), path.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view,
                        key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key), view);
}

std::optional<RegistryKey> RegistryKey::Sub(const std::wstring& path) const {
    platform::UniqueHKey key;
    LSTATUS rc = ::RegOpenKeyExW(key_.get(), path.c_str(), 0,
                                 KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view_, key.put());
    // A key whose values may be read but not its subkeys listed still
    // gives its values.
    if (rc == ERROR_ACCESS_DENIED)
        rc = ::RegOpenKeyExW(key_.get(), path.c_str(), 0, KEY_QUERY_VALUE | view_, key.put());
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key), view_);
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

std::vector<RegistryKey::StoredValue> RegistryKey::StoredValues() const {
    std::vector<StoredValue> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    LSTATUS rc = ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, &count, &longestName, &longestData, nullptr, nullptr);
    for (DWORD index = 0; rc == ERROR_SUCCESS; ++index) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<std::uint8_t> data(longestData);
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        rc = ::RegEnumValueW(key_.get(), index, name.data(), &nameLength, nullptr, &type,
                             data.data(), &dataLength);
        if (rc == ERROR_MORE_DATA) {
            // Written to since the sizes were asked: ask again for this one.
            rc = ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, &count, &longestName, &longestData, nullptr, nullptr);
            --index;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        name.resize(nameLength);
        data.resize(dataLength);
        values.push_back({std::move(name), type, std::move(data)});
    }
    if (rc != ERROR_NO_MORE_ITEMS)
        throw platform::Failure({kErrListing, ErrorSource(), platform::SystemMessage(rc)});
    return values;
}

long DeleteKeyTree(std::int32_t root, const std::wstring& path, std::uint32_t view) {
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    platform::UniqueHKey parent;
    LSTATUS rc =
        ::RegOpenKeyExW(RootOf(root), parentPath.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE | view, parent.put());
    if (rc != ERROR_SUCCESS)
        return rc;
    return ::RegDeleteTreeW(parent.get(), leaf.c_str());
}

} // namespace calvorn::registry
