#pragma once
// Sets system colours and the high-contrast flag for one test, as a user
// choosing a scheme does (every top-level window is told), and puts back
// what was there when it ends.

#include <windows.h>

#include <utility>
#include <vector>

namespace calvorn::test {

class ScopedSystemColours {
  public:
    using Colours = std::vector<std::pair<int, COLORREF>>;
    explicit ScopedSystemColours(const Colours& colours) {
        std::vector<COLORREF> values;
        for (auto [index, colour] : colours) {
            indices_.push_back(index);
            saved_.push_back(::GetSysColor(index));
            values.push_back(colour);
        }
        ::SetSysColors(static_cast<int>(indices_.size()), indices_.data(), values.data());
    }
    ~ScopedSystemColours() {
        ::SetSysColors(static_cast<int>(indices_.size()), indices_.data(), saved_.data());
    }
    ScopedSystemColours(const ScopedSystemColours&) = delete;
    ScopedSystemColours& operator=(const ScopedSystemColours&) = delete;

  private:
    std::vector<int> indices_;
    std::vector<COLORREF> saved_;
};

// A dark high-contrast scheme: white text on black, yellow-on-blue
// selection, grey for what is unavailable.
inline ScopedSystemColours::Colours DarkHighContrastColours() {
    return {
        {COLOR_BTNFACE, RGB(0, 0, 0)},
        {COLOR_BTNTEXT, RGB(255, 255, 255)},
        {COLOR_WINDOW, RGB(0, 0, 0)},
        {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
        {COLOR_HIGHLIGHT, RGB(26, 235, 255)},
        {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
        {COLOR_GRAYTEXT, RGB(63, 242, 63)},
        {COLOR_BACKGROUND, RGB(0, 0, 0)},
        {COLOR_3DLIGHT, RGB(255, 255, 255)},
        {COLOR_3DHILIGHT, RGB(255, 255, 255)},
        {COLOR_3DSHADOW, RGB(255, 255, 255)},
        {COLOR_3DDKSHADOW, RGB(255, 255, 255)},
        {COLOR_WINDOWFRAME, RGB(255, 255, 255)},
        {COLOR_INFOBK, RGB(0, 0, 0)},
        {COLOR_INFOTEXT, RGB(255, 255, 255)},
    };
}

} // namespace calvorn::test
