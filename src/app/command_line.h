#pragma once
// The grammar of the program's command line, kept free of Windows headers so
// that it builds and is fuzzed natively as well.

#include "registration/export/export_formats.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::app {

// Space, tab and the line-end characters: what separates words on the
// command line, in every grammar.
bool IsBlank(wchar_t c);

// The arguments after the program name in a full process command line
// (GetCommandLineW), as the program receives them: the program name is
// skipped by the system's rules (quoted, or up to the first blank), then the
// blanks that separate it from the arguments.
std::wstring ArgumentsOf(std::wstring_view fullCommandLine);

// Splits the argument text at every blank, then applies the quote rule: the
// text after the first double quote, less the last character, replaces
// element 1 after a switch ("-r", "-u", "-s", "-f") or element 0 otherwise.
// With a quote present the list always has exactly two elements.
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

enum class CommandAction {
    Register,
    FolderReport,
    Unregister,
    InstallVerbs,
    OpenReport,
    ListOptions, // "-?", "-q -?", or (with an error) a line that cannot be carried out
    // The next three have no window: they are quiet with or without "-q".
    ScanMachine,       // "-q -scan": the machine's broken COM registrations
    Export,            // "-q -e": the registration written to a file, not to the registry
    CheckRegistration, // "-q -check": is each file's registration there, and for it
    RestoreBackup,     // "-q -restore": a repair's backup written back
};

enum class ReportFormat { Text, Csv, JsonLines };

struct Command {
    CommandAction action = CommandAction::OpenReport;
    std::wstring path; // after platform::ProgramRelativePath; unused by InstallVerbs
    // "-user" after "-r" or "-u": register for the current user only.
    bool perUser = false;
    // "-wait SECONDS" with "-r" or "-u": the bound on a component's run in
    // place of the usual 10 s; 0 when not given.
    unsigned long waitSeconds = 0;

    // Quiet mode ("-q" anywhere, in any letter case): no message box at all;
    // the outcome is told by the exit code and by lines on the standard handles.
    bool quiet = false;
    // Set when a quiet command line does not fit the grammar, a window
    // command line holds a switch it does not take (then the action is
    // ListOptions, and the line is refused as a quiet one would be: no
    // window, no box), or a "-wait" value of any command line is bad: the reason.
    std::wstring error;
    // Without quotes, a path is cut at its first blank; this is the whole
    // text it was cut from (after the path rule) when that differs.
    std::wstring wholePath;
    // Quiet "-r"/"-u"/"-check": every path or wildcard, as given (made
    // absolute against the current folder when run). Quiet "-f": the one folder.
    std::vector<std::wstring> paths;
    ReportFormat format = ReportFormat::Text;
    // "-e -format": .reg when not given.
    registration::ExportFormat exportFormat = registration::ExportFormat::Reg;
    // "-f", "-e" and "-check" "-out": empty for the usual place, "-" for standard output
    std::wstring out;
    bool subfolders = false;
    // "-sig" with "-f": each file's signature in three more columns.
    bool signature = false;
    // "-scan -fix": remove what the scan finds broken, after a backup.
    bool fix = false;
    // "-types": extensions reported besides .dll, .ocx and .exe (lower case,
    // with their dot); "all" reports every file that is a module by its
    // content, whatever its name.
    std::vector<std::wstring> extraTypes;
    bool allTypes = false;
    // "-hash md5,sha1,sha256": the digests written besides SHA-256.
    bool hashMd5 = false;
    bool hashSha1 = false;
    // "-bom": a UTF-8 byte-order mark before the CSV.
    bool byteOrderMark = false;
};

// The action that a non-empty argument text asks for.
Command ParseCommand(std::wstring_view arguments, const std::wstring& appPath);

// Takes the whole unquoted text as the path when the part before its first
// blank does not exist: "calvorn C:\Program Files\a.dll" means the file.
void TakeWholePathIfCut(Command& command, const std::function<bool(const std::wstring&)>& exists);

// A quiet command line split into its words: blanks separate words outside
// double quotes; a word that held a quote is never taken for a switch.
struct QuietWord {
    std::wstring text;
    bool quoted = false;
};
std::vector<QuietWord> SplitQuietWords(std::wstring_view arguments);

// The lines that "-q -?" prints: the quiet grammar and its options.
std::wstring QuietUsage();
// The lines before it that "-?" shows: the window's command line.
std::wstring WindowUsage();

} // namespace calvorn::app
