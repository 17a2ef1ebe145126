// What a registered value names and whether that file is there, against a
// made-up machine: drives of every kind, two views of the system folder, a
// search path. Then which keys a repair removes, and the scan's records.

#include "app/scan_records.h"
#include "platform/text.h"
#include "registration/health/scan_backup.h"
#include "registration/health/scan_repair.h"
#include "registration/health/server_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>

using namespace calvorn;
using namespace calvorn::registration;

namespace {

struct FakeMachine {
    std::set<std::wstring> files32{LR"(C:\Windows\system32\ole32.dll)",
                                   LR"(C:\Program Files\App\app.exe)", LR"(E:\here.dll)",
                                   LR"(C:\Program Files (x86)\Common Files\x\c32.dll)"};
    std::set<std::wstring> files64{
        LR"(C:\Windows\system32\ole32.dll)", LR"(C:\Program Files\Common Files\x\c64.dll)",
        LR"(C:\Windows\system32\only64.dll)", LR"(C:\Program Files\App\app.exe)"};
    std::vector<std::wstring> looked; // every path the file system was asked about

    FileLookups Lookups() {
        FileLookups l;
        l.driveType = [](const std::wstring& root) -> unsigned {
            switch (root[0]) {
            case L'C':
                return DRIVE_FIXED;
            case L'N':
                return DRIVE_REMOTE;
            case L'E':
                return DRIVE_REMOVABLE;
            default:
                return DRIVE_NO_ROOT_DIR;
            }
        };
        l.fileExists = [this](const std::wstring& path, FileView view) {
            looked.push_back(path);
            const bool in32 = files32.contains(path), in64 = files64.contains(path);
            return view == FileView::Bits32 ? in32 : view == FileView::Bits64 ? in64 : in32 || in64;
        };
        l.bitness = [](const std::wstring&, FileView) { return FileBitness::Unknown; };
        l.searchFolders = {LR"(C:\Windows\system32)", LR"(C:\Windows)"};
        // A 64-bit machine, as a 32-bit program sees its variables.
        l.expand = [](const std::wstring& text, FileView view) {
            const std::vector<std::pair<std::wstring, std::wstring>> variables{
                {L"%SystemRoot%", LR"(C:\Windows)"},
                {L"%ProgramFiles%", LR"(C:\Program Files (x86))"},
                {L"%ProgramW6432%", LR"(C:\Program Files)"},
                {L"%CommonProgramFiles(x86)%", LR"(C:\Program Files (x86)\Common Files)"},
                {L"%CommonProgramW6432%", LR"(C:\Program Files\Common Files)"}};
            std::wstring out = ViewVariables(text, view, [&](const std::wstring& name) {
                for (const auto& [variable, value] : variables)
                    if (variable == L"%" + name + L"%")
                        return true;
                return false;
            });
            for (const auto& [variable, value] : variables)
                if (auto at = out.find(variable); at != std::wstring::npos)
                    out.replace(at, variable.size(), value);
            return out;
        };
        return l;
    }
};

} // namespace

TEST(ServerFiles, ValuesNameTheirFileAsTheLoaderFindsIt) {
    struct Case {
        const wchar_t* value;
        ServerValue kind;
        FileView view;
        const wchar_t* path;
        FileState state;
    };
    const ServerValue M = ServerValue::ModulePath, L = ServerValue::CommandLine;
    const FileView V32 = FileView::Bits32, V64 = FileView::Bits64;
    const FileState P = FileState::Present, G = FileState::Missing, U = FileState::Unknown;
    const wchar_t* ole = LR"(C:\Windows\system32\ole32.dll)";
    const wchar_t* app = LR"(C:\Program Files\App\app.exe)";
    for (const Case& c : std::initializer_list<Case>{
             {ole, M, V32, ole, P},
             {LR"( "%SystemRoot%\system32\ole32.dll" )", M, V32, ole, P},
             {LR"(\\?\C:\Windows\system32\ole32.dll)", M, V32, ole, P},
             {LR"(\??\C:/Windows/system32/ole32.dll)", M, V32, ole, P},
             {L"ole32.dll", M, V32, ole, P},
             {L"ole32", M, V32, ole, P},
             {L"absent.dll", M, V32, L"absent.dll", G},
             {LR"(C:\Windows\system32\only64.dll)", M, V32, LR"(C:\Windows\system32\only64.dll)",
              G},
             {LR"(C:\Windows\system32\only64.dll)", M, V64, LR"(C:\Windows\system32\only64.dll)",
              P},
             {LR"(C:\Windows\system32\only64.dll)", M, FileView::Either,
              LR"(C:\Windows\system32\only64.dll)", P},
             {LR"(C:\Program Files\App\app.exe -Embedding)", L, V32, app, P},
             {LR"("C:\Program Files\App\app.exe" /automation)", L, V64, app, P},
             {LR"(C:\Program Files\App\app /automation)", L, V32, app, P},
             {LR"(C:\gone\server.exe /x /y)", L, V32, LR"(C:\gone\server.exe)", G},
             {LR"(\\server\share\x.dll)", M, V32, LR"(\\server\share\x.dll)", U},
             {LR"(\\?\UNC\server\share\x.dll)", M, V32, LR"(\\server\share\x.dll)", U},
             {LR"(N:\mapped\x.dll)", M, V32, LR"(N:\mapped\x.dll)", U},
             {LR"(E:\here.dll)", M, V32, LR"(E:\here.dll)", P},
             {LR"(E:\gone.dll)", M, V32, LR"(E:\gone.dll)", U},
             {LR"(G:\unplugged.dll)", M, V32, LR"(G:\unplugged.dll)", U},
             {LR"(relative\x.dll)", M, V32, LR"(relative\x.dll)", U},
             {L"  ", M, V32, L"", G},
             // Each view's own folders, whatever bitness the program is.
             {LR"(%CommonProgramFiles%\x\c32.dll)", M, V32,
              LR"(C:\Program Files (x86)\Common Files\x\c32.dll)", P},
             {LR"(%CommonProgramFiles%\x\c64.dll)", M, V64,
              LR"(C:\Program Files\Common Files\x\c64.dll)", P},
             {LR"("%ProgramFiles%\App\app.exe" -Embedding)", L, V64, app, P},
             {LR"(%CommonProgramFiles%\x\c64.dll)", M, FileView::Either,
              LR"(C:\Program Files\Common Files\x\c64.dll)", P},
             // The folder is judged by the name the path ends in.
             {LR"(C:\Windows\system32\..\System32\.\..\system32\only64.dll)", M, V32,
              LR"(C:\Windows\system32\only64.dll)", G},
             {LR"(C:\Windows/SysWOW64/../system32/only64.dll)", M, V64,
              LR"(C:\Windows\system32\only64.dll)", P},
             {LR"(C:\..\..\Windows\system32\ole32.dll)", M, V32, ole, P},
         }) {
        FakeMachine machine;
        ServerFiles files(machine.Lookups());
        const ServerFile file = files.Resolve(c.value, c.kind, c.view);
        EXPECT_EQ(file.path, c.path) << c.value;
        EXPECT_EQ(file.state, c.state) << c.value;
        // A share or a network drive is never touched: a dead server would
        // hold the scan.
        for (const std::wstring& looked : machine.looked)
            EXPECT_TRUE(looked.rfind(L"\\\\", 0) != 0 && looked[0] != L'N') << c.value;
    }
}

TEST(ServerFiles, EachPathIsLookedAtOncePerView) {
    FakeMachine machine;
    ServerFiles files(machine.Lookups());
    for (int i = 0; i < 3; ++i) {
        files.Resolve(LR"(C:\Windows\system32\OLE32.dll)", ServerValue::ModulePath,
                      FileView::Bits32);
        files.Resolve(LR"(c:\windows\system32\ole32.dll)", ServerValue::ModulePath,
                      FileView::Bits32);
    }
    files.Resolve(LR"(C:\Windows\system32\ole32.dll)", ServerValue::ModulePath, FileView::Bits64);
    EXPECT_EQ(machine.looked.size(), 2u);
}

TEST(RemovalTargets, EachKeyOnceNeverUnknownNeverInsideAnother) {
    const ScanView V32 = ScanView::Machine32, V64 = ScanView::Machine64;
    const ScanState B = ScanState::Broken;
    const std::vector<ScanEntry> entries{
        {V32, ScanKind::ClassServer, B, L"CLSID\\{A}", L"a.dll"},
        {V32, ScanKind::LocalServer, B, L"CLSID\\{a}", L"a.exe"},
        {V64, ScanKind::ClassServer, B, L"CLSID\\{A}", L"a.dll"},
        {V64, ScanKind::ClassServer, ScanState::Unknown, L"CLSID\\{B}", L"\\\\s\\b.dll"},
        {V64, ScanKind::TypeLibFile, B, L"TypeLib\\{L}\\1.0\\0\\win32", L"l.dll"},
        {V64, ScanKind::TypeLibFile, B, L"TypeLib\\{L}\\1.0", L"l.dll"},
        {V64, ScanKind::TypeLibFile, B, L"TypeLib\\{L}\\1.0\\0\\win64", L"l.dll"},
        {V64, ScanKind::ProgIdClass, B, L"TypeLib\\{L}\\1.00", L"{X}"},
    };
    EXPECT_EQ(RemovalTargets(entries), (std::vector<RemovalTarget>{
                                           {V32, L"CLSID\\{A}"},
                                           {V64, L"CLSID\\{A}"},
                                           {V64, L"TypeLib\\{L}\\1.0"},
                                           {V64, L"TypeLib\\{L}\\1.00"},
                                       }));
}

TEST(ScanRecords, EveryFormatKeepsTheValueExactAndHarmless) {
    const ScanEntry entry{ScanView::User, ScanKind::ClassServer, ScanState::Broken, L"CLSID\\{A}",
                          L"=cmd|' /c calc'!A1\r\nbroken  64-bit"};
    using app::ReportFormat;
    EXPECT_EQ(app::ScanHeader(ReportFormat::Csv), "view,kind,key,missing,state\r\n");
    EXPECT_EQ(app::ScanRecord(ReportFormat::Csv, entry),
              "user,class server,HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A},"
              "\"'=cmd|' /c calc'!A1\r\nbroken  64-bit\",broken\r\n");
    EXPECT_EQ(app::ScanRecord(ReportFormat::JsonLines, entry),
              "{\"view\":\"user\",\"kind\":\"class server\",\"key\":"
              "\"HKEY_CURRENT_USER\\\\Software\\\\Classes\\\\CLSID\\\\{A}\",\"missing\":"
              "\"=cmd|' /c calc'!A1\\r\\nbroken  64-bit\",\"state\":\"broken\"}\n");
    const ScanEntry bitness{ScanView::Machine64, ScanKind::ServerBitness, ScanState::Broken,
                            L"CLSID\\{B}", L"C:\\x (1).dll (32-bit)"};
    EXPECT_EQ(app::ScanProblem(bitness), L"other bitness \"C:\\x (1).dll\" (32-bit)");
    // One line, however the value is made.
    EXPECT_EQ(app::ScanRecord(ReportFormat::Text, entry),
              "broken  user  class server  HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A}  "
              "missing file \"=cmd|' /c calc'!A1\\r\\nbroken  64-bit\"\r\n");
}

namespace {

std::vector<std::uint8_t> StringBytes(const std::wstring& text) {
    const std::wstring stored = text + L'\0';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stored.data());
    return {bytes, bytes + stored.size() * sizeof(wchar_t)};
}

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

} // namespace

TEST(ScanBackup, ReadsBackEveryNameExactlyAndRefusesWhatItDidNotWrite) {
    ScanBackup backup;
    backup.view = CapturedMachine::X64;
    backup.keys = {
        {CapturedRoot::LocalMachine,
         L"Software\\Classes\\Wow6432Node\\CLSID\\{A}",
         {{L"", CapturedType::String, StringBytes(L"x \"y\" \\z")},
          {L"line\r\nend \"quoted\" \\", CapturedType::Dword, {1, 2, 3, 4}},
          {L"text", CapturedType::String, StringBytes(L"a\r\nb")},
          {L"odd", CapturedType::String, {0x41, 0x00, 0x42}},
          {L"none", CapturedType::None, {}},
          {L"big", static_cast<CapturedType>(0x1234), {9}}}},
        {CapturedRoot::CurrentUser,
         L"Software\\Classes\\CLSID\\{B}\\x]",
         {{L"SymbolicLinkValue", CapturedType::Link, {0x5C, 0x00, 0x52, 0x00}}}},
    };
    std::wstring why;
    const std::optional<ScanBackup> read = ReadScanBackup(WriteScanBackup(backup), why);
    ASSERT_TRUE(read) << platform::Narrow(why);
    EXPECT_EQ(read->view, CapturedMachine::X64);
    EXPECT_EQ(read->keys, backup.keys);

    const std::wstring head = L"Windows Registry Editor Version 5.00\r\n\r\n"
                              L"; Calvorn repair backup (x86)\r\n\r\n";
    EXPECT_TRUE(
        ReadScanBackup(Utf16(head + L"[HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n"), why));
    for (const std::wstring& bad : {
             // Not titled as a backup.
             std::wstring(L"Windows Registry Editor Version 5.00\r\n\r\n"
                          L"[HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n"),
             // A key outside the classes keys, or a deletion.
             head + L"[HKEY_CURRENT_USER\\Software\\Run]\r\n",
             head + L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\..\\..\\System]\r\n",
             head + L"[-HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n",
             // Values it does not write, or before any key.
             head + L"@=\"x\"\r\n",
             head + L"[HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n\"a\"=-\r\n",
             head + L"[HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n\"a\\t\"=\"x\"\r\n",
             head + L"[HKEY_CURRENT_USER\\Software\\Classes\\X]\r\n\"a\"=hex:4\r\n",
         })
        EXPECT_FALSE(ReadScanBackup(Utf16(bad), why)) << platform::Narrow(bad);
    EXPECT_FALSE(BackupHoldsKeyName(L"a\nb"));
    EXPECT_TRUE(BackupHoldsValueName(L"a\r\nb"));
    EXPECT_FALSE(BackupHoldsValueName(std::wstring(L"a\0b", 3)));
}

// A registration written between the scan and the fix: each key is judged
// again immediately before it goes, and what is no longer broken, or no
// longer what the backup holds, is kept.
TEST(Repair, WhatChangedSinceTheScanIsKept) {
    const std::wstring id = L"{5D1C0B7E-2A43-4F6D-9E8B-7C6A5F4E3D21}";
    const std::wstring classKey = L"Software\\Classes\\CLSID\\" + id;
    const REGSAM view = PlaceOf(ScanView::User).access;
    const auto setServer = [&](const std::wstring& file) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (classKey + L"\\InprocServer32").c_str(), 0,
                                    nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                         static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    };
    const auto there = [&] {
        HKEY key = nullptr;
        const bool open = ::RegOpenKeyExW(HKEY_CURRENT_USER, classKey.c_str(), 0, KEY_READ | view,
                                          &key) == ERROR_SUCCESS;
        if (open)
            ::RegCloseKey(key);
        return open;
    };
    const std::wstring gone = LR"(C:\nowhere\race.dll)";
    const std::vector<ScanView> views{ScanView::User};
    const std::vector<ScanEntry> found{
        {ScanView::User, ScanKind::ClassServer, ScanState::Broken, L"CLSID\\" + id, gone}};
    FakeMachine machine;
    setServer(gone);

    // The file came back before the fix began: nothing is planned.
    machine.files32.insert(gone);
    ServerFiles fresh(machine.Lookups());
    EXPECT_FALSE(RecheckEntry(fresh, views, found[0]));
    RepairPlan plan = PlanRepair(found, views, machine.Lookups());
    EXPECT_TRUE(plan.removals.empty());
    EXPECT_EQ(plan.changed, (std::vector<RemovalTarget>{{ScanView::User, L"CLSID\\" + id}}));
    machine.files32.erase(gone);

    // Registered again, to a file that is there, after the backup was made.
    plan = PlanRepair(found, views, machine.Lookups());
    ASSERT_EQ(plan.removals.size(), 1u);
    EXPECT_EQ(BackupOf(plan.removals).keys.size(), 2u);
    setServer(LR"(C:\Windows\system32\ole32.dll)");
    std::wstring reason;
    EXPECT_EQ(RemovePlanned(plan.removals[0], views, machine.Lookups(), reason),
              RemovalOutcome::Changed);
    EXPECT_TRUE(there());

    // Still broken, but not what the backup holds.
    setServer(gone);
    plan = PlanRepair(found, views, machine.Lookups());
    ASSERT_EQ(plan.removals.size(), 1u);
    setServer(LR"(C:\nowhere\other.dll)");
    EXPECT_EQ(RemovePlanned(plan.removals[0], views, machine.Lookups(), reason),
              RemovalOutcome::Changed);
    EXPECT_TRUE(there());

    // Unchanged since its backup: it goes.
    plan = PlanRepair(found, views, machine.Lookups());
    ASSERT_EQ(plan.removals.size(), 1u);
    EXPECT_EQ(RemovePlanned(plan.removals[0], views, machine.Lookups(), reason),
              RemovalOutcome::Removed);
    EXPECT_FALSE(there());
}
