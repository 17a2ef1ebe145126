#include "files/path_logic.h"

namespace calvorn::files {

std::wstring GetPathPart(const std::wstring& path, int flags) {
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.rfind(L'\\');
    // Positions as counts of characters up to and including the separator.
    const size_t d = dot == std::wstring::npos ? 0 : dot + 1;
    const size_t s = slash == std::wstring::npos ? 0 : slash + 1;

    const std::wstring folder = path.substr(0, s);
    std::wstring name;
    std::wstring extension;
    if (d > 0 && d > s) {
        extension = path.substr(d);
        name = path.substr(s, d - s - 1);
    } else {
        name = path.substr(s);
    }

    std::wstring result;
    if (flags & ppPath)
        result += folder;
    if (flags & ppName)
        result += name;
    if (flags & ppExtension) {
        if (!result.empty())
            result += L'.';
        result += extension;
    }
    return result;
}

std::wstring StripNull(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

} // namespace calvorn::files
