// Reading a file's type library: from its header where our bounded reader
// takes it, else by the system's loader in the helper process, and the two
// agree on every library both read.

#include "files/folder_listing.h"
#include "inspection/typelib_info.h"
#include "platform/text.h"
#include "support/in_process_typelib.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

using calvorn::test::LoadTypeLibInProcess;

// A damaged library that the system's loader cannot survive: the helper
// process takes the blow, and the file simply has no library.
TEST(TypeLibIsolation, DamagedLibraryIsNoLibraryAndThisProcessLives) {
    using calvorn::inspection::TypeLibInfo;
    using calvorn::test::FixturePath;
    // The damaged library takes its helper down each time; the next question
    // is answered all the same.
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(TypeLibInfo::Open(FixturePath(L"tl_alpha.dll"))) << round;
        EXPECT_FALSE(TypeLibInfo::Open(FixturePath(L"regressions\\broken_typelib.ocx"))) << round;
        auto ten = TypeLibInfo::Open(FixturePath(L"tl_ten.dll"));
        ASSERT_TRUE(ten) << round;
        EXPECT_EQ(ten->MinorVersion(), 10) << round;
    }
}

namespace {

// The system folder of this process's bitness, named so that the loader in
// this process and the header reader see the same file.
std::wstring OwnSystemFolder() {
    wchar_t system[MAX_PATH];
    UINT length = ::GetSystemWow64DirectoryW(system, MAX_PATH);
    if (length == 0)
        length = ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, length);
}

} // namespace

TEST(TypeLibHeader, ReadsWhatTheLoaderReadsOrLeavesTheFileToIt) {
    using calvorn::inspection::TypeLibInfo;
    using calvorn::test::FixturePath;
    const std::wstring sys = OwnSystemFolder();
    struct Case {
        std::wstring path;
        bool mustRead; // our fixtures are plain libraries: the header reader takes them
    };
    std::vector<Case> cases = {
        {FixturePath(L"tl_alpha.dll"), true},   {FixturePath(L"tl_alpha2.dll"), true},
        {FixturePath(L"tl_ten.dll"), true},     {FixturePath(L"tl_nohelp.dll"), true},
        {FixturePath(L"tl_alpha64.dll"), true}, {sys + L"\\stdole2.tlb", false},
        {sys + L"\\stdole32.tlb", false},       {sys + L"\\mshtml.tlb", false},
        {sys + L"\\activeds.tlb", false},       {sys + L"\\scrrun.dll", false},
        {sys + L"\\vbscript.dll", false},       {sys + L"\\msxml3.dll", false},
    };
    int read = 0;
    for (const Case& c : cases) {
        // Sound libraries all: the loader may run in this process.
        auto loader = LoadTypeLibInProcess(c.path);
        auto header = TypeLibInfo::FromHeader(c.path);
        if (c.mustRead) {
            ASSERT_TRUE(header && loader) << c.path;
        }
        if (!header)
            continue;
        ASSERT_TRUE(loader) << c.path;
        EXPECT_EQ(header->Serialize(), loader->Serialize()) << c.path;
        ++read;
    }
    EXPECT_GE(read, 7);
    // No library, no module, no file: nothing read, and the loader agrees.
    for (const wchar_t* none : {L"tl_none.dll", L"not_a_module.dll", L"missing.dll"}) {
        EXPECT_FALSE(TypeLibInfo::FromHeader(FixturePath(none))) << none;
        EXPECT_FALSE(TypeLibInfo::Open(FixturePath(none))) << none;
    }
}

// The classes and interfaces that the registration check expects: the header
// reader lists what the loader lists, in its order, for every library of the
// system folder and the fixtures that it reads at all.
TEST(TypeLibHeader, ListsTheTypesTheLoaderLists) {
    using namespace calvorn::inspection;
    std::vector<std::wstring> files = {calvorn::test::FixturePath(L"tl_alpha.dll"),
                                       calvorn::test::FixturePath(L"probe_classes.dll"),
                                       calvorn::test::FixturePath(L"tl_ten.dll")};
    for (const wchar_t* pattern : {L"\\*.dll", L"\\*.ocx", L"\\*.tlb"})
        for (const std::wstring& file :
             calvorn::files::ListFiles(OwnSystemFolder() + pattern, false))
            files.push_back(file);
    std::size_t compared = 0;
    std::size_t types = 0;
    for (const std::wstring& file : files) {
        auto fromHeader = LibraryTypesFromHeader(file);
        if (!fromHeader)
            continue;
        EXPECT_EQ(SerializeTypes(*fromHeader), SerializeTypes(LibraryTypesByLoader(file)))
            << calvorn::platform::Narrow(file);
        ++compared;
        types += fromHeader->size();
    }
    std::printf("%zu libraries, %zu types\n", compared, types);
    EXPECT_GE(compared, 20u);
    EXPECT_GE(types, 200u);
}
