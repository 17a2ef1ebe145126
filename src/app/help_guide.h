#pragma once
// The window's help: the guide shipped beside the program, its sections (one
// per tab), and the About box's words. Free of Windows headers, so that it is
// tested natively as well.

#include <string>
#include <string_view>

namespace calvorn::app {

// The guide's file name, beside the program.
inline constexpr const wchar_t* kGuideFileName = L"guide.html";

// The guide's section of each tab, by its anchor: the guide names its
// sections by these.
inline constexpr const wchar_t* kGuideAnchorRegister = L"register";
inline constexpr const wchar_t* kGuideAnchorCompare = L"compare";
inline constexpr const wchar_t* kGuideAnchorOptions = L"options";

// The anchor of a tab's section (0 Register, 1 Comparison, 2 Options); the
// first for any other.
const wchar_t* GuideAnchorOfTab(int tab);

// "file:///C:/Program%20Files/Calvorn/guide.html#register": a file URL of
// a full path (drive or UNC), with the characters a URL reserves escaped.
std::wstring FileUrl(std::wstring_view path, std::wstring_view anchor);

struct AboutFacts {
    std::wstring version;     // "1.0.0.1"
    std::wstring settingsKey; // "HKEY_CURRENT_USER\Software\Calvorn"
    std::wstring guidePath;
    bool guideFound = false;
    bool elevated = false;
};

// The About box's text: version and build, licence, where the settings
// live, where the guide is (or was expected), and the program's rights.
std::wstring AboutText(const AboutFacts& facts);

} // namespace calvorn::app
