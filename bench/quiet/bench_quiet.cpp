// Quiet registration as a deployment script runs it, against regsvr32 /s in
// the same run:
//   one N      register and unregister one DLL, per call
//   many N     100 DLLs in one quiet call against 100 regsvr32 calls
//   export N   one DLL exported (-q -e) against the same DLL registered (-q -r)
//   check N    a component of 10,000 types checked (-q -check) against its
//              export (-q -e), at most three runs
// Prints one line per measure (bench_print.h).

#include "../app/bench_print.h"
#include "support/test_paths.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace calvorn::test;
using namespace std::chrono;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

std::wstring Regsvr32() {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\regsvr32.exe";
}

// Milliseconds from start to end of one run, its output to NUL as a script
// that keeps no log would have it; -1 when it failed.
double TimeRun(const std::wstring& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\" " + arguments;
    auto start = steady_clock::now();
    double ms = -1.0;
    if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &si, &pi)) {
        DWORD code = 1;
        if (::WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(pi.hProcess, &code) && code == 0)
            ms = duration<double, std::milli>(steady_clock::now() - start).count();
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(nul);
    return ms;
}

void One(int runs) {
    const std::wstring dll = L"\"" + FixturePath(L"probe_good.dll") + L"\"";
    std::vector<double> ours, base;
    TimeRun(ProgramPath(), L"-q -r " + dll); // warm-up for both
    TimeRun(Regsvr32(), L"/s " + dll);
    for (int i = 0; i < runs; ++i) {
        ours.push_back(TimeRun(ProgramPath(), L"-q -r " + dll) +
                       TimeRun(ProgramPath(), L"-q -u " + dll));
        base.push_back(TimeRun(Regsvr32(), L"/s " + dll) + TimeRun(Regsvr32(), L"/s /u " + dll));
    }
    const double o = Median(ours), b = Median(base);
    calvorn::bench::PrintTarget("quiet_register_unregister_ms", o, b, b > 0 ? o / b : 0, true, 1.1);
}

void Many(int runs) {
    const std::wstring folder = MakeScratchDir(L"bench-quiet");
    std::vector<std::wstring> dlls;
    for (int i = 0; i < 100; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"probe%03d.dll", i);
        dlls.push_back(folder + name);
        ::CopyFileW(FixturePath(L"probe_good.dll").c_str(), dlls.back().c_str(), FALSE);
    }
    const std::wstring all = L"\"" + folder + L"*.dll\"";
    std::vector<double> ours, base;
    for (int i = 0; i < runs; ++i) {
        ours.push_back(TimeRun(ProgramPath(), L"-q -r " + all));
        TimeRun(ProgramPath(), L"-q -u " + all);
        double total = 0;
        for (const std::wstring& dll : dlls)
            total += TimeRun(Regsvr32(), L"/s \"" + dll + L"\"");
        base.push_back(total);
        TimeRun(ProgramPath(), L"-q -u " + all);
    }
    // Five times faster: at most a fifth of the baseline's time.
    const double o = Median(ours), b = Median(base);
    calvorn::bench::PrintTarget("quiet_register_100_ms", o, b, b > 0 ? o / b : 0, true, 0.2);
}

// An export runs the same entry point in the same host, plus the scratch
// key's making, reading back and deleting and the file's writing.
void Export(int runs) {
    const std::wstring folder = MakeScratchDir(L"bench-export");
    const std::wstring dll = L"\"" + FixturePath(L"probe_good.dll") + L"\"";
    const std::wstring out = L" -out \"" + folder + L"probe_good.reg\"";
    std::vector<double> ours, base;
    TimeRun(ProgramPath(), L"-q -e " + dll + out); // warm-up for both
    TimeRun(ProgramPath(), L"-q -r " + dll);
    for (int i = 0; i < runs; ++i) {
        ours.push_back(TimeRun(ProgramPath(), L"-q -e " + dll + out));
        base.push_back(TimeRun(ProgramPath(), L"-q -r " + dll));
    }
    TimeRun(ProgramPath(), L"-q -u " + dll);
    const double o = Median(ours), b = Median(base);
    calvorn::bench::PrintTarget("quiet_export_vs_register_ms", o, b, b > 0 ? o / b : 0, true, 1.3);
}

// The check runs the component's registration code as the export does and
// then holds each of its entries against the machine: on a component with
// 10,000 types, registered, at most twice the export's time.
void Check(int runs) {
    const std::wstring folder = MakeScratchDir(L"bench-check");
    const std::wstring dll = L"\"" + FixturePath(L"bench_many_types.dll") + L"\"";
    const std::wstring out = L" -out \"" + folder + L"many.reg\"";
    if (TimeRun(ProgramPath(), L"-q -r " + dll + L" -wait 120") < 0) {
        calvorn::bench::PrintTarget("quiet_check_vs_export_ms", -1, -1, 0, true, 2.0);
        return;
    }
    std::vector<double> ours, base;
    for (int i = 0; i < runs; ++i) {
        ours.push_back(TimeRun(ProgramPath(), L"-q -check " + dll));
        base.push_back(TimeRun(ProgramPath(), L"-q -e " + dll + out));
    }
    TimeRun(ProgramPath(), L"-q -u " + dll + L" -wait 120");
    const double o = Median(ours), b = Median(base);
    calvorn::bench::PrintTarget("quiet_check_vs_export_ms", o, b, b > 0 ? o / b : 0, true, 2.0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring what = argc > 1 ? argv[1] : L"all";
    calvorn::bench::PrintHeader();
    int runs = argc > 2 ? _wtoi(argv[2]) : 10;
    if (what == L"one" || what == L"all")
        One(runs);
    if (what == L"many" || what == L"all")
        Many(runs > 3 ? 3 : runs);
    if (what == L"export" || what == L"all")
        Export(runs);
    if (what == L"check" || what == L"all")
        Check(runs > 3 ? 3 : runs);
    return 0;
}
