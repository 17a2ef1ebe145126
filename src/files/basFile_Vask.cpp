#include "files/basFile_Vask.h"

namespace calvorn::files {

std::wstring EnsureSuffix(const std::wstring& text, const std::wstring& suffix) {
    if (text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        return text;
    return text + suffix;
}

} // namespace calvorn::files
