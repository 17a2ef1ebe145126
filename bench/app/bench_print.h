#pragma once
// One line per measure: name, ours, the baseline measured in the same run,
// their ratio, the target for that ratio and whether it is met.

#include <cstdio>

namespace calvorn::bench {

inline void PrintHeader() {
    std::printf("%-30s %10s %10s %7s %8s  %s\n", "measure", "ours", "baseline", "ratio", "target",
                "verdict");
}

// `atMost`: the ratio must not exceed the target; otherwise reach it.
inline void PrintTarget(const char* measure, double ours, double baseline, double ratio,
                        bool atMost, double target) {
    const bool valid = ours > 0 && baseline > 0;
    const bool met = valid && (atMost ? ratio <= target : ratio >= target);
    std::printf("%-30s %10.2f %10.2f %7.2f %2s %5.2f  %s\n", measure, ours, baseline, ratio,
                atMost ? "<=" : ">=", target,
                !valid ? "NO MEASURE"
                : met  ? "MET"
                       : "NOT MET");
    std::fflush(stdout);
}

// A figure without a target of its own.
inline void PrintInfo(const char* measure, double ours, double baseline) {
    if (baseline > 0)
        std::printf("%-30s %10.2f %10.2f %7.2f %8s  -\n", measure, ours, baseline, ours / baseline,
                    "-");
    else
        std::printf("%-30s %10.2f %10s %7s %8s  -\n", measure, ours, "-", "-", "-");
    std::fflush(stdout);
}

} // namespace calvorn::bench
