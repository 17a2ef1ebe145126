// The "-f" folder report through the real program: the whole output file,
// byte for byte, and a cancel from the progress window.

#include "app/version.h"
#include "platform/text.h"
#include "support/platform_versions.h"
#include "support/polling.h"
#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace calvorn::test;
using calvorn::inspection::VersionFields;
using namespace std::chrono_literals;

namespace {

// Control ids of the progress window (stable, part of its contract).
constexpr int kLblFile = 2004;
constexpr int kProgressBar = 2005;
constexpr int kCancel = 2006;
constexpr int kCount = 2009;

// Polls a control's text until `done` holds for it (or 30 s pass).
bool WaitUntilText(HWND control, std::wstring& text,
                   const std::function<bool(const std::wstring&)>& done) {
    return WaitUntil([&] { return done(text = WindowText(control)); }, std::chrono::seconds(30));
}

std::string Utf8(const std::wstring& text) {
    return calvorn::platform::Narrow(text);
}

// A whole report as the program writes it: UTF-8, marked as such only when
// it holds more than ASCII.
std::string Report(const std::string& blocks) {
    for (char c : blocks)
        if (static_cast<unsigned char>(c) >= 0x80)
            return "\xEF\xBB\xBF" + blocks;
    return blocks;
}

// The folder's files in the platform's search order.
std::vector<std::wstring> FilesInSearchOrder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    HANDLE h = ::FindFirstFileW((folder + L"\\*.*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return names;
}

bool Qualifies(std::wstring name) {
    if (name.size() < 4)
        return false;
    name = name.substr(name.size() - 4);
    ::CharUpperW(name.data());
    return name == L".DLL" || name == L".OCX" || name == L".EXE";
}

// The block of a file with these fields, every label in its place; an
// unreadable file has its reason under its name.
std::string Block(const std::wstring& path, const VersionFields& f,
                  const std::wstring& error = {}) {
    std::wstring b = L"File: " + path + L"\r\n";
    if (!error.empty())
        b += L"Error: " + error + L"\r\n";
    b += L"\r\nCompany Name: " + f.CompanyName + L"\r\nFile Description: " + f.FileDescription +
         L"\r\nInternal Name: " + f.InternalName + L"\r\nLegal Copyright: " + f.LegalCopyright +
         L"\r\nLegal Trademarks: " + f.LegalTrademarks + L"\r\nOriginal Filename: " +
         f.OriginalFileName + L"\r\nProduct Name: " + f.ProductName + L"\r\nProduct Version: " +
         f.ProductVersion + L"\r\nComments: " + f.Comments +
         L"\r\n\r\nExtended File Info \r\n\r\nType: " + f.FileTypeEx + L"\r\nSubType: " +
         f.FileSubTypeEx + L"\r\nVersion: " + f.FileVerEx + L"\r\nProduct Version: " + f.ProdVerEx +
         L"\r\nOS: " + f.FileOSEx + L"\r\nStructure Version: " + f.StrucVerEx + L"\r\nFlags: " +
         f.FileFlagsEx + L"\r\n\r\n\r\n\r\n";
    return Utf8(b);
}

// The block of a file that has no version resource: every label, no value.
std::string EmptyBlock(const std::wstring& path) {
    return Block(path, {});
}

// The block of a copy of the program, from the values of its resource script.
std::string ProgramBlock(const std::wstring& path) {
    VersionFields f;
    f.CompanyName = L"Calvorn";
    f.FileDescription = L"Calvorn COM component tool";
    f.InternalName = L"calvorn";
    f.LegalCopyright = L"Copyright (C) 2026 the Calvorn developers";
    f.OriginalFileName = L"calvorn.exe";
    f.ProductName = L"" CALVORN_PRODUCT_NAME;
    f.ProductVersion = L"" CALVORN_VERSION_TEXT;
    f.FileTypeEx = L"App";
    f.FileVerEx = L"" CALVORN_VERSION_TEXT;
    f.ProdVerEx = L"" CALVORN_VERSION_TEXT;
    f.FileOSEx = L"NT-Win32";
    f.StrucVerEx = L"1.0";
    return Block(path, f);
}

// The fixture whose version strings are Greek, Cyrillic, Chinese and an emoji.
std::string UnicodeBlock(const std::wstring& path) {
    VersionFields f;
    f.CompanyName = L"\u03a9mega \u0391\u0395";
    f.FileDescription = L"\u041a\u043e\u043c\u043f\u043e\u043d\u0435\u043d\u0442";
    f.OriginalFileName = L"\u03a9mega.dll";
    f.ProductName = L"\u4e2d\u6587 \U0001F600";
    f.FileTypeEx = L"DLL";
    f.FileVerEx = L"1.0.0.1";
    f.ProdVerEx = L"1.0.0.1";
    f.FileOSEx = L"NT-Win32";
    f.StrucVerEx = L"1.0";
    return Block(path, f);
}

// Sets the report's environment for the runs of one test.
class ReportEnvironment {
  public:
    ReportEnvironment() : dir_(MakeScratchDir(L"reportout")) {
        ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", dir_.c_str());
        ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", OpenLog().c_str());
    }
    ~ReportEnvironment() {
        ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", nullptr);
        ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", nullptr);
    }
    std::wstring Folder() const { return dir_; }
    std::wstring Report() const { return dir_ + L"output.txt"; }
    std::wstring OpenLog() const { return dir_ + L"opened.txt"; }

  private:
    std::wstring dir_;
};

} // namespace

TEST(FolderReport, WritesEveryComponentOfTheFolderAndOpensTheReport) {
    std::wstring folder = MakeScratchDir(L"mixed");
    folder.pop_back(); // as Explorer passes it: no closing backslash
    WriteText(folder + L"\\plain.dll", "not a program\r\n");
    WriteText(folder + L"\\b.txt", "text\r\n");
    WriteText(folder + L"\\c.OCX", "");
    WriteText(folder + L"\\x.dll.bak", "backup\r\n");
    WriteText(folder + L"\\caf\u00e9.dll", "accented\r\n");
    // Named and described beyond any one code page.
    ASSERT_TRUE(::CopyFileW(FixturePath(L"versions\\unicode_names.dll").c_str(),
                            (folder + L"\\\u03a9mega.dll").c_str(), FALSE));
    // A real program without a version resource.
    ASSERT_TRUE(::CopyFileW((BuildDir() + L"unit_files.exe").c_str(), (folder + L"\\d.Exe").c_str(),
                            FALSE));
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"\\Copy.EXE").c_str(), FALSE));
    ::CreateDirectoryW((folder + L"\\sub.dll").c_str(), nullptr);
    WriteText(folder + L"\\sub.dll\\inner.dll", "");

    ReportEnvironment env;
    // What a killed run left behind goes; what is not ours stays.
    const std::wstring stale = env.Report() + L".4294967290.part";
    WriteText(stale, "half a block");
    WriteText(env.Folder() + L"notes.4294967290.part", "someone else's");
    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES});
    ASSERT_TRUE(t.exitCode.has_value());
    EXPECT_EQ(*t.exitCode, 0u);
    ASSERT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(t.boxes[0].title, L"Calvorn - ActiveX Report");
    EXPECT_EQ(t.boxes[0].text, L"Are You Sure?");
    EXPECT_FALSE(t.mainWindowSeen);

    std::string expected;
    int blocks = 0;
    for (const std::wstring& name : FilesInSearchOrder(folder))
        if (Qualifies(name)) {
            std::wstring path = folder + L"\\" + name;
            expected += name == L"Copy.EXE"         ? ProgramBlock(path)
                        : name == L"\u03a9mega.dll" ? UnicodeBlock(path)
                                                    : EmptyBlock(path);
            ++blocks;
        }
    EXPECT_EQ(blocks, 6);
    EXPECT_EQ(ReadAll(env.Report()), Report(expected));
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(env.Folder() + L"notes.4294967290.part"));
    // Opened under the very path it was written to.
    EXPECT_EQ(ReadAll(env.OpenLog()), calvorn::platform::Narrow(env.Report()) + "\r\n");

    // The run without a window walks the folder the same way: the same bytes.
    const std::wstring quiet = env.Folder() + L"quiet.txt";
    RunTranscript q = RunAndAnswer(L"-q -f \"" + folder + L"\" -out \"" + quiet + L"\"", {});
    ASSERT_TRUE(q.exitCode.has_value());
    EXPECT_EQ(*q.exitCode, 0u);
    EXPECT_TRUE(q.boxes.empty());
    EXPECT_EQ(ReadAll(quiet), ReadAll(env.Report()));
}

TEST(FolderReport, CancelKeepsTheFinishedBlocksAndOpensNothing) {
    std::wstring folder = MakeScratchDir(L"many");
    folder.pop_back();
    constexpr int kFiles = 5000;
    for (int i = 0; i < kFiles; ++i)
        WriteText(folder + L"\\f" + std::to_wstring(10000 + i) + L".dll", "");

    ReportEnvironment env;
    WriteText(env.Report(), "the complete report of an earlier run\r\n");
    ProgramRun run(ProgramPath(), L"-f \"" + folder + L"\"");
    ASSERT_TRUE(run.Started());
    auto box = run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    run.Answer(*box, IDYES);

    HWND window = run.WaitForWindow(L"Calvorn.ProgressWindow", 30s);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), L"Creating ActiveX Report");
    HWND cancel = FindControl(window, kCancel);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(WindowText(cancel), L"Cancel");
    EXPECT_NE(FindControl(window, kLblFile), nullptr);
    EXPECT_EQ(ClassNameOf(FindControl(window, kProgressBar)), L"msctls_progress32");
    // How far it has got, in words.
    std::wstring count;
    EXPECT_TRUE(WaitUntilText(FindControl(window, kCount), count, [](const std::wstring& t) {
        return t.starts_with(L"File ") && t.ends_with(L" of 5000");
    })) << count;
    // The close box asks to stop, as Cancel does; asking again changes nothing.
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::PostMessageW(cancel, BM_CLICK, 0, 0);

    // The user is told, and nothing is opened.
    auto told = run.WaitForMessageBox(60s);
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->title, L"Calvorn - ActiveX Report");
    const std::wstring partial = env.Folder() + L"output (partial).txt";
    EXPECT_EQ(told->text, L"The ActiveX Report was cancelled.\nThe files reported before the "
                          L"cancel are in " +
                              partial + L"\nThe earlier complete report is still in " +
                              env.Report());
    run.Answer(*told, IDOK);
    auto code = run.WaitForExit(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);

    // The earlier report stays whole; the part done is kept beside it.
    EXPECT_EQ(ReadAll(env.Report()), "the complete report of an earlier run\r\n");
    // Only whole blocks, the first ones in search order, and not all of them.
    std::string report = ReadAll(partial);
    std::vector<std::wstring> names = FilesInSearchOrder(folder);
    ASSERT_EQ(names.size(), static_cast<size_t>(kFiles));
    std::string expected;
    size_t blocks = 0;
    while (expected.size() < report.size() && blocks < names.size())
        expected += EmptyBlock(folder + L"\\" + names[blocks++]);
    EXPECT_EQ(report, expected);
    EXPECT_GE(blocks, 1u);
    EXPECT_LT(blocks, names.size());
    EXPECT_FALSE(Exists(env.OpenLog()));
}

namespace {

// Holds or lets go of every thread of a process.
void SetSuspended(DWORD pid, bool suspended) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = ::Thread32First(snapshot, &thread); more;
         more = ::Thread32Next(snapshot, &thread)) {
        if (thread.th32OwnerProcessID != pid)
            continue;
        HANDLE h = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread.th32ThreadID);
        if (!h)
            continue;
        suspended ? ::SuspendThread(h) : ::ResumeThread(h);
        ::CloseHandle(h);
    }
    ::CloseHandle(snapshot);
}

std::string BlocksOfFolder(const std::wstring& folder,
                           std::string (*block)(const std::wstring& path)) {
    std::string blocks;
    for (const std::wstring& name : FilesInSearchOrder(folder))
        if (Qualifies(name))
            blocks += block(folder + L"\\" + name);
    return blocks;
}

// An environment variable changed for one scope and then put back as it was.
class ChangedEnvironment {
  public:
    ChangedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[32768];
        DWORD n = ::GetEnvironmentVariableW(name, old, 32768);
        if (n > 0 && n < 32768)
            old_ = std::wstring(old, n);
        had_ = n > 0;
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ChangedEnvironment() { ::SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

  private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

} // namespace

TEST(FolderReport, SixteenBitFilesCarryThePlatformsOwnFields) {
    std::wstring folder = MakeScratchDir(L"sixteen");
    folder.pop_back();
    for (const std::wstring& path : SixteenBitSystemFiles())
        ASSERT_TRUE(
            ::CopyFileW(path.c_str(), (folder + path.substr(path.rfind(L'\\'))).c_str(), FALSE));
    ReportEnvironment env;
    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES});
    ASSERT_TRUE(t.exitCode.has_value());
    const std::string expected = BlocksOfFolder(
        folder, [](const std::wstring& path) { return Block(path, PlatformVersionFields(path)); });
    const std::string report = ReadAll(env.Report());
    EXPECT_EQ(report, Report(expected));
    EXPECT_NE(report.find("Version: 2.10.3050.1\r\n"), std::string::npos); // ole2nls.dll
}

TEST(FolderReport, AFileThatCannotBeReadSaysWhyInItsBlock) {
    std::wstring folder = MakeScratchDir(L"locked");
    folder.pop_back();
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"\\held.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"\\free.exe").c_str(), FALSE));
    // Another program holds it open and shares it with no one.
    HANDLE held = ::CreateFileW((folder + L"\\held.exe").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ReportEnvironment env;
    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES});
    ::CloseHandle(held);
    ASSERT_TRUE(t.exitCode.has_value());
    EXPECT_EQ(t.boxes.size(), 1u);
    const std::wstring why = calvorn::platform::SystemMessage(ERROR_SHARING_VIOLATION);
    ASSERT_FALSE(why.empty());
    std::string expected;
    for (const std::wstring& name : FilesInSearchOrder(folder))
        expected += name == L"held.exe" ? Block(folder + L"\\held.exe", {}, why)
                                        : ProgramBlock(folder + L"\\" + name);
    EXPECT_EQ(ReadAll(env.Report()), Report(expected));
}

TEST(FolderReport, AValueWithLineBreaksStaysOnItsLine) {
    std::wstring folder = MakeScratchDir(L"forged");
    folder.pop_back();
    ASSERT_TRUE(::CopyFileW(FixturePath(L"versions\\forged.dll").c_str(),
                            (folder + L"\\forged.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"\\x.exe").c_str(), FALSE));
    ReportEnvironment env;
    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES});
    ASSERT_TRUE(t.exitCode.has_value());
    VersionFields f;
    // As the report shows it: every break and tab written out, on one line.
    f.Comments = L"real comment\\r\\n\\r\\n\\r\\n\\r\\nFile: C:\\forged\\ghost.dll\\r\\n\\r\\n"
                 L"Company Name: Ghost Corp\\tInc\\r\\n";
    f.CompanyName = L"Forger Ltd";
    f.ProductName = L"=1+2";
    f.FileTypeEx = L"DLL";
    f.FileVerEx = L"1.0.0.0";
    f.ProdVerEx = L"1.0.0.0";
    f.FileOSEx = L"NT-Win32";
    f.StrucVerEx = L"1.0";
    std::string expected;
    for (const std::wstring& name : FilesInSearchOrder(folder))
        expected += name == L"x.exe" ? ProgramBlock(folder + L"\\x.exe")
                                     : Block(folder + L"\\forged.dll", f);
    const std::string report = ReadAll(env.Report());
    EXPECT_EQ(report, expected);
    size_t fileLines = 0;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);)
        fileLines += line.starts_with("File: ");
    EXPECT_EQ(fileLines, 2u);
}

TEST(FolderReport, NoFolderOrAMissingOneIsNamedAndGetsNoReport) {
    ReportEnvironment env;
    const std::wstring missing = MakeScratchDir(L"gone") + L"nowhere";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L"No folder was given for the report (the folder named is \"\")."},
        {missing, L"The folder \"" + missing + L"\" does not exist."},
        {ProgramPath(), L"\"" + ProgramPath() + L"\" is not a folder."},
    };
    for (const auto& [folder, text] : cases) {
        RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES, IDOK});
        ASSERT_TRUE(t.exitCode.has_value());
        ASSERT_EQ(t.boxes.size(), 2u);
        EXPECT_EQ(t.boxes[1].title, L"Calvorn - ActiveX Report");
        EXPECT_EQ(t.boxes[1].text, text + L"\r\nNo report was written.");
    }
    EXPECT_FALSE(Exists(env.Report()));
    EXPECT_FALSE(Exists(env.OpenLog()));
}

TEST(FolderReport, AFolderWithForwardSlashesIsAbsolute) {
    std::wstring folder = MakeScratchDir(L"slashes");
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"x.exe").c_str(), FALSE));
    std::wstring slashed = folder.substr(0, folder.size() - 1);
    for (wchar_t& c : slashed)
        if (c == L'\\')
            c = L'/';
    ReportEnvironment env;
    RunTranscript t = RunAndAnswer(L"-f \"" + slashed + L"\"", {IDYES});
    ASSERT_TRUE(t.exitCode.has_value());
    EXPECT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(ReadAll(env.Report()), ProgramBlock(folder + L"x.exe"));
}

// The folder and its component past the ordinary length limit: listed, read
// and reported as any other.
TEST(FolderReport, AFolderPastTheLengthLimitIsReportedAsAnyOther) {
    std::wstring folder = MakeScratchDir(L"long");
    while (folder.size() < 300) {
        folder += std::wstring(40, L'd') + L"\\";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    ASSERT_TRUE(
        ::CopyFileW(ProgramPath().c_str(), (L"\\\\?\\" + folder + L"x.exe").c_str(), FALSE));
    ReportEnvironment env;
    RunTranscript t = RunAndAnswer(L"-f \"" + folder.substr(0, folder.size() - 1) + L"\"", {IDYES});
    ASSERT_TRUE(t.exitCode.has_value());
    EXPECT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(ReadAll(env.Report()), ProgramBlock(folder + L"x.exe"));
}

TEST(FolderReport, TwoRunsAtOnceEachOpenTheReportTheyWrote) {
    std::wstring big = MakeScratchDir(L"big");
    big.pop_back();
    for (int i = 0; i < 3000; ++i)
        WriteText(big + L"\\f" + std::to_wstring(10000 + i) + L".dll", "");
    std::wstring small = MakeScratchDir(L"small");
    small.pop_back();
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (small + L"\\x.exe").c_str(), FALSE));

    ReportEnvironment env;
    ProgramRun first(ProgramPath(), L"-f \"" + big + L"\"");
    ASSERT_TRUE(first.Started());
    auto box = first.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    first.Answer(*box, IDYES);
    // Held in the middle of its report, the first run keeps its report's name.
    ASSERT_NE(first.WaitForWindow(L"Calvorn.ProgressWindow", 30s), nullptr);
    SetSuspended(first.ProcessId(), true);
    ASSERT_FALSE(first.WaitForExit(0ms).has_value());

    RunTranscript second = RunAndAnswer(L"-f \"" + small + L"\"", {IDYES});
    SetSuspended(first.ProcessId(), false);
    ASSERT_TRUE(second.exitCode.has_value());
    ASSERT_TRUE(first.WaitForExit(120s).has_value());

    const std::wstring own = env.Folder() + L"output (2).txt";
    EXPECT_EQ(ReadAll(env.OpenLog()), calvorn::platform::Narrow(own) + "\r\n" +
                                          calvorn::platform::Narrow(env.Report()) + "\r\n");
    EXPECT_EQ(ReadAll(own), BlocksOfFolder(small, ProgramBlock));
    EXPECT_EQ(ReadAll(env.Report()), BlocksOfFolder(big, EmptyBlock));
}

TEST(FolderReport, ABlockedReportFolderFallsBackToTheTemporaryFolder) {
    std::wstring folder = MakeScratchDir(L"fallback");
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"x.exe").c_str(), FALSE));
    folder.pop_back();
    PWSTR appData = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData)));
    const std::wstring ours = std::wstring(appData) + L"\\Calvorn";
    ::CoTaskMemFree(appData);
    const std::wstring kept = ours + L".kept-by-test";
    const bool had = Exists(ours);
    if (had) {
        ASSERT_TRUE(::MoveFileW(ours.c_str(), kept.c_str()));
    }
    WriteText(ours, "a file in the way");

    const std::wstring temp = MakeScratchDir(L"temp");
    const std::wstring openLog = MakeScratchDir(L"log") + L"opened.txt";
    ChangedEnvironment tmp(L"TMP", temp), tmp2(L"TEMP", temp);
    ChangedEnvironment log(L"CALVORN_OPEN_LOG", openLog);
    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES});
    EXPECT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(ReadAll(temp + L"output.txt"), ProgramBlock(folder + L"\\x.exe"));
    EXPECT_EQ(ReadAll(openLog), calvorn::platform::Narrow(temp + L"output.txt") + "\r\n");

    // Nowhere to write at all: the message names the file it tried.
    ChangedEnvironment none(L"TMP", temp + L"missing\\"), none2(L"TEMP", temp + L"missing\\");
    RunTranscript failed = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES, IDOK});

    ::DeleteFileW(ours.c_str());
    if (had)
        ::MoveFileW(kept.c_str(), ours.c_str());
    ASSERT_EQ(failed.boxes.size(), 2u);
    EXPECT_EQ(failed.boxes[1].text.rfind(L"CreateReport: error 3: ", 0), 0u)
        << failed.boxes[1].text;
    EXPECT_NE(failed.boxes[1].text.find(temp + L"missing\\output.txt"), std::wstring::npos)
        << failed.boxes[1].text;
}
