#include "app/command_line.h"

#include "files/path_logic.h"

namespace calvorn::app {

std::wstring ArgumentsOf(std::wstring_view line) {
    size_t i = 0;
    if (i < line.size() && line[i] == L'"') {
        ++i;
        while (i < line.size() && line[i] != L'"')
            ++i;
        if (i < line.size())
            ++i; // the closing quote
    } else {
        while (i < line.size() && line[i] != L' ' && line[i] != L'\t')
            ++i;
    }
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
        ++i;
    return std::wstring(line.substr(i));
}

namespace {

bool IsSwitch(const std::wstring& s) {
    return s == L"-r" || s == L"-u" || s == L"-s" || s == L"-f";
}

} // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view c) {
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        size_t space = c.find(L' ', start);
        if (space == std::wstring_view::npos) {
            items.emplace_back(c.substr(start));
            break;
        }
        items.emplace_back(c.substr(start, space - start));
        start = space + 1;
    }

    size_t quote = c.find(L'"');
    if (quote == std::wstring_view::npos)
        return items;

    // Everything after the first quote except the last character of the
    // line: the text between the quotes when the line ends with the closing
    // one. A quote that is the line's last character leaves nothing to take.
    size_t after = quote + 1;
    if (after < c.size()) {
        std::wstring quoted(c.substr(after, c.size() - after - 1));
        if (IsSwitch(items[0])) {
            if (items.size() > 1)
                items[1] = std::move(quoted);
        } else {
            items[0] = std::move(quoted);
        }
    }
    items.resize(2);
    return items;
}

std::wstring ApplyPathRule(const std::wstring& path, const std::wstring& appPath) {
    if (path.empty())
        return path;
    // "C:/dir/x.dll" is as absolute as "C:\dir\x.dll"; the rest of the
    // program splits paths at "\" only.
    std::wstring plain = files::BackslashSeparators(path);
    if (files::IsAbsolutePath(plain) || plain.find(L":\\") != std::wstring::npos)
        return plain;
    return appPath + plain;
}

Command ParseCommand(std::wstring_view arguments, const std::wstring& appPath) {
    std::vector<std::wstring> items = SplitArguments(arguments);
    const std::wstring& sw = items[0];
    std::wstring second = items.size() > 1 ? items[1] : std::wstring();

    Command cmd;
    if (sw == L"-r")
        cmd = {CommandAction::Register, ApplyPathRule(second, appPath)};
    else if (sw == L"-f")
        cmd = {CommandAction::FolderReport, ApplyPathRule(second, appPath)};
    else if (sw == L"-u")
        cmd = {CommandAction::Unregister, ApplyPathRule(second, appPath)};
    else if (sw == L"-s")
        cmd = {CommandAction::InstallVerbs, {}};
    else
        cmd = {CommandAction::OpenReport, ApplyPathRule(sw, appPath)};
    return cmd;
}

} // namespace calvorn::app
