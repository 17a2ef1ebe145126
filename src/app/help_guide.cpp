#include "app/help_guide.h"

namespace calvorn::app {

const wchar_t* GuideAnchorOfTab(int tab) {
    switch (tab) {
    case 1:
        return kGuideAnchorCompare;
    case 2:
        return kGuideAnchorOptions;
    default:
        return kGuideAnchorRegister;
    }
}

std::wstring FileUrl(std::wstring_view path, std::wstring_view anchor) {
    std::wstring url = L"file:";
    // "\\server\share\x" is file://server/share/x; "C:\x" is file:///C:/x.
    const bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    url += unc ? L"" : L"///";
    for (wchar_t c : path) {
        switch (c) {
        case L'\\':
            url += L'/';
            break;
        case L' ':
            url += L"%20";
            break;
        case L'#':
            url += L"%23";
            break;
        case L'%':
            url += L"%25";
            break;
        case L'?':
            url += L"%3F";
            break;
        default:
            url += c;
        }
    }
    if (!anchor.empty())
        url += L"#" + std::wstring(anchor);
    return url;
}

std::wstring AboutText(const AboutFacts& facts) {
    std::wstring text = L"Calvorn " + facts.version +
                        L"\nRegisters, inspects and compares COM components.\n\n"
                        L"Licence: MIT. Copyright (c) 2026 The Calvorn developers.\n\n"
                        L"Settings: " +
                        facts.settingsKey + L"\n\nGuide: ";
    if (facts.guideFound)
        text += facts.guidePath + L" (F1 opens it at the open tab's section)";
    else
        text += L"not found; it was expected at " + facts.guidePath;
    text += facts.elevated
                ? L"\n\nRuns with the administrator's rights."
                : L"\n\nRuns without the administrator's rights: the actions marked with the "
                  L"shield ask for them.";
    return text;
}

} // namespace calvorn::app
