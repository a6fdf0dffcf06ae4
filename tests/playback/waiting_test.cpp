// Commands that wait for a picture, against callers of other devices. The
// capture logs are made pipes that the test reads: while the test keeps the
// picture log's pipe full, the video sink's streaming thread blocks on its
// next picture, so a seek waits for its frame exactly as long as the test
// wants, with no clock involved.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <sstream>
#include <thread>

#include "engine_fixture.h"

namespace tvx::testing {
namespace {

class Tap {
public:
    // A pipe in place of the capture log at `path`, holding `room` bytes.
    Tap(const std::string &path, int room) {
        std::signal(SIGPIPE, SIG_IGN); // a device writing after the test let go must not end the run
        ::mkfifo(path.c_str(), 0600);
        read_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        write_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (room > 0) ::fcntl(read_, F_SETPIPE_SZ, room);
    }
    ~Tap() {
        ::close(read_);
        ::close(write_);
    }
    Tap(const Tap &) = delete;

    // Takes in what was written, waiting at most `timeout_ms` for the first
    // of it; the number of lines taken (filler excluded).
    int Take(int timeout_ms = 0) {
        pollfd ready{read_, POLLIN, 0};
        if (::poll(&ready, 1, timeout_ms) <= 0) return 0;
        int lines = 0;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(read_, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n' && !line_.empty()) {
                    last_ = line_;
                    line_.clear();
                    ++lines;
                } else if (buffer[i] != '\n') {
                    line_ += buffer[i];
                }
            }
        }
        return lines;
    }
    // Fills the pipe with empty lines, so that the next line written waits.
    void Fill() {
        const std::string filler(512, '\n');
        while (::write(write_, filler.data(), filler.size()) > 0) {
        }
        char one = '\n';
        while (::write(write_, &one, 1) > 0) {
        }
    }
    // The frame of the last picture logged.
    int LastFrame() const {
        std::istringstream in(last_);
        double wall;
        long long stream;
        Rgb colour{};
        in >> wall >> stream >> colour.r >> colour.g >> colour.b;
        return in ? FrameOfColour(colour) : -1;
    }

private:
    int read_ = -1, write_ = -1;
    std::string line_, last_;
};

// Sends `command` on a thread of its own and, once it waits for a picture
// that the full pipe holds back, runs `meanwhile`; then lets the picture
// through. `held`: whether the command was still waiting after `meanwhile`.
// Should something in `meanwhile` wait for the command, the pipe is let go
// after a while, so that the fault fails the test instead of hanging it.
Answer WhileHeld(Tap &video, Tap &audio, const std::string &command, const std::function<void()> &meanwhile,
                 bool &held) {
    video.Take();
    audio.Take();
    video.Fill();
    std::atomic<bool> done{false}, answered{false};
    Answer answer{};
    std::thread mover([&] {
        answer = Send(command);
        done = true;
    });
    std::thread releaser([&] {
        const double give_up = MonotonicSeconds() + 30;
        while (!answered && MonotonicSeconds() < give_up) Sleep(0.01);
        while (!done) video.Take(20);
    });
    // The flush has reached the sound's sink: the command now waits for a
    // picture that the full pipe holds back.
    const bool flushed = audio.Take(20000) > 0;
    EXPECT_TRUE(flushed);
    meanwhile();
    held = !done;
    answered = true;
    releaser.join();
    mover.join();
    video.Take();
    return answer;
}

struct Move {
    const char *command;
    int frame; // where it goes
};

// Catches: a seek or step that waits for its frame under the interpreter's
// lock (so another device's query waits with it), and a close during that
// wait that frees the device under the command still using it.
TEST_F(RealEngine, ACommandWaitingForItsPictureHoldsUpNoOtherDevice) {
    constexpr int kSmallPipe = 4096;
    Tap video(capture_ + "/video.log", kSmallPipe);
    Tap audio(capture_ + "/audio.log", 0);
    const std::string clip = Clip("mpeg1");
    TVX_OPEN_OR_SKIP(clip);
    Reply("open \"" + clip + "\" type mpegvideo alias other");
    Reply("set m time format frames");
    Reply("set other time format frames");
    Reply("seek other to 20");
    // Each far enough to flush the pipeline, so that sound comes first.
    const Move moves[] = {{"seek m to 70", 70}, {"step m by 60 reverse", 10}, {"seek m to 90", 90}};
    for (const Move &move : moves) {
        SCOPED_TRACE(move.command);
        const bool close_meanwhile = &move == &moves[2];
        bool held = false;
        const Answer answer = WhileHeld(
            video, audio, move.command,
            [&] {
                EXPECT_EQ(Reply("status other position"), "20");
                EXPECT_EQ(Reply("status other mode"), "stopped");
                if (close_meanwhile) {
                    EXPECT_EQ(Send("close m").code, 0u);
                }
            },
            held);
        EXPECT_TRUE(held) << "the other device answered only after the command had its picture";
        EXPECT_EQ(answer.code, 0u);
        if (close_meanwhile) {
            EXPECT_EQ(Send("status m mode").code, 263u);
        } else {
            EXPECT_EQ(Number("status m position"), move.frame);
            EXPECT_EQ(video.LastFrame(), move.frame);
        }
    }
    // Nothing may write into the pipes once they are gone.
    Reply("close all");
}

// Catches: a query of a device that waits for the command under way on it,
// a query that answers neither where the device stood nor where it goes,
// and a command sent meanwhile that overtakes the one under way.
TEST_F(RealEngine, QueriesOfADeviceAnswerWhileItWaitsForItsPicture) {
    constexpr int kSmallPipe = 4096;
    Tap video(capture_ + "/video.log", kSmallPipe);
    Tap audio(capture_ + "/audio.log", 0);
    TVX_OPEN_OR_SKIP(Clip("mpeg1"));
    Reply("set m time format frames");
    const std::string source = Reply("where m source");
    const std::string file = Reply("info m file");
    for (const Move move : {Move{"seek m to 70", 70}, Move{"step m by 60 reverse", 15}}) {
        SCOPED_TRACE(move.command);
        std::atomic<bool> followed{false};
        std::thread follower;
        bool held = false;
        const Answer answer = WhileHeld(
            video, audio, move.command,
            [&] {
                EXPECT_EQ(Reply("status m position"), std::to_string(move.frame));
                EXPECT_EQ(Reply("status m mode"), "stopped");
                EXPECT_EQ(Reply("status m time format"), "frames");
                EXPECT_EQ(Reply("where m source"), source);
                EXPECT_EQ(Reply("info m file"), file);
                // Comes after the command under way, whenever it gets in.
                follower = std::thread([&] {
                    EXPECT_EQ(Send("step m by 5").code, 0u);
                    followed = true;
                });
            },
            held);
        EXPECT_TRUE(held) << "the device answered only after the command had its picture";
        EXPECT_EQ(answer.code, 0u);
        while (!followed) video.Take(20);
        follower.join();
        video.Take();
        EXPECT_EQ(Number("status m position"), move.frame + 5);
        EXPECT_EQ(video.LastFrame(), move.frame + 5);
    }
}

} // namespace
} // namespace tvx::testing
