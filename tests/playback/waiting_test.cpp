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
    struct Move {
        const char *command;
        int frame;
        bool close_meanwhile;
    };
    // Each far enough to flush the pipeline, so that sound comes first.
    for (const Move move : {Move{"seek m to 70", 70, false}, Move{"step m by 60 reverse", 10, false},
                            Move{"seek m to 90", 90, true}}) {
        SCOPED_TRACE(move.command);
        video.Take();
        audio.Take();
        video.Fill();
        std::atomic<bool> done{false}, answered{false};
        Answer answer{};
        std::thread mover([&] {
            answer = Send(move.command);
            done = true;
        });
        // The picture is held back until the other device has answered. Should
        // that answer wait for this command, the pipe is let go after a while,
        // so that the fault fails the test instead of hanging it.
        std::thread releaser([&] {
            const double give_up = MonotonicSeconds() + 30;
            while (!answered && MonotonicSeconds() < give_up) Sleep(0.01);
            while (!done) video.Take(20);
        });
        // The flush has reached the sound's sink: the command now waits for
        // a picture that the full pipe holds back.
        const bool flushed = audio.Take(20000) > 0;
        EXPECT_TRUE(flushed);
        EXPECT_EQ(Reply("status other position"), "20");
        EXPECT_EQ(Reply("status other mode"), "stopped");
        if (move.close_meanwhile) {
            EXPECT_EQ(Send("close m").code, 0u);
        }
        EXPECT_FALSE(done) << "the other device answered only after the command had its picture";
        answered = true;
        releaser.join();
        mover.join();
        video.Take();
        EXPECT_EQ(answer.code, 0u);
        if (move.close_meanwhile) {
            EXPECT_EQ(Send("status m mode").code, 263u);
        } else {
            EXPECT_EQ(Number("status m position"), move.frame);
            EXPECT_EQ(video.LastFrame(), move.frame);
        }
    }
    // Nothing may write into the pipes once they are gone.
    Reply("close all");
}

} // namespace
} // namespace tvx::testing
