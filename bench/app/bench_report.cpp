// The component report of a library with many registered versions against
// the same library with one: the extra cost is what each version row costs.
// Prints: measure, ours, baseline, ratio (here: microseconds per version row).

#include "inspection/clsActiveX.h"
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
    int rows = 0;
};

// Median time of one report, and the rows it wrote.
double ReportMs(inspection::clsActiveX& inspector, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = steady_clock::now();
        inspector.DisplayInfo();
        times.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double MeasureWithVersions(int versions, int runs, int& rows) {
    test::ScopedTypeLibKeys keys(test::kAlphaGuid);
    keys.AddVersion(L"1.0", L"Alpha", L"C:\\lib\\alpha.dll");
    for (int v = 1; v < versions; ++v) {
        wchar_t name[16];
        swprintf(name, 16, L"%x.%x", 2 + v / 256, v % 256);
        keys.AddVersion(name, L"Alpha other", L"C:\\lib\\alpha_other.dll");
    }
    CountingPresenter report, comparison;
    inspection::clsActiveX inspector;
    inspector.Init(report, comparison);
    inspector.FileName(test::FixturePath(L"tl_alpha.dll"));
    inspector.DisplayInfo(); // warm: the helper program and the registry cache
    double ms = ReportMs(inspector, runs);
    rows = report.rows;
    return ms;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int versions = argc > 1 ? _wtoi(argv[1]) : 1000;
    const int runs = argc > 2 ? _wtoi(argv[2]) : 7;
    int rowsOne = 0, rowsMany = 0;
    const double one = MeasureWithVersions(1, runs, rowsOne);
    const double many = MeasureWithVersions(versions, runs, rowsMany);
    std::printf("report_1_version_ms\t%.1f\t-\t-\n", one);
    std::printf("report_%d_versions_ms\t%.1f\t%.1f\t%.2f\n", versions, many, one,
                one > 0 ? many / one : 0.0);
    const double perRow = (many - one) * 1000.0 / (versions - 1);
    std::printf("report_us_per_version\t%.1f\t20.0\t%.2f\n", perRow, perRow / 20.0);
    std::printf("report_rows\t%d\t%d\t-\n", rowsMany, rowsOne);
    return 0;
}
