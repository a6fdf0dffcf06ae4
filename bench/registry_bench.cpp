// Reading the registry file: the first read of a registry of n keys (the
// file read and parsed whole) at n = 2000, 8000 and 32000, and a read of the
// same registry once it is known and unchanged. The program ends with the
// cost per key of each parse and its ratio to the cost per key at 2000 (near
// 1 for a parse that grows linearly), and the ratio of an unchanged read to
// a first read in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "figures.h"
#include "tarvex10/platform.h"

namespace {

const int kCounts[] = {2000, 8000, 32000};

// A registry of `n` keys, classes' server entries as registrations write
// them, last changed an hour ago.
std::string MakeRegistry(int n) {
    char pattern[] = "/tmp/tvx_registry_bench_XXXXXX";
    const std::string path = std::string(mkdtemp(pattern)) + "/registry";
    TvxRegistrySetPath(path.c_str());
    std::vector<std::string> keys;
    char text[96];
    for (int i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, "CLSID\\{%08X-9FD6-44A2-A491-27C3D03193B7}\\InprocServer32", i);
        keys.emplace_back(text);
    }
    std::vector<TVXREGVALUE> values;
    for (const std::string &key : keys) values.push_back({key.c_str(), "", "/usr/lib/x86_64-linux-gnu/libtarvex10.so"});
    if (TvxRegistryWrite(values.data(), values.size()) != S_OK) return {};
    const timespec an_hour_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    utimensat(AT_FDCWD, path.c_str(), an_hour_ago, 0);
    return path;
}

void RemoveRegistry(const std::string &path) {
    TvxRegistrySetPath(nullptr);
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

void Read(benchmark::State &state, bool first) {
    const int n = static_cast<int>(state.range(0));
    const std::string path = MakeRegistry(n);
    if (path.empty()) {
        state.SkipWithError("the registry could not be written");
        return;
    }
    char key[96], value[128];
    std::snprintf(key, sizeof key, "CLSID\\{%08X-9FD6-44A2-A491-27C3D03193B7}\\InprocServer32", n / 2);
    bool ok = TvxRegistryRead(key, "", value, sizeof value) == S_OK;
    for (auto _ : state) {
        if (first) TvxRegistrySetPath(path.c_str()); // forgets what was read
        ok &= TvxRegistryRead(key, "", value, sizeof value) == S_OK;
    }
    RemoveRegistry(path);
    if (!ok) state.SkipWithError("a read failed");
}

} // namespace

int main(int argc, char **argv) {
    for (const auto &[name, first] : {std::pair{"first_read", true}, std::pair{"unchanged_read", false}}) {
        auto *bench = benchmark::RegisterBenchmark(name, [first = first](benchmark::State &s) { Read(s, first); });
        for (int n : kCounts) bench->Arg(n);
        bench->Unit(benchmark::kMicrosecond);
    }
    const auto figures = tvx::bench::RunBenchmarks(argc, argv);
    if (!figures) return 1;
    const auto at = [&](const char *name, int n) {
        const auto found = figures->find(std::string(name) + "/" + std::to_string(n));
        return found == figures->end() ? 0.0 : found->second;
    };
    const double base = at("first_read", kCounts[0]) / kCounts[0];
    for (int n : kCounts) {
        const double first = at("first_read", n), unchanged = at("unchanged_read", n);
        if (first == 0 || base == 0) continue;
        std::printf("%5d keys: first read %7.2f ms, %5.0f ns per key (%.2f x the cost per key at %d); "
                    "unchanged read %6.2f us (%.4f of a first read)\n",
                    n, first / 1e6, first / n, first / n / base, kCounts[0], unchanged / 1e3, unchanged / first);
    }
    return 0;
}
