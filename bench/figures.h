// The benchmarks' shared main part: runs what the command line selects with
// the usual console table and keeps each benchmark's time per call, so the
// caller can print its ratios and targets in the same run.
#ifndef TVX_BENCH_FIGURES_H
#define TVX_BENCH_FIGURES_H

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvx::bench {

// Nanoseconds per call by benchmark name: the median when repetitions give
// one, otherwise the last run. Nothing when the command line was not valid.
inline std::optional<std::map<std::string, double>> RunBenchmarks(int &argc, char **argv) {
    class Reporter : public benchmark::ConsoleReporter {
    public:
        using ConsoleReporter::ConsoleReporter;
        void ReportRuns(const std::vector<Run> &runs) override {
            for (const Run &run : runs) {
                if (run.error_occurred) continue;
                const double ns = run.GetAdjustedRealTime() *
                                  benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                  benchmark::GetTimeUnitMultiplier(run.time_unit);
                if (run.run_type == Run::RT_Iteration) last[run.run_name.str()] = ns;
                else if (run.aggregate_name == "median") median[run.run_name.str()] = ns;
            }
            ConsoleReporter::ReportRuns(runs);
        }
        std::map<std::string, double> last, median;
    };

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return std::nullopt;
    Reporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                            : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::map<std::string, double> figures = reporter.last;
    for (const auto &[name, ns] : reporter.median) figures[name] = ns;
    return figures;
}

} // namespace tvx::bench

#endif
