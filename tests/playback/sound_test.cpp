// The sound on a real PulseAudio server: one that the test starts itself,
// with a null sink as the only output, whose monitor a recorder reads all
// the time (a monitor that nobody reads holds the sink's clock back). The
// device plays through its normal sound path, the capture switch off.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "engine_fixture.h"

namespace tvx::testing {
namespace {

namespace fs = std::filesystem;

// Runs `argv` with `environment` added, its standard output on a pipe when
// `output` is given; the process id, or -1.
pid_t Spawn(const std::vector<std::string> &argv, const std::vector<std::string> &environment, int *output = nullptr) {
    int out[2] = {-1, -1};
    if (output && pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &setting : environment) putenv(const_cast<char *>(setting.c_str()));
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(output ? out[1] : null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char *> args;
        for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (output) {
        close(out[1]);
        *output = out[0];
    }
    return pid;
}

void End(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

bool Installed(const char *program) { return std::system(("command -v " + std::string(program) + " >/dev/null").c_str()) == 0; }

// A PulseAudio daemon of the test's own: no system or user configuration,
// a null sink "tvx" as the default output, a socket in a folder of its own.
class PulseServer {
public:
    PulseServer() {
        folder_ = (fs::temp_directory_path() / ("tvx_pulse_" + std::to_string(getpid()))).string();
        fs::create_directories(folder_ + "/run");
        socket_ = folder_ + "/native";
        pid_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                      "--disallow-exit=yes", "--disable-shm=yes", "-L",
                      "module-null-sink sink_name=tvx rate=44100 channels=2", "-L",
                      "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1"},
                     {"HOME=" + folder_, "PULSE_RUNTIME_PATH=" + folder_ + "/run", "XDG_CONFIG_HOME=" + folder_,
                      "XDG_RUNTIME_DIR=" + folder_ + "/run"});
        // Ready when it answers, not when its socket appears.
        const std::string ask = "pactl --server=unix:" + socket_ + " info >/dev/null 2>&1";
        for (int i = 0; i < 100 && !answers_; ++i) {
            answers_ = std::system(ask.c_str()) == 0;
            if (!answers_) Sleep(0.1);
        }
        if (answers_) setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    }
    ~PulseServer() {
        unsetenv("PULSE_SERVER");
        End(pid_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    bool Running() const { return pid_ > 0 && answers_; }
    const std::string &Socket() const { return socket_; }

private:
    std::string folder_, socket_;
    pid_t pid_ = -1;
    bool answers_ = false;
};

// What the sink plays, in 10 ms blocks: each channel's level and the
// zero crossings that tell its tone.
class Recorder {
public:
    struct Block {
        double wall;
        double rms[2];
        int crossings[2];
    };
    static constexpr int kRate = 44100, kBlock = kRate / 100;

    void Start(const std::string &socket) {
        int out = -1;
        pid_ = Spawn({"parec", "--server=unix:" + socket, "--device=tvx.monitor", "--format=float32le", "--rate=44100",
                      "--channels=2", "--latency-msec=10", "--raw"},
                     {}, &out);
        if (pid_ > 0) reader_ = std::thread([this, out] { Read(out); });
    }
    // Whether the sink's sound comes in (silence, before anything plays).
    bool Hearing(double timeout) {
        for (double waited = 0; waited < timeout; waited += 0.05) {
            {
                std::lock_guard lock(mutex_);
                if (blocks_.size() >= 10) return true;
            }
            Sleep(0.05);
        }
        return false;
    }
    ~Recorder() {
        End(pid_);
        if (reader_.joinable()) reader_.join();
    }

    // The mean level and tone of each channel over [from, to).
    struct Sound {
        double rms[2] = {0, 0};
        double hertz[2] = {0, 0};
        int blocks = 0;
    };
    Sound Between(double from, double to) {
        Sound sound;
        std::lock_guard lock(mutex_);
        for (const Block &block : blocks_) {
            if (block.wall < from || block.wall >= to) continue;
            ++sound.blocks;
            for (int c = 0; c < 2; ++c) {
                sound.rms[c] += block.rms[c];
                sound.hertz[c] += block.crossings[c] * 50.0; // two crossings a period, 100 blocks a second
            }
        }
        for (int c = 0; c < 2 && sound.blocks; ++c) {
            sound.rms[c] /= sound.blocks;
            sound.hertz[c] /= sound.blocks;
        }
        return sound;
    }
    // When the level first came within `tolerance` of `left` and `right`
    // (fractions of `full`) after `since`, to stay so for 0.2 s; -1 if never.
    double Reached(double since, const Sound &full, double left, double right, double tolerance) {
        std::lock_guard lock(mutex_);
        double first = -1;
        for (const Block &block : blocks_) {
            if (block.wall < since) continue;
            const bool there = std::abs(block.rms[0] - left * full.rms[0]) <= tolerance * full.rms[0] &&
                               std::abs(block.rms[1] - right * full.rms[1]) <= tolerance * full.rms[1];
            if (!there) first = -1;
            else if (first < 0) first = block.wall;
            if (first >= 0 && block.wall - first >= 0.2) return first;
        }
        return -1;
    }

private:
    void Read(int fd) {
        std::vector<float> samples(2 * kBlock);
        size_t filled = 0;
        for (;;) {
            const ssize_t got = read(fd, reinterpret_cast<char *>(samples.data()) + filled,
                                     samples.size() * sizeof(float) - filled);
            if (got <= 0) break;
            filled += static_cast<size_t>(got);
            if (filled < samples.size() * sizeof(float)) continue;
            filled = 0;
            Block block{MonotonicSeconds(), {0, 0}, {0, 0}};
            for (int i = 0; i < kBlock; ++i) {
                for (int c = 0; c < 2; ++c) {
                    const float s = samples[static_cast<size_t>(2 * i + c)];
                    block.rms[c] += static_cast<double>(s) * s;
                    if (i > 0 && (s >= 0) != (samples[static_cast<size_t>(2 * (i - 1) + c)] >= 0)) ++block.crossings[c];
                }
            }
            for (double &rms : block.rms) rms = std::sqrt(rms / kBlock);
            std::lock_guard lock(mutex_);
            blocks_.push_back(block);
        }
        close(fd);
    }

    pid_t pid_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Block> blocks_;
};

class RealSound : public RealEngine {
protected:
    void SetUp() override {
        RealEngine::SetUp();
        unsetenv("TVX_MEDIA_CAPTURE"); // the sound goes to the server
    }
};

// Catches: sound that never reaches the default output, channels swapped,
// a volume that does not scale what is heard or is heard late (a gain set
// before the sink's queue), and a channel switch that silences the wrong
// side or nothing.
TEST_F(RealSound, TonesVolumeAndChannelsAreHeardOnTheDefaultOutput) {
    if (!Installed("pulseaudio") || !Installed("parec")) GTEST_SKIP() << "pulseaudio or parec is not installed";
    PulseServer server;
    ASSERT_TRUE(server.Running()) << "pulseaudio did not start";
    Recorder recorder;
    recorder.Start(server.Socket());
    ASSERT_TRUE(recorder.Hearing(5.0)) << "the monitor is not read";
    TVX_OPEN_OR_SKIP(Clip("mpeg1", 160, 120, 10 * kClipFps));
    Reply("play m");
    Sleep(1.2);
    const double now = MonotonicSeconds();
    const auto full = recorder.Between(now - 0.5, now);
    ASSERT_GT(full.blocks, 30) << "the monitor stopped";
    ASSERT_GT(full.rms[0], 0.03) << "nothing heard";
    EXPECT_NEAR(full.hertz[0], kLeftTone, kLeftTone * 0.1);
    EXPECT_NEAR(full.hertz[1], kRightTone, kRightTone * 0.1);
    EXPECT_NEAR(full.rms[1] / full.rms[0], 1.0, 0.2);

    struct Change {
        const char *command;
        double left, right; // of the full level
    };
    for (const Change change : {Change{"setaudio m volume to 500", 0.5, 0.5}, Change{"setaudio m volume to 0", 0, 0},
                                Change{"setaudio m volume to 1000", 1, 1}, Change{"set m audio left off", 0, 1},
                                Change{"set m audio left on", 1, 1}}) {
        SCOPED_TRACE(change.command);
        const double sent = MonotonicSeconds();
        Reply(std::string(change.command));
        Sleep(0.8);
        const double heard = recorder.Reached(sent, full, change.left, change.right, 0.15);
        ASSERT_GE(heard, 0) << "never heard";
        std::printf("%-26s heard after %.2f s\n", change.command, heard - sent);
        EXPECT_LT(heard - sent, 0.5) << "heard " << heard - sent << " s after the command";
    }
    Reply("close m");
}

} // namespace
} // namespace tvx::testing
