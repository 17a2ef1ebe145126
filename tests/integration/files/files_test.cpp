// The file routines, the file object and the folder search against real
// files under Wine, long paths included.

#include "files/file_system.h"
#include "files/folder_listing.h"
#include "inspection/image_file.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace calvorn::files;
using calvorn::test::MakeScratchDir;

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

Date Now() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    return FileTimeToDate(ft);
}

class RecordingProgress final : public IFileProgress {
  public:
    void Min(std::int32_t v) override { min = v; }
    void Max(std::int32_t v) override { max = v; }
    std::int32_t Value() const override { return value; }
    void Value(std::int32_t v) override { value = v; }
    void Refresh() override { ++refreshes; }
    std::int32_t min = -1, max = -1, value = -1, refreshes = 0;
};

class ThrowingProgress final : public IFileProgress {
  public:
    void Min(std::int32_t) override { throw 1; }
    void Max(std::int32_t) override { throw 1; }
    std::int32_t Value() const override { throw 1; }
    void Value(std::int32_t) override { throw 1; }
    void Refresh() override { throw 1; }
};

std::vector<std::wstring> Names(const FolderListing& files) {
    std::vector<std::wstring> names;
    for (const auto& file : files)
        names.push_back(file->sFileName());
    return names;
}

} // namespace

TEST(FileObject, ReadsSizeDatesAndVolumeOfAnExistingFile) {
    std::wstring dir = MakeScratchDir(L"fileobject");
    WriteFile(dir + L"five.txt", "12345");
    FileFacts file;
    file.sFileName(dir + L"five.txt");

    EXPECT_EQ(file.lSize(), 5);
    EXPECT_EQ(GetOpenFileLength(file.sFileName()), 5);
    EXPECT_NE(file.eAttributes(), -1);
    EXPECT_EQ(file.eAttributes() & faDirectory, 0);
    for (Date d : {file.dCreated(), file.dLastAccessed(), file.dLastModified()})
        EXPECT_NEAR(d, Now(), 1.0); // the stored time of a file made just now
    EXPECT_NE(file.lVolumeSerialNo(), 0);
    EXPECT_EQ(file.bFixedDisk(), file.eVolumeType() == vtFixed);
    EXPECT_FALSE(file.sShortName().empty());
    EXPECT_EQ(file.sExpandedName().empty(), false);
    EXPECT_EQ(GetVolumeInfo(file.sPathRoot()).SerialNumber, file.lVolumeSerialNo());

    file.eAttributes(faReadOnly);
    EXPECT_EQ(file.eAttributes() & faReadOnly, faReadOnly);
    file.eAttributes(faNormal);
    EXPECT_EQ(file.eAttributes() & faReadOnly, 0);
}

TEST(FileObject, AFileHeldOpenExclusivelyStillGivesItsFacts) {
    std::wstring dir = MakeScratchDir(L"locked");
    WriteFile(dir + L"busy.dll", "123");
    HANDLE held = ::CreateFileW((dir + L"busy.dll").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    FileFacts file;
    file.sFileName(dir + L"busy.dll");
    EXPECT_EQ(file.lSize(), 3);
    EXPECT_NEAR(file.dLastModified(), Now(), 1.0);
    EXPECT_NE(file.lVolumeSerialNo(), 0);
    ::CloseHandle(held);
}

TEST(FileObject, AMissingFileGivesEveryFailureValue) {
    FileFacts file;
    file.sFileName(MakeScratchDir(L"missing") + L"nothing.dll");
    EXPECT_EQ(file.eAttributes(), -1);
    file.eAttributes(faReadOnly); // changes nothing, reports nothing
    EXPECT_EQ(file.eAttributes(), -1);
    EXPECT_EQ(file.lSize(), 0);
    EXPECT_EQ(file.lVolumeSerialNo(), 0);
    EXPECT_FALSE(file.bFixedDisk());
    EXPECT_EQ(file.sShortName(), L"");
    EXPECT_EQ(file.sExpandedName(), L"");
    for (Date d : {file.dCreated(), file.dLastAccessed(), file.dLastModified()})
        EXPECT_DOUBLE_EQ(d, -109205.0); // 1 January 1601
    // The name properties do not care.
    EXPECT_EQ(file.sNameAndExtension(), L"nothing.dll");

    BY_HANDLE_FILE_INFORMATION info = GetHandleFileInfo(file.sFileName());
    EXPECT_EQ(info.dwVolumeSerialNumber, 0u);
    EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime | info.ftLastWriteTime.dwHighDateTime, 0u);
}

TEST(FileObject, LongPathsGiveTheSameFactsAsShortOnes) {
    std::wstring dir = MakeScratchDir(L"long");
    WriteFile(dir + L"short.dll", "abcdefg");
    FileFacts shortFile;
    shortFile.sFileName(dir + L"short.dll");

    for (size_t length : {140u, 300u}) {
        SCOPED_TRACE(length);
        std::wstring folder = LongFolder(dir + L"L" + std::to_wstring(length) + L"\\", length);
        MakeDir(folder + L"x");
        WriteFile(folder + L"deep.dll", "abcdefg");
        FileFacts file;
        file.sFileName(folder + L"deep.dll");
        ASSERT_GT(file.sFileName().size(), length);

        EXPECT_EQ(file.lSize(), 7);
        EXPECT_EQ(GetOpenFileLength(file.sFileName()), 7);
        // The component reader opens long paths by the same rule.
        EXPECT_TRUE(calvorn::inspection::ImageFile::Open(file.sFileName()));
        EXPECT_EQ(file.bFixedDisk(), shortFile.bFixedDisk());
        EXPECT_EQ(file.lVolumeSerialNo(), shortFile.lVolumeSerialNo());
        EXPECT_NE(file.eAttributes(), -1);
        for (Date d : {file.dCreated(), file.dLastAccessed(), file.dLastModified()})
            EXPECT_NEAR(d, Now(), 1.0);

        FolderListing files;
        ASSERT_EQ(files.LoadFiles(folder + L"*.*", false), 1);
        EXPECT_EQ(files.Item(1)->sFileName(), folder + L"deep.dll");
        EXPECT_EQ(CountMatches(folder + L"*.*"), 4); // ".", "..", the folder and the file
    }
}

TEST(FileRoutines, CountMatchesCountsEveryEntry) {
    std::wstring dir = MakeScratchDir(L"count");
    EXPECT_EQ(CountMatches(dir + L"*.*"), 2); // "." and ".."
    EXPECT_EQ(CountMatches(dir + L"nowhere\\*.*"), 0);
    WriteFile(dir + L"a.dll", "");
    MakeDir(dir + L"sub");
    EXPECT_EQ(CountMatches(dir + L"*.*"), 4);
    EXPECT_EQ(CountMatches(dir + L"*.dll"), 1);
    EXPECT_EQ(GetAttributes(dir + L"nowhere"), -1);
    EXPECT_EQ(GetShortFileName(dir + L"nowhere"), L"");
}

TEST(LoadFiles, ListsTheFilesOfOneFolderAndStartsAfreshEachTime) {
    std::wstring dir = MakeScratchDir(L"load");
    WriteFile(dir + L"one.dll", "");
    WriteFile(dir + L"two.txt", "");
    MakeDir(dir + L"sub");
    WriteFile(dir + L"sub\\inner.dll", "");

    FolderListing files;
    RecordingProgress progress;
    EXPECT_EQ(files.LoadFiles(dir + L"*.*", false, &progress), 2);
    std::vector<std::wstring> names = Names(files);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{dir + L"one.dll", dir + L"two.txt"}));
    EXPECT_EQ(progress.min, 0);
    EXPECT_EQ(progress.max, 6); // ".", "..", sub, two files, plus one
    EXPECT_EQ(progress.value, 5);
    EXPECT_EQ(progress.refreshes, 5);

    EXPECT_EQ(files.LoadFiles(dir + L"*.txt", false), 1);
    EXPECT_EQ(Names(files), (std::vector<std::wstring>{dir + L"two.txt"}));

    ThrowingProgress throwing; // a broken progress object does not stop the load
    EXPECT_EQ(files.LoadFiles(dir + L"*.*", false, &throwing), 2);

    EXPECT_EQ(files.LoadFiles(dir + L"nowhere\\*.*", true), 0);
    EXPECT_EQ(files.Count(), 0);
}

TEST(LoadFiles, RecursiveLoadPutsTheDeepestFilesFirst) {
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

    FolderListing files;
    // Subfolders are found whatever the pattern; each is searched with it.
    ASSERT_EQ(files.LoadFiles(dir + L"*.dll", true), 4);
    std::vector<std::wstring> names = Names(files);
    auto at = [&](const std::wstring& name) {
        return std::find(names.begin(), names.end(), dir + name) - names.begin();
    };
    EXPECT_LT(at(L"sub1\\deep.dir\\d.dll"), at(L"sub1\\s1.dll"));
    EXPECT_LT(at(L"sub1\\s1.dll"), at(L"top.dll"));
    EXPECT_LT(at(L"sub2\\s2.dll"), at(L"top.dll"));
    EXPECT_EQ(at(L"top.dll"), 3);

    EXPECT_EQ(files.LoadFiles(dir + L"*.*", true), 6);
    EXPECT_EQ(files.LoadFiles(dir + L"*.*", false), 2); // a new load starts from empty

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
    EXPECT_EQ(files.LoadFiles(L"*.dll", true), 2);
    EXPECT_EQ(Names(files), (std::vector<std::wstring>{L"sub\\b.dll", L"a.dll"}));
    ::SetCurrentDirectoryW(previous);
}

TEST(LoadFiles, RecursiveLoadFollowsNoFolderLinks) {
    // Made by the test run: sub\up and sub\again are links back to the folder.
    const std::wstring dir = calvorn::test::BuildDir() + L"scratch\\folder-links\\";
    DWORD link = ::GetFileAttributesW((dir + L"sub\\up").c_str());
    ASSERT_NE(link, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(link & FILE_ATTRIBUTE_REPARSE_POINT);
    FolderListing files;
    for (int load = 0; load < 2; ++load) { // each load walks afresh
        EXPECT_EQ(files.LoadFiles(dir + L"*.*", true), 2);
        EXPECT_EQ(Names(files), (std::vector<std::wstring>{dir + L"sub\\b.dll", dir + L"a.dll"}));
    }
    // Asked for by its own name, a link's folder is listed like any other.
    EXPECT_EQ(files.LoadFiles(dir + L"sub\\up\\*.*", true), 2);
}
