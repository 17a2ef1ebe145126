#include "app/command_line.h"
#include "app/exit_codes.h"
#include "platform/path_forms.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace calvorn::app;
using calvorn::platform::ProgramRelativePath;

namespace {
const std::wstring kApp = L"C:\\Tools\\Calvorn\\";
}

TEST(ArgumentsOf, SkipsTheProgramNameQuotedOrNot) {
    EXPECT_EQ(ArgumentsOf(LR"("C:\Program Files\calvorn.exe" -r "C:\a b.dll")"),
              LR"(-r "C:\a b.dll")");
    EXPECT_EQ(ArgumentsOf(L"calvorn.exe -s"), L"-s");
    EXPECT_EQ(ArgumentsOf(L"calvorn.exe"), L"");
    EXPECT_EQ(ArgumentsOf(L"\"calvorn.exe\"   x "), L"x ");
}

TEST(SplitArguments, QuotedPathAfterSwitchKeepsItsSpaces) {
    auto items = SplitArguments(LR"(-r "C:\My Files\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-r");
    EXPECT_EQ(items[1], LR"(C:\My Files\a.dll)");
}

TEST(SplitArguments, UnquotedPathIsCutAtTheFirstSpace) {
    auto items = SplitArguments(LR"(-r C:\My Files\a.dll)");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1], LR"(C:\My)");
}

TEST(SplitArguments, TextAfterTheClosingQuoteStaysInThePath) {
    auto items = SplitArguments(LR"(-r "C:\a.dll" x)");
    EXPECT_EQ(items[1], LR"(C:\a.dll" )");
}

TEST(SplitArguments, TwoSpacesBeforeTheQuotedPath) {
    auto items = SplitArguments(LR"(-u  "C:\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-u");
    EXPECT_EQ(items[1], LR"(C:\a.dll)");
}

TEST(SplitArguments, OnlyQuoteIsTheLastCharacter) {
    auto items = SplitArguments(L"-r a b\"");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-r");
    EXPECT_EQ(items[1], L"a");
}

TEST(SplitArguments, QuotedPathAloneBecomesElementZero) {
    auto items = SplitArguments(LR"("C:\x y\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], LR"(C:\x y\a.dll)");
    // The second split element stays; only a switch takes the quoted text there.
    EXPECT_EQ(items[1], LR"(y\a.dll")");
}

TEST(ProgramRelativePath, RelativeNamesGetTheProgramFolderAbsoluteOnesDoNot) {
    EXPECT_EQ(ProgramRelativePath(L"a.dll", kApp), kApp + L"a.dll");
    EXPECT_EQ(ProgramRelativePath(L"C:\\x\\a.dll", kApp), L"C:\\x\\a.dll");
    EXPECT_EQ(ProgramRelativePath(L"\\\\server\\share\\a.dll", kApp), L"\\\\server\\share\\a.dll");
    EXPECT_EQ(ProgramRelativePath(L"", kApp), L"");
    // Forward slashes are separators too, and come back as backslashes.
    EXPECT_EQ(ProgramRelativePath(L"C:/dir/x.dll", kApp), L"C:\\dir\\x.dll");
    EXPECT_EQ(ProgramRelativePath(L"c:/x.dll", kApp), L"c:\\x.dll");
    EXPECT_EQ(ProgramRelativePath(L"//server/share/a.dll", kApp), L"\\\\server\\share\\a.dll");
    EXPECT_EQ(ProgramRelativePath(L"sub/a.dll", kApp), kApp + L"sub\\a.dll");
}

// The path forms every part of the program builds its paths with.
TEST(PathForms, JoiningAndTheExtendedFormRoundTrip) {
    using namespace calvorn::platform;
    struct Join {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined;
    } joins[] = {{L"C:\\x", L"a.dll", L"C:\\x\\a.dll"},
                 {L"C:\\x\\", L"a.dll", L"C:\\x\\a.dll"},
                 {L"C:\\x/", L"a.dll", L"C:\\x/a.dll"},
                 {L"C:\\x", L"\\a.dll", L"C:\\x\\a.dll"},
                 {L"", L"a.dll", L"a.dll"},
                 {L"", L"\\a.dll", L"\\a.dll"},
                 {L"\\\\s\\h", L"a.dll", L"\\\\s\\h\\a.dll"}};
    for (const Join& j : joins)
        EXPECT_EQ(JoinPath(j.folder, j.name), j.joined) << j.folder << L" + " << j.name;
    EXPECT_EQ(FolderWithSeparator(L""), L"");
    EXPECT_EQ(FolderWithSeparator(L"C:"), L"C:\\");

    struct Form {
        const wchar_t* plain;
        const wchar_t* extended;
    } forms[] = {{L"C:\\x\\a.dll", L"\\\\?\\C:\\x\\a.dll"},
                 {L"\\\\s\\h\\a.dll", L"\\\\?\\UNC\\s\\h\\a.dll"}};
    for (const Form& f : forms) {
        EXPECT_EQ(ExtendedForm(f.plain), f.extended);
        EXPECT_EQ(ExtendedForm(f.extended), f.extended) << "never twice";
        EXPECT_EQ(PlainForm(f.extended), f.plain);
    }
    // Neither a device nor a relative name has an extended form.
    for (const wchar_t* unchanged : {L"\\\\.\\pipe\\x", L"a.dll", L"sub\\a.dll", L"C:a.dll"}) {
        EXPECT_EQ(ExtendedForm(unchanged), unchanged);
        EXPECT_EQ(PlainForm(unchanged), unchanged);
    }
}

TEST(ParseCommand, SwitchesAreExactInAnyLetterCase) {
    EXPECT_EQ(ParseCommand(LR"(-r "C:\a.dll")", kApp).action, CommandAction::Register);
    EXPECT_EQ(ParseCommand(LR"(-u "C:\a.dll")", kApp).action, CommandAction::Unregister);
    EXPECT_EQ(ParseCommand(LR"(-f "C:\dir")", kApp).action, CommandAction::FolderReport);
    EXPECT_EQ(ParseCommand(L"-s", kApp).action, CommandAction::InstallVerbs);
    // Once a report of the quoted file, which opened the window for a script.
    Command upper = ParseCommand(LR"(-R "C:\a.dll")", kApp);
    EXPECT_EQ(upper.action, CommandAction::Register);
    EXPECT_EQ(upper.path, L"C:\\a.dll");
    EXPECT_EQ(ParseCommand(L"-U -user C:\\a.dll", kApp).perUser, true);
    EXPECT_EQ(ParseCommand(L"-S", kApp).action, CommandAction::InstallVerbs);
}

TEST(ParseCommand, SwitchAloneHasAnEmptyPath) {
    Command cmd = ParseCommand(L"-r", kApp);
    EXPECT_EQ(cmd.action, CommandAction::Register);
    EXPECT_EQ(cmd.path, L"");
}

TEST(ParseCommand, NonAsciiPathsSurvive) {
    Command cmd = ParseCommand(L"-r \"C:\\Пример\\コンポ.dll\"", kApp);
    EXPECT_EQ(cmd.path, L"C:\\Пример\\コンポ.dll");
}

TEST(ParseCommand, UserOptionWithoutQuietKeepsTheQuotedPath) {
    Command cmd = ParseCommand(LR"(-r -user "C:\My Files\a.dll")", kApp);
    EXPECT_EQ(cmd.action, CommandAction::Register);
    EXPECT_TRUE(cmd.perUser);
    EXPECT_FALSE(cmd.quiet);
    EXPECT_EQ(cmd.path, LR"(C:\My Files\a.dll)");
    EXPECT_TRUE(ParseCommand(L"-u -user rel.dll", kApp).perUser);
    EXPECT_EQ(ParseCommand(L"-u -user rel.dll", kApp).path, kApp + L"rel.dll");
    // Anywhere else it is what it was: part of a path.
    EXPECT_FALSE(ParseCommand(LR"(-f -user "C:\dir")", kApp).perUser);
    EXPECT_FALSE(ParseCommand(LR"(-r -users "C:\a.dll")", kApp).perUser);
}

TEST(SplitQuietWords, QuotesGroupAndBackslashesStayPlain) {
    auto words = SplitQuietWords(LR"(-q  -f "C:\my dir\" -out	- "-x")");
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[2].text, LR"(C:\my dir\)");
    EXPECT_TRUE(words[2].quoted);
    EXPECT_EQ(words[4].text, L"-");
    EXPECT_FALSE(words[4].quoted);
    EXPECT_EQ(words[5].text, L"-x");
    EXPECT_TRUE(words[5].quoted);
    EXPECT_TRUE(SplitQuietWords(L"  ").empty());
    EXPECT_EQ(SplitQuietWords(LR"("a b)").front().text,
              L"a b"); // an unclosed quote runs to the end
}

TEST(ParseQuiet, ManyPathsAndWildcardsWithTheirOptions) {
    Command cmd = ParseCommand(LR"(-q -r "C:\a b.dll" rel.ocx "C:\App\*.ocx" -user)", kApp);
    EXPECT_TRUE(cmd.quiet);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::Register);
    EXPECT_TRUE(cmd.perUser);
    // Relative paths are left for the current folder, not the program's.
    EXPECT_EQ(cmd.paths,
              (std::vector<std::wstring>{LR"(C:\a b.dll)", L"rel.ocx", LR"(C:\App\*.ocx)"}));

    cmd = ParseCommand(LR"(-q -f "C:\dir" -format JSONL -out - -sub)", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::FolderReport);
    EXPECT_EQ(cmd.path, LR"(C:\dir)");
    EXPECT_EQ(cmd.format, ReportFormat::JsonLines);
    EXPECT_EQ(cmd.out, L"-");
    EXPECT_TRUE(cmd.subfolders);
    EXPECT_FALSE(cmd.signature);
    EXPECT_TRUE(ParseCommand(LR"(-q -sig -f "C:\dir" -format csv)", kApp).signature);

    cmd = ParseCommand(LR"(-q -out "C:\r.csv" -format csv -f "C:\dir")", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.out, LR"(C:\r.csv)");
    EXPECT_FALSE(cmd.allTypes || cmd.hashMd5 || cmd.hashSha1 || cmd.byteOrderMark);
    EXPECT_TRUE(cmd.extraTypes.empty());

    cmd = ParseCommand(LR"(-q -f "C:\dir" -format csv -types ".CPL ax,.drv" -hash sha256,MD5 -bom)",
                       kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.extraTypes, (std::vector<std::wstring>{L".cpl", L".ax", L".drv"}));
    EXPECT_TRUE(cmd.hashMd5 && !cmd.hashSha1 && cmd.byteOrderMark && !cmd.allTypes);
    cmd = ParseCommand(LR"(-q -f "C:\dir" -types ALL -format jsonl -hash sha1)", kApp);
    EXPECT_TRUE(cmd.allTypes && cmd.hashSha1 && !cmd.hashMd5);
    EXPECT_EQ(ParseCommand(L"-q -s", kApp).action, CommandAction::InstallVerbs);

    cmd = ParseCommand(LR"(-q -fix -scan -format csv -out "C:\s.csv")", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::ScanMachine);
    EXPECT_TRUE(cmd.fix);
    EXPECT_EQ(cmd.format, ReportFormat::Csv);
    EXPECT_FALSE(ParseCommand(L"-q -scan", kApp).fix);
    cmd = ParseCommand(LR"(-q -restore "C:\b\calvorn-backup-1.reg")", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::RestoreBackup);
    EXPECT_EQ(cmd.path, LR"(C:\b\calvorn-backup-1.reg)");
    EXPECT_EQ(ParseCommand(L"-q -?", kApp).action, CommandAction::ListOptions);
    // A quoted word is a path even when it looks like a switch.
    EXPECT_EQ(ParseCommand(LR"(-q -u "-s")", kApp).paths.front(), L"-s");

    cmd = ParseCommand(LR"(-q -check "C:\a.dll" b.ocx -format csv -out "C:\r.csv")", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::CheckRegistration);
    EXPECT_EQ(cmd.paths, (std::vector<std::wstring>{LR"(C:\a.dll)", L"b.ocx"}));
    EXPECT_EQ(cmd.format, ReportFormat::Csv);
    EXPECT_EQ(cmd.out, LR"(C:\r.csv)");

    using calvorn::registration::ExportFormat;
    cmd = ParseCommand(LR"(-q -e "C:\a.dll" *.ocx -user -wait 5)", kApp);
    EXPECT_EQ(cmd.error, L"");
    EXPECT_EQ(cmd.action, CommandAction::Export);
    EXPECT_EQ(cmd.exportFormat, ExportFormat::Reg);
    EXPECT_TRUE(cmd.perUser);
    EXPECT_EQ(cmd.paths.size(), 2u);
    for (const auto& [name, format] : {std::pair{L"REG", ExportFormat::Reg},
                                       {L"wxs", ExportFormat::Wxs},
                                       {L"wxs3", ExportFormat::Wxs3},
                                       {L"manifest", ExportFormat::Manifest},
                                       {L"json", ExportFormat::Json}}) {
        cmd = ParseCommand(L"-q -e a.dll -out - -format " + std::wstring(name), kApp);
        EXPECT_EQ(cmd.error, L"") << name;
        EXPECT_EQ(cmd.exportFormat, format) << name;
        EXPECT_EQ(cmd.out, L"-");
    }
}

TEST(ParseQuiet, WhatDoesNotFitIsABadArgument) {
    for (const wchar_t* line : {L"-q",
                                L"-q -r",
                                L"-q \"C:\\a.dll\"",
                                L"-q -r -u \"a.dll\"",
                                L"-q -r \"a.dll\" -x",
                                L"-q -f",
                                L"-q -f \"a\" \"b\"",
                                L"-q -f \"a\" -format xml",
                                L"-q -f \"a\" -out",
                                L"-q -f \"a\" -format",
                                L"-q -r \"a.dll\" -sub",
                                L"-q -f \"a\" -user",
                                L"-q -s \"a\"",
                                L"-q -r \"a.dll\" -format csv",
                                L"-q -f \"a\" -out x -out y",
                                L"-q -r \"\"",
                                L"-q -r a.dll -wait",
                                L"-q -r a.dll -wait 0",
                                L"-q -r a.dll -wait 3601",
                                L"-q -r a.dll -wait 1.5",
                                L"-q -r a.dll -wait 5 -wait 5",
                                L"-q -f \"a\" -wait 5",
                                L"-q -f \"a\" -sig",
                                L"-q -f \"a\" -format text -sig",
                                L"-q -r \"a.dll\" -sig",
                                L"-q -scan \"a\"",
                                L"-q -scan -sub",
                                L"-q -f \"a\" -fix",
                                L"-q -fix",
                                L"-q -restore",
                                L"-q -restore a.reg b.reg",
                                L"-q -restore a.reg -fix",
                                L"-q -restore a.reg -out x",
                                L"-q -f \"a\" -types",
                                L"-q -f \"a\" -types \"*.dll\"",
                                L"-q -f \"a\" -types \". .x\"",
                                L"-q -f \"a\" -types a -types b",
                                L"-q -f \"a\" -format csv -hash crc32",
                                L"-q -f \"a\" -hash md5",
                                L"-q -f \"a\" -format jsonl -bom",
                                L"-q -r \"a.dll\" -types all",
                                L"-q -r \"a.dll\" -bom",
                                L"-q -check",
                                L"-q -check \"a.dll\" -sub",
                                L"-q -check \"a.dll\" -user",
                                L"-q -check \"a.dll\" -r",
                                L"-q -e",
                                L"-q -e a.dll -format csv",
                                L"-q -e a.dll -sub",
                                L"-q -f \"a\" -format reg"})
        EXPECT_NE(ParseCommand(line, kApp).error, L"") << line;
    // The quiet switch in any letter case and anywhere; glued to another it
    // is no switch of ours.
    EXPECT_TRUE(ParseCommand(L"-Q -r \"a.dll\"", kApp).quiet);
    EXPECT_FALSE(ParseCommand(L"-qr \"a.dll\"", kApp).quiet);
    EXPECT_NE(ParseCommand(L"-qr \"a.dll\"", kApp).error, L"");
}

TEST(ParseCommand, WaitSetsTheBoundWhereverTheSwitchAllowsIt) {
    struct Case {
        const wchar_t* line;
        unsigned long seconds;
        const wchar_t* path; // "" for the quiet ones
        bool bad;
    };
    for (const Case& c : std::initializer_list<Case>{
             {L"-q -r -wait 30 \"C:\\x.dll\"", 30, L"", false},
             {L"-q -u \"C:\\x.dll\" -wait 3600", 3600, L"", false},
             {L"-q -r \"C:\\x.dll\"", 0, L"", false},
             {L"-r \"C:\\a b.dll\" -wait 30", 30, L"C:\\a b.dll", false},
             {L"-u -wait 1 \"C:\\a b.dll\"", 1, L"C:\\a b.dll", false},
             {L"-r -user \"C:\\a.dll\" -wait 5", 5, L"C:\\a.dll", false},
             {L"-r \"C:\\a -wait 5.dll\"", 0, L"C:\\a -wait 5.dll", false},
             {L"-r \"C:\\a.dll\" -wait 0", 0, L"C:\\a.dll", true},
             {L"-r \"C:\\a.dll\" -wait soon", 0, L"C:\\a.dll", true},
         }) {
        const Command cmd = ParseCommand(c.line, kApp);
        EXPECT_EQ(cmd.waitSeconds, c.seconds) << c.line;
        EXPECT_EQ(cmd.error.empty(), !c.bad) << c.line;
        if (*c.path) {
            EXPECT_EQ(cmd.path, c.path) << c.line;
        }
    }
    EXPECT_TRUE(ParseCommand(L"-r -user \"C:\\a.dll\" -wait 5", kApp).perUser);
}

TEST(QuietUsage, ListsEveryOptionAndExitCode) {
    const std::wstring usage = QuietUsage();
    // Each exit code's line: its number, then its word, then its meaning.
    for (const ExitCodeRow& row : kExitCodes) {
        const std::wstring number = std::to_wstring(static_cast<int>(row.code));
        const size_t word = usage.find(L" " + number + L"  " + row.word + L" ");
        EXPECT_NE(word, std::wstring::npos) << row.word;
        EXPECT_NE(usage.find(row.meaning, word), std::wstring::npos) << row.word;
    }
    // The parser has no table of its options: every one it takes is named
    // here, each action on its own synopsis line and each modifier explained
    // at the start of a line.
    for (const wchar_t* action :
         {L"-r", L"-u", L"-e", L"-f", L"-check", L"-scan", L"-restore", L"-s", L"-?"})
        EXPECT_NE(usage.find(std::wstring(L"calvorn -q ") + action + L" "), std::wstring::npos)
            << action;
    for (const wchar_t* modifier : {L"-user", L"-wait", L"-format", L"-out", L"-sub", L"-sig",
                                    L"-fix", L"-types", L"-hash", L"-bom"})
        EXPECT_NE(usage.find(std::wstring(L"\r\n") + modifier + L" "), std::wstring::npos)
            << modifier;
    for (const wchar_t* word : {L"-wait bound", L"signed-untrusted", L"signed_utc", L"-q -e",
                                L"manifest", L"wxs3", L"jsonl"})
        EXPECT_NE(usage.find(word), std::wstring::npos) << word;
    const std::wstring window = WindowUsage();
    for (const wchar_t* word :
         {L"calvorn -r \"file\"", L"regsvr32's /s, /u, /i and /n are refused"})
        EXPECT_NE(window.find(word), std::wstring::npos) << word;
}

TEST(Blanks, TabsAndLineEndsSeparateWordsInEveryGrammar) {
    EXPECT_EQ(ArgumentsOf(L"calvorn.exe\t-q\t-s"), L"-q\t-s");
    EXPECT_EQ(ArgumentsOf(L"\"calvorn.exe\"\t\r\n-s"), L"-s");
    for (const wchar_t* line : {L"-q\t-s", L"-q\n-s", L"-q\r\n-s", L"-q \t -s"}) {
        Command cmd = ParseCommand(line, kApp);
        EXPECT_TRUE(cmd.quiet) << line;
        EXPECT_EQ(cmd.error, L"") << line;
        EXPECT_EQ(cmd.action, CommandAction::InstallVerbs) << line;
    }
    Command cmd = ParseCommand(L"-r\t\"C:\\a b.dll\"", kApp);
    EXPECT_EQ(cmd.action, CommandAction::Register);
    EXPECT_EQ(cmd.path, L"C:\\a b.dll");
    cmd = ParseCommand(L"-u\t-user\tC:\\a.dll", kApp);
    EXPECT_TRUE(cmd.perUser);
    EXPECT_EQ(cmd.path, L"C:\\a.dll");
    EXPECT_EQ(ParseCommand(L"-s\t", kApp).action, CommandAction::InstallVerbs);
}

TEST(ParseCommand, HelpAndUnknownSwitchesAskForTheUsage) {
    Command help = ParseCommand(L"-?", kApp);
    EXPECT_EQ(help.action, CommandAction::ListOptions);
    EXPECT_FALSE(help.quiet);
    EXPECT_EQ(help.error, L"");
    for (const wchar_t* line : {L"-x", L"-x C:\\a.dll", L"-help", L"-user", L"-q-s"}) {
        Command cmd = ParseCommand(line, kApp);
        EXPECT_EQ(cmd.action, CommandAction::ListOptions) << line;
        EXPECT_NE(cmd.error, L"") << line;
    }
    // A quoted name is a file, whatever it starts with.
    EXPECT_EQ(ParseCommand(L"\"-x.dll\"", kApp).action, CommandAction::OpenReport);
}

// What a script writer types by habit or by mistake: carried out as meant,
// or refused with its reason (then the program answers on standard error
// and opens no window); never a report of the quoted file in the window.
TEST(ParseCommand, ATypoIsRefusedByNameAndAMisplacedQuietSwitchStillCounts) {
    struct Case {
        const wchar_t* line;
        const wchar_t* refusal; // a part of the reason; empty when carried out
        CommandAction action = CommandAction::ListOptions;
        bool quiet = false;
    };
    using A = CommandAction;
    for (const Case& c : std::initializer_list<Case>{
             {L"/s \"x.dll\"", L"/s is regsvr32's silent switch; Calvorn's quiet switch is -q"},
             {L"/S x.dll", L"/S is regsvr32's silent switch"},
             {L"/u \"x.dll\"", L"Calvorn unregisters with -u"},
             {L"/U /S x.dll", L"/U is regsvr32's"},
             {L"/i:\"all users\" x.dll", L"DllInstall"},
             {L"/n /i x.dll", L"/n is regsvr32's DllInstall switch"},
             {L"/c x.dll", L"console switch"},
             {L"/x \"x.dll\"", L"unknown switch /x: Calvorn's switches start with -"},
             {L"-x \"x.dll\"", L"unknown switch -x"},
             {L"-i \"x.dll\"", L"DllInstall"},
             {L"-r /s \"x.dll\"", L"/s is regsvr32's"},
             {L"-r -s \"x.dll\"", L"-s is regsvr32's"},
             {L"-r \"x.dll\" -x", L"unknown switch -x"},
             {L"\"x.dll\" -x", L"unknown switch -x"},
             {L"C:\\x.dll /s", L"/s is regsvr32's"},
             {L"-r \"x.dll\" -user", L"-user does not go here"},
             {L"-f \"C:\\dir\" -format csv", L"-format does not go here"},
             {L"-s x.dll", L"-s installs the Explorer verbs and takes no file"},
             {L"-s \"x.dll\"", L"takes no file"},
             {L"-q /s x.dll", L"/s is regsvr32's", A::OpenReport, true},
             {L"-q -r x.dll /U", L"/U is regsvr32's", A::Register, true},
             {L"-q -r \"/i:x\"", L"DllInstall", A::Register, true},
             {L"-Q -r \"x.dll\"", L"", A::Register, true},
             {L"-r -q x.dll", L"", A::Register, true},
             {L"-r \"x.dll\" -Q", L"", A::Register, true},
             {L"-e x.dll", L"", A::Export, true},
             {L"-CHECK x.dll -format csv", L"", A::CheckRegistration, true},
             {L"-scan", L"", A::ScanMachine, true},
             {L"-scan -fix", L"", A::ScanMachine, true},
             {L"-e", L"no file given", A::Export, true},
             {L"-user -r x.dll", L"-user goes after the action, or anywhere after -q"},
             {L"-q -user -r x.dll", L"", A::Register, true},
             {L"/?", L"", A::ListOptions, false},
             {L"/dir/a.dll", L"", A::OpenReport, false},
             {L"\"/s\"", L"", A::OpenReport, false},
         }) {
        const Command cmd = ParseCommand(c.line, kApp);
        if (*c.refusal) {
            EXPECT_NE(cmd.error.find(c.refusal), std::wstring::npos)
                << c.line << L" gave \"" << cmd.error << L"\"";
        } else {
            EXPECT_EQ(cmd.error, L"") << c.line;
        }
        EXPECT_EQ(cmd.action, c.action) << c.line;
        EXPECT_EQ(cmd.quiet, c.quiet) << c.line;
    }
    Command cmd = ParseCommand(L"-r -Q \"C:\\a b.dll\" -USER -Wait 5", kApp);
    EXPECT_EQ(cmd.paths, std::vector<std::wstring>{L"C:\\a b.dll"});
    EXPECT_TRUE(cmd.perUser);
    EXPECT_EQ(cmd.waitSeconds, 5u);
    EXPECT_TRUE(ParseCommand(L"-scan -fix", kApp).fix);
}

TEST(TakeWholePathIfCut, AnUnquotedPathWithBlanksIsTakenWholeWhenItsFirstWordIsNothing) {
    struct Row {
        const wchar_t* line;
        bool firstWordExists;
        const wchar_t* expected;
    } rows[] = {
        {L"C:\\Program Files\\a.dll", false, L"C:\\Program Files\\a.dll"},
        {L"C:\\Program Files\\a.dll", true, L"C:\\Program"},
        {L"-r C:\\My  Files\\a.dll ", false, L"C:\\My  Files\\a.dll"},
        {L"-f\tC:\\My Folder", false, L"C:\\My Folder"},
        {L"-u -user C:\\My Files\\a.dll", false, L"C:\\My Files\\a.dll"},
        {L"my files\\a.dll", false, L"C:\\Tools\\Calvorn\\my files\\a.dll"},
        {L"-r \"C:\\a.dll\" x", false, L"C:\\a.dll\" "}, // quoted: the quote rule decides
        {L"C:\\a.dll", false, L"C:\\a.dll"},
    };
    for (const Row& row : rows) {
        Command cmd = ParseCommand(row.line, kApp);
        const std::wstring first = cmd.path;
        TakeWholePathIfCut(
            cmd, [&](const std::wstring& path) { return row.firstWordExists && path == first; });
        EXPECT_EQ(cmd.path, row.expected) << row.line;
    }
}
