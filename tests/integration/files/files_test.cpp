// The folder search against real files under Wine, long paths, deep trees
// and folder links included; the inventory's read of a file that grows.

#include "app/report.h"
#include "app/report_inventory.h"
#include "files/folder_listing.h"
#include "inspection/image_file.h"
#include "platform/path_forms.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <span>
#include <thread>

using namespace calvorn::files;
using calvorn::platform::ExtendedPath;
using calvorn::test::MakeScratchDir;
using Names = std::vector<std::wstring>;

namespace {

void WriteFile(const std::wstring& path, const std::string& content) {
    HANDLE h = ::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create the test file";
    DWORD written = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(h);
}

void MakeDir(const std::wstring& path) {
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(path).c_str(), nullptr));
}

// A folder below `base` whose full path is at least `length` characters.
std::wstring LongFolder(const std::wstring& base, size_t length) {
    std::wstring folder = base;
    ::CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr);
    while (folder.size() < length) {
        folder += std::wstring(40, L'd') + L"\\";
        ::CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr);
    }
    return folder;
}

} // namespace

TEST(ListFiles, LongPathsAreSearchedAndReadLikeShortOnes) {
    std::wstring dir = MakeScratchDir(L"long");
    for (size_t length : {140u, 300u}) {
        SCOPED_TRACE(length);
        std::wstring folder = LongFolder(dir + L"L" + std::to_wstring(length) + L"\\", length);
        MakeDir(folder + L"x");
        WriteFile(folder + L"deep.dll", "abcdefg");
        const Names files = ListFiles(folder + L"*.*", false);
        ASSERT_EQ(files, Names{folder + L"deep.dll"});
        // The component reader opens long paths by the same rule.
        EXPECT_TRUE(calvorn::inspection::ImageFile::Open(files[0]));
    }
}

// A component past the ordinary length limit is read as any other by the one
// reader of every folder report, the window's text report included.
TEST(InventoryRecord, AModuleInALongPathIsReadWholeByEveryFormatsReader) {
    const std::wstring folder = LongFolder(MakeScratchDir(L"long-read") + L"L\\", 300);
    const std::wstring path = folder + L"deep.exe";
    ASSERT_TRUE(
        ::CopyFileW(calvorn::test::ProgramPath().c_str(), ExtendedPath(path).c_str(), FALSE));
    EXPECT_EQ(calvorn::app::FolderProblem(folder), std::nullopt);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data));

    const calvorn::app::FolderRecord inventory =
        calvorn::app::ReadInventoryRecord(path, calvorn::app::InventoryOptions{});
    const calvorn::app::FolderRecord text =
        calvorn::app::ReadInventoryRecord(path, calvorn::app::TextReportOptions());
    for (const calvorn::app::FolderRecord* record : {&inventory, &text}) {
        EXPECT_EQ(record->error, L"");
        EXPECT_EQ(record->info.CompanyName, L"Calvorn");
        EXPECT_EQ(record->size, std::optional<std::uint64_t>(data.nFileSizeLow));
        EXPECT_TRUE(record->lastWrite.has_value());
    }
    EXPECT_TRUE(inventory.inventory.read);
    EXPECT_EQ(inventory.inventory.module.machine, sizeof(void*) == 8 ? "x64" : "x86");
    // The text report shows none of the facts, and does not read them.
    EXPECT_FALSE(text.inventory.read);
}

TEST(ListFiles, ListsTheFilesOfOneFolderThatMatch) {
    std::wstring dir = MakeScratchDir(L"load");
    WriteFile(dir + L"one.dll", "");
    WriteFile(dir + L"two.txt", "");
    MakeDir(dir + L"sub");
    WriteFile(dir + L"sub\\inner.dll", "");

    Names names = ListFiles(dir + L"*.*", false);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{dir + L"one.dll", dir + L"two.txt"}));
    EXPECT_EQ(ListFiles(dir + L"*.txt", false), Names{dir + L"two.txt"});
    EXPECT_EQ(ListFiles(dir + L"nowhere\\*.*", true), Names{});
}

TEST(ListFiles, SubfoldersComeFirstDeepestFirst) {
    std::wstring dir = MakeScratchDir(L"recursive");
    WriteFile(dir + L"top.dll", "");
    WriteFile(dir + L"top.txt", "");
    MakeDir(dir + L"sub1");
    WriteFile(dir + L"sub1\\s1.dll", "");
    WriteFile(dir + L"sub1\\s1.txt", "");
    MakeDir(dir + L"sub1\\deep.dir");
    WriteFile(dir + L"sub1\\deep.dir\\d.dll", "");
    MakeDir(dir + L"sub2");
    WriteFile(dir + L"sub2\\s2.dll", "");

    // Subfolders are found whatever the pattern; each is searched with it.
    const Names names = ListFiles(dir + L"*.dll", true);
    ASSERT_EQ(names.size(), 4u);
    auto at = [&](const std::wstring& name) {
        return std::find(names.begin(), names.end(), dir + name) - names.begin();
    };
    EXPECT_LT(at(L"sub1\\deep.dir\\d.dll"), at(L"sub1\\s1.dll"));
    EXPECT_LT(at(L"sub1\\s1.dll"), at(L"top.dll"));
    EXPECT_LT(at(L"sub2\\s2.dll"), at(L"top.dll"));
    EXPECT_EQ(at(L"top.dll"), 3);
    EXPECT_EQ(ListFiles(dir + L"*.*", true).size(), 6u);

    // A pattern without a folder is walked from the current folder down, not
    // from the root of its drive (C:, where the system's own DLLs are).
    const std::wstring here = L"C:\\calvorn-relative-load\\";
    for (const std::wstring& folder : {here, here + L"sub"})
        ::CreateDirectoryW(folder.c_str(), nullptr);
    WriteFile(here + L"a.dll", "");
    WriteFile(here + L"sub\\b.dll", "");
    wchar_t previous[MAX_PATH] = L"";
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(here.c_str()));
    EXPECT_EQ(ListFiles(L"*.dll", true), (Names{L"sub\\b.dll", L"a.dll"}));
    ::SetCurrentDirectoryW(previous);
}

TEST(ListFiles, FollowsNoFolderLinks) {
    // Made by the test run: sub\up and sub\again are links back to the folder.
    const std::wstring dir = calvorn::test::BuildDir() + L"scratch\\folder-links\\";
    DWORD link = ::GetFileAttributesW((dir + L"sub\\up").c_str());
    ASSERT_NE(link, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(link & FILE_ATTRIBUTE_REPARSE_POINT);
    for (int load = 0; load < 2; ++load) // each search walks afresh
        EXPECT_EQ(ListFiles(dir + L"*.*", true), (Names{dir + L"sub\\b.dll", dir + L"a.dll"}));
    // Asked for by its own name, a link's folder is listed like any other.
    EXPECT_EQ(ListFiles(dir + L"sub\\up\\*.*", true).size(), 2u);
}

// A deep tree: every file is listed, the deepest first, by a walk that keeps
// its own stack (Wine's lookups grow with the depth, so the test stays at
// 300 levels; bench/walk goes to 1,000).
TEST(ListFiles, ADeepTreeIsWalkedWhole) {
    const std::wstring dir = MakeScratchDir(L"deep");
    std::wstring folder = dir;
    Names expected;
    for (int depth = 1; depth <= 300; ++depth) {
        folder += L"d\\";
        MakeDir(folder);
        if (depth % 100 == 0) {
            WriteFile(folder + L"f.dll", "");
            expected.insert(expected.begin(), folder + L"f.dll");
        }
    }
    WriteFile(dir + L"top.dll", "");
    expected.push_back(dir + L"top.dll");
    EXPECT_EQ(ListFiles(dir + L"*.*", true), expected);
    EXPECT_EQ(ListFiles(dir + L"*.dll", true), expected);
    EXPECT_EQ(ListFiles(dir + L"*.*", false), Names{dir + L"top.dll"});
}

// A file that grows while it is read: its digest covers the bytes its size
// column counts, and the read ends there (a file above the size held whole
// streams through the digest).
TEST(InventoryRecord, AGrowingFileIsHashedOverTheSizeItReports) {
    const std::wstring path = MakeScratchDir(L"growing") + L"growing.dll";
    const std::string block(1 << 20, 'g');
    WriteFile(path, "MZ");
    HANDLE writer = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const auto append = [&](std::size_t length) {
        DWORD written = 0;
        return ::WriteFile(writer, block.data(), static_cast<DWORD>(length), &written, nullptr) !=
               FALSE;
    };
    for (std::size_t i = 0; i < (calvorn::app::kWholeFileLimit >> 20) + 2; ++i)
        ASSERT_TRUE(append(block.size()));
    std::atomic<bool> reading = true;
    // About 64 KB a millisecond while the read lasts, and never without end:
    // the pause paces the writer, it waits for nothing.
    std::thread grow([&] {
        for (int i = 0; reading && i < 2000; ++i) {
            append(64 << 10);
            ::Sleep(1);
        }
    });
    calvorn::app::InventoryOptions options;
    const calvorn::app::FolderRecord record = calvorn::app::ReadInventoryRecord(path, options);
    reading = false;
    grow.join();
    ::CloseHandle(writer);

    ASSERT_TRUE(record.error.empty());
    ASSERT_TRUE(record.size.has_value());
    EXPECT_GT(*record.size, calvorn::app::kWholeFileLimit);
    // The first `size` bytes of the file as it stands now.
    auto hashes = calvorn::platform::StartHashes({});
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<std::uint8_t> bytes(1 << 20);
    for (std::uint64_t left = *record.size; left > 0;) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(left, bytes.size()));
        ASSERT_TRUE(::ReadFile(file, bytes.data(), want, &got, nullptr) && got == want);
        hashes->Add(std::span(bytes).first(got));
        left -= got;
    }
    LARGE_INTEGER grown{};
    ::GetFileSizeEx(file, &grown);
    ::CloseHandle(file);
    // It did grow while it was read: what is checked here was at stake.
    EXPECT_GT(static_cast<std::uint64_t>(grown.QuadPart), *record.size);
    EXPECT_EQ(record.inventory.sha256, hashes->Finish(calvorn::platform::HashKind::Sha256));
}
