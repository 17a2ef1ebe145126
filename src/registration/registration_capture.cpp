#include "registration/registration_capture.h"

#include "platform/child_process.h"
#include "platform/path_forms.h"
#include "platform/unique_handle.h"
#include "registration/host_protocol.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace calvorn::registration {

namespace {

using platform::UniqueHKey;

// Read, enumerated and deleted as the keys they are: a symbolic link a
// component made in the scratch key must not lead us into the machine's.
constexpr DWORD kOpenAsIs = REG_OPTION_OPEN_LINK;

// "<pid>-<start time>-<nonce>": the owner, told apart from a later process
// that got the same id, and one key per capture.
std::wstring ScratchName() {
    static LONG counter = 0;
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    wchar_t name[64];
    std::swprintf(
        name, 64, L"%lu-%016llx-%08lx", ::GetCurrentProcessId(),
        static_cast<unsigned long long>(platform::ProcessStartTime(::GetCurrentProcess())),
        static_cast<unsigned long>(now.LowPart) ^
            static_cast<unsigned long>(::InterlockedIncrement(&counter) << 24));
    return name;
}

bool OwnerIsGone(const std::wstring& name) {
    unsigned long pid = 0;
    unsigned long long started = 0;
    wchar_t rest = 0;
    if (std::swscanf(name.c_str(), L"%lu-%llx-%*lx%lc", &pid, &started, &rest) != 2)
        return false; // not one of ours: left alone
    return platform::ProcessGone(pid, started);
}

// Creates `path` under HKCU; `made` tells whether it is new.
LONG CreateKey(const std::wstring& path, bool& made) {
    UniqueHKey key;
    DWORD disposition = 0;
    const LONG error = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                         KEY_READ | KEY_WRITE, nullptr, key.put(), &disposition);
    made = error == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return error;
}

// `name` under `parent` with everything below it, each key opened as itself.
void DeleteTree(HKEY parent, const std::wstring& name) {
    registry::DeleteKeyTreeAsIs(parent, name);
}

std::vector<CapturedValue> ValuesOf(HKEY key) {
    std::vector<CapturedValue> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::wstring name(longestName + 1, L'\0');
    std::vector<std::uint8_t> data(longestData);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameChars = longestName + 1;
        DWORD size = longestData;
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        CapturedValue value{name.substr(0, nameChars), static_cast<CapturedType>(type),
                            std::vector<std::uint8_t>(data.begin(), data.begin() + size)};
        values.push_back(std::move(value));
    }
    return values;
}

// Wine writes a registered type library's path in the extended form; the
// machine's registration would hold the plain one.
void PlainPathsIn(std::vector<CapturedValue>& values) {
    for (CapturedValue& value : values) {
        if (value.type != CapturedType::String && value.type != CapturedType::ExpandString)
            continue;
        if (value.data.size() % 2 != 0)
            continue;
        std::wstring text(value.data.size() / 2, L'\0');
        std::memcpy(text.data(), value.data.data(), value.data.size());
        const std::wstring plain = PlainPathForm(text);
        if (plain.size() == text.size())
            continue;
        value.data.assign(reinterpret_cast<const std::uint8_t*>(plain.data()),
                          reinterpret_cast<const std::uint8_t*>(plain.data() + plain.size()));
    }
}

void ReadTree(HKEY key, CapturedRoot root, const std::wstring& path,
              std::vector<CapturedKey>& keys) {
    std::vector<CapturedValue> values = ValuesOf(key);
    PlainPathsIn(values);
    // The root itself is the machine's: only values written to it count.
    if (!path.empty() || !values.empty())
        keys.push_back({root, path, std::move(values)});
    wchar_t child[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (::RegEnumKeyExW(key, i, child, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::wstring name(child, chars);
        UniqueHKey sub;
        if (::RegOpenKeyExW(key, name.c_str(), kOpenAsIs, KEY_READ, sub.put()) != ERROR_SUCCESS)
            continue;
        ReadTree(sub.get(), root, path.empty() ? name : path + L"\\" + name, keys);
    }
}

// Deleted only without subkeys (the registry refuses otherwise, at the
// moment of the deletion) and without values of its own.
void RemoveIfEmpty(const wchar_t* path) {
    UniqueHKey key;
    DWORD values = 1;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        values != 0)
        return;
    key.reset();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

} // namespace

std::wstring PlainPathForm(const std::wstring& text) {
    // Only a drive's or a share's path: "\\?\Volume{...}" has no plain form.
    const std::wstring plain = platform::PlainForm(text);
    const bool drive = plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\';
    return drive || text.rfind(L"\\\\?\\UNC\\", 0) == 0 ? plain : text;
}

std::optional<ScratchKey> ScratchKey::Create(unsigned long& error) {
    bool made = false;
    LONG result = CreateKey(L"Software\\Calvorn", made);
    if (result == ERROR_SUCCESS)
        result = CreateKey(kCaptureKey, made);
    ScratchKey scratch(std::wstring(kCaptureKey) + L"\\" + ScratchName());
    if (result == ERROR_SUCCESS)
        result = CreateKey(scratch.path_, made);
    for (const wchar_t* root : host::kCaptureRootNames)
        if (result == ERROR_SUCCESS)
            result = CreateKey(scratch.path_ + L"\\" + root, made);
    if (result == ERROR_SUCCESS)
        result = CreateKey(scratch.path_ + L"\\" + host::kCaptureConfigName, made);
    if (result != ERROR_SUCCESS) {
        error = static_cast<unsigned long>(result);
        return std::nullopt; // the destructor takes away what was made
    }
    return scratch;
}

ScratchKey::ScratchKey(ScratchKey&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

ScratchKey::~ScratchKey() {
    Remove();
}

std::vector<CapturedKey> ScratchKey::ReadBack() const {
    std::vector<CapturedKey> keys;
    for (int i = 0; i < 4; ++i) {
        UniqueHKey root;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, (path_ + L"\\" + host::kCaptureRootNames[i]).c_str(),
                            kOpenAsIs, KEY_READ, root.put()) == ERROR_SUCCESS)
            ReadTree(root.get(), static_cast<CapturedRoot>(i), L"", keys);
    }
    return keys;
}

void ScratchKey::Remove() {
    if (path_.empty())
        return;
    UniqueHKey capture;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCaptureKey, 0, KEY_READ | KEY_WRITE, capture.put()) ==
        ERROR_SUCCESS) {
        DeleteTree(capture.get(), path_.substr(std::wcslen(kCaptureKey) + 1));
        capture.reset();
    }
    // RegDeleteKey takes only a key without subkeys: another run's scratch
    // key keeps the folders. The folder of scratch keys is ours alone.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kCaptureKey);
    // Whichever run made it, the last one out takes it: its settings and
    // notes are subkeys, so it is deleted only when nothing is left in it.
    RemoveIfEmpty(L"Software\\Calvorn");
    path_.clear();
}

void RemoveStaleScratchKeys() {
    // The hosts' output files of a killed run go the same way.
    platform::RemoveStaleOutputFiles();
    UniqueHKey capture;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCaptureKey, 0, KEY_READ | KEY_WRITE, capture.put()) !=
        ERROR_SUCCESS)
        return;
    std::vector<std::wstring> stale;
    wchar_t child[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (::RegEnumKeyExW(capture.get(), i, child, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (std::wstring name(child, chars); OwnerIsGone(name))
            stale.push_back(std::move(name));
    }
    for (const std::wstring& name : stale)
        DeleteTree(capture.get(), name);
}

} // namespace calvorn::registration
