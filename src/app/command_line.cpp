#include "app/command_line.h"

#include "platform/path_forms.h"

#include <optional>

namespace calvorn::app {

bool IsBlank(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

std::wstring ArgumentsOf(std::wstring_view line) {
    size_t i = 0;
    if (i < line.size() && line[i] == L'"') {
        ++i;
        while (i < line.size() && line[i] != L'"')
            ++i;
        if (i < line.size())
            ++i; // the closing quote
    } else {
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
    }
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    return std::wstring(line.substr(i));
}

namespace {

bool IsSwitch(const std::wstring& s) {
    return s == L"-r" || s == L"-u" || s == L"-s" || s == L"-f";
}

size_t FindBlank(std::wstring_view text, size_t from = 0) {
    for (size_t i = from; i < text.size(); ++i)
        if (IsBlank(text[i]))
            return i;
    return std::wstring_view::npos;
}

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view c) {
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        size_t space = FindBlank(c, start);
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

std::vector<QuietWord> SplitQuietWords(std::wstring_view text) {
    std::vector<QuietWord> words;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i == text.size())
            return words;
        QuietWord word;
        bool inQuotes = false;
        // Backslashes are plain characters: a folder such as "C:\dir\" keeps
        // its last backslash and still closes its quote.
        for (; i < text.size() && (inQuotes || !IsBlank(text[i])); ++i) {
            if (text[i] == L'"') {
                inQuotes = !inQuotes;
                word.quoted = true;
            } else {
                word.text.push_back(text[i]);
            }
        }
        words.push_back(std::move(word));
    }
}

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool IsLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// A dash or a slash, then letters (or "?"), and regsvr32's ":value" after
// them: a word a script means as a switch. A path has a separator, a dot
// or a digit in it and never reads so.
bool LooksLikeSwitch(std::wstring_view word) {
    if (word.size() < 2 || (word[0] != L'-' && word[0] != L'/'))
        return false;
    if (word.substr(1) == L"?")
        return true;
    size_t i = 1;
    while (i < word.size() && IsLetter(word[i]))
        ++i;
    return i > 1 && (i == word.size() || word[i] == L':');
}

// The quiet switch may stand anywhere, in any letter case: "-r -q x.dll"
// and "-Q -r x.dll" are what they would be in a script for another tool.
bool IsQuietSwitch(const QuietWord& word) {
    return !word.quoted && Lower(word.text) == L"-q";
}

bool HasQuietSwitch(const std::vector<QuietWord>& words) {
    for (const QuietWord& word : words)
        if (IsQuietSwitch(word))
            return true;
    return false;
}

// The reason a switch-like word is refused. The registration tool's habits
// are named, with Calvorn's way of saying the same, so that a script ported
// from it fails at once and says why.
std::wstring RefusedSwitch(const std::wstring& given) {
    std::wstring name = Lower(given.substr(0, given.find(L':')));
    if (!name.empty() && name[0] == L'/')
        name[0] = L'-';
    const std::wstring said = given.substr(0, given.find(L':')) + L" is regsvr32's";
    if (name == L"-s")
        return said + L" silent switch; Calvorn's quiet switch is -q";
    if (name == L"-u")
        return said + L"; Calvorn unregisters with -u";
    if (name == L"-i" || name == L"-n")
        return said + L" DllInstall switch; Calvorn does not call DllInstall";
    if (name == L"-c")
        return said + L" console switch; Calvorn writes to the console with -q";
    if (given[0] == L'/')
        return L"unknown switch " + given + L": Calvorn's switches start with -";
    return L"unknown switch " + given;
}

constexpr unsigned long kMaxWaitSeconds = 3600;

// "-wait"'s value: whole seconds from 1 to an hour.
std::optional<unsigned long> WaitSecondsOf(std::wstring_view text) {
    unsigned long seconds = 0;
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        seconds = seconds * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (seconds == 0 || seconds > kMaxWaitSeconds)
        return std::nullopt;
    return seconds;
}

std::wstring BadWait(std::wstring_view given) {
    return L"-wait takes whole seconds from 1 to " + std::to_wstring(kMaxWaitSeconds) +
           L", not \"" + std::wstring(given) + L"\"";
}

// "-types" words: "all", or extensions parted by blanks or commas, each
// taken with its dot and in lower case. The reason when one is not a name's
// ending.
std::wstring TakeTypes(const std::wstring& given, Command& cmd) {
    if (Lower(given) == L"all") {
        cmd.allTypes = true;
        return {};
    }
    std::wstring type;
    const auto take = [&]() -> std::wstring {
        if (type.empty())
            return {};
        std::wstring ext = Lower(type[0] == L'.' ? type : L"." + type);
        type.clear();
        if (ext.size() < 2 || ext.find_first_of(L".\\/:*?\"<>|", 1) != std::wstring::npos)
            return L"-types takes extensions such as \".cpl .ax\" or all, not \"" + ext + L"\"";
        cmd.extraTypes.push_back(std::move(ext));
        return {};
    };
    for (wchar_t c : given + L" ") {
        if (IsBlank(c) || c == L',' || c == L';') {
            if (auto reason = take(); !reason.empty())
                return reason;
        } else {
            type += c;
        }
    }
    return cmd.extraTypes.empty() ? L"-types needs a value" : L"";
}

// "-hash" words: md5, sha1 and sha256 parted by commas.
std::wstring TakeHashes(const std::wstring& given, Command& cmd) {
    std::wstring name;
    for (wchar_t c : given + L",") {
        if (c != L',') {
            name += c;
            continue;
        }
        const std::wstring lower = Lower(name);
        if (lower == L"md5")
            cmd.hashMd5 = true;
        else if (lower == L"sha1")
            cmd.hashSha1 = true;
        else if (lower != L"sha256")
            return L"unknown hash \"" + name + L"\" (md5, sha1 or sha256)";
        name.clear();
    }
    return {};
}

// The grammar after "-q": one action, any number of paths, and the options of
// that action, in any order. Only unquoted words are switches.
Command ParseQuiet(const std::vector<QuietWord>& words) {
    Command cmd;
    cmd.quiet = true;
    bool haveAction = false, haveFormat = false, haveOut = false, haveWait = false;
    bool haveTypes = false, haveHash = false;
    std::wstring formatName; // read once the action is known
    auto fail = [&cmd](std::wstring reason) {
        if (cmd.error.empty())
            cmd.error = std::move(reason);
    };
    for (size_t i = 0; i < words.size(); ++i) {
        const QuietWord& word = words[i];
        if (IsQuietSwitch(word))
            continue;
        // regsvr32's "/i:"..."" keeps its quoted value in the same word.
        if ((!word.quoted && word.text.rfind(L"/", 0) == 0 && LooksLikeSwitch(word.text)) ||
            Lower(word.text.substr(0, 3)) == L"/i:") {
            fail(RefusedSwitch(word.text));
            continue;
        }
        if (word.quoted || word.text.empty() || word.text[0] != L'-') {
            if (word.text.empty())
                fail(L"empty path");
            cmd.paths.push_back(word.text);
            continue;
        }
        const std::wstring w = Lower(word.text);
        auto value = [&](const wchar_t* option) -> std::optional<std::wstring> {
            if (i + 1 < words.size() &&
                (words[i + 1].quoted || words[i + 1].text.rfind(L"-", 0) != 0 ||
                 words[i + 1].text == L"-"))
                return words[++i].text;
            fail(std::wstring(option) + L" needs a value");
            return std::nullopt;
        };
        CommandAction action;
        if (w == L"-r")
            action = CommandAction::Register;
        else if (w == L"-u")
            action = CommandAction::Unregister;
        else if (w == L"-f")
            action = CommandAction::FolderReport;
        else if (w == L"-s")
            action = CommandAction::InstallVerbs;
        else if (w == L"-check")
            action = CommandAction::CheckRegistration;
        else if (w == L"-?")
            action = CommandAction::ListOptions;
        else if (w == L"-scan")
            action = CommandAction::ScanMachine;
        else if (w == L"-e")
            action = CommandAction::Export;
        else if (w == L"-restore")
            action = CommandAction::RestoreBackup;
        else if (w == L"-fix") {
            cmd.fix = true;
            continue;
        } else if (w == L"-user") {
            cmd.perUser = true;
            continue;
        } else if (w == L"-sub") {
            cmd.subfolders = true;
            continue;
        } else if (w == L"-sig") {
            cmd.signature = true;
            continue;
        } else if (w == L"-wait") {
            if (haveWait)
                fail(L"-wait given twice");
            haveWait = true;
            if (auto given = value(L"-wait")) {
                if (auto seconds = WaitSecondsOf(*given))
                    cmd.waitSeconds = *seconds;
                else
                    fail(BadWait(*given));
            }
            continue;
        } else if (w == L"-format") {
            if (haveFormat)
                fail(L"-format given twice");
            haveFormat = true;
            if (auto name = value(L"-format"))
                formatName = *name;
            continue;
        } else if (w == L"-types" || w == L"-hash") {
            bool& have = w == L"-types" ? haveTypes : haveHash;
            if (have)
                fail(w + L" given twice");
            have = true;
            if (auto given = value(w.c_str()))
                fail(w == L"-types" ? TakeTypes(*given, cmd) : TakeHashes(*given, cmd));
            continue;
        } else if (w == L"-bom") {
            cmd.byteOrderMark = true;
            continue;
        } else if (w == L"-out") {
            if (haveOut)
                fail(L"-out given twice");
            haveOut = true;
            if (auto out = value(L"-out")) {
                if (out->empty())
                    fail(L"-out needs a value");
                cmd.out = *out;
            }
            continue;
        } else {
            fail(RefusedSwitch(word.text));
            continue;
        }
        if (haveAction)
            fail(L"more than one action");
        haveAction = true;
        cmd.action = action;
    }

    if (!haveAction) {
        fail(L"no action: -r, -u, -e, -f, -check, -scan, -s or -?");
        return cmd;
    }
    const bool exporting = cmd.action == CommandAction::Export;
    const bool registration = cmd.action == CommandAction::Register ||
                              cmd.action == CommandAction::Unregister || exporting;
    const bool report = cmd.action == CommandAction::FolderReport;
    const bool scan = cmd.action == CommandAction::ScanMachine;
    const bool check = cmd.action == CommandAction::CheckRegistration;
    const bool restore = cmd.action == CommandAction::RestoreBackup;
    if (cmd.perUser && !registration)
        fail(L"-user goes with -r, -u or -e");
    if (haveWait && !registration)
        fail(L"-wait goes with -r, -u or -e");
    if ((haveFormat || haveOut) && !report && !scan && !exporting && !check)
        fail(L"-format and -out go with -f, -scan, -e or -check");
    if ((cmd.subfolders || haveTypes || haveHash || cmd.byteOrderMark) && !report)
        fail(L"-sub, -types, -hash and -bom go with -f");
    if (cmd.fix && !scan)
        fail(L"-fix goes with -scan");
    if (haveFormat && (report || scan || check)) {
        const std::wstring lower = Lower(formatName);
        if (lower == L"text")
            cmd.format = ReportFormat::Text;
        else if (lower == L"csv")
            cmd.format = ReportFormat::Csv;
        else if (lower == L"jsonl")
            cmd.format = ReportFormat::JsonLines;
        else
            fail(L"unknown format \"" + formatName + L"\" (text, csv or jsonl)");
    }
    if (haveFormat && exporting) {
        using registration::ExportFormat;
        const std::wstring lower = Lower(formatName);
        if (lower == L"reg")
            cmd.exportFormat = ExportFormat::Reg;
        else if (lower == L"wxs")
            cmd.exportFormat = ExportFormat::Wxs;
        else if (lower == L"wxs3")
            cmd.exportFormat = ExportFormat::Wxs3;
        else if (lower == L"manifest")
            cmd.exportFormat = ExportFormat::Manifest;
        else if (lower == L"json" || lower == L"jsonl")
            cmd.exportFormat = ExportFormat::Json;
        else
            fail(L"unknown format \"" + formatName + L"\" (reg, wxs, wxs3, manifest or json)");
    }
    if (haveHash && cmd.format == ReportFormat::Text)
        fail(L"-hash goes with -format csv or jsonl");
    if (cmd.byteOrderMark && cmd.format != ReportFormat::Csv)
        fail(L"-bom goes with -format csv");
    if ((registration || check) && cmd.paths.empty())
        fail(L"no file given");
    if (cmd.signature && (!report || cmd.format == ReportFormat::Text))
        fail(L"-sig goes with -f and -format csv or jsonl");
    if (report && cmd.paths.size() != 1)
        fail(L"-f takes one folder");
    if (restore && cmd.paths.size() != 1)
        fail(L"-restore takes one backup file");
    if (!registration && !report && !check && !restore && !cmd.paths.empty())
        fail(L"unexpected path " + cmd.paths.front());
    if ((report || restore) && cmd.paths.size() == 1)
        cmd.path = cmd.paths.front();
    return cmd;
}

// "-r -user ..." and "-u -user ...": the same line without the option, and
// whether it was there. Without quiet mode nothing else changes.
bool TakePerUser(std::wstring_view& arguments, std::wstring& rest) {
    if (arguments.size() < 8 ||
        (arguments.rfind(L"-r", 0) != 0 && arguments.rfind(L"-u", 0) != 0) ||
        !IsBlank(arguments[2]) || arguments.substr(3, 5) != L"-user")
        return false;
    std::wstring_view after = arguments.substr(8);
    if (!after.empty() && !IsBlank(after[0]))
        return false;
    rest = std::wstring(arguments.substr(0, 2)) + std::wstring(after);
    arguments = rest;
    return true;
}

// "-r ... -wait N" and "-r -wait N ..." (and "-u"): the line without the
// option, and its value. Only at the end or right after the switch, so a
// path that holds " -wait " stays whole.
std::optional<std::wstring> TakeWait(std::wstring_view& arguments, std::wstring& rest) {
    if (arguments.rfind(L"-r ", 0) != 0 && arguments.rfind(L"-u ", 0) != 0)
        return std::nullopt;
    if (arguments.substr(2).rfind(L" -wait ", 0) == 0) {
        std::wstring_view after = arguments.substr(9);
        const size_t end = after.find(L' ');
        std::wstring value(after.substr(0, end));
        rest = std::wstring(arguments.substr(0, 2)) +
               (end == std::wstring_view::npos ? std::wstring() : std::wstring(after.substr(end)));
        arguments = rest;
        return value;
    }
    const size_t at = arguments.rfind(L" -wait ");
    if (at == std::wstring_view::npos || at < 2)
        return std::nullopt;
    std::wstring_view value = arguments.substr(at + 7);
    if (value.find(L' ') != std::wstring_view::npos || value.find(L'"') != std::wstring_view::npos)
        return std::nullopt;
    rest = std::wstring(arguments.substr(0, at));
    arguments = rest;
    return std::wstring(value);
}

} // namespace

namespace {

// The first word of a line that starts with a switch, up to a blank; empty when the line starts
// with a path. A word after a slash is a path unless it reads as a switch ("/dir/a.dll" is one,
// "/s" is not).
std::wstring LeadingSwitch(std::wstring_view arguments) {
    size_t end = 0;
    while (end < arguments.size() && !IsBlank(arguments[end]))
        ++end;
    std::wstring word(arguments.substr(0, end));
    if (word.empty() || (word[0] == L'/' && !LooksLikeSwitch(word)) ||
        (word[0] != L'-' && word[0] != L'/'))
        return {};
    return word;
}

// What the quiet grammar makes of the word alone: an action, an option of
// its own, or a switch it refuses. Asked of it, so that a switch it learns
// is known here too.
bool IsQuietAction(const std::wstring& word) {
    return ParseQuiet({QuietWord{word, false}}).action != CommandAction::OpenReport;
}

bool IsCalvornSwitch(const std::wstring& word) {
    return ParseQuiet({QuietWord{word, false}}).error != RefusedSwitch(word);
}

// A line the program cannot carry out as given: refused with its reason,
// never read as a report of a file named after the switch.
Command Refused(std::wstring reason) {
    Command cmd;
    cmd.action = CommandAction::ListOptions;
    cmd.error = std::move(reason);
    return cmd;
}

// Without -q a line is one switch, the options that switch takes, and one
// path; a switch-like word anywhere else would be silently taken as part of
// the path or dropped. The reason, or empty.
std::wstring StraySwitch(std::wstring_view arguments, bool startsWithSwitch) {
    const std::vector<QuietWord> words = SplitQuietWords(arguments);
    for (size_t i = startsWithSwitch ? 1 : 0; i < words.size(); ++i) {
        const QuietWord& word = words[i];
        if (word.quoted || !LooksLikeSwitch(word.text))
            continue;
        // "-s" after the switch is the registration tool's silent switch.
        if (Lower(word.text) != L"-s" && IsCalvornSwitch(word.text))
            return word.text +
                   L" does not go here: without -q a line is one switch and one file, with -user "
                   L"right after -r or -u and -wait after the switch or at the end";
        return RefusedSwitch(word.text);
    }
    return {};
}

} // namespace

Command ParseCommand(std::wstring_view given, const std::wstring& appPath) {
    const std::vector<QuietWord> words = SplitQuietWords(given);
    if (HasQuietSwitch(words))
        return ParseQuiet(words);
    const std::wstring leading = LeadingSwitch(given);
    std::wstring action = Lower(leading);
    if (action == L"/?")
        action = L"-?";
    const bool windowAction =
        action == L"-r" || action == L"-u" || action == L"-f" || action == L"-s" || action == L"-?";
    if (!leading.empty() && !windowAction) {
        // The actions that only a script has (-e, -check, -scan) run as
        // one, without the window.
        if (IsQuietAction(leading))
            return ParseQuiet(words);
        if (IsCalvornSwitch(leading))
            return Refused(leading + L" goes after the action, or anywhere after -q");
        return Refused(RefusedSwitch(leading));
    }
    // Switches in any letter case, as the platform's own tools take them.
    const std::wstring normalized = action + std::wstring(given.substr(leading.size()));
    std::wstring_view arguments = normalized;

    std::wstring withoutWait, withoutUser;
    const std::optional<std::wstring> wait = TakeWait(arguments, withoutWait);
    const bool perUser = TakePerUser(arguments, withoutUser);
    std::vector<std::wstring> items = SplitArguments(arguments);
    const std::wstring& sw = items[0];
    std::wstring second = items.size() > 1 ? items[1] : std::wstring();
    const bool quoted = arguments.find(L'"') != std::wstring_view::npos;
    // An unquoted path with blanks was cut at its first blank; the whole text
    // is kept for when that first part names nothing.
    auto keepWhole = [&](Command& cmd, std::wstring_view text) {
        if (quoted)
            return;
        std::wstring whole = platform::ProgramRelativePath(std::wstring(Trimmed(text)), appPath);
        if (whole != cmd.path)
            cmd.wholePath = std::move(whole);
    };

    if (std::wstring stray = StraySwitch(arguments, !leading.empty()); !stray.empty())
        return Refused(std::move(stray));
    if (action == L"-s" && !Trimmed(arguments.substr(2)).empty())
        return Refused(L"-s installs the Explorer verbs and takes no file; regsvr32's /s is "
                       L"Calvorn's -q");

    Command cmd;
    if (sw == L"-r" || sw == L"-f" || sw == L"-u") {
        cmd.action = sw == L"-r"   ? CommandAction::Register
                     : sw == L"-f" ? CommandAction::FolderReport
                                   : CommandAction::Unregister;
        cmd.path = platform::ProgramRelativePath(second, appPath);
        keepWhole(cmd, arguments.substr(2));
    } else if (sw == L"-s") {
        cmd.action = CommandAction::InstallVerbs;
    } else if (action == L"-?") {
        cmd.action = CommandAction::ListOptions;
    } else {
        cmd.action = CommandAction::OpenReport;
        cmd.path = platform::ProgramRelativePath(sw, appPath);
        keepWhole(cmd, arguments);
    }
    cmd.perUser = perUser;
    if (wait) {
        if (auto seconds = WaitSecondsOf(*wait))
            cmd.waitSeconds = *seconds;
        else
            cmd.error = BadWait(*wait);
    }
    return cmd;
}

void TakeWholePathIfCut(Command& command, const std::function<bool(const std::wstring&)>& exists) {
    if (!command.wholePath.empty() && !exists(command.path))
        command.path = command.wholePath;
}

} // namespace calvorn::app
