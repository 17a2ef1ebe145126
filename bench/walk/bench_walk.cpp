// The report's folder walk against a plain recursive FindFirstFileEx walker
// that lists every folder once, on the same trees in the same run: a chain
// of folders 1,000 deep with a file in each, and a tree of 20 x 20 folders
// with five files each. The trees are made once in the temporary folder and
// taken away at the end.
//   bench_walk.exe RUNS

#include "../app/bench_print.h"
#include "../versions/bench_clock.h"
#include "files/folder_listing.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::wstring kLong = L"\\\\?\\";

// The plain walker: each folder listed once, its subfolders walked first.
void PlainWalk(const std::wstring& folder, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW data{};
    HANDLE search = ::FindFirstFileExW((kLong + folder + L"*").c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> own;
    std::vector<std::wstring> subfolders;
    do {
        const std::wstring name = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            own.push_back(folder + name);
        else if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." &&
                 name != L"..")
            subfolders.push_back(name);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    for (const std::wstring& name : subfolders)
        PlainWalk(folder + name + L"\\", files);
    files.insert(files.end(), own.begin(), own.end());
}

void Touch(const std::wstring& path) {
    HANDLE file = ::CreateFileW((kLong + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
}

void MakeDeep(const std::wstring& root, int depth) {
    std::wstring folder = root;
    ::CreateDirectoryW((kLong + folder).c_str(), nullptr);
    for (int level = 0; level < depth; ++level) {
        Touch(folder + L"f.dll");
        folder += L"d\\";
        ::CreateDirectoryW((kLong + folder).c_str(), nullptr);
    }
}

void MakeWide(const std::wstring& root) {
    ::CreateDirectoryW((kLong + root).c_str(), nullptr);
    for (int a = 0; a < 20; ++a) {
        const std::wstring outer = root + L"a" + std::to_wstring(a) + L"\\";
        ::CreateDirectoryW((kLong + outer).c_str(), nullptr);
        for (int b = 0; b < 20; ++b) {
            const std::wstring inner = outer + L"b" + std::to_wstring(b) + L"\\";
            ::CreateDirectoryW((kLong + inner).c_str(), nullptr);
            for (int f = 0; f < 5; ++f)
                Touch(inner + L"f" + std::to_wstring(f) + L".dll");
        }
    }
}

// The median of `runs` timings of each walker, taken in turns so that both
// meet the same state of the caches.
void Measure(const char* name, const std::wstring& root, int runs) {
    std::vector<double> ours, plain;
    std::size_t ourCount = 0, plainCount = 0;
    for (int run = 0; run < runs; ++run) {
        double start = Seconds();
        ourCount = calvorn::files::ListFiles(root + L"*.*", true).size();
        ours.push_back(Seconds() - start);
        std::vector<std::wstring> files;
        start = Seconds();
        PlainWalk(root, files);
        plain.push_back(Seconds() - start);
        plainCount = files.size();
    }
    std::sort(ours.begin(), ours.end());
    std::sort(plain.begin(), plain.end());
    const double a = ours[ours.size() / 2], b = plain[plain.size() / 2];
    if (ourCount != plainCount)
        std::printf("%s: %zu files against %zu\n", name, ourCount, plainCount);
    calvorn::bench::PrintTarget(name, a, b, b > 0 ? a / b : 0, true, 1.3);
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    HANDLE search = ::FindFirstFileW((kLong + folder + L"*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + L"\\");
            else
                ::DeleteFileW((kLong + folder + name).c_str());
        } while (::FindNextFileW(search, &data));
        ::FindClose(search);
    }
    ::RemoveDirectoryW((kLong + folder).c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"calvorn-bench-walk-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(base.c_str(), nullptr);
    MakeDeep(base + L"deep\\", 1000);
    MakeWide(base + L"wide\\");
    calvorn::bench::PrintHeader();
    Measure("walk, 1000 folders deep (s)", base + L"deep\\", runs);
    Measure("walk, 20 x 20 folders (s)", base + L"wide\\", runs);
    RemoveTree(base);
    return 0;
}
