#pragma once
// The stored form of a window: its controls, each a block of named
// properties, kept as text in a resource and read when the window loads.
//
//   Begin Command cmdBrowse
//      Container = "frmFile"
//      Left = 6900
//      Caption = "Browse..."
//   End
//
// Text values are quoted, with "" standing for one quote; numbers and lists
// of numbers are bare. Lines starting with ' or # are comments.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::ui {

struct LayoutProperty {
    std::wstring key;
    std::wstring value;
    bool quoted = false;
    bool operator==(const LayoutProperty&) const = default;
};

struct LayoutBlock {
    std::wstring kind;
    std::wstring name;
    std::vector<LayoutProperty> properties;
    bool operator==(const LayoutBlock&) const = default;

    // Keys compare without regard to letter case.
    const LayoutProperty* Find(std::wstring_view key) const;
    std::optional<std::wstring> Text(std::wstring_view key) const;
    std::optional<long long> Number(std::wstring_view key) const;
    long long Number(std::wstring_view key, long long fallback) const;
    void SetText(std::wstring key, std::wstring value);
    void SetNumber(std::wstring key, long long value);
};

// Lines it cannot read are skipped; a block left open at the end is kept.
std::vector<LayoutBlock> ParseLayout(std::wstring_view text);
std::wstring WriteLayout(const std::vector<LayoutBlock>& blocks);

// An RCDATA resource of the program, UTF-8 text; empty when it is missing.
std::wstring LayoutResourceText(int resourceId);

// The persisted property set of a Command button.
// One default caption serves reading and writing alike: "Command", the
// caption a new button starts with, so that every caption survives a save
// and a load unchanged.
inline constexpr const wchar_t* kDefaultButtonCaption = L"Command";

struct ButtonProperties {
    bool enabled = true;
    std::wstring caption = kDefaultButtonCaption;
    std::wstring fontFace; // empty: the container's ambient font
    std::uint8_t firstRun = 1;
    std::uint32_t fontColour = 0;
    std::int16_t visible = 1;
    bool operator==(const ButtonProperties&) const = default;
};

// Reads the keys in the order Enabled, Caption, Font, FirstRun, FontColour,
// Visible; a missing or unreadable key gives its default.
ButtonProperties ReadButtonProperties(const LayoutBlock& block, const std::wstring& ambientFace);
// Appends the keys in the order Enabled, Caption, FirstRun, Font, FontColour,
// Visible, leaving out every value equal to its default.
void WriteButtonProperties(const ButtonProperties& properties, const std::wstring& ambientFace,
                           LayoutBlock& block);

} // namespace calvorn::ui
