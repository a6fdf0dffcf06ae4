// Several threads at once, each with its own objects, driving the cutter,
// the device command layer and the media control interpreter, for a fixed
// time at most. Under ThreadSanitizer (the tsan preset) this shows the data
// races; in every build it checks that each thread's results are those of a
// lone thread and that the process-wide alias table stays consistent: one
// owner per alias, names that are real aliases, nothing left at the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "services/binary_file.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace tvx::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kThreads = 4;
constexpr int kMaxRounds = 25;
// A limit, not a measurement: the test stops there whatever it reached.
constexpr auto kTimeLimit = std::chrono::seconds(4);

Bytes ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Quiet(void *, const char *, const char *) {}

std::string Send(const std::string &command, MCIERROR &code) {
    char reply[256] = {};
    code = mciSendStringA(command.c_str(), reply, sizeof reply, nullptr);
    return reply;
}

// What every thread records; checked on the main thread.
struct Log {
    std::mutex mutex;
    std::vector<std::string> failures;
    void Fail(const std::string &what) {
        std::lock_guard lock(mutex);
        if (failures.size() < 20) failures.push_back(what);
    }
};

class Stress : public ::testing::Test {
protected:
    Stress() {
        char pattern[] = "/tmp/tvx_stress_XXXXXX";
        dir_ = mkdtemp(pattern);
        TvxSetMessageBoxHandler(&Quiet, nullptr);
        TvxSetMciHandler(nullptr, nullptr);
        input_ = dir_ / "in.mpg";
        fs::copy_file(std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg", input_);
    }
    ~Stress() override {
        TvxSetMessageBoxHandler(nullptr, nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static HRESULT Cut(_clsKwVidoCutVideoA *cutter, const fs::path &in, const fs::path &out) {
        Bstr a(convert::FromUtf8(in.string())), b(convert::FromUtf8(out.string()));
        SHORT result = -1;
        return cutter->CutVideo(a.Get(), b.Get(), 1, 4, 6, &result);
    }

    fs::path dir_, input_;
};

// Catches: data races in the objects, the file table, the error information
// and the interpreter; commands of one thread disturbing another's devices;
// two owners of one alias; a corrupted or stale alias table.
TEST_F(Stress, ThreadsWithTheirOwnObjectsShareTheInterpreterSafely) {
    // What one thread alone gets.
    auto lone = ComPtr<_clsKwVidoCutVideoA>::Attach(reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
    ASSERT_EQ(Cut(lone.Get(), input_, dir_ / "lone.mpg"), S_OK);
    const Bytes expected_cut = ReadFile(dir_ / "lone.mpg");
    ASSERT_GT(expected_cut.size(), 10000u);
    MCIERROR code = 0;
    Send("open \"" + input_.string() + "\" type mpegvideo alias probe", code);
    ASSERT_EQ(code, 0u);
    const std::string expected_length = Send("status probe length", code);
    Send("close probe", code);

    Log log;
    std::atomic<int> shared_owners{0};
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0}, shared_opened{0};
    const auto deadline = Clock::now() + kTimeLimit;

    auto worker = [&](int t) {
        const std::string me = "t" + std::to_string(t), api_alias = "m" + std::to_string(t);
        auto cutter =
            ComPtr<_clsKwVidoCutVideoA>::Attach(reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
        auto api = ComPtr<_clsKwVidoMciApiA>::Attach(reinterpret_cast<_clsKwVidoMciApiA *>(MciApiClass().create()));
        const fs::path out = dir_ / (me + ".mpg");
        const std::string open = "open \"" + input_.string() + "\" type mpegvideo alias ";
        for (int round = 0; round < kMaxRounds && Clock::now() < deadline; ++round) {
            // Its own cut, byte for byte the lone thread's.
            const HRESULT status = Cut(cutter.Get(), input_, out);
            if (status != S_OK) log.Fail(me + ": cut failed with " + std::to_string(status));
            else if (ReadFile(out) != expected_cut) log.Fail(me + ": cut differs");

            // Its own device through the interpreter.
            MCIERROR c = 0;
            Send(open + me, c);
            if (c != 0) log.Fail(me + ": open gave " + std::to_string(c));
            if (Send("status " + me + " length", c) != expected_length) log.Fail(me + ": wrong length");
            for (const char *command : {" from 0 to 2000", " to 3000"}) {
                Send("play " + me + command, c);
                if (c != 0) log.Fail(me + ": play gave " + std::to_string(c));
            }
            Send("set " + me + " time format frames", c);
            Send("seek " + me + " to 10", c);
            if (Send("status " + me + " position", c) != "10") log.Fail(me + ": position moved under it");
            if (Send("info " + me + " file", c) != input_.string()) log.Fail(me + ": another device's file");
            Send("close " + me, c);
            if (c != 0) log.Fail(me + ": close gave " + std::to_string(c));

            // Its own device through the device command layer.
            Bstr type(u"mpegvideo"), alias(convert::FromUtf8(api_alias)), file(convert::FromUtf8(input_.string())),
                style(u"overlapped");
            BSTR tp = type.Get(), ap = alias.Get(), fp = file.Get(), sp = style.Get();
            LONG parent = 0, result = -1;
            api->OpenDevice(&tp, &ap, &fp, &parent, &sp, &result);
            if (result != 0) log.Fail(me + ": OpenDevice gave " + std::to_string(result));
            api->CloseDevice(&ap, &result);
            if (result != 0) log.Fail(me + ": CloseDevice gave " + std::to_string(result));

            // One alias that all threads want: one owner at a time.
            Send(open + "shared", c);
            if (c == 0) {
                ++shared_opened;
                if (++shared_owners != 1) log.Fail(me + ": two owners of one alias");
                Send("status shared mode", c);
                if (c != 0) log.Fail(me + ": its shared device is gone");
                --shared_owners;
                Send("close shared", c);
                if (c != 0) log.Fail(me + ": closing its shared device gave " + std::to_string(c));
            } else if (c != 289) {
                log.Fail(me + ": a taken alias gave " + std::to_string(c));
            }
            ++rounds;
        }
    };

    // Reads the alias table while the others change it.
    auto monitor = [&] {
        std::set<std::string> known = {"shared"};
        for (int t = 0; t < kThreads; ++t) {
            known.insert("t" + std::to_string(t));
            known.insert("m" + std::to_string(t));
        }
        while (!stop) {
            MCIERROR c = 0;
            const int count = std::atoi(Send("sysinfo all quantity open", c).c_str());
            if (c != 0 || count < 0 || count > 2 * kThreads + 1) log.Fail("quantity " + std::to_string(count));
            for (int k = 1; k <= count; ++k) {
                const std::string name = Send("sysinfo all name " + std::to_string(k) + " open", c);
                // The table may have shrunk since the count: out of range is fine.
                if (c == 0 && !known.count(name)) log.Fail("an alias nobody opened: " + name);
                if (c != 0 && c != 282) log.Fail("sysinfo name gave " + std::to_string(c));
            }
        }
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
    std::thread watcher(monitor);
    for (auto &thread : threads) thread.join();
    stop = true;
    watcher.join();

    for (const std::string &failure : log.failures) ADD_FAILURE() << failure;
    EXPECT_GE(rounds.load(), kThreads) << "every thread ran at least once";
    EXPECT_GE(shared_opened.load(), 1);
    EXPECT_EQ(Send("sysinfo all quantity open", code), "0") << "devices left behind";
}

// Catches: two threads handed the same number by FreeFile before either
// opened it, so that one open fails with "File already open" (found by the
// stress test above: a cut on one thread failing with error 55); and a
// number kept from other threads after its thread ended without opening it.
TEST(FileNumbers, FreeFileHandsEachThreadItsOwnNumber) {
    char pattern[] = "/tmp/tvx_numbers_XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const std::u16string path = convert::FromUtf8((dir / "f").string());
    std::ofstream(dir / "f") << "x";
    const int16_t mine = files::FreeFile();
    int16_t theirs = 0;
    std::thread([&] {
        theirs = files::FreeFile();
        files::OpenForRead(theirs, path);
    }).join();
    EXPECT_NE(theirs, mine);
    EXPECT_NO_THROW(files::OpenForRead(mine, path));
    EXPECT_EQ(files::FreeFile(), files::FreeFile()) << "asking again without opening gives the same number";
    files::Close(mine);
    files::Close(theirs);

    int16_t abandoned = 0;
    std::thread([&] { abandoned = files::FreeFile(); }).join();
    EXPECT_EQ(files::FreeFile(), abandoned) << "a number that an ended thread never opened is free again";
    fs::remove_all(dir);
}

} // namespace
} // namespace tvx::testing
