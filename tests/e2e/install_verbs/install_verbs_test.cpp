// "-s" through the real program: the verbs it leaves in the registry.

#include "e2e/quiet/batch_runner.h"
#include "integration/shell_verbs/classes_scope.h"
#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace std::chrono_literals;

namespace {

const wchar_t* const kVerbs[] = {L"Register", L"UnRegister", L"Calvorn"};

// Takes away the verb keys and any "shell" key that was not there before.
void RemoveVerbs(const std::wstring& progId, bool shellWasThere) {
    for (const wchar_t* verb : kVerbs)
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (progId + L"\\shell\\" + verb).c_str());
    if (!shellWasThere)
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (progId + L"\\shell").c_str());
}

TEST(InstallVerbs, SilentSwitchWritesQuotedCommandsForTheThreeFileTypes) {
    // A bare prefix lacks the usual ProgIDs of ".dll" and ".exe"; ".ocx" has none.
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    const bool ocxHasProgId = ClassesValue(L".ocx").has_value();
    const bool dllShell = ClassesKeyThere(dll.ProgId() + L"\\shell");
    const bool exeShell = ClassesKeyThere(exe.ProgId() + L"\\shell");
    const bool folderVerb = ClassesKeyThere(L"Folder\\shell\\ActiveX Report");

    RunTranscript run = RunAndAnswer(L"-s", {});
    ASSERT_TRUE(run.exitCode.has_value());
    EXPECT_EQ(*run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty()) << "no message, no question";
    EXPECT_FALSE(run.mainWindowSeen);

    const std::wstring quoted = L"\"" + ProgramPath() + L"\"";
    for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()}) {
        ExpectFileTypeVerbs(*progId, quoted);
    }
    if (!ocxHasProgId) {
        // No ProgID, no verbs: nothing for ".ocx" and nothing under the root.
        EXPECT_FALSE(ClassesKeyThere(L".ocx"));
        EXPECT_FALSE(ClassesKeyThere(L"shell"));
    }
    EXPECT_EQ(ClassesKeyThere(L"Folder\\shell\\ActiveX Report"), folderVerb)
        << "the folder verb is not this switch's business";

    RemoveVerbs(dll.ProgId(), dllShell);
    RemoveVerbs(exe.ProgId(), exeShell);
}

} // namespace

TEST(InstallVerbs, QuietSwitchKeepsAnotherToolsVerbAndSaysSo) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    ScopedFileType ocx(L".ocx", L"ocxfile");
    const bool dllShell = ClassesKeyThere(dll.ProgId() + L"\\shell");
    const bool exeShell = ClassesKeyThere(exe.ProgId() + L"\\shell");
    const bool ocxShell = ClassesKeyThere(ocx.ProgId() + L"\\shell");
    const std::wstring theirs = L"\"C:\\Tools\\regtool.exe\" \"%1\"";
    WriteRaw(HKEY_CLASSES_ROOT, dll.ProgId() + L"\\shell\\Register\\command", L"", SzValue(theirs));

    RunTranscript run = RunAndAnswer(L"-q -s", {});
    ASSERT_TRUE(run.exitCode.has_value());
    EXPECT_EQ(*run.exitCode, 11u) << "verbs-failed";
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ClassesValue(dll.ProgId() + L"\\shell\\Register\\command"), SzValue(theirs));
    // Everything else was still done.
    const std::wstring quoted = L"\"" + ProgramPath() + L"\"";
    EXPECT_EQ(ClassesValue(dll.ProgId() + L"\\shell\\UnRegister\\command"),
              SzValue(quoted + L" -u \"%1\""));
    ExpectFileTypeVerbs(exe.ProgId(), quoted);
    ExpectFileTypeVerbs(ocx.ProgId(), quoted);

    RemoveVerbs(dll.ProgId(), dllShell);
    RemoveVerbs(exe.ProgId(), exeShell);
    RemoveVerbs(ocx.ProgId(), ocxShell);
}

// A verb's key the program may not write: without the rights that is
// needs-elevation with its one line, never a question; with them (which do
// not help here) it stays verbs-failed.
TEST(InstallVerbs, AVerbRefusedForWantOfRightsNeedsElevation) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    ScopedFileType ocx(L".ocx", L"ocxfile");
    const bool ocxShell = ClassesKeyThere(ocx.ProgId() + L"\\shell");
    const bool dllShell = ClassesKeyThere(dll.ProgId() + L"\\shell");
    const bool exeShell = ClassesKeyThere(exe.ProgId() + L"\\shell");
    ASSERT_EQ(RunAndAnswer(L"-q -s", {}).exitCode, std::optional<DWORD>(0));
    const std::wstring locked = dll.ProgId() + L"\\shell\\Register\\command";
    ASSERT_TRUE(SetKeyAccess(locked, L"D:P(A;;KR;;;WD)"));

    const std::wstring dir = MakeScratchDir(L"verbs-denied");
    ProgramRun limited(L"C:\\windows\\system32\\cmd.exe",
                       L"/c \"\"" + ProgramPath() + L"\" -q -s 2> \"" + dir + L"err.txt\"\"", dir,
                       Rights::Limited);
    EXPECT_EQ(limited.WaitForExit(60s), std::optional<DWORD>(21));
    const std::string err = ReadAll(dir + L"err.txt");
    EXPECT_EQ(err.rfind("verbs-failed ", 0), 0u) << err;
    EXPECT_NE(err.find("\"Register\" could not be written"), std::string::npos) << err;
    EXPECT_NE(err.find("\r\nrun calvorn from an elevated command prompt\r\n"), std::string::npos)
        << err;
    EXPECT_EQ(RunAndAnswer(L"-q -s", {}).exitCode, std::optional<DWORD>(11));

    EXPECT_TRUE(SetKeyAccess(locked, L"D:(A;;KA;;;WD)"));
    RemoveVerbs(dll.ProgId(), dllShell);
    RemoveVerbs(exe.ProgId(), exeShell);
    RemoveVerbs(ocx.ProgId(), ocxShell);
}

// A fresh system has no ProgID for ".ocx": the quiet switch wrote the other
// types' verbs, then exited 11 (verbs-failed) without an "installed" line.
TEST(InstallVerbs, QuietSwitchSkipsATypeWithoutAProgIdAndSaysWhatItInstalled) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    const bool dllShell = ClassesKeyThere(dll.ProgId() + L"\\shell");
    const bool exeShell = ClassesKeyThere(exe.ProgId() + L"\\shell");
    const std::optional<StoredValue> ocx = ClassesValue(L".ocx");
    if (ocx)
        ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, L".ocx", nullptr);

    BatchResult r = RunBatch(L"-q -s");
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(0));
    EXPECT_TRUE(r.err.empty()) << r.err.front();
    EXPECT_EQ(r.out,
              (std::vector<std::string>{
                  "skipped \".ocx\": HKEY_CLASSES_ROOT\\.ocx names no file type (ProgID), "
                  "so it has no verbs",
                  "installed \"" + calvorn::platform::Narrow(ProgramPath()) + "\" for .dll .exe"}));
    const std::wstring quoted = L"\"" + ProgramPath() + L"\"";
    ExpectFileTypeVerbs(dll.ProgId(), quoted);
    ExpectFileTypeVerbs(exe.ProgId(), quoted);

    if (ocx)
        WriteRaw(HKEY_CLASSES_ROOT, L".ocx", L"", *ocx);
    RemoveVerbs(dll.ProgId(), dllShell);
    RemoveVerbs(exe.ProgId(), exeShell);
}
