#include "ui/form_layout.h"

#include "platform/text.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

namespace calvorn::ui {

namespace {

bool SameKey(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

std::wstring_view Trim(std::wstring_view s) {
    size_t first = s.find_first_not_of(L" \t\r");
    if (first == std::wstring_view::npos)
        return {};
    size_t last = s.find_last_not_of(L" \t\r");
    return s.substr(first, last - first + 1);
}

std::optional<long long> ParseNumber(std::wstring_view text) {
    std::wstring s(Trim(text));
    if (s.empty())
        return std::nullopt;
    if (SameKey(s, L"True"))
        return -1;
    if (SameKey(s, L"False"))
        return 0;
    wchar_t* end = nullptr;
    long long value = 0;
    if (s.size() > 2 && s[0] == L'&' && (s[1] == L'H' || s[1] == L'h'))
        value = static_cast<long long>(std::wcstoull(s.c_str() + 2, &end, 16));
    else
        value = std::wcstoll(s.c_str(), &end, 10);
    if (!end || *end != L'\0')
        return std::nullopt;
    return value;
}

// A quoted value: the text between the quotes, "" read as one quote.
std::optional<std::wstring> Unquote(std::wstring_view s) {
    if (s.size() < 2 || s.front() != L'"' || s.back() != L'"')
        return std::nullopt;
    std::wstring out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == L'"') {
            if (i + 2 < s.size() && s[i + 1] == L'"')
                ++i;
            else
                return std::nullopt;
        }
        out += s[i];
    }
    return out;
}

std::wstring Quote(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'"')
            out += L'"';
        out += c;
    }
    return out + L"\"";
}

} // namespace

const LayoutProperty* LayoutBlock::Find(std::wstring_view key) const {
    for (const LayoutProperty& p : properties)
        if (SameKey(p.key, key))
            return &p;
    return nullptr;
}

std::optional<std::wstring> LayoutBlock::Text(std::wstring_view key) const {
    if (const LayoutProperty* p = Find(key))
        return p->value;
    return std::nullopt;
}

std::optional<long long> LayoutBlock::Number(std::wstring_view key) const {
    if (const LayoutProperty* p = Find(key))
        return ParseNumber(p->value);
    return std::nullopt;
}

long long LayoutBlock::Number(std::wstring_view key, long long fallback) const {
    return Number(key).value_or(fallback);
}

void LayoutBlock::SetText(std::wstring key, std::wstring value) {
    properties.push_back({std::move(key), std::move(value), true});
}

void LayoutBlock::SetNumber(std::wstring key, long long value) {
    properties.push_back({std::move(key), std::to_wstring(value), false});
}

std::vector<LayoutBlock> ParseLayout(std::wstring_view text) {
    std::vector<LayoutBlock> blocks;
    bool open = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring_view::npos)
            end = text.size();
        std::wstring_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == L'\'' || line.front() == L'#')
            continue;
        if (line.size() > 6 && SameKey(line.substr(0, 6), L"Begin ")) {
            std::wstring_view rest = Trim(line.substr(6));
            size_t space = rest.find(L' ');
            LayoutBlock block;
            block.kind = std::wstring(rest.substr(0, space));
            if (space != std::wstring_view::npos)
                block.name = std::wstring(Trim(rest.substr(space)));
            blocks.push_back(std::move(block));
            open = true;
            continue;
        }
        if (SameKey(line, L"End")) {
            open = false;
            continue;
        }
        size_t eq = line.find(L'=');
        if (!open || eq == std::wstring_view::npos)
            continue;
        LayoutProperty p;
        p.key = std::wstring(Trim(line.substr(0, eq)));
        std::wstring_view value = Trim(line.substr(eq + 1));
        if (!value.empty() && value.front() == L'"') {
            auto unquoted = Unquote(value);
            if (!unquoted)
                continue;
            p.value = std::move(*unquoted);
            p.quoted = true;
        } else {
            p.value = std::wstring(value);
        }
        if (!p.key.empty())
            blocks.back().properties.push_back(std::move(p));
    }
    return blocks;
}

std::wstring WriteLayout(const std::vector<LayoutBlock>& blocks) {
    std::wstring out;
    for (const LayoutBlock& block : blocks) {
        out += L"Begin " + block.kind;
        if (!block.name.empty())
            out += L" " + block.name;
        out += L"\r\n";
        for (const LayoutProperty& p : block.properties)
            out += L"   " + p.key + L" = " + (p.quoted ? Quote(p.value) : p.value) + L"\r\n";
        out += L"End\r\n";
    }
    return out;
}

std::wstring LayoutResourceText(int resourceId) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    if (!found)
        return {};
    HGLOBAL loaded = ::LoadResource(self, found);
    DWORD size = ::SizeofResource(self, found);
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size == 0)
        return {};
    std::string_view utf8(bytes, size);
    if (utf8.starts_with("\xEF\xBB\xBF"))
        utf8.remove_prefix(3);
    return platform::Widen(utf8);
}

ButtonProperties ReadButtonProperties(const LayoutBlock& block, const std::wstring& ambientFace) {
    ButtonProperties p;
    p.enabled = block.Number(L"Enabled", -1) != 0;
    p.caption = block.Text(L"Caption").value_or(kDefaultButtonCaption);
    p.fontFace = block.Text(L"Font").value_or(ambientFace);
    p.firstRun = static_cast<std::uint8_t>(block.Number(L"FirstRun", 1));
    p.fontColour = static_cast<std::uint32_t>(block.Number(L"FontColour", 0));
    p.visible = static_cast<std::int16_t>(block.Number(L"Visible", 1));
    return p;
}

void WriteButtonProperties(const ButtonProperties& p, const std::wstring& ambientFace,
                           LayoutBlock& block) {
    if (!p.enabled)
        block.SetNumber(L"Enabled", 0);
    if (p.caption != kDefaultButtonCaption)
        block.SetText(L"Caption", p.caption);
    if (p.firstRun != 1)
        block.SetNumber(L"FirstRun", p.firstRun);
    if (!p.fontFace.empty() && p.fontFace != ambientFace)
        block.SetText(L"Font", p.fontFace);
    if (p.fontColour != 0)
        block.SetNumber(L"FontColour", p.fontColour);
    if (p.visible != 1)
        block.SetNumber(L"Visible", p.visible);
}

} // namespace calvorn::ui
