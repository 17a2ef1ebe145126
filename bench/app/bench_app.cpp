// Times what a user waits for, each against a baseline measured in the same
// run, runs of ours and of the baseline taken in turn, the best of each:
//   startup N        start to main window shown and painted, against a bare
//                    window program; and a program that shows only the same
//                    system controls, made the standard way
//   switch N         start of -r to its "Are You Sure?" box, against a bare
//                    program that only shows a message box
//   report N         start with a file's path to its report shown, against the
//                    bare window program's start
//   memory           binary size; peak working set with the main window open
//   register N       -r and -u of a probe server, answered, against regsvr32;
//                    one -r through the registration host, against one -r in
//                    the program's own process (a lone copy without its host)
//   folder N F E     -f on folder F, net of the same on the empty folder E,
//                    from outside: milliseconds per file of F
//   startup_two N A B  start-up of the programs A and B (two builds), in turn
//                    with the bare window program
// Prints one line per measure (bench_print.h).

#include "bench_print.h"
#include "support/program_driver.h"
#include "support/test_paths.h"
#include "ui/main_window.h"

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace calvorn;
using namespace calvorn::test;
using namespace std::chrono;

namespace {

// The best of the runs: on a machine shared with other work, the one least
// disturbed by it, for ours and the baseline alike.
double Best(const std::vector<double>& v) {
    double best = -1.0;
    for (double x : v)
        if (x > 0 && (best < 0 || x < best))
            best = x;
    return best;
}

std::wstring BareWindow() {
    return BuildDir() + L"bench_bare_window.exe";
}

// A process of ours, started without waiting for it to settle, so that the
// clock starts at its creation.
class Launched {
  public:
    Launched(const std::wstring& program, const std::wstring& arguments) {
        std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi)) {
            process_ = pi.hProcess;
            pid_ = pi.dwProcessId;
            ::CloseHandle(pi.hThread);
        }
    }
    ~Launched() {
        if (!process_)
            return;
        if (::WaitForSingleObject(process_, 10000) == WAIT_TIMEOUT)
            ::TerminateProcess(process_, 255);
        ::CloseHandle(process_);
    }
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;

    HANDLE Process() const { return process_; }

    // A visible top-level window of the class that passes `ready`, looked for
    // every millisecond; nullptr when the process ends or 30 s pass first.
    HWND WaitFor(const wchar_t* className, const std::function<bool(HWND)>& ready = {}) const {
        const auto deadline = steady_clock::now() + seconds(30);
        while (process_ && steady_clock::now() < deadline) {
            Search search{pid_, className, nullptr};
            ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
            if (search.found && (!ready || ready(search.found)))
                return search.found;
            if (::WaitForSingleObject(process_, 1) == WAIT_OBJECT_0)
                return nullptr;
        }
        return nullptr;
    }

  private:
    struct Search {
        DWORD pid;
        const wchar_t* className;
        HWND found;
    };
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM lp) {
        auto* search = reinterpret_cast<Search*>(lp);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid != search->pid || !::IsWindowVisible(hwnd))
            return TRUE;
        if (ClassNameOf(hwnd) != search->className)
            return TRUE;
        search->found = hwnd;
        return FALSE;
    }

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

using Clock = steady_clock;

double Ms(Clock::time_point since) {
    return duration<double, std::milli>(Clock::now() - since).count();
}

// Start to a shown window of the class (ready when `ready` says so), painted:
// the window's thread answers a message only once its first paint is done.
// `visible`, if given, gets the time to the window's showing alone. The
// window is then closed.
double TimeToWindow(const std::wstring& program, const std::wstring& arguments,
                    const wchar_t* className, const std::function<bool(HWND)>& ready = {},
                    double* visible = nullptr) {
    const auto start = Clock::now();
    Launched run(program, arguments);
    HWND hwnd = run.WaitFor(className, ready);
    if (!hwnd)
        return -1.0;
    if (visible)
        *visible = Ms(start);
    DWORD_PTR answer = 0;
    const bool answered =
        ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer) != 0;
    const double ms = Ms(start);
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return answered ? ms : -1.0;
}

// Start to a shown message box, which is then answered No.
double TimeToBox(const std::wstring& program, const std::wstring& arguments) {
    const auto start = Clock::now();
    Launched run(program, arguments);
    HWND box =
        run.WaitFor(L"#32770", [](HWND hwnd) { return ::GetDlgItem(hwnd, IDNO) != nullptr; });
    const double ms = Ms(start);
    if (box)
        ::PostMessageW(::GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    return box ? ms : -1.0;
}

// The best of `runs` pairs, ours and the baseline in turn, after one warm-up each.
void Paired(int runs, const std::function<double()>& ours, const std::function<double()>& base,
            double& o, double& b) {
    ours();
    base();
    std::vector<double> a, c;
    for (int i = 0; i < runs; ++i) {
        a.push_back(ours());
        c.push_back(base());
    }
    o = Best(a);
    b = Best(c);
}

void Startup(int runs) {
    double visibleOurs = 0, visibleBare = 0;
    std::vector<double> a, c, f, va, vc;
    auto ours = [&] {
        a.push_back(TimeToWindow(ProgramPath(), L"", L"Calvorn.MainWindow", {}, &visibleOurs));
        va.push_back(visibleOurs);
    };
    auto bare = [&] {
        c.push_back(TimeToWindow(BareWindow(), L"", L"Calvorn.BareWindow", {}, &visibleBare));
        vc.push_back(visibleBare);
    };
    auto controls = [&] {
        f.push_back(
            TimeToWindow(BuildDir() + L"bench_bare_controls.exe", L"", L"Calvorn.BareControls"));
    };
    ours();
    bare();
    controls();
    a.clear(), c.clear(), f.clear(), va.clear(), vc.clear();
    for (int i = 0; i < runs; ++i) {
        ours();
        bare();
        controls();
    }
    const double o = Best(a), b = Best(c);
    bench::PrintTarget("startup_ms", o, b, b > 0 ? o / b : 0, true, 1.3);
    // The window on screen, before its first paint is done.
    bench::PrintInfo("startup_visible_ms", Best(va), Best(vc));
    // The same system controls as the first tab, made the standard way and
    // nothing else, against the bare window program.
    bench::PrintInfo("startup_standard_controls_ms", Best(f), b);
}

// Two builds of the program started in turn with the bare window program,
// for a change of build flags: each against the bare program, and the second
// against the first (the ratio of the best runs).
void StartupOfTwoBuilds(int runs, const std::wstring& first, const std::wstring& second) {
    std::vector<double> a, b, c;
    for (int i = 0; i <= runs; ++i) {
        const double x = TimeToWindow(first, L"", L"Calvorn.MainWindow");
        const double y = TimeToWindow(second, L"", L"Calvorn.MainWindow");
        const double z = TimeToWindow(BareWindow(), L"", L"Calvorn.BareWindow");
        if (i == 0)
            continue; // the warm-up
        a.push_back(x), b.push_back(y), c.push_back(z);
    }
    bench::PrintInfo("startup_first_ms", Best(a), Best(c));
    bench::PrintInfo("startup_second_ms", Best(b), Best(c));
    bench::PrintInfo("startup_second_vs_first_ms", Best(b), Best(a));
}

void SwitchToBox(int runs) {
    const std::wstring dll = L"-r \"" + FixturePath(L"probe_good.dll") + L"\"";
    double o = 0, b = 0;
    Paired(
        runs, [&] { return TimeToBox(ProgramPath(), dll); },
        [] { return TimeToBox(BuildDir() + L"bench_bare_message_box.exe", L""); }, o, b);
    bench::PrintTarget("switch_to_box_ms", o, b, b > 0 ? o / b : 0, true, 1.2);
}

void ReportOfOneFile(int runs) {
    // A file with a type library: the whole report, both of its sections.
    const std::wstring file = L"\"" + FixturePath(L"tl_alpha.dll") + L"\"";
    auto filled = [](HWND main) {
        HWND grid = FindControl(main, ui::IDC_REPORT_GRID);
        return grid && ::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) > 0;
    };
    double o = 0, b = 0;
    Paired(
        runs, [&] { return TimeToWindow(ProgramPath(), file, L"Calvorn.MainWindow", filled); },
        [] { return TimeToWindow(BareWindow(), L"", L"Calvorn.BareWindow"); }, o, b);
    bench::PrintTarget("report_one_file_ms", o, b, b > 0 ? o / b : 0, true, 1.6);
}

// Peak working set of a program once its main window is shown and settled.
double PeakWorkingSetMB(const std::wstring& program, const wchar_t* className) {
    Launched run(program, L"");
    HWND hwnd = run.WaitFor(className);
    ::Sleep(500);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    double peak = -1;
    if (hwnd && ::GetProcessMemoryInfo(run.Process(), &counters, sizeof counters))
        peak = static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
    if (hwnd)
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return peak;
}

void Memory() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(ProgramPath().c_str(), GetFileExInfoStandard, &data);
    const double mb = static_cast<double>(data.nFileSizeLow) / (1024.0 * 1024.0);
    bench::PrintTarget("binary_MB", mb, 1.5, mb / 1.5, true, 1.0);

    const double ours = PeakWorkingSetMB(ProgramPath(), L"Calvorn.MainWindow");
    const double bare = PeakWorkingSetMB(BareWindow(), L"Calvorn.BareWindow");
    bench::PrintTarget("peak_working_set_MB", ours, bare, bare > 0 ? ours / bare : 0, true, 1.15);
}

// One run with every message box answered in turn; its whole time.
double TimeRun(const std::wstring& program, const std::wstring& arguments,
               const std::vector<int>& answers) {
    const auto start = Clock::now();
    RunTranscript t = RunAndAnswer(arguments, answers, seconds(120), program);
    const double ms = Ms(start);
    return t.exitCode ? ms : -1.0;
}

void Registration(int runs) {
    const std::wstring dll = L"\"" + FixturePath(L"probe_good.dll") + L"\"";
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring regsvr32 = std::wstring(system) + L"\\regsvr32.exe";
    double o = 0, b = 0;
    Paired(
        runs,
        [&] {
            return TimeRun(ProgramPath(), L"-r " + dll, {IDYES, IDOK}) +
                   TimeRun(ProgramPath(), L"-u " + dll, {IDYES, IDOK});
        },
        [&] { return TimeRun(regsvr32, dll, {IDOK}) + TimeRun(regsvr32, L"/u " + dll, {IDOK}); }, o,
        b);
    bench::PrintInfo("register_unregister_ms", o, b);

    // The price of the registration host: one -r through it against one -r
    // in the program's own process, which a lone copy of the program (no
    // host beside it) still does.
    const std::wstring lone = MakeScratchDir(L"bench-lone") + L"calvorn.exe";
    ::CopyFileW(ProgramPath().c_str(), lone.c_str(), FALSE);
    double hosted = 0, inProcess = 0;
    Paired(
        runs,
        [&] {
            return TimeRun(ProgramPath(), L"-r " + dll, {IDYES, IDOK});
        },
        [&] {
            return TimeRun(lone, L"-r " + dll, {IDYES, IDOK});
        },
        hosted, inProcess);
    TimeRun(ProgramPath(), L"-u " + dll, {IDYES, IDOK});
    bench::PrintTarget("register_in_host_ms", hosted, inProcess,
                       inProcess > 0 ? hosted / inProcess : 0, true, 1.3);
}

// -f on a folder from outside: start to end, the confirmation answered Yes
// as soon as it shows.
double FolderRun(const std::wstring& folder) {
    const auto start = Clock::now();
    Launched run(ProgramPath(), L"-f \"" + folder + L"\"");
    HWND box =
        run.WaitFor(L"#32770", [](HWND hwnd) { return ::GetDlgItem(hwnd, IDYES) != nullptr; });
    if (!box)
        return -1.0;
    ::PostMessageW(::GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
    if (::WaitForSingleObject(run.Process(), 120000) != WAIT_OBJECT_0)
        return -1.0;
    return Ms(start);
}

std::size_t FilesIn(const std::wstring& folder) {
    std::size_t n = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do
        n += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return n;
}

// Prints the milliseconds per file of -f on `folder`, net of `empty`.
void Folder(int runs, const std::wstring& folder, const std::wstring& empty) {
    // The report goes to a scratch folder and is not opened.
    const std::wstring scratch = MakeScratchDir(L"bench_folder");
    ScopedEnvironment reportDir(L"CALVORN_REPORT_DIR", scratch);
    ScopedEnvironment openLog(L"CALVORN_OPEN_LOG", scratch + L"\\opened.log");
    double full = 0, none = 0;
    Paired(
        runs, [&] { return FolderRun(folder); }, [&] { return FolderRun(empty); }, full, none);
    const std::size_t files = FilesIn(folder);
    std::printf("folder_report %.6f %zu %.1f %.1f\n", files ? (full - none) / files : -1.0, files,
                full, none);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"all";
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 10;
    if (what == L"startup_two") {
        if (argc < 5)
            return 2;
        StartupOfTwoBuilds(runs, argv[3], argv[4]);
        return 0;
    }
    if (what == L"folder") {
        if (argc < 5)
            return 2;
        Folder(runs, argv[3], argv[4]);
        return 0;
    }
    const bool all = what == L"all";
    if (all)
        bench::PrintHeader();
    if (what == L"startup" || all)
        Startup(runs);
    if (what == L"switch" || all)
        SwitchToBox(runs);
    if (what == L"report" || all)
        ReportOfOneFile(runs);
    if (what == L"memory" || all)
        Memory();
    if (what == L"register" || all)
        Registration(runs);
    return 0;
}
