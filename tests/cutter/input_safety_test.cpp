// The cut's input under attack or mishap: a link swapped at the output path
// while cuts run, an input that shrinks during a cut, and inputs just under
// 2 GiB, where the window's end and the copy's blocks pass the last 32-bit
// offset.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cutter_fixture.h"

namespace tvx::testing {
namespace {

// An elementary stream with GOPs at 0 (after the sequence header) and at
// the given offsets.
Bytes ElementaryStream(size_t size, std::initializer_list<size_t> gops) {
    Bytes file = Sequence() + Gop() + Fill(size - 20, 0x47);
    for (const size_t at : gops) {
        const Bytes gop = Gop();
        std::copy(gop.begin(), gop.end(), file.begin() + static_cast<long>(at));
    }
    return file;
}

// Catches: the output path tested, then opened: a link swapped in between
// makes the cut empty and overwrite its own input.
TEST_F(CutterTest, LinkSwappedAtTheOutputNeverTouchesTheInput) {
    const Bytes file = ElementaryStream(40000, {20000});
    const std::string in = Write("in.m1v", file), decoy = Write("decoy.m1v", {});
    const std::string out = Path("out.m1v"), other = Path("other.lnk");
    fs::create_symlink(decoy, out);
    fs::create_symlink(in, other);
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        // The output path names the decoy and the input in turn, the two
        // links trading places in one step.
        while (!stop.load()) ::renameat2(AT_FDCWD, out.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
    });
    int cuts = 0, refused = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int run = 0; run < 2000 && std::chrono::steady_clock::now() < until; ++run) {
        NewCutter();
        const HRESULT status = CutVideo(in, out, 0, 1, 2);
        if (status != S_OK && status != Status(75)) ADD_FAILURE() << std::hex << status;
        (status == S_OK ? cuts : refused) += 1;
        if (ReadFile(in) != file) {
            ADD_FAILURE() << "cut " << run << " changed its input";
            break;
        }
    }
    stop = true;
    swapper.join();
    EXPECT_GT(cuts, 0) << "no cut met the decoy";
    EXPECT_GT(refused, 0) << "no cut met the input";
}

// Catches: an input truncated during a cut giving success and an output
// whose end is zeros where the input's bytes were.
TEST_F(CutterTest, InputShrinkingDuringTheCutFailsIt) {
    const Bytes file = ElementaryStream(3000000, {1000000, 2000000});
    Shrinker::path = Write("in.m1v", file);
    Shrinker::at = 2500000;
    Shrinker::to = 1500000;
    Shrinker::done = false;
    const std::string out = Write("out.m1v", Fill(10, 0x99));
    const files::Io previous = files::SetIo({&Shrinker::Read, nullptr});
    const HRESULT status = CutVideo(Shrinker::path, out, 1, 2, 3);
    files::SetIo(previous);
    EXPECT_TRUE(Shrinker::done) << "the input never shrank";
    EXPECT_EQ(status, Status(57));
    EXPECT_TRUE(ReadFile(out).empty()) << "no part of a cut is left";
    EXPECT_TRUE(messages_.empty());
}

// Catches: inputs of up to 2147483647 bytes failing with error 6 (overflow)
// where the window's end, the copy's last refill or stopT * rate pass the
// last 32-bit offset, or cutting otherwise than the same bytes without the
// gap. The input is a sparse file: a real stream at its start and its end.
TEST_F(CutterTest, InputsJustUnder2GiB) {
    const Bytes sample = ReadFile(std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg");
    ASSERT_GT(sample.size(), 300000u);
    constexpr int64_t kSize = 2147483647;
    const std::string big = Path("big.mpg");
    {
        const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const auto n = static_cast<ssize_t>(sample.size());
        const bool written = ::pwrite(fd, sample.data(), sample.size(), 0) == n &&
                             ::pwrite(fd, sample.data(), sample.size(), kSize - n) == n;
        ::close(fd);
        ASSERT_TRUE(written);
    }
    const std::string compact = Write("compact.mpg", sample + sample);
    const int64_t gap = kSize - static_cast<int64_t>(2 * sample.size());
    // 9999 of 10000 units from the start lies in the second copy of the
    // sample; the ends at and past the whole duration run to the end.
    for (const LONG to : {10000, 20000}) {
        SCOPED_TRACE(to);
        NewCutter();
        messages_.clear();
        ASSERT_EQ(CutVideo(big, Path("big_cut.mpg"), 9999, to, 10000), S_OK);
        EXPECT_EQ(messages_, std::vector<std::string>{"Cutting finished"});
        const LONG begin = Long(&_clsKwVidoCutVideoA::get_startO);
        ASSERT_GT(begin, gap);
        if (to > 10000) {
            EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_stopO), 2147483647);
        }

        NewCutter();
        Init(compact);
        Bstr out(U16(Path("compact_cut.mpg")));
        SHORT result = 0;
        ASSERT_EQ(Cut()->CutPart(static_cast<LONG>(begin - gap), static_cast<LONG>(2 * sample.size()), out.Get(),
                                 &result),
                  S_OK);
        EXPECT_EQ(result, 1);
        const Bytes cut = ReadFile(Path("big_cut.mpg"));
        EXPECT_GT(cut.size(), 100000u);
        EXPECT_TRUE(cut == ReadFile(Path("compact_cut.mpg")));
    }
}

} // namespace
} // namespace tvx::testing
