#include "registration/health/scan_backup.h"

#include "platform/text.h"
#include "platform/unique_handle.h"
#include "registration/export/export_formats.h"
#include "registration/export/export_text.h"

#include <windows.h>

#include <cstring>
#include <cwctype>

namespace calvorn::registration {

namespace {

// The first comment of the file names it and its view: "; <title> (x64)".
constexpr std::wstring_view kTitle = L"Calvorn repair backup";
constexpr std::wstring_view kHeader = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kClasses = L"Software\\Classes";
constexpr std::wstring_view kLinkValue = L"SymbolicLinkValue";

bool StartsWithNoCase(std::wstring_view text, std::wstring_view start) {
    if (text.size() < start.size())
        return false;
    for (std::size_t i = 0; i < start.size(); ++i)
        if (std::towlower(text[i]) != std::towlower(start[i]))
            return false;
    return true;
}

// Reads a quoted text at `at` (its opening quote), as the writer escapes
// it: \\, \", \r and \n. `at` ends after the closing quote.
std::optional<std::wstring> Unquoted(std::wstring_view line, std::size_t& at) {
    if (at >= line.size() || line[at] != L'"')
        return std::nullopt;
    std::wstring text;
    for (++at; at < line.size(); ++at) {
        const wchar_t c = line[at];
        if (c == L'"') {
            ++at;
            return text;
        }
        if (c != L'\\') {
            text += c;
            continue;
        }
        if (++at == line.size())
            return std::nullopt;
        switch (line[at]) {
        case L'\\':
        case L'"':
            text += line[at];
            break;
        case L'r':
            text += L'\r';
            break;
        case L'n':
            text += L'\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    c = static_cast<wchar_t>(std::towlower(c));
    return c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
}

// "41,00,..." into bytes; false on anything else.
bool HexBytes(std::wstring_view text, std::vector<std::uint8_t>& bytes) {
    for (std::size_t at = 0; at < text.size();) {
        while (at < text.size() && (text[at] == L' ' || text[at] == L','))
            ++at;
        if (at == text.size())
            break;
        if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return false;
        bytes.push_back(
            static_cast<std::uint8_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1])));
        at += 2;
        if (at < text.size() && text[at] != L',')
            return false;
    }
    return true;
}

// One value's data after its "=", continuation lines joined; false when it
// is not a form the writer makes.
bool ValueData(std::wstring_view data, CapturedValue& value) {
    if (!data.empty() && data.front() == L'"') {
        std::size_t at = 0;
        const std::optional<std::wstring> text = Unquoted(data, at);
        if (!text || at != data.size())
            return false;
        value.type = CapturedType::String;
        const std::wstring stored = *text + L'\0';
        value.data.resize(stored.size() * sizeof(wchar_t));
        std::memcpy(value.data.data(), stored.data(), value.data.size());
        return true;
    }
    if (StartsWithNoCase(data, L"dword:")) {
        data.remove_prefix(6);
        if (data.size() != 8)
            return false;
        std::uint32_t number = 0;
        for (wchar_t c : data) {
            if (HexDigit(c) < 0)
                return false;
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        value.type = CapturedType::Dword;
        value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16),
                      static_cast<std::uint8_t>(number >> 24)};
        return true;
    }
    if (StartsWithNoCase(data, L"hex:")) {
        value.type = CapturedType::Binary;
        return HexBytes(data.substr(4), value.data);
    }
    if (!StartsWithNoCase(data, L"hex("))
        return false;
    const std::size_t close = data.find(L"):");
    if (close == std::wstring_view::npos || close == 4 || close > 12)
        return false;
    std::uint32_t type = 0;
    for (wchar_t c : data.substr(4, close - 4)) {
        if (HexDigit(c) < 0)
            return false;
        type = type * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    value.type = static_cast<CapturedType>(type);
    return HexBytes(data.substr(close + 2), value.data);
}

bool IsLinkKey(const CapturedKey& key) {
    return key.values.size() == 1 && key.values[0].type == CapturedType::Link &&
           key.values[0].name.size() == kLinkValue.size() &&
           StartsWithNoCase(key.values[0].name, kLinkValue);
}

std::wstring SystemWords(LSTATUS rc) {
    return platform::SystemMessage(static_cast<unsigned long>(rc));
}

bool OpensAsLink(HKEY key) {
    DWORD type = 0;
    return ::RegQueryValueExW(key, kLinkValue.data(), nullptr, &type, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           type == REG_LINK;
}

// Opens or creates each name below the classes key as the key it is; a
// link on the way is refused, never followed. The last name is made a link
// when `link` says so.
LSTATUS CreateAsIs(HKEY base, const std::wstring& below, REGSAM view, bool link,
                   platform::UniqueHKey& key, std::wstring& why) {
    HKEY at = base;
    platform::UniqueHKey held;
    for (std::size_t start = 0; start <= below.size();) {
        std::size_t end = below.find(L'\\', start);
        if (end == std::wstring::npos)
            end = below.size();
        const std::wstring name = below.substr(start, end - start);
        const bool last = end == below.size();
        platform::UniqueHKey next;
        LSTATUS rc = ::RegOpenKeyExW(at, name.c_str(), REG_OPTION_OPEN_LINK,
                                     KEY_READ | KEY_WRITE | view, next.put());
        if (rc == ERROR_SUCCESS) {
            if (OpensAsLink(next.get()) != (last && link)) {
                why = last && link ? L"a key is where the link was"
                                   : L"a registry link is in its place";
                return ERROR_ACCESS_DENIED;
            }
        } else if (rc == ERROR_FILE_NOT_FOUND) {
            const DWORD options = last && link ? REG_OPTION_CREATE_LINK : 0;
            rc = ::RegCreateKeyExW(at, name.c_str(), 0, nullptr, options,
                                   KEY_READ | KEY_WRITE | KEY_CREATE_LINK | view, nullptr,
                                   next.put(), nullptr);
        }
        if (rc != ERROR_SUCCESS) {
            why = SystemWords(rc);
            return rc;
        }
        held = std::move(next);
        at = held.get();
        start = end + 1;
    }
    key = std::move(held);
    return ERROR_SUCCESS;
}

} // namespace

bool BackupHoldsKeyName(std::wstring_view name) {
    for (wchar_t c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    // "." and ".." are names like any other to the registry, but not to
    // every tool that reads a path.
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find(L'\\', start);
        if (end == std::wstring_view::npos)
            end = name.size();
        const std::wstring_view part = name.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        start = end + 1;
    }
    return true;
}

bool BackupHoldsValueName(std::wstring_view name) {
    return name.find(L'\0') == std::wstring_view::npos;
}

std::string WriteScanBackup(const ScanBackup& backup) {
    ExportedFile file;
    file.registration.file = std::wstring(kTitle);
    file.registration.machine = backup.view;
    file.registration.keys = backup.keys;
    ExportOptions options;
    options.escapedLineEnds = true;
    return WriteRegFile({file}, options);
}

std::optional<ScanBackup> ReadScanBackup(std::string_view bytes, std::wstring& why) {
    why = L"it is not a backup that Calvorn wrote";
    if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.substr(0, 2) != "\xFF\xFE")
        return std::nullopt;
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (lines.empty() || lines[0] != kHeader)
        return std::nullopt;
    ScanBackup backup;
    bool titled = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::wstring line = lines[i];
        if (line.empty())
            continue;
        if (line.front() == L';') {
            const std::wstring title = L"; " + std::wstring(kTitle) + L" (";
            if (!titled && line.rfind(title, 0) == 0) {
                const std::wstring machine = line.substr(title.size());
                titled = machine == L"x64)" || machine == L"x86)";
                backup.view = machine == L"x64)" ? CapturedMachine::X64 : CapturedMachine::X86;
            }
            continue;
        }
        if (!titled)
            return std::nullopt;
        if (line.front() == L'[') {
            if (line.back() != L']')
                return std::nullopt;
            const std::wstring name = line.substr(1, line.size() - 2);
            CapturedKey key;
            std::wstring rest;
            if (StartsWithNoCase(name, L"HKEY_LOCAL_MACHINE\\")) {
                key.root = CapturedRoot::LocalMachine;
                rest = name.substr(19);
            } else if (StartsWithNoCase(name, L"HKEY_CURRENT_USER\\")) {
                key.root = CapturedRoot::CurrentUser;
                rest = name.substr(18);
            }
            if (!StartsWithNoCase(rest, std::wstring(kClasses) + L"\\") ||
                !BackupHoldsKeyName(rest)) {
                why = L"it names a key outside the classes keys: " + name;
                return std::nullopt;
            }
            key.path = rest;
            backup.keys.push_back(std::move(key));
            continue;
        }
        if (backup.keys.empty())
            return std::nullopt;
        // A hex value goes on over the lines that end in "\".
        while (line.back() == L'\\' && i + 1 < lines.size()) {
            line.pop_back();
            std::wstring next = lines[++i];
            next.erase(0, next.find_first_not_of(L' '));
            line += next;
        }
        CapturedValue value;
        std::size_t at = 0;
        if (line.front() == L'@')
            at = 1;
        else if (std::optional<std::wstring> name = Unquoted(line, at))
            value.name = *name;
        else
            return std::nullopt;
        if (at >= line.size() || line[at] != L'=' ||
            !ValueData(std::wstring_view(line).substr(at + 1), value))
            return std::nullopt;
        backup.keys.back().values.push_back(std::move(value));
    }
    if (!titled)
        return std::nullopt;
    return backup;
}

std::vector<RestoreFailure> RestoreScanBackup(const ScanBackup& backup) {
    std::vector<RestoreFailure> failures;
    const REGSAM view = backup.view == CapturedMachine::X64 ? KEY_WOW64_64KEY : 0;
    for (const CapturedKey& key : backup.keys) {
        const std::wstring full = export_text::FullKeyPath(key, false);
        const HKEY root =
            key.root == CapturedRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        // The classes key itself as the system leads to it (the user's is a
        // link of the system's own); below it, nothing is followed.
        platform::UniqueHKey base;
        LSTATUS rc = ::RegOpenKeyExW(root, std::wstring(kClasses).c_str(), 0,
                                     KEY_READ | KEY_CREATE_SUB_KEY | view, base.put());
        std::wstring why;
        platform::UniqueHKey made;
        if (rc != ERROR_SUCCESS)
            why = SystemWords(rc);
        else
            rc = CreateAsIs(base.get(), key.path.substr(kClasses.size() + 1), view, IsLinkKey(key),
                            made, why);
        for (const CapturedValue& value : key.values) {
            if (rc != ERROR_SUCCESS)
                break;
            rc = ::RegSetValueExW(made.get(), value.name.c_str(), 0, static_cast<DWORD>(value.type),
                                  value.data.data(), static_cast<DWORD>(value.data.size()));
            if (rc != ERROR_SUCCESS)
                why = SystemWords(rc);
        }
        if (rc != ERROR_SUCCESS)
            failures.push_back({full, why});
    }
    return failures;
}

} // namespace calvorn::registration
