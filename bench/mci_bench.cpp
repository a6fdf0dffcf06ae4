// The cost of one status query on an open device through the built-in
// media control interpreter: the command read, the device found, the item
// answered and the reply written, as a client pays it. The target is 2 µs
// a query; the program ends with the figures of the same run and whether
// they meet it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tarvex10/platform.h"

namespace {

constexpr double kTargetNs = 2000;
const std::string kMovie = std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg";

// Holds the file open as "movie" for one benchmark.
class OpenMovie {
public:
    OpenMovie() {
        mciSendStringA("close all", nullptr, 0, nullptr);
        ok_ = mciSendStringA(("open \"" + kMovie + "\" type mpegvideo alias movie").c_str(), nullptr, 0, nullptr) == 0;
    }
    ~OpenMovie() { mciSendStringA("close all", nullptr, 0, nullptr); }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

void Query(benchmark::State &state, const char *setup, const char *command, const char *expect_prefix) {
    OpenMovie movie;
    if (!movie.ok()) {
        state.SkipWithError("the sample movie did not open");
        return;
    }
    if (*setup && mciSendStringA(setup, nullptr, 0, nullptr) != 0) {
        state.SkipWithError("set-up command refused");
        return;
    }
    char reply[128];
    MCIERROR code = 0;
    for (auto _ : state) {
        code = mciSendStringA(command, reply, sizeof reply, nullptr);
        benchmark::DoNotOptimize(code);
        benchmark::DoNotOptimize(reply);
    }
    if (code != 0 || std::string(reply).rfind(expect_prefix, 0) != 0) state.SkipWithError("unexpected answer");
}

BENCHMARK_CAPTURE(Query, status_mode, "", "status movie mode", "stopped");
BENCHMARK_CAPTURE(Query, status_position_playing, "play movie repeat", "status movie position", "");
BENCHMARK_CAPTURE(Query, status_nominal_frame_rate_wait, "", "status movie nominal frame rate wait", "25000");
BENCHMARK_CAPTURE(Query, status_length_frames, "set movie time format frames", "status movie length", "150");
BENCHMARK_CAPTURE(Query, where_source, "", "where movie source", "0 0 320 240");

// Keeps each benchmark's time per call: the median when repetitions give
// one, otherwise the last run.
class FigureReporter : public benchmark::ConsoleReporter {
public:
    explicit FigureReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.error_occurred) continue;
            const double ns = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type == Run::RT_Iteration) last_[run.benchmark_name()] = ns;
            else if (run.aggregate_name == "median") median_[run.run_name.str()] = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Figures() const {
        std::map<std::string, double> figures = last_;
        for (const auto &[name, ns] : median_) figures[name] = ns;
        return figures;
    }

private:
    std::map<std::string, double> last_, median_;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FigureReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bool met = true;
    for (const auto &[name, ns] : reporter.Figures()) {
        std::printf("%s: %.0f ns per query\n", name.c_str(), ns);
        met = met && ns <= kTargetNs;
    }
    std::printf("target of %.0f ns per query: %s\n", kTargetNs, met ? "met" : "NOT met");
    return 0;
}
