// The GStreamer engine's figures, each against the clock engine measured in
// the same run where the clock engine does the same thing: open to ready
// (length known, first picture decoded) for a 10 s 352x288 MPEG-1 file, a
// frame-exact seek while paused, one "status … position" while playing,
// the CPU used and the pictures missed playing 640x480 at 25 frames a
// second with sound for 20 s, the memory one open device takes and what
// 100 open-play-close cycles leave behind. Clips are made with ffmpeg.
// Without a display the picture is decoded and discarded in real time.
// Under an X server of its own (Xvfb), start that with -noreset: a server
// that resets whenever its last client leaves does so at every close here.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tarvex10/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Folder() {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / ("tvx_playback_bench_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

std::string MakeClip(int width, int height, int seconds) {
    const std::string path = Folder() + "/clip_" + std::to_string(width) + "x" + std::to_string(height) + ".mpg";
    const std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=" + std::to_string(width) + "x" +
                                std::to_string(height) + ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t " +
                                std::to_string(seconds) +
                                " -c:v mpeg1video -g 12 -bf 2 -b:v 2M -c:a mp2 -b:a 192k -f mpeg " + path;
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", command.c_str());
        std::exit(1);
    }
    return path;
}

void Use(const char *engine) { setenv("TVX_MEDIA_ENGINE", engine, 1); }

MCIERROR Send(const std::string &command, std::string *reply = nullptr) {
    char text[256] = "";
    const MCIERROR code = mciSendStringA(command.c_str(), text, sizeof text, nullptr);
    if (reply) *reply = text;
    return code;
}

void Must(const std::string &command) {
    if (MCIERROR code = Send(command); code != 0) {
        std::fprintf(stderr, "\"%s\" failed with %u (TVX_DEBUG=1 says why)\n", command.c_str(), code);
        std::exit(1);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double OpenToReadyMs(const std::string &clip) {
    std::vector<double> times;
    for (int round = 0; round < 9; ++round) {
        const auto start = Clock::now();
        Must("open \"" + clip + "\" type mpegvideo alias b");
        std::string ready;
        Send("status b ready", &ready);
        times.push_back(Seconds(start) * 1000);
        Must("close b");
    }
    return Median(times);
}

double PausedSeekMs(const std::string &clip) {
    Must("open \"" + clip + "\" type mpegvideo alias b");
    Must("set b time format frames");
    std::vector<double> times;
    for (int frame : {137, 12, 201, 55, 240, 3, 99, 180, 71, 222, 30, 160}) {
        const auto start = Clock::now();
        Must("seek b to " + std::to_string(frame));
        times.push_back(Seconds(start) * 1000);
    }
    Must("close b");
    return Median(times);
}

double PositionQueryNs(const std::string &clip) {
    Must("open \"" + clip + "\" type mpegvideo alias b");
    Must("play b repeat");
    constexpr int kQueries = 200000;
    char reply[64];
    const auto start = Clock::now();
    for (int i = 0; i < kQueries; ++i) mciSendStringA("status b position", reply, sizeof reply, nullptr);
    const double ns = Seconds(start) * 1e9 / kQueries;
    Must("close b");
    return ns;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int Threads() {
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// The top-level windows on the display, -1 without one (counted by
// xwininfo, so that the benchmark needs no X library of its own).
int XWindows() {
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) return -1;
    FILE *out = popen("xwininfo -root -children 2>/dev/null | grep -c '^ *0x'", "r");
    if (!out) return -1;
    int count = -1;
    if (std::fscanf(out, "%d", &count) != 1) count = -1;
    pclose(out);
    return count;
}

} // namespace

int main() {
    std::printf("making clips with ffmpeg in %s\n", Folder().c_str());
    const std::string small = MakeClip(352, 288, 10);
    const std::string large = MakeClip(640, 480, 20);

    // Memory of the first device (with GStreamer's own start-up) and of a
    // second one next to it.
    Use("gstreamer");
    const double rss_start = ResidentMb();
    Must("open \"" + large + "\" type mpegvideo alias first");
    const double rss_first = ResidentMb();
    Must("open \"" + large + "\" type mpegvideo alias second");
    const double rss_second = ResidentMb();
    Must("close all");

    Use("clock");
    const double clock_open = OpenToReadyMs(small);
    const double clock_seek = PausedSeekMs(small);
    const double clock_query = PositionQueryNs(small);
    Use("gstreamer");
    const double open = OpenToReadyMs(small);
    const double seek = PausedSeekMs(small);
    const double query = PositionQueryNs(small);
    std::printf("open to ready, 10 s 352x288:   %8.2f ms (clock engine %.3f ms, ratio %.0f; target <= 150 ms: %s)\n",
                open, clock_open, open / clock_open, open <= 150 ? "met" : "NOT met");
    std::printf("frame-exact seek while paused: %8.2f ms (clock engine %.3f ms, ratio %.0f; target <= 60 ms: %s)\n",
                seek, clock_seek, seek / clock_seek, seek <= 60 ? "met" : "NOT met");
    std::printf("status position while playing: %8.2f us (clock engine %.2f us, ratio %.1f; target <= 10 us: %s)\n",
                query / 1000, clock_query / 1000, query / clock_query, query <= 10000 ? "met" : "NOT met");

    // 20 s of 640x480 with sound: the process's CPU time over the wall time,
    // and the pictures that reached the sink against the file's 500.
    const std::string capture = Folder() + "/capture";
    std::filesystem::create_directories(capture);
    const double rss_before = ResidentMb();
    Must("open \"" + large + "\" type mpegvideo alias big");
    const double rss_open = ResidentMb();
    const double cpu_start = CpuSeconds();
    const auto wall_start = Clock::now();
    Must("play big wait");
    const double cpu = (CpuSeconds() - cpu_start) / Seconds(wall_start) * 100;
    Must("close big");
    setenv("TVX_MEDIA_CAPTURE", capture.c_str(), 1);
    Must("open \"" + large + "\" type mpegvideo alias big");
    Must("play big wait");
    Must("close big");
    unsetenv("TVX_MEDIA_CAPTURE");
    long presented = 0;
    std::ifstream log(capture + "/video.log");
    for (std::string line; std::getline(log, line);) ++presented;
    std::printf("playing 20 s of 640x480 25 fps: %.1f %% of one core; %ld of 500 pictures reached the sink (%ld missed)\n",
                cpu, presented, std::max(0L, 500 - presented));

    // Memory: one device, then 100 open-play-close cycles.
    std::printf("one open 640x480 device: first %.1f MB resident (GStreamer's start-up included), a second %.1f MB, "
                "one after warm-up %.1f MB\n",
                rss_first - rss_start, rss_second - rss_first, rss_open - rss_before);
    // The heaps' free slack (the allocator's per-thread arenas that the
    // pipeline's threads leave behind) is told apart by trimming it: what
    // stays after trimming is what the cycles keep.
    double after_first = 0, trimmed_first = 0, trimmed_half = 0;
    int threads_first = 0, windows_first = 0;
    for (int cycle = 1; cycle <= 100; ++cycle) {
        Must("open \"" + small + "\" type mpegvideo alias c");
        Must("play c");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Must("close c");
        if (cycle == 1) {
            threads_first = Threads();
            windows_first = XWindows();
            after_first = ResidentMb();
            malloc_trim(0);
            trimmed_first = ResidentMb();
        }
        if (cycle == 50) {
            malloc_trim(0);
            trimmed_half = ResidentMb();
        }
    }
    const double after_all = ResidentMb();
    malloc_trim(0);
    const double trimmed_all = ResidentMb();
    std::printf("resident after 1 open-play-close cycle: %.1f MB, after 100 (trimmed at 1 and 50): %.1f MB (growth %.1f MB)\n", after_first,
                after_all, after_all - after_first);
    std::printf("the same with the heaps trimmed: after 1 %.1f MB, after 50 %.1f MB, after 100 %.1f MB "
                "(growth %.1f MB, of which %.1f MB in the last 50)\n",
                trimmed_first, trimmed_half, trimmed_all, trimmed_all - trimmed_first, trimmed_all - trimmed_half);
    std::printf("threads after 1 cycle %d, after 100 %d; top-level X windows after 1 cycle %d, after 100 %d "
                "(-1: no display)\n",
                threads_first, Threads(), windows_first, XWindows());
    std::filesystem::remove_all(Folder());
    return 0;
}
