// The cutter's forward scan over a video elementary stream in the page
// cache, looking for a packet start code that such a stream never has (as
// TimeToOffSets does twice per cut). Reports bytes per second and checks
// that the scan made exactly the refills of the byte-by-byte walk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "tarvex10/tarvex10.h"

namespace {

// About 256 MB of a real stream, repeated.
const std::string &Input() {
    static const std::string path = [] {
        std::ifstream sample(std::string(TVX_SOURCE_DIR) + "/tests/data/elementary_ffmpeg.m1v", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(sample)), {});
        const std::string name = "/tmp/tvx_scan_bench_" + std::to_string(getpid()) + ".m1v";
        std::ofstream out(name, std::ios::binary);
        for (size_t written = 0; written < (256u << 20); written += bytes.size()) out << bytes;
        return name;
    }();
    // Registered once the name exists, so it runs before the name goes.
    static const bool cleanup = std::atexit([] { std::remove(Input().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

void ScanForAbsentCode(benchmark::State &state) {
    auto cut = tvx::ComPtr<_clsKwVidoCutVideoA>::Attach(
        reinterpret_cast<_clsKwVidoCutVideoA *>(tvx::CutVideoClass().create()));
    tvx::Bstr path(tvx::convert::FromUtf8(Input()));
    cut->init(path.Get());
    LONG size = 0;
    cut->get_FileSize(&size);
    for (auto _ : state) {
        SHORT ignored = 0;
        cut->FillBuffer(0, &ignored);
        LONG off = 0;
        SHORT found = 1;
        cut->FindNext(&off, 0xE0, &found);
        LONG start = 0;
        cut->get_start(&start);
        // The walk refills at 16369, 2 * 16369, ... while positions remain.
        const LONG last_refill = (size - 4) / 16369 * 16369;
        if (found != 0 || start != last_refill) state.SkipWithError("the scan differs from the walk");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{size});
}
BENCHMARK(ScanForAbsentCode)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace

BENCHMARK_MAIN();
