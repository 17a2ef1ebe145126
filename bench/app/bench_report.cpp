// The component report of a library with many registered versions against
// the same library with one: the extra cost is what each version costs. Its
// baseline is the registry floor (bench_registry_floor.exe), run over the same
// keys in the same run.

#include "bench_print.h"
#include "inspection/component_inspector.h"
#include "platform/child_process.h"
#include "support/test_paths.h"
#include "support/typelib_keys.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace calvorn;
using namespace std::chrono;

namespace {

class CountingPresenter final : public inspection::IReportPresenter {
  public:
    void Clear() override { rows = 0; }
    void AddRow(const std::wstring&, const std::wstring&, bool) override { ++rows; }
    void ShowMsg(const std::wstring&) override { rows = 1; }
    void AddComparedRow(const std::wstring&, const std::wstring&, const std::wstring&,
                        bool) override {
        ++rows;
    }
    int rows = 0;
};

// The best time of one report: the run least disturbed by other work on the
// machine (the registry floor takes its best run too).
double ReportMs(inspection::ComponentInspector& inspector, int runs) {
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        auto start = steady_clock::now();
        inspector.DisplayInfo();
        const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
        best = i == 0 ? ms : std::min(best, ms);
    }
    return best;
}

void AddVersions(test::ScopedTypeLibKeys& keys, int versions) {
    keys.AddVersion(L"1.0", L"Alpha", L"C:\\lib\\alpha.dll");
    for (int v = 1; v < versions; ++v) {
        wchar_t name[16];
        swprintf(name, 16, L"%x.%x", 2 + v / 256, v % 256);
        keys.AddVersion(name, L"Alpha other", L"C:\\lib\\alpha_other.dll");
    }
}

struct Inspector {
    CountingPresenter report, comparison;
    inspection::ComponentInspector inspector;
    Inspector() {
        inspector.Init(report, comparison);
        inspector.FileName(test::FixturePath(L"tl_alpha.dll"));
        inspector.DisplayInfo(); // warm: the registry cache, the library
    }
};

// Microseconds per version of the registry floor over the keys in place.
double FloorUsPerVersion(int runs) {
    auto answer = platform::RunChild(test::BuildDir() + L"bench_registry_floor.exe",
                                     std::wstring(test::kAlphaGuid) + L" " + std::to_wstring(runs),
                                     seconds(120));
    return answer && answer->exitCode == 0 ? std::atof(answer->output.c_str()) : -1.0;
}

double Best(double a, double b) {
    return a <= 0 ? b : b <= 0 ? a : std::min(a, b);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int versions = argc > 1 ? _wtoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::max(3, _wtoi(argv[2])) : 7;
    // The report with one version, then with many and the floor over the
    // same keys, in turn, a third of the runs at a time: each keeps its best.
    double one = 0;
    int rowsOne = 0;
    {
        test::ScopedTypeLibKeys keys(test::kAlphaGuid);
        AddVersions(keys, 1);
        Inspector one1;
        one = ReportMs(one1.inspector, runs);
        rowsOne = one1.report.rows;
    }
    test::ScopedTypeLibKeys keys(test::kAlphaGuid);
    AddVersions(keys, versions);
    Inspector many1;
    double many = 0, floor = 0;
    for (int round = 0; round < 3; ++round) {
        many = Best(many, ReportMs(many1.inspector, runs / 3));
        floor = Best(floor, FloorUsPerVersion(runs / 3));
    }
    const int rowsMany = many1.report.rows;
    const double perVersion = (many - one) * 1000.0 / (versions - 1);
    bench::PrintInfo("report_1_version_ms", one, 0);
    bench::PrintInfo("report_1000_versions_ms", many, one);
    bench::PrintTarget("report_us_per_version", perVersion, floor,
                       floor > 0 ? perVersion / floor : 0.0, true, 1.2);
    if (rowsMany != rowsOne + 3 * (versions - 1) + 1)
        std::printf("report_rows: %d with %d versions, %d with one: not one row set per version\n",
                    rowsMany, versions, rowsOne);
    return 0;
}
