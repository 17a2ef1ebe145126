#include "platform/path_forms.h"

namespace calvorn::platform {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::wstring BackslashSeparators(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

std::wstring ProgramRelativePath(const std::wstring& path, const std::wstring& programFolder) {
    if (path.empty())
        return path;
    // "C:/dir/x.dll" is as absolute as "C:\dir\x.dll"; the rest of the
    // program splits paths at "\" only.
    std::wstring plain = BackslashSeparators(path);
    if (IsAbsolutePath(plain) || plain.find(L":\\") != std::wstring::npos)
        return plain;
    return programFolder + plain;
}

std::wstring FolderWithSeparator(std::wstring folder) {
    if (!folder.empty() && !IsSeparator(folder.back()))
        folder += L'\\';
    return folder;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    std::size_t skip = 0;
    while (skip < name.size() && IsSeparator(name[skip]) && !folder.empty())
        ++skip;
    return FolderWithSeparator(folder) + name.substr(skip);
}

std::wstring ExtendedForm(const std::wstring& fullPath) {
    if (StartsWith(fullPath, L"\\\\?\\") || StartsWith(fullPath, L"\\\\.\\"))
        return fullPath;
    if (StartsWith(fullPath, L"\\\\"))
        return L"\\\\?\\UNC\\" + fullPath.substr(2);
    if (fullPath.size() >= 3 && fullPath[1] == L':' && fullPath[2] == L'\\')
        return L"\\\\?\\" + fullPath;
    return fullPath;
}

std::wstring PlainForm(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (StartsWith(path, L"\\\\?\\"))
        return path.substr(4);
    return path;
}

} // namespace calvorn::platform
