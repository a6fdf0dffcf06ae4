// The cutter's forward scan over a video elementary stream in the page
// cache, looking for a packet start code that such a stream never has (as
// TimeToOffSets does twice per cut), against a plain read(2) of the same
// file into a buffer of the window's size, in the same run. Checks that the
// scan leaves the window where the byte-by-byte walk's last refill leaves
// it, and prints both rates, their ratio and the targets (scan >= 5 GB/s and
// >= 0.85 x read); then the rate of the walk's refill reads alone (16384
// bytes at every 16369th byte), which the scan no longer makes but in its
// first and last windows, for comparison.
//
// Each gives the median of its repetitions in CPU time (the machine may be
// busy with other work); --benchmark_enable_random_interleaving makes the two
// alternate.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "cutter/start_codes.h"
#include "figures.h"
#include "tarvex10/tarvex10.h"

namespace {

constexpr size_t kWindow = 16384;

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
BENCHMARK(ScanForAbsentCode)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(5);

// The baseline: the same file read front to back, 16384 bytes a call, into
// a page-aligned buffer as the window is.
void PlainRead(benchmark::State &state) {
    const int fd = ::open(Input().c_str(), O_RDONLY | O_CLOEXEC);
    std::unique_ptr<uint8_t, decltype(&std::free)> buffer(static_cast<uint8_t *>(std::aligned_alloc(4096, kWindow)),
                                                          &std::free);
    int64_t size = 0;
    for (auto _ : state) {
        size = 0;
        ::lseek(fd, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(fd, buffer.get(), kWindow)) > 0;) size += n;
        benchmark::DoNotOptimize(buffer.get());
    }
    ::close(fd);
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(5);

// The reads of the byte-by-byte walk's refills, without the search: 16384
// bytes at every 16369th byte, so most of them start inside a page and
// touch five pages where the plain read touches four. What the scan would
// cost at the least if it read the file through the window.
void RefillReads(benchmark::State &state) {
    const int fd = ::open(Input().c_str(), O_RDONLY | O_CLOEXEC);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    std::unique_ptr<uint8_t, decltype(&std::free)> buffer(static_cast<uint8_t *>(std::aligned_alloc(4096, kWindow)),
                                                          &std::free);
    for (auto _ : state) {
        for (off_t at = 0; at <= size - 4; at += 16369) {
            if (::pread(fd, buffer.get(), kWindow, at) <= 0) state.SkipWithError("cannot read");
        }
        benchmark::DoNotOptimize(buffer.get());
    }
    ::close(fd);
    state.SetBytesProcessed(state.iterations() * int64_t{size});
}
BENCHMARK(RefillReads)->Unit(benchmark::kMillisecond)->MinTime(1)->Repetitions(5);

const char *IsaName(tvx::start_codes::Isa isa) {
    switch (isa) {
    case tvx::start_codes::Isa::Avx512: return "AVX-512";
    case tvx::start_codes::Isa::Avx2: return "AVX2";
    case tvx::start_codes::Isa::Sse2: return "SSE2";
    default: return "portable";
    }
}

} // namespace

int main(int argc, char **argv) {
    const auto figures = tvx::bench::RunBenchmarks(argc, argv, true);
    if (!figures) return 1;
    const auto scan = figures->find("ScanForAbsentCode/min_time:1.000/repeats:5");
    const auto read = figures->find("PlainRead/min_time:1.000/repeats:5");
    const auto refills = figures->find("RefillReads/min_time:1.000/repeats:5");
    if (scan == figures->end() || read == figures->end() || refills == figures->end()) return 0;
    std::ifstream file(Input(), std::ios::binary | std::ios::ate);
    const auto bytes = static_cast<double>(file.tellg());
    const double scan_rate = bytes / scan->second, read_rate = bytes / read->second; // bytes per ns = GB/s
    std::printf("search: %s; medians of CPU time\n", IsaName(tvx::start_codes::BestIsa()));
    std::printf("scan %.2f GB/s (target >= 5), plain read %.2f GB/s, scan/read %.2f (target >= 0.85)\n", scan_rate,
                read_rate, scan_rate / read_rate);
    std::printf("the walk's refill reads alone %.2f GB/s: scan/refills %.2f, refills/read %.2f\n",
                bytes / refills->second, refills->second / scan->second, read->second / refills->second);
    return 0;
}
