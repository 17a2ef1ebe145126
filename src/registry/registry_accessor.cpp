#include "registry/registry_accessor.h"

#include "registry/open_key_reads.h"

#include "platform/text.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace calvorn::registry {

using platform::UniqueHKey;

namespace {

// Access for creating a key and for writing or deleting its values: query,
// set, create subkey, enumerate, notify and create link.
constexpr REGSAM kWriteAccess = 0x3F;
// The registry's limit for a key name, without the terminator.
constexpr DWORD kMaxKeyName = 255;

std::wstring ProgramFileStem() {
    wchar_t path[MAX_PATH * 4];
    DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring name(path, n < std::size(path) ? n : 0);
    if (auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (auto dot = name.rfind(L'.'); dot != std::wstring::npos)
        name.resize(dot);
    return name;
}

const std::wstring& Source() {
    static const std::wstring source = ProgramFileStem() + L".cRegistry";
    return source;
}

// An environment reference: a "%" and a further "%" with at least one
// character between them.
bool HoldsEnvReference(const std::wstring& text) {
    auto first = text.find(L'%');
    return first != std::wstring::npos && text.find(L'%', first + 2) != std::wstring::npos;
}

// Text data without its terminating NUL, when it has one; an odd last byte
// becomes a character of its own rather than being dropped.
std::wstring TextOf(const std::vector<std::uint8_t>& data) {
    std::wstring text((data.size() + 1) / sizeof(wchar_t), L'\0');
    if (!data.empty())
        std::memcpy(text.data(), data.data(), data.size());
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

// The first four bytes, whatever the stored length: never more is copied.
std::uint32_t DwordOf(const std::vector<std::uint8_t>& data) {
    std::uint32_t value = 0;
    if (!data.empty())
        std::memcpy(&value, data.data(), std::min<std::size_t>(data.size(), sizeof value));
    return value;
}

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// The stored type and exactly the stored bytes. The value may grow between
// asking its size and reading it, so a read that no longer fits asks again.
std::optional<RawValue> QueryRaw(HKEY key, const wchar_t* name) {
    RawValue raw;
    // Most values fit a small buffer, and every query is a round trip to the
    // registry (a server call under Wine): ask for the data at once and only
    // ask again, with the size reported, when it did not fit.
    std::uint8_t first[512];
    DWORD size = sizeof first;
    LSTATUS rc = ::RegQueryValueExW(key, name, nullptr, &raw.type, first, &size);
    if (rc == ERROR_SUCCESS) {
        raw.data.assign(first, first + std::min<DWORD>(size, sizeof first));
        return raw;
    }
    if (rc != ERROR_MORE_DATA)
        return std::nullopt;
    for (int attempt = 0; attempt < 8; ++attempt) {
        raw.data.resize(size);
        std::uint8_t none = 0;
        DWORD got = size;
        rc = ::RegQueryValueExW(key, name, nullptr, &raw.type,
                                raw.data.empty() ? &none : raw.data.data(), &got);
        if (rc == ERROR_SUCCESS) {
            raw.data.resize(std::min<std::size_t>(got, raw.data.size()));
            return raw;
        }
        if (rc != ERROR_MORE_DATA)
            return std::nullopt;
        size = std::max(got, size + 1);
    }
    return std::nullopt;
}

std::uint32_t Swap32(std::uint32_t value) {
    return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
           ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

std::wstring ExpandEnvironment(const std::wstring& text) {
    DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    // An environment change between the two calls can only make it grow.
    while (needed > 0) {
        std::wstring expanded(needed, L'\0');
        DWORD got = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
        if (got == 0)
            break;
        if (got <= needed) {
            expanded.resize(got - 1);
            return expanded;
        }
        needed = got;
    }
    return text;
}

} // namespace

HKEY RootOf(std::int32_t classKey) {
    // Predefined roots are sign-extended on 64-bit builds, as the SDK defines them.
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(classKey));
}

std::wstring ValueAsText(const RegValue& value) {
    if (auto s = std::get_if<std::wstring>(&value))
        return *s;
    if (auto n = std::get_if<std::int32_t>(&value))
        return std::to_wstring(*n);
    return {};
}

void RegistryAccessor::Record(std::int32_t number, std::wstring description) {
    lastError_ = {number, Source(), std::move(description)};
}

std::wstring RegistryAccessor::RootAndSection() const {
    return std::to_wstring(classKey_) + L"',Section: '" + sectionKey_;
}

bool RegistryAccessor::KeyExists() {
    UniqueHKey key;
    return ::RegOpenKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, KEY_QUERY_VALUE, key.put()) ==
           ERROR_SUCCESS;
}

bool RegistryAccessor::CreateKey() {
    UniqueHKey key;
    DWORD disposition = 0;
    wchar_t noClass[] = L"";
    if (::RegCreateKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, noClass,
                          REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, key.put(),
                          &disposition) == ERROR_SUCCESS)
        return true;
    Record(kErrRegistry, L"Failed to create registry Key: '" + sectionKey_);
    return false;
}

bool RegistryAccessor::DeleteKey() {
    // An empty path would name the root itself, which is never meant.
    if (!sectionKey_.empty() &&
        ::RegDeleteKeyW(RootOf(classKey_), sectionKey_.c_str()) == ERROR_SUCCESS)
        return true;
    Record(kErrRegistry, L"Failed to delete registry Key: '" + RootAndSection());
    return false;
}

bool RegistryAccessor::DeleteValue() {
    UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, kWriteAccess, key.put()) !=
        ERROR_SUCCESS) {
        Record(kErrRegistry, L"Failed to open key '" + RootAndSection() + L"' for delete access");
        return false;
    }
    if (::RegDeleteValueW(key.get(), valueKey_.c_str()) != ERROR_SUCCESS) {
        Record(kErrRegistry,
               L"Failed to delete registry Key: '" + RootAndSection() + L"',Key: '" + valueKey_);
        return false;
    }
    return true;
}

std::optional<RegValue> ReadOpenKeyValue(HKEY key, const wchar_t* name, std::int32_t& type) {
    std::optional<RawValue> raw;
    try {
        raw = QueryRaw(key, name);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!raw)
        return std::nullopt;
    type = static_cast<std::int32_t>(raw->type);
    switch (raw->type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        return TextOf(raw->data);
    case REG_EXPAND_SZ:
        return ExpandEnvironment(TextOf(raw->data));
    case REG_DWORD:
        return static_cast<std::int32_t>(DwordOf(raw->data));
    case REG_DWORD_BIG_ENDIAN:
        return static_cast<std::int32_t>(Swap32(DwordOf(raw->data)));
    default:
        return std::move(raw->data);
    }
}

LSTATUS ListSubkeys(HKEY key, std::vector<std::wstring>& names) {
    LSTATUS rc = ERROR_SUCCESS;
    try {
        std::wstring name(kMaxKeyName + 1, L'\0');
        for (DWORD index = 0;;) {
            DWORD length = static_cast<DWORD>(name.size());
            rc = ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr,
                                 nullptr);
            if (rc == ERROR_MORE_DATA && name.size() < 32768) {
                // Some registries allow longer names than the documented limit.
                name.assign(32768, L'\0');
                continue;
            }
            if (rc != ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), length);
            ++index;
        }
    } catch (const std::bad_alloc&) {
        rc = ERROR_NOT_ENOUGH_MEMORY;
    }
    return rc;
}

const std::wstring& ErrorSource() {
    return Source();
}

std::optional<RegValue> RegistryAccessor::ReadValue() {
    UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return ReadOpenKeyValue(key.get(), valueKey_.c_str(), valueType_);
}

RegValue RegistryAccessor::Value() {
    if (auto value = ReadValue())
        return std::move(*value);
    return default_;
}

void RegistryAccessor::Value(const RegValue& vValue) {
    WriteValue(vValue, valueType_, true);
}

void RegistryAccessor::WriteValue(const RegValue& vValue, std::int32_t type, bool chooseExpand) {
    const std::wstring description = L"Failed to set registry value Key: '" + RootAndSection() +
                                     L"',Key: '" + valueKey_ + L"' to value: '" +
                                     ValueAsText(vValue) + L"'";
    // Settle what to write before touching the registry, so that a write
    // that cannot be made leaves no new key behind.
    DWORD storedType = REG_NONE;
    std::vector<std::uint8_t> data;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring text = ValueAsText(vValue);
        storedType = !chooseExpand             ? static_cast<DWORD>(type)
                     : HoldsEnvReference(text) ? REG_EXPAND_SZ
                                               : REG_SZ;
        data.resize((text.size() + 1) * sizeof(wchar_t));
        std::memcpy(data.data(), text.c_str(), data.size());
        break;
    }
    case REG_BINARY:
        if (auto bytes = std::get_if<std::vector<std::uint8_t>>(&vValue)) {
            storedType = REG_BINARY;
            data = *bytes;
            break;
        }
        lastError_ = {kErrRegistry, {}, {}};
        return;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (auto number = std::get_if<std::int32_t>(&vValue)) {
            storedType = REG_DWORD;
            auto bits = static_cast<std::uint32_t>(*number);
            data.resize(sizeof bits);
            std::memcpy(data.data(), &bits, sizeof bits);
            break;
        }
        Record(kErrRegistry, description);
        return;
    default:
        Record(kErrValueNotWritten, description);
        return;
    }

    UniqueHKey key;
    DWORD disposition = 0;
    wchar_t noClass[] = L"";
    if (const LONG rc = ::RegCreateKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, noClass,
                                          REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, key.put(),
                                          &disposition);
        rc != ERROR_SUCCESS) {
        writeDenied_ = writeDenied_ || rc == ERROR_ACCESS_DENIED;
        Record(kErrRegistry, description);
        return;
    }
    std::uint8_t none = 0;
    if (const LONG rc =
            ::RegSetValueExW(key.get(), valueKey_.c_str(), 0, storedType,
                             data.empty() ? &none : data.data(), static_cast<DWORD>(data.size()));
        rc != ERROR_SUCCESS) {
        writeDenied_ = writeDenied_ || rc == ERROR_ACCESS_DENIED;
        Record(kErrValueNotWritten, description);
    }
}

bool RegistryAccessor::EnumerateValues(std::vector<std::wstring>& sKeyNames,
                                       std::int32_t& iKeyCount) {
    iKeyCount = 0;
    sKeyNames.clear();
    UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return true;
    DWORD longest = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    try {
        std::wstring name(longest + 1, L'\0');
        for (DWORD index = 0;;) {
            DWORD length = static_cast<DWORD>(name.size());
            LSTATUS rc = ::RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr,
                                         nullptr, nullptr);
            if (rc == ERROR_MORE_DATA && name.size() < 32768) {
                // A longer name arrived since the key was measured.
                name.assign(32768, L'\0');
                continue;
            }
            if (rc != ERROR_SUCCESS)
                break;
            sKeyNames.emplace_back(name.data(), length);
            ++iKeyCount;
            ++index;
        }
    } catch (const std::bad_alloc&) {
        // What was listed so far stays listed.
    }
    return true;
}

bool RegistryAccessor::EnumerateSections(std::vector<std::wstring>& sSect,
                                         std::int32_t& iSectCount) {
    iSectCount = 0;
    sSect.clear();
    UniqueHKey key;
    if (::RegOpenKeyExW(RootOf(classKey_), sectionKey_.c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                        key.put()) != ERROR_SUCCESS)
        return true;
    const LSTATUS rc = ListSubkeys(key.get(), sSect);
    iSectCount = static_cast<std::int32_t>(sSect.size());
    if (rc == ERROR_NO_MORE_ITEMS)
        return true;
    throw platform::Failure({kErrListing, Source(), platform::SystemMessage(rc)});
}

std::uint32_t RegistryAccessor::SwapEndian(std::uint32_t value) {
    return Swap32(value);
}

std::wstring RegistryAccessor::ExpandEnvStr(const std::wstring& text) {
    return ExpandEnvironment(text);
}

} // namespace calvorn::registry
