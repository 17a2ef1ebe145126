#include "registration/captured_health.h"

#include <cwctype>
#include <unordered_map>

namespace calvorn::registration {

using inspection::EntryKind;
using inspection::ExpectedEntry;

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::wstring> Parts(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find(L'\\', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::wstring::npos)
            return parts;
        start = slash + 1;
    }
}

// The key's path below the classes root; empty for a key elsewhere (a
// component's own settings under HKLM\Software are not its registration).
std::wstring ClassesPath(const CapturedKey& key) {
    if (key.root == CapturedRoot::ClassesRoot)
        return key.path;
    static const std::wstring kClasses = L"software\\classes\\";
    if ((key.root == CapturedRoot::LocalMachine || key.root == CapturedRoot::CurrentUser) &&
        Lower(key.path).rfind(kClasses, 0) == 0)
        return key.path.substr(kClasses.size());
    return {};
}

std::wstring DefaultText(const CapturedKey& key) {
    for (const CapturedValue& value : key.values) {
        if (!value.name.empty() ||
            (value.type != CapturedType::String && value.type != CapturedType::ExpandString))
            continue;
        std::wstring text;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2)
            text.push_back(static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8)));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return text;
    }
    return {};
}

bool IsPlatform(const std::wstring& name) {
    const std::wstring lower = Lower(name);
    return lower == L"win16" || lower == L"win32" || lower == L"win64";
}

} // namespace

inspection::ExpectedRegistration ExpectedFromCapture(const CapturedRegistration& captured) {
    inspection::ExpectedRegistration expected;
    expected.file = captured.file;
    expected.is64Bit = captured.machine == CapturedMachine::X64;
    expected.source = inspection::EntrySource::RegistrationCode;

    // Keys by their folded path, so that lookups ignore case as the registry does.
    std::unordered_map<std::wstring, const CapturedKey*> byPath;
    std::vector<std::wstring> paths;
    for (const CapturedKey& key : captured.keys) {
        std::wstring path = ClassesPath(key);
        if (path.empty())
            continue;
        if (byPath.emplace(Lower(path), &key).second)
            paths.push_back(std::move(path));
    }
    auto text = [&byPath](const std::wstring& path) {
        const auto found = byPath.find(Lower(path));
        return found == byPath.end() ? std::wstring() : DefaultText(*found->second);
    };
    auto has = [&byPath](const std::wstring& path) { return byPath.count(Lower(path)) > 0; };

    for (const std::wstring& path : paths) {
        const std::vector<std::wstring> parts = Parts(path);
        const std::wstring first = Lower(parts[0]);
        ExpectedEntry entry;
        if (first == L"clsid" && parts.size() == 2) {
            entry.kind = EntryKind::Class;
            entry.name = text(path);
            const bool inproc = has(path + L"\\InprocServer32");
            // A class written without a server of its own (a TreatAs, a
            // handler) is registered by its key alone.
            entry.target = inproc                           ? L"InprocServer32"
                           : has(path + L"\\LocalServer32") ? L"LocalServer32"
                                                            : L"";
            // The other kind of server, when the class has both: each is one
            // way of serving it. Whatever else the component writes below
            // the class (a time stamp, its own settings) may differ from one
            // registration to the next and identifies nothing.
            const std::wstring other =
                entry.target == L"InprocServer32" ? L"LocalServer32" : L"InprocServer32";
            if (!entry.target.empty() && has(path + L"\\" + other))
                entry.keys.push_back(path + L"\\" + other);
        } else if (first == L"typelib" && parts.size() == 5 && IsPlatform(parts[4])) {
            entry.kind = EntryKind::TypeLib;
            entry.name = text(parts[0] + L"\\" + parts[1] + L"\\" + parts[2]);
            entry.target = parts[2] + L"\\" + parts[3] + L"\\" + parts[4];
        } else if (first == L"interface" && parts.size() == 2) {
            entry.kind = EntryKind::Interface;
            entry.name = text(path);
            entry.target = text(path + L"\\TypeLib");
        } else if (parts.size() == 2 && Lower(parts[1]) == L"clsid" && first != L"appid" &&
                   first != L"typelib" && first != L"interface" && first != L"clsid") {
            entry.kind = EntryKind::ProgId;
            entry.target = text(path);
        } else {
            continue;
        }
        entry.id = entry.kind == EntryKind::ProgId ? parts[0] : parts[1];
        expected.entries.push_back(std::move(entry));
    }
    return expected;
}

} // namespace calvorn::registration
