// The machine scan's rate (registrations checked per second) on the prefix
// as it is and with nine times its classes added as synthetic ones in the
// user's classes: a tenth of them name a file that is not there, half of
// them have a ProgID. The synthetic keys are taken away again, also those a
// killed run left.
//   bench_scan.exe RUNS

#include "../app/bench_print.h"
#include "registration/health/registration_scan.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using namespace calvorn::registration;
using namespace std::chrono;

namespace {

const wchar_t* kClasses = L"Software\\Classes";

struct Measure {
    double seconds = 0;
    std::size_t checked = 0;
    std::size_t found = 0;
};

Measure ScanOnce() {
    ServerFiles files(SystemFileLookups());
    const auto start = steady_clock::now();
    const ScanResult result = ScanRegistrations(files, ViewsOfThisMachine());
    return {duration<double>(steady_clock::now() - start).count(), result.checked,
            result.entries.size()};
}

Measure Median(int runs) {
    std::vector<Measure> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(ScanOnce());
    std::sort(all.begin(), all.end(),
              [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

std::wstring SyntheticId(std::size_t i) {
    wchar_t id[64];
    std::swprintf(id, 64, L"{CA1B0000-0000-4000-8000-%012zX}", i);
    return id;
}

std::wstring SyntheticProgId(std::size_t i) {
    return L"CalvornBench.Synthetic" + std::to_wstring(i);
}

void SetDefault(const std::wstring& key, const std::wstring& text) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kClasses) + L"\\" + key).c_str(), 0,
                          nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

void AddSynthetic(std::size_t count) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring present = std::wstring(system) + L"\\ole32.dll";
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring id = SyntheticId(i);
        SetDefault(L"CLSID\\" + id + L"\\InprocServer32",
                   i % 10 == 0 ? L"C:\\nowhere\\synthetic" + std::to_wstring(i) + L".dll"
                               : present);
        if (i % 2 == 0)
            SetDefault(SyntheticProgId(i) + L"\\CLSID", id);
    }
}

void RemoveSynthetic() {
    HKEY classes = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kClasses, 0, KEY_READ | DELETE, &classes) !=
        ERROR_SUCCESS)
        return;
    std::vector<std::wstring> doomed;
    for (const wchar_t* parent : {L"CLSID", L""}) {
        HKEY list = nullptr;
        if (::RegOpenKeyExW(classes, parent, 0, KEY_READ, &list) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = 256;
            if (::RegEnumKeyExW(list, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::wstring n = name;
            if (n.rfind(L"{CA1B0000-", 0) == 0 || n.rfind(L"CalvornBench.Synthetic", 0) == 0)
                doomed.push_back(*parent ? std::wstring(parent) + L"\\" + n : n);
        }
        ::RegCloseKey(list);
    }
    for (const std::wstring& key : doomed)
        ::RegDeleteTreeW(classes, key.c_str());
    ::RegCloseKey(classes);
}

// The whole "calvorn -q -scan -out -" from start to end, its output to NUL;
// -1 when it could not be run.
double ProgramSeconds() {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self, n);
    program = program.substr(0, program.rfind(L'\\') + 1) +
              (sizeof(void*) == 8 ? L"calvorn64.exe" : L"calvorn.exe");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\" -q -scan -out -";
    const auto start = steady_clock::now();
    double seconds = -1;
    if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &si, &pi)) {
        if (::WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
            seconds = duration<double>(steady_clock::now() - start).count();
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(nul);
    return seconds;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    RemoveSynthetic();
    ScanOnce(); // warm: the registry and the file cache, as a second scan finds them
    const Measure plain = Median(runs);
    std::vector<double> program;
    for (int i = 0; i < runs; ++i)
        program.push_back(ProgramSeconds());
    std::sort(program.begin(), program.end());
    std::size_t classes = 0;
    for (ScanView view : ViewsOfThisMachine()) {
        const ViewPlace place = PlaceOf(view);
        HKEY key = nullptr;
        DWORD count = 0;
        if (::RegOpenKeyExW(place.root == static_cast<std::int32_t>(0x80000001u)
                                ? HKEY_CURRENT_USER
                                : HKEY_LOCAL_MACHINE,
                            (place.classes + L"\\CLSID").c_str(), 0, KEY_READ | place.access,
                            &key) == ERROR_SUCCESS) {
            ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
            ::RegCloseKey(key);
        }
        classes += count;
    }
    AddSynthetic(classes * 9);
    const Measure many = Median(runs);
    RemoveSynthetic();

    calvorn::bench::PrintHeader();
    std::printf("classes: %zu, then %zu; registrations checked: %zu, then %zu; found: %zu, then "
                "%zu\n",
                classes, classes * 10, plain.checked, many.checked, plain.found, many.found);
    calvorn::bench::PrintInfo("scan_seconds", plain.seconds, 0);
    calvorn::bench::PrintInfo("scan_entries_per_second", plain.checked / plain.seconds, 0);
    const double programSeconds = program[program.size() / 2];
    calvorn::bench::PrintTarget("scan_program_under_2s", programSeconds, 2.0, programSeconds / 2.0,
                                true, 1.0);
    calvorn::bench::PrintInfo("scan_10x_seconds", many.seconds, plain.seconds);
    calvorn::bench::PrintInfo("scan_10x_entries_per_second", many.checked / many.seconds,
                              plain.checked / plain.seconds);
    // Linear: ten times the classes take about ten times as long. A
    // synthetic class costs a little more than the prefix's average one (half
    // of them bring a ProgID, a tenth a missing file, each looked at in both
    // views), hence the 25 % of room.
    const double classesRatio = 10.0;
    calvorn::bench::PrintTarget("scan_10x_time_per_classes", many.seconds / plain.seconds,
                                classesRatio, many.seconds / plain.seconds / classesRatio, true,
                                1.25);
    return 0;
}
