// What a device costs the media control interpreter when many are open: n
// devices opened one after another, each then asked for its mode by alias,
// then each closed by alias, at n = 500, 1000, 2000 and 4000. The program
// ends with the cost per open, per query and per close at each n and its
// ratio to the cost at 500 in the same run: a table that does not walk its
// devices keeps the ratio near 1, one that does doubles it with n.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "figures.h"
#include "tarvex10/platform.h"

namespace {

const int kCounts[] = {500, 1000, 2000, 4000};

std::vector<std::string> Commands(const char *format, int n) {
    std::vector<std::string> commands;
    char text[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, format, i);
        commands.emplace_back(text);
    }
    return commands;
}

bool SendAll(const std::vector<std::string> &commands) {
    bool ok = true;
    for (const std::string &command : commands) ok &= mciSendStringA(command.c_str(), nullptr, 0, nullptr) == 0;
    return ok;
}

// The aliases are looked up and closed in an order unlike the opening order,
// so that no step finds its device first in line.
std::vector<std::string> Shuffled(const char *format, int n) {
    std::vector<std::string> commands = Commands(format, n);
    for (size_t i = 0; i < commands.size(); ++i) std::swap(commands[i], commands[(i * 7919) % commands.size()]);
    return commands;
}

enum class Step { open, query, close };

void Devices(benchmark::State &state, Step step) {
    const int n = static_cast<int>(state.range(0));
    const auto opens = Commands("open mpegvideo alias device%d", n);
    const auto queries = Shuffled("status device%d mode", n);
    const auto closes = Shuffled("close device%d", n);
    bool ok = true;
    auto untimed = [&](const std::vector<std::string> &commands) {
        state.PauseTiming();
        ok &= SendAll(commands);
        state.ResumeTiming();
    };
    for (auto _ : state) {
        switch (step) {
        case Step::open: ok &= SendAll(opens), untimed(closes); break;
        case Step::query: untimed(opens), ok &= SendAll(queries), untimed(closes); break;
        case Step::close: untimed(opens), ok &= SendAll(closes); break;
        }
    }
    mciSendStringA("close all", nullptr, 0, nullptr);
    if (!ok) state.SkipWithError("a command was refused");
}

void Register() {
    const std::pair<const char *, Step> steps[] = {
        {"open", Step::open}, {"query", Step::query}, {"close", Step::close}};
    for (const auto &[name, step] : steps) {
        auto *bench =
            benchmark::RegisterBenchmark(name, [step = step](benchmark::State &state) { Devices(state, step); });
        for (int n : kCounts) bench->Arg(n);
        bench->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv) {
    Register();
    const auto figures = tvx::bench::RunBenchmarks(argc, argv);
    if (!figures) return 1;
    for (const char *step : {"open", "query", "close"}) {
        const auto base = figures->find(std::string(step) + "/" + std::to_string(kCounts[0]));
        if (base == figures->end()) continue;
        const double base_per = base->second / kCounts[0];
        for (int n : kCounts) {
            const auto found = figures->find(std::string(step) + "/" + std::to_string(n));
            if (found == figures->end()) continue;
            const double per = found->second / n;
            std::printf("%-5s with %4d devices: %7.2f us per device, %5.2f x the cost at %d; all %d: %.1f ms\n",
                        step, n, per / 1000, per / base_per, kCounts[0], n, found->second / 1e6);
        }
    }
    return 0;
}
