// The Explorer verbs written into and removed from HKEY_CLASSES_ROOT.

#include "classes_scope.h"

#include "registry/registry_accessor.h"
#include "platform/text.h"
#include "registry/verb_command.h"
#include "support/test_paths.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

using namespace calvorn::test;
using calvorn::registry::RegistryAccessor;

namespace {

const std::wstring kType = L".calvorntest";
const std::wstring kProgId = L"CalvornTest.File";
// Spaces would let an unquoted path start C:\Program.exe; a "%" pair would
// turn an expandable value into something else, and the shell would take a
// single "%" for the start of one of its own sequences.
const std::wstring kExe = L"C:\\Program Files\\Calvorn 100%\\x%y\\calvorn.exe";
const std::wstring kQuoted = L"\"C:\\Program Files\\Calvorn 100%%\\x%%y\\calvorn.exe\"";

std::vector<std::wstring> RootKeys() {
    RegistryAccessor reg;
    reg.ClassKey(calvorn::registry::kHKeyClassesRoot);
    std::vector<std::wstring> names;
    std::int32_t count = 0;
    reg.EnumerateSections(names, count);
    return names;
}

class ShellVerbs : public ::testing::Test {
  protected:
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId.c_str());
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kType.c_str());
    }
};

TEST_F(ShellVerbs, FileTypeVerbsAreQuotedTextCommandsUnderTheProgId) {
    ScopedFileType type(kType, kProgId);
    ASSERT_EQ(type.ProgId(), kProgId);
    RegistryAccessor reg;
    reg.ValueKey(L"leftover");
    reg.CreateShellAssociation(kExe, kType);
    EXPECT_FALSE(reg.LastError().IsSet()) << reg.LastError().description;

    ExpectFileTypeVerbs(kProgId, kQuoted);
    EXPECT_FALSE(ClassesValue(kProgId + L"\\shell\\Register")) << "verb keys carry no value";
    EXPECT_EQ(reg.ClassKey(), calvorn::registry::kHKeyClassesRoot);
    EXPECT_EQ(reg.SectionKey(), kProgId + L"\\shell\\Calvorn\\command");
    EXPECT_EQ(reg.ValueKey(), L"");

    // Removal goes from the deepest key up and keeps the "shell" key.
    reg.RemoveShellAssociation(kExe, kType);
    EXPECT_FALSE(reg.LastError().IsSet()) << reg.LastError().description;
    for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
        EXPECT_FALSE(ClassesKeyThere(kProgId + L"\\shell\\" + verb)) << verb;
    EXPECT_TRUE(ClassesKeyThere(kProgId + L"\\shell"));
    EXPECT_EQ(ClassesValue(kType), SzValue(kProgId));
    EXPECT_EQ(reg.SectionKey(), kProgId + L"\\shell\\Calvorn");
}

TEST_F(ShellVerbs, FolderInAnyCaseOnAFreshObjectGetsATextCommand) {
    const bool shellThere = ClassesKeyThere(L"Folder\\shell");
    RegistryAccessor fresh; // has read nothing: its ValueType is still 0
    fresh.CreateShellAssociation(kExe, L"fOLDER");
    EXPECT_FALSE(fresh.LastError().IsSet()) << fresh.LastError().description;
    EXPECT_EQ(ClassesValue(L"Folder\\shell\\ActiveX Report\\command"),
              SzValue(kQuoted + L" -f \"%1\""));

    RegistryAccessor other;
    other.RemoveShellAssociation(kExe, L"folder");
    EXPECT_FALSE(other.LastError().IsSet()) << other.LastError().description;
    EXPECT_FALSE(ClassesKeyThere(L"Folder\\shell\\ActiveX Report"));
    EXPECT_TRUE(ClassesKeyThere(L"Folder\\shell"));
    if (!shellThere)
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Folder\\shell");
}

TEST_F(ShellVerbs, AFileTypeWithoutProgIdGetsNothingAndTheNextOneStillDoes) {
    ScopedFileType type(kType, kProgId);
    WriteRaw(HKEY_CLASSES_ROOT, L".calvorn-noprogid"); // exists, no default value
    const auto rootBefore = RootKeys();

    RegistryAccessor reg;
    reg.Default(kProgId); // what a failed read returns is not a ProgID
    for (const std::wstring& missing :
         {std::wstring(L".calvorn-missing"), std::wstring(L".calvorn-noprogid")}) {
        EXPECT_EQ(reg.CreateShellAssociation(kExe, missing),
                  std::vector<std::wstring>{missing + L": HKEY_CLASSES_ROOT\\" + missing +
                                            L" names no file type (ProgID), so it has no verbs."});
        EXPECT_EQ(reg.LastError().number, 26001);
        EXPECT_EQ(reg.LastError().source, ExpectedSource());
        EXPECT_EQ(reg.LastError().description,
                  L"Failed to read the ProgID of registry Key: '-2147483648',Section: '" + missing +
                      L"'");
        reg.ClearError();
        EXPECT_TRUE(reg.RemoveShellAssociation(kExe, missing).empty());
        EXPECT_EQ(reg.LastError().number, 26001);
        reg.ClearError();
    }
    EXPECT_EQ(RootKeys(), rootBefore) << "nothing may land directly under the root";
    EXPECT_FALSE(ClassesKeyThere(L"shell\\Register"));
    EXPECT_FALSE(ClassesKeyThere(L".calvorn-missing"));
    EXPECT_FALSE(ClassesKeyThere(kProgId + L"\\shell\\Register"));
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L".calvorn-noprogid");

    reg.CreateShellAssociation(kExe, kType);
    EXPECT_FALSE(reg.LastError().IsSet());
    EXPECT_EQ(ClassesValue(kProgId + L"\\shell\\Register\\command"),
              SzValue(kQuoted + L" -r \"%1\""));
}

TEST_F(ShellVerbs, RemovingAbsentVerbsRecordsTheFailureAndChangesNothing) {
    ScopedFileType type(kType, kProgId);
    WriteRaw(HKEY_CLASSES_ROOT, kProgId + L"\\shell\\open\\command");
    const RegistryDump before = Dump(HKEY_CLASSES_ROOT);
    RegistryAccessor reg;
    reg.RemoveShellAssociation(kExe, kType);
    EXPECT_EQ(reg.LastError().number, 26001);
    EXPECT_EQ(reg.LastError().description,
              L"Failed to delete registry Key: '-2147483648',Section: '" + kProgId +
                  L"\\shell\\Calvorn");
    EXPECT_TRUE(Dump(HKEY_CLASSES_ROOT) == before);
}

TEST(VerbCommand, OursIsOurProgramFromAnywhereWithOurSwitch) {
    using calvorn::registry::IsOurCommand;
    for (const wchar_t* ours :
         {L"\"C:\\Program Files\\Calvorn\\calvorn.exe\" -r \"%1\"",
          L"C:\\Program Files\\Calvorn\\calvorn.exe -r \"%1\"", // unquoted, as once written
          L"\"D:\\x\\CALVORN64.EXE\"  -R \"%1\" ", L"calvorn.exe -r \"%1\""})
        EXPECT_TRUE(IsOurCommand(ours, L"-r \"%1\"")) << ours;
    for (const wchar_t* other :
         {L"\"C:\\Tools\\regtool.exe\" -r \"%1\"", L"\"C:\\x\\calvorn.exe\" -u \"%1\"",
          L"\"C:\\x\\calvorn.exe\" -r \"%1\" /extra", L"\"C:\\x\\notcalvorn.exe\" -r \"%1\"",
          L"C:\\x\\calvorn.exe.bak -r \"%1\"", L"\"C:\\x\\calvorn.exe -r \"%1\"", L""})
        EXPECT_FALSE(IsOurCommand(other, L"-r \"%1\"")) << other;
    EXPECT_TRUE(IsOurCommand(L"\"C:\\x\\calvorn.exe\" \"%1\"", L"\"%1\""));
    EXPECT_TRUE(IsOurCommand(L"\"C:\\%%1\\calvorn.exe\" \"%1\"", L"\"%1\""));
}

TEST(VerbCommand, TheProgramIsQuotedAndItsPercentSignsDoubled) {
    using calvorn::registry::VerbCommand;
    struct Row {
        const wchar_t* program;
        const wchar_t* command;
    } rows[] = {
        {L"C:\\Program Files\\calvorn.exe", L"\"C:\\Program Files\\calvorn.exe\" -r \"%1\""},
        {L"\"C:\\x\\calvorn.exe\"", L"\"C:\\x\\calvorn.exe\" -r \"%1\""},
        {L"C:\\100%1\\%TEMP%\\%%\\calvorn.exe",
         L"\"C:\\100%%1\\%%TEMP%%\\%%%%\\calvorn.exe\" -r \"%1\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VerbCommand(row.program, L"-r \"%1\""), row.command) << row.program;
}

// What the package's removal goes by: the program exactly as VerbCommand
// wrote it, so a folder with "%" in its name is still recognised.
TEST(VerbCommand, StartsProgramMatchesTheWrittenFormOnly) {
    using calvorn::registry::StartsProgram;
    using calvorn::registry::VerbCommand;
    for (const wchar_t* program :
         {L"C:\\Program Files\\Calvorn\\calvorn.exe", kExe.c_str(), L"C:\\%1\\%%\\calvorn64.exe"}) {
        EXPECT_TRUE(StartsProgram(VerbCommand(program, L"-r \"%1\""), program)) << program;
        EXPECT_TRUE(StartsProgram(L" " + VerbCommand(program, L"\"%1\""), program)) << program;
    }
    EXPECT_TRUE(StartsProgram(L"\"c:\\program files\\calvorn\\CALVORN.EXE\" -r \"%1\"",
                              L"C:\\Program Files\\Calvorn\\calvorn.exe"));
    const std::wstring program = L"C:\\Cal%vorn\\calvorn.exe";
    for (const wchar_t* other :
         {L"\"C:\\Cal%vorn\\calvorn.exe\" -r \"%1\"", // not as written: "%" undoubled
          L"\"C:\\Cal%%vorn\\calvorn.exe.bak\" -r \"%1\"", L"C:\\Cal%%vorn\\calvorn.exe -r \"%1\"",
          L"\"C:\\Cal%%vorn\\calvorn.ex", L""})
        EXPECT_FALSE(StartsProgram(other, program)) << other;
}

// Stored registry entries rely on these names and arguments.
TEST(VerbCommand, OneListOfVerbsForEveryFrontEnd) {
    using namespace calvorn::registry;
    std::wstring listed;
    for (const VerbAssociation& association : VerbAssociations()) {
        listed += std::wstring(association.name) + (association.fileType ? L"(type):" : L":");
        for (const ExplorerVerb& verb : association.verbs)
            listed += std::wstring(L" ") + verb.name + L" " + verb.arguments + L";";
        listed += L"\n";
    }
    const std::wstring fileVerbs = L" Register -r \"%1\"; UnRegister -u \"%1\"; Calvorn \"%1\";\n";
    EXPECT_EQ(listed, L".dll(type):" + fileVerbs + L".exe(type):" + fileVerbs + L".ocx(type):" +
                          fileVerbs + L"Folder: ActiveX Report -f \"%1\";\n");
    EXPECT_EQ(VerbsOf(L"fOLDER").size(), 1u);
    EXPECT_EQ(VerbsOf(L".calvorntest").size(), 3u);
}

TEST_F(ShellVerbs, AnotherProgramsVerbOfTheSameNameIsNeitherReplacedNorRemoved) {
    ScopedFileType type(kType, kProgId);
    const std::wstring theirs = L"\"C:\\Tools\\regtool.exe\" /register \"%1\"";
    WriteRaw(HKEY_CLASSES_ROOT, kProgId + L"\\shell\\Register\\command", L"", SzValue(theirs));
    // A verb the shell runs another way, with no command of its own.
    WriteRaw(HKEY_CLASSES_ROOT, kProgId + L"\\shell\\Calvorn", L"DelegateExecute",
             SzValue(L"{00000000-0000-0000-0000-000000000001}"));
    RegistryAccessor reg;
    EXPECT_FALSE(reg.ShellAssociationInstalled(kType));
    const std::vector<std::wstring> problems = reg.CreateShellAssociation(kExe, kType);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], kType + L": the verb \"Register\" of " + kProgId +
                               L" belongs to another program and was left as it is: " + theirs);
    EXPECT_EQ(problems[1].rfind(kType + L": the verb \"Calvorn\" of ", 0), 0u) << problems[1];
    EXPECT_EQ(ClassesValue(kProgId + L"\\shell\\Register\\command"), SzValue(theirs));
    EXPECT_FALSE(ClassesKeyThere(kProgId + L"\\shell\\Calvorn\\command"));
    EXPECT_EQ(ClassesValue(kProgId + L"\\shell\\UnRegister\\command"),
              SzValue(kQuoted + L" -u \"%1\""));
    EXPECT_TRUE(reg.ShellAssociationInstalled(kType));

    EXPECT_TRUE(reg.RemoveShellAssociation(kExe, kType).empty());
    EXPECT_EQ(ClassesValue(kProgId + L"\\shell\\Register\\command"), SzValue(theirs));
    EXPECT_TRUE(ClassesKeyThere(kProgId + L"\\shell\\Calvorn"));
    EXPECT_FALSE(ClassesKeyThere(kProgId + L"\\shell\\UnRegister"));
    EXPECT_FALSE(reg.ShellAssociationInstalled(kType));
}

TEST_F(ShellVerbs, VerbsOfAnotherCopyOfTheProgramAreOursToReplaceAndRemove) {
    ScopedFileType type(kType, kProgId);
    // Written unquoted by an older version from another folder.
    WriteRaw(HKEY_CLASSES_ROOT, kProgId + L"\\shell\\Register\\command", L"",
             SzValue(L"C:\\Old Place\\calvorn.exe -r \"%1\""));
    RegistryAccessor reg;
    EXPECT_TRUE(reg.ShellAssociationInstalled(kType));
    EXPECT_TRUE(reg.CreateShellAssociation(kExe, kType).empty());
    ExpectFileTypeVerbs(kProgId, kQuoted);
    WriteRaw(HKEY_CLASSES_ROOT, kProgId + L"\\shell\\Register\\command", L"",
             SzValue(L"\"C:\\Old Place\\calvorn64.exe\" -r \"%1\""));
    EXPECT_TRUE(reg.RemoveShellAssociation(kExe, kType).empty());
    for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
        EXPECT_FALSE(ClassesKeyThere(kProgId + L"\\shell\\" + verb)) << verb;
}

// What the shell makes of the command: a folder name with "%1", "%%" and an
// environment variable's name in it still starts that program, with the file.
TEST_F(ShellVerbs, AProgramInAFolderWithPercentSignsIsStartedWithTheFile) {
    ScopedFileType type(kType, kProgId);
    const std::wstring folder = MakeScratchDir(L"verb 100%1 %PATH% x%%y");
    const std::wstring program = folder + L"calvorn.exe";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_args.exe").c_str(), program.c_str(), FALSE));
    const std::wstring file = folder + L"a b" + kType;
    WriteText(file, "x");
    RegistryAccessor reg;
    ASSERT_TRUE(reg.CreateShellAssociation(program, kType).empty());

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"Register";
    info.lpFile = file.c_str();
    info.nShow = SW_HIDE;
    ASSERT_TRUE(::ShellExecuteExW(&info)) << ::GetLastError();
    if (info.hProcess) {
        ::WaitForSingleObject(info.hProcess, 20000);
        ::CloseHandle(info.hProcess);
    }
    const std::string bytes = ReadAll(program + L".args");
    const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()),
                            bytes.size() / sizeof(wchar_t));
    EXPECT_EQ(line, L"\"" + program + L"\" -r \"" + file + L"\"")
        << calvorn::platform::Narrow(line);
}

} // namespace
