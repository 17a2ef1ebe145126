#include "registry/registry_key.h"

#include "platform/error_record.h"
#include "platform/text.h"
#include "platform/proc_address.h"
#include "registry/open_key_reads.h"

namespace calvorn::registry {

namespace {

constexpr DWORD kReadAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// Opens `path` below `parent` one name at a time, each as the key it is, so
// that no link on the way is followed: a link has no subkeys of its own, and
// a name below one does not open.
LSTATUS OpenEachAsIs(HKEY parent, const std::wstring& path, REGSAM access,
                     platform::UniqueHKey& key) {
    HKEY at = parent;
    platform::UniqueHKey held;
    std::size_t start = 0;
    do {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring name = path.substr(start, end - start);
        const bool last = end == path.size();
        platform::UniqueHKey next;
        LSTATUS rc = ::RegOpenKeyExW(
            at, name.c_str(), REG_OPTION_OPEN_LINK,
            last ? access : (KEY_ENUMERATE_SUB_KEYS | (access & KEY_WOW64_RES)), next.put());
        // A key whose subkeys may not be listed may still lead to one.
        if (rc == ERROR_ACCESS_DENIED && !last)
            rc = ::RegOpenKeyExW(at, name.c_str(), REG_OPTION_OPEN_LINK,
                                 KEY_QUERY_VALUE | (access & KEY_WOW64_RES), next.put());
        if (rc != ERROR_SUCCESS)
            return rc;
        held = std::move(next);
        at = held.get();
        start = end + 1;
    } while (start <= path.size());
    key = std::move(held);
    return ERROR_SUCCESS;
}

using NtDeleteKeyFn = LONG NTAPI(HANDLE key);
using RtlNtStatusToDosErrorFn = ULONG NTAPI(LONG status);

// The key itself goes, through the handle that opened it as itself: a
// delete by name would open the name again, and through a link.
LSTATUS DeleteOpenKey(HKEY key) {
    static auto* const deleteKey = platform::SystemProc<NtDeleteKeyFn>(L"ntdll.dll", "NtDeleteKey");
    static auto* const toError =
        platform::SystemProc<RtlNtStatusToDosErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (!deleteKey || !toError)
        return ERROR_CALL_NOT_IMPLEMENTED;
    const LONG status = deleteKey(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LSTATUS>(toError(status));
}

// `name` (one name) below `parent`, children first, each opened as itself.
LSTATUS DeleteTreeAsIs(HKEY parent, const std::wstring& name, REGSAM view) {
    platform::UniqueHKey key;
    LSTATUS rc =
        ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE | view, key.put());
    if (rc != ERROR_SUCCESS)
        return rc;
    LSTATUS refused = ERROR_SUCCESS;
    for (DWORD index = 0;;) {
        // The first child not refused yet: the list shrinks as children go.
        wchar_t child[256];
        DWORD chars = 256;
        rc = ::RegEnumKeyExW(key.get(), index, child, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            return rc;
        const LSTATUS childRc = DeleteTreeAsIs(key.get(), std::wstring(child, chars), view);
        if (childRc != ERROR_SUCCESS && childRc != ERROR_FILE_NOT_FOUND) {
            // Left in place: the key above it cannot go either.
            if (refused == ERROR_SUCCESS)
                refused = childRc;
            ++index;
        }
    }
    return refused != ERROR_SUCCESS ? refused : DeleteOpenKey(key.get());
}

LSTATUS DeletePathAsIs(HKEY parent, const std::wstring& path, REGSAM view) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return DeleteTreeAsIs(parent, path, view);
    platform::UniqueHKey above;
    const LSTATUS rc =
        OpenEachAsIs(parent, path.substr(0, slash), KEY_ENUMERATE_SUB_KEYS | view, above);
    if (rc != ERROR_SUCCESS)
        return rc;
    return DeleteTreeAsIs(above.get(), path.substr(slash + 1), view);
}

} // namespace

std::optional<RegistryKey> RegistryKey::Open(std::int32_t root, const std::wstring& path,
                                             std::uint32_t view) {
    platform::UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(root), path.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view,
                        key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key), view, false);
}

std::optional<RegistryKey> RegistryKey::OpenAsIs(std::int32_t root, const std::wstring& base,
                                                 const std::wstring& below, std::uint32_t view) {
    std::optional<RegistryKey> start = Open(root, base, view);
    if (!start)
        return std::nullopt;
    start->asIs_ = true;
    return below.empty() ? std::move(start) : start->Sub(below);
}

std::optional<RegistryKey> RegistryKey::Sub(const std::wstring& path) const {
    platform::UniqueHKey key;
    if (asIs_) {
        LSTATUS rc = OpenEachAsIs(key_.get(), path, kReadAccess | view_, key);
        if (rc == ERROR_ACCESS_DENIED)
            rc = OpenEachAsIs(key_.get(), path, KEY_QUERY_VALUE | view_, key);
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        return RegistryKey(std::move(key), view_, true);
    }
    LSTATUS rc = ::RegOpenKeyExW(key_.get(), path.c_str(), 0,
                                 KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view_, key.put());
    // A key whose values may be read but not its subkeys listed still
    // gives its values.
    if (rc == ERROR_ACCESS_DENIED)
        rc = ::RegOpenKeyExW(key_.get(), path.c_str(), 0, KEY_QUERY_VALUE | view_, key.put());
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(std::move(key), view_, false);
}

std::optional<std::wstring> RegistryKey::LinkTarget() const {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key_.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_LINK)
        return std::nullopt;
    std::wstring target(size / sizeof(wchar_t), L'\0');
    if (::RegQueryValueExW(key_.get(), L"SymbolicLinkValue", nullptr, &type,
                           reinterpret_cast<BYTE*>(target.data()), &size) != ERROR_SUCCESS)
        return std::wstring();
    target.resize(size / sizeof(wchar_t));
    while (!target.empty() && target.back() == L'\0')
        target.pop_back();
    return target;
}

std::optional<std::wstring> RegistryKey::Text(const std::wstring& name) const {
    std::int32_t type = 0;
    auto value = ReadOpenKeyValue(key_.get(), name.c_str(), type);
    if (!value)
        return std::nullopt;
    return ValueAsText(*value);
}

std::optional<std::wstring> RegistryKey::StoredText(const std::wstring& name) const {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        if (::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                                              reinterpret_cast<BYTE*>(text.data()), &got);
        if (rc == ERROR_MORE_DATA)
            continue; // written to meanwhile
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        text.resize(got / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return text;
    }
    return std::nullopt;
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
    if (slash == std::wstring::npos)
        return DeleteKeyTree(root, L"", path, view);
    return DeleteKeyTree(root, path.substr(0, slash), path.substr(slash + 1), view);
}

long DeleteKeyTree(std::int32_t root, const std::wstring& base, const std::wstring& below,
                   std::uint32_t view) {
    platform::UniqueHKey parent;
    const LSTATUS rc =
        ::RegOpenKeyExW(RootOf(root), base.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | view, parent.put());
    if (rc != ERROR_SUCCESS)
        return rc;
    return DeletePathAsIs(parent.get(), below, view);
}

long DeleteKeyTreeAsIs(HKEY parent, const std::wstring& path, std::uint32_t view) {
    return DeletePathAsIs(parent, path, view);
}

} // namespace calvorn::registry
