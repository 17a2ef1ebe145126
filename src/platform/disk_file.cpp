#include "platform/disk_file.h"

#include "platform/path_forms.h"

#include <windows.h>

#include <cwctype>

namespace calvorn::platform {
namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool SameLetters(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i]))
            return false;
    return true;
}

// The system takes these names as devices in any folder and with any
// extension ("C:\x\con.dll" is the console).
bool IsReservedName(std::wstring_view name) {
    name = name.substr(0, name.find_first_of(L".:"));
    while (!name.empty() && name.back() == L' ')
        name.remove_suffix(1);
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameLetters(name, device))
            return true;
    if (name.size() == 4 && name[3] >= L'1' && name[3] <= L'9')
        return SameLetters(name.substr(0, 3), L"COM") || SameLetters(name.substr(0, 3), L"LPT");
    return false;
}

} // namespace

bool NamesDeviceOrPipe(const std::wstring& path) {
    for (const wchar_t* prefix : {L"\\\\.\\", L"\\\\?\\", L"\\??\\", L"//./", L"//?/"}) {
        if (!StartsWith(path, prefix))
            continue;
        // Only a drive path or a network share behind the prefix is a file.
        std::wstring rest = path.substr(4);
        bool drive = rest.size() >= 3 && std::iswalpha(rest[0]) && rest[1] == L':' &&
                     (rest[2] == L'\\' || rest[2] == L'/');
        bool share = rest.size() > 4 && SameLetters(std::wstring_view(rest).substr(0, 4), L"UNC\\");
        if (!drive && !share)
            return true;
        break;
    }
    size_t name = path.find_last_of(L"\\/");
    return IsReservedName(
        std::wstring_view(path).substr(name == std::wstring::npos ? 0 : name + 1));
}

bool MayBeDiskFile(const std::wstring& path) {
    if (NamesDeviceOrPipe(path))
        return false;
    const DWORD attributes = Attributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD Attributes(const std::wstring& path) {
    return ::GetFileAttributesW(ExtendedPath(path).c_str());
}

UniqueFile OpenRead(const std::wstring& path, DWORD access, DWORD flags) {
    return UniqueFile(::CreateFileW(ExtendedPath(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr));
}

UniqueFind FindFiles(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
    return UniqueFind(::FindFirstFileExW(ExtendedPath(pattern).c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
}

} // namespace calvorn::platform
