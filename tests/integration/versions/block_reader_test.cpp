#include "inspection/pe_version_reader.h"
#include "support/platform_versions.h"
#include "support/test_paths.h"

#include <windows.h>

#include "files/folder_listing.h"
#include "platform/path_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace calvorn::inspection;

namespace {

// Our reader must decide every file and return the platform's very bytes.
void ExpectSameAsPlatform(const std::vector<std::wstring>& files, int& versioned) {
    for (const std::wstring& path : files) {
        const std::string name(path.begin(), path.end());
        auto ours = ReadVersionBlockFromImage(path);
        ASSERT_TRUE(ours.has_value()) << name;
        const VersionBlock platform = ReadVersionBlockByPlatform(path);
        EXPECT_EQ(*ours, platform) << name;
        versioned += platform.empty() ? 0 : 1;
    }
}

} // namespace

TEST(VersionBlockReader, SameBytesAsThePlatformForTheFixtures) {
    const auto files = calvorn::files::ListFiles(
        calvorn::platform::JoinPath(calvorn::test::FixturePath(L"versions\\"), L"*"), false);
    ASSERT_GT(files.size(), 20u);
    int versioned = 0;
    ExpectSameAsPlatform(files, versioned);
    EXPECT_EQ(versioned + 1, static_cast<int>(files.size())); // all but none.dll
}

// The platform prefers US English, then the first language; our reader must
// take the same one where several are present.
TEST(VersionBlockReader, PicksTheLanguageThePlatformPicks) {
    for (const wchar_t* name : {L"languages.dll", L"languages_no_english.dll"}) {
        const std::wstring path = calvorn::test::FixturePath(std::wstring(L"versions\\") + name);
        auto ours = ReadVersionBlockFromImage(path);
        ASSERT_TRUE(ours.has_value());
        EXPECT_EQ(*ours, ReadVersionBlockByPlatform(path));
    }
}

// Wine's own 32-bit and 64-bit PE files: real files nobody here wrote.
TEST(VersionBlockReader, SameBytesAsThePlatformForWinesOwnFiles) {
    for (const wchar_t* folder : {L"Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\",
                                  L"Z:\\usr\\lib\\x86_64-linux-gnu\\wine\\x86_64-windows\\"}) {
        const auto files =
            calvorn::files::ListFiles(calvorn::platform::JoinPath(folder, L"*"), false);
        if (files.empty())
            continue;
        int versioned = 0;
        ExpectSameAsPlatform(files, versioned);
        EXPECT_GT(versioned, 100);
        std::printf("%ls: %zu files, %d with a version resource\n", folder, files.size(),
                    versioned);
    }
}

// 16-bit files are ours to read too: the platform's version calls are not
// trusted with them in our process.
TEST(VersionBlockReader, SameBytesAsThePlatformForSixteenBitFiles) {
    int versioned = 0;
    ExpectSameAsPlatform(calvorn::test::SixteenBitSystemFiles(), versioned);
    EXPECT_EQ(versioned, 5);
}

TEST(VersionBlockReader, NonPeFilesHaveNoBlock) {
    const std::wstring dir = calvorn::test::MakeScratchDir(L"versions");
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"empty.dll", ""},
        {L"text.dll", "just some text, not a program"},
        {L"short_mz.dll", "MZ"},
        {L"bad_lfanew.dll", std::string("MZ") + std::string(58, '\0') + "\xff\xff\xff\x7f"},
    };
    for (const auto& [name, content] : files) {
        const std::wstring path = dir + name;
        HANDLE h =
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(h);
        auto ours = ReadVersionBlockFromImage(path);
        ASSERT_TRUE(ours.has_value());
        EXPECT_TRUE(ours->empty());
        EXPECT_TRUE(ReadVersionBlockByPlatform(path).empty());
        EXPECT_TRUE(ReadVersionBlock(path).empty());
    }
}

// A file whose PE signature is spoiled after its first two letters: the
// platform's loader refuses it, but its own file reader still finds the
// resource. Ours leaves such files to the platform's calls in the helper
// process, so the fields still come.
TEST(VersionBlockReader, UndecidedFilesGoToThePlatform) {
    const std::wstring dir = calvorn::test::MakeScratchDir(L"versions");
    const std::wstring path = dir + L"odd_signature.dll";
    ASSERT_TRUE(::CopyFileW(calvorn::test::FixturePath(L"versions\\strings.dll").c_str(),
                            path.c_str(), FALSE));
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD lfanew = 0, done = 0;
    ::SetFilePointer(h, 0x3C, nullptr, FILE_BEGIN);
    ::ReadFile(h, &lfanew, 4, &done, nullptr);
    const BYTE spoiled = 1;
    ::SetFilePointer(h, static_cast<LONG>(lfanew + 2), nullptr, FILE_BEGIN);
    ::WriteFile(h, &spoiled, 1, &done, nullptr);
    ::CloseHandle(h);

    EXPECT_FALSE(ReadVersionBlockFromImage(path).has_value());
    const VersionBlock platform = ReadVersionBlockByPlatform(path);
    EXPECT_FALSE(platform.empty());
    EXPECT_EQ(ReadVersionBlock(path), platform);
}
