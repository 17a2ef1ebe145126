#include "registry/verb_command.h"

#include <cwctype>

namespace calvorn::registry {

namespace {

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

std::wstring_view TrimLeft(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
        text.remove_prefix(1);
    return text;
}

std::wstring_view Unquoted(std::wstring_view program) {
    if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"')
        program = program.substr(1, program.size() - 2);
    return program;
}

// The program path as a command holds it: in quotes, every "%" doubled.
std::wstring QuotedProgram(std::wstring_view program) {
    std::wstring quoted = L"\"";
    for (wchar_t c : Unquoted(program)) {
        quoted.push_back(c);
        if (c == L'%')
            quoted.push_back(L'%');
    }
    quoted.push_back(L'"');
    return quoted;
}

const ExplorerVerb kFileTypeVerbs[] = {
    {L"Register", L"-r \"%1\""}, {L"UnRegister", L"-u \"%1\""}, {L"Calvorn", L"\"%1\""}};
const ExplorerVerb kFolderVerbs[] = {{L"ActiveX Report", L"-f \"%1\""}};
const VerbAssociation kAssociations[] = {{L".dll", true, kFileTypeVerbs},
                                         {L".exe", true, kFileTypeVerbs},
                                         {L".ocx", true, kFileTypeVerbs},
                                         {L"Folder", false, kFolderVerbs}};

// Where an unquoted program path ends: after the first ".exe" that ends a
// name. An unquoted path may hold spaces, so the blank is no guide.
std::size_t UnquotedProgramEnd(std::wstring_view command) {
    for (std::size_t at = 0; at + 4 <= command.size(); ++at) {
        const std::size_t end = at + 4;
        if (SameText(command.substr(at, 4), L".exe") &&
            (end == command.size() || command[end] == L' ' || command[end] == L'\t'))
            return end;
    }
    return std::wstring_view::npos;
}

} // namespace

std::span<const VerbAssociation> VerbAssociations() {
    return kAssociations;
}

bool IsFolderAssociation(std::wstring_view association) {
    return SameText(association, L"Folder");
}

std::span<const ExplorerVerb> VerbsOf(std::wstring_view association) {
    return IsFolderAssociation(association) ? std::span<const ExplorerVerb>(kFolderVerbs)
                                            : std::span<const ExplorerVerb>(kFileTypeVerbs);
}

std::wstring VerbCommand(std::wstring_view program, std::wstring_view arguments) {
    std::wstring command = QuotedProgram(program);
    command += L' ';
    command += arguments;
    return command;
}

bool StartsProgram(std::wstring_view command, std::wstring_view program) {
    const std::wstring quoted = QuotedProgram(program);
    command = TrimLeft(command);
    return command.size() >= quoted.size() && SameText(command.substr(0, quoted.size()), quoted);
}

bool IsOurCommand(std::wstring_view command, std::wstring_view arguments) {
    command = TrimLeft(command);
    std::wstring_view program;
    std::wstring_view rest;
    if (!command.empty() && command.front() == L'"') {
        const std::size_t close = command.find(L'"', 1);
        if (close == std::wstring_view::npos)
            return false;
        program = command.substr(1, close - 1);
        rest = command.substr(close + 1);
    } else {
        const std::size_t end = UnquotedProgramEnd(command);
        if (end == std::wstring_view::npos)
            return false;
        program = command.substr(0, end);
        rest = command.substr(end);
    }
    const std::size_t slash = program.find_last_of(L"\\/");
    const std::wstring_view name =
        slash == std::wstring_view::npos ? program : program.substr(slash + 1);
    if (!SameText(name, L"calvorn.exe") && !SameText(name, L"calvorn64.exe"))
        return false;
    rest = TrimLeft(rest);
    while (!rest.empty() && (rest.back() == L' ' || rest.back() == L'\t'))
        rest.remove_suffix(1);
    return SameText(rest, arguments);
}

} // namespace calvorn::registry
