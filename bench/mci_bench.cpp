// The cost of one status query on an open device through the built-in
// media control interpreter: the command read, the device found, the item
// answered and the reply written, as a client pays it. The target is 2 µs
// a query; the program ends with the figures of the same run and whether
// they meet it.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "figures.h"
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

} // namespace

int main(int argc, char **argv) {
    const auto figures = tvx::bench::RunBenchmarks(argc, argv);
    if (!figures) return 1;
    bool met = true;
    for (const auto &[name, ns] : *figures) {
        std::printf("%s: %.0f ns per query\n", name.c_str(), ns);
        met = met && ns <= kTargetNs;
    }
    std::printf("target of %.0f ns per query: %s\n", kTargetNs, met ? "met" : "NOT met");
    return 0;
}
