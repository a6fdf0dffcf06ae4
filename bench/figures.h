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
// With `cpu_time`, the figures are the process's CPU time, which other
// programs on a busy machine disturb less than the elapsed time.
inline std::optional<std::map<std::string, double>> RunBenchmarks(int &argc, char **argv, bool cpu_time = false) {
    class Reporter : public benchmark::ConsoleReporter {
    public:
        Reporter(OutputOptions options, bool cpu) : ConsoleReporter(options), cpu_(cpu) {}
        void ReportRuns(const std::vector<Run> &runs) override {
            for (const Run &run : runs) {
                if (run.error_occurred) continue;
                const double ns = (cpu_ ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime()) *
                                  benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                  benchmark::GetTimeUnitMultiplier(run.time_unit);
                if (run.run_type == Run::RT_Iteration) last[run.run_name.str()] = ns;
                else if (run.aggregate_name == "median") median[run.run_name.str()] = ns;
            }
            ConsoleReporter::ReportRuns(runs);
        }
        std::map<std::string, double> last, median;

    private:
        bool cpu_;
    };

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return std::nullopt;
    Reporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                            : benchmark::ConsoleReporter::OO_Tabular,
                      cpu_time);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::map<std::string, double> figures = reporter.last;
    for (const auto &[name, ns] : reporter.median) figures[name] = ns;
    return figures;
}

} // namespace tvx::bench

#endif
