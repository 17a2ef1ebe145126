// The "-f" folder report through the real program: the whole output file,
// byte for byte, and a cancel from the progress window.

#include "app/version.h"
#include "platform/text.h"
#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace calvorn::test;
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
    for (int i = 0; i < 1200; ++i) {
        if (done(text = WindowText(control)))
            return true;
        ::Sleep(25);
    }
    return false;
}

std::string Ansi(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
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

// The block of a file that has no version resource: every label, no value.
std::string EmptyBlock(const std::wstring& path) {
    return Ansi(L"File: " + path) + "\r\n\r\n"
                                    "Company Name: \r\n"
                                    "File Description: \r\n"
                                    "Internal Name: \r\n"
                                    "Legal Copyright: \r\n"
                                    "Legal Trademarks: \r\n"
                                    "Original Filename: \r\n"
                                    "Product Name: \r\n"
                                    "Product Version: \r\n"
                                    "Comments: \r\n"
                                    "\r\n"
                                    "Extended File Info \r\n"
                                    "\r\n"
                                    "Type: \r\n"
                                    "SubType: \r\n"
                                    "Version: \r\n"
                                    "Product Version: \r\n"
                                    "OS: \r\n"
                                    "Structure Version: \r\n"
                                    "Flags: \r\n"
                                    "\r\n\r\n\r\n";
}

// The block of a copy of the program, from the values of its resource script.
std::string ProgramBlock(const std::wstring& path) {
    return Ansi(L"File: " + path) + "\r\n\r\n"
                                    "Company Name: Calvorn\r\n"
                                    "File Description: Calvorn COM component tool\r\n"
                                    "Internal Name: calvorn\r\n"
                                    "Legal Copyright: Copyright (C) 2026 the Calvorn developers\r\n"
                                    "Legal Trademarks: \r\n"
                                    "Original Filename: calvorn.exe\r\n"
                                    "Product Name: " CALVORN_PRODUCT_NAME "\r\n"
                                    "Product Version: " CALVORN_VERSION_TEXT "\r\n"
                                    "Comments: \r\n"
                                    "\r\n"
                                    "Extended File Info \r\n"
                                    "\r\n"
                                    "Type: App\r\n"
                                    "SubType: \r\n"
                                    "Version: " CALVORN_VERSION_TEXT "\r\n"
                                    "Product Version: " CALVORN_VERSION_TEXT "\r\n"
                                    "OS: NT-Win32\r\n"
                                    "Structure Version: 1.0\r\n"
                                    "Flags: \r\n"
                                    "\r\n\r\n\r\n";
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
    // A real program without a version resource.
    ASSERT_TRUE(::CopyFileW((BuildDir() + L"unit_files.exe").c_str(), (folder + L"\\d.Exe").c_str(),
                            FALSE));
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), (folder + L"\\Copy.EXE").c_str(), FALSE));
    ::CreateDirectoryW((folder + L"\\sub.dll").c_str(), nullptr);
    WriteText(folder + L"\\sub.dll\\inner.dll", "");

    ReportEnvironment env;
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
            expected += name == L"Copy.EXE" ? ProgramBlock(path) : EmptyBlock(path);
            ++blocks;
        }
    EXPECT_EQ(blocks, 5);
    EXPECT_EQ(ReadAll(env.Report()), expected);
    // Opened under the very path it was written to.
    EXPECT_EQ(ReadAll(env.OpenLog()), calvorn::platform::Narrow(env.Report()) + "\r\n");
}

TEST(FolderReport, CancelKeepsTheFinishedBlocksAndOpensNothing) {
    std::wstring folder = MakeScratchDir(L"many");
    folder.pop_back();
    constexpr int kFiles = 5000;
    for (int i = 0; i < kFiles; ++i)
        WriteText(folder + L"\\f" + std::to_wstring(10000 + i) + L".dll", "");

    ReportEnvironment env;
    ProgramRun run(ProgramPath(), L"-f \"" + folder + L"\"");
    ASSERT_TRUE(run.Started());
    auto box = run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    run.Answer(*box, IDYES);

    HWND window = run.WaitForWindow(L"Calvorn.frmProgress", 30s);
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
    EXPECT_EQ(told->text.rfind(L"The ActiveX Report was cancelled.", 0), 0u) << told->text;
    run.Answer(*told, IDOK);
    auto code = run.WaitForExit(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);

    // Only whole blocks, the first ones in search order, and not all of them.
    std::string report = ReadAll(env.Report());
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
