// Runs each fuzz target's entry point over its saved inputs: the regression
// corpus in tests/fuzz/regressions/<target> (every input a fuzzer once failed
// on, kept after the fix) and the seeds in fuzz/seeds/<target>. The entry
// points check their own properties and abort on a violation, which fails
// the test with the input's name on standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support.h"

namespace tvx::fuzz {
namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const uint8_t *, size_t);

std::vector<fs::path> SavedInputs(const std::string &target) {
    std::vector<fs::path> inputs;
    const std::string source = TVX_SOURCE_DIR;
    for (const std::string &dir : {source + "/tests/fuzz/regressions/" + target, source + "/fuzz/seeds/" + target}) {
        std::error_code ignored;
        for (const auto &entry : fs::directory_iterator(dir, ignored))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

// Catches: any saved input that crashes, hangs or breaks a checked property
// of its target again. Each input is run twice, as a fuzzer would in one
// process, so that state left by one run is seen by the next.
void Replay(const std::string &target, Entry entry) {
    const std::vector<fs::path> inputs = SavedInputs(target);
    ASSERT_FALSE(inputs.empty()) << "no saved inputs for " << target;
    for (const fs::path &path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        std::fprintf(stderr, "replaying %s\n", path.c_str());
        for (int round = 0; round < 2; ++round) EXPECT_EQ(entry(bytes.data(), bytes.size()), 0) << path;
    }
}

TEST(FuzzReplay, Cutter) { Replay("cutter", &FuzzCutter); }
TEST(FuzzReplay, MediaControlInterpreter) { Replay("mci", &FuzzMci); }
TEST(FuzzReplay, LateBoundInvoke) { Replay("invoke", &FuzzInvoke); }
TEST(FuzzReplay, Conversions) { Replay("convert", &FuzzConvert); }

} // namespace
} // namespace tvx::fuzz
