// tarvex10 cut IN OUT FROM TO TOTAL: the library's main job.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "commands.h"
#include "host.h"
#include "late.h"
#include "support.h"

namespace tvx::cli {

const char *const kCutHelp =
    "usage: tarvex10 cut [--progress | --no-progress] [--component PATH] IN OUT FROM TO TOTAL\n"
    "\n"
    "Copies the part of the MPEG-1 file IN from FROM to TO into OUT, without\n"
    "re-encoding, through the cutter class Tarvex10.clsKwVidoCutVideoA (its\n"
    "CutVideo member, called by name). FROM, TO and TOTAL are whole numbers in\n"
    "one time unit of your choice, TOTAL being IN's whole duration in that unit;\n"
    "milliseconds are usual. The cut starts at the first group of pictures at or\n"
    "after FROM and ends at the first one at or after TO; OUT gets IN's headers\n"
    "followed by that part. IN may hold at most 2147483647 bytes: the cutter's\n"
    "offsets are 32-bit.\n"
    "\n"
    "The cutter's messages appear as lines on standard error. On a terminal a\n"
    "progress bar shows the output growing against its expected size once the\n"
    "cut takes more than half a second (--progress draws it on any standard\n"
    "error, --no-progress never).\n"
    "\n"
    "Exit code 0 when OUT holds a cut part; 1 when the cut failed or wrote no cut\n"
    "part (the reason is the last line on standard error); 2 for a wrong command\n"
    "line.\n"
    "\n"
    "example: tarvex10 cut tests/data/system_ffmpeg.mpg cut.mpg 1000 4000 6000\n";

namespace {

// Draws the output's growth on standard error from a second thread, which
// only looks at the file: the cutter itself is called from its own thread
// alone. Message lines go through Print so that they never mix with the bar.
class Progress {
public:
    Progress(std::string path, uint64_t expected, bool enabled)
        : path_(std::move(path)), expected_(expected), enabled_(enabled && expected > 0) {}
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    ~Progress() { Stop(); }

    void Start() {
        if (!enabled_) return;
        watcher_ = std::thread([this] { Watch(); });
    }

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (watcher_.joinable()) watcher_.join();
        std::lock_guard lock(mutex_);
        Erase();
    }

    void Print(const std::string &line) {
        std::lock_guard lock(mutex_);
        Erase();
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }

private:
    void Watch() {
        using namespace std::chrono_literals;
        const auto begin = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, 100ms, [this] { return stop_; })) {
            // A cut that ends within a moment leaves no trace of a bar.
            if (std::chrono::steady_clock::now() - begin < 500ms) continue;
            struct stat info {};
            const uint64_t size = ::stat(path_.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
            std::fprintf(stderr, "\r%s\033[K", RenderProgress(size, expected_, 30, false).c_str());
            std::fflush(stderr);
            shown_ = true;
        }
    }

    // Called with the mutex held.
    void Erase() {
        if (!shown_) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }

    std::string path_;
    uint64_t expected_;
    bool enabled_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool shown_ = false;
    std::thread watcher_;
};

// The output's expected size: the input's bytes spread evenly over its
// duration, which is how the cutter maps times to offsets too.
uint64_t ExpectedSize(const std::string &in, int32_t from, int32_t to, int32_t total) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(in, error);
    if (error || total <= 0) return 0;
    const double first = std::max(0, from), last = std::min(to, total);
    if (last <= first) return 0;
    return static_cast<uint64_t>(static_cast<double>(size) * (last - first) / total);
}

int32_t ReadInt(IDispatch *object, const char16_t *name) {
    Variant value;
    if (FAILED(GetProperty(object, name, &value).status)) return -1;
    Variant number;
    if (FAILED(VariantChangeType(number.Put(), &value, 0, VT_I4))) return -1;
    return V_I4(&number);
}

const char *StreamKind(int32_t file_type) {
    return file_type == 2 ? "video elementary stream" : file_type == 4 ? "system stream" : "stream";
}

} // namespace

int RunCut(const Args &args) {
    if (WantsHelp(args)) {
        std::fputs(kCutHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(kCreationHelp, stdout);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine("cut", args, {"--progress", "--no-progress"}, false);
        if (line.words.size() != 5)
            throw CommandError{kExitUsage, "expects IN OUT FROM TO TOTAL (see tarvex10 cut --help)"};
        const std::string &in = line.words[0];
        const std::string &out = line.words[1];
        int32_t times[3];
        const char *const names[] = {"FROM", "TO", "TOTAL"};
        for (int i = 0; i < 3; ++i) {
            const std::optional<int32_t> value = ParseInt32(line.words[2 + static_cast<size_t>(i)]);
            if (!value)
                throw CommandError{kExitUsage, std::string(names[i]) + " must be a whole number, not '" +
                                                   line.words[2 + static_cast<size_t>(i)] + "'"};
            times[i] = *value;
        }
        const auto [from, to, total] = times;

        std::error_code size_error;
        const uintmax_t in_size = std::filesystem::file_size(in, size_error);
        if (!size_error) {
            if (const std::optional<std::string> problem = InputSizeProblem(in_size))
                throw CommandError{kExitFailed, "cannot cut " + in + ": " + *problem};
        }

        Session session(line.component);
        ComPtr<IDispatch> cutter = session.Create(u"Tarvex10.clsKwVidoCutVideoA");

        const bool draw = line.Has("--progress") || (!line.Has("--no-progress") && isatty(STDERR_FILENO));
        Progress progress(out, ExpectedSize(in, from, to, total), draw);
        CutFacts facts;
        MessageCapture capture([&](const std::string &text, const std::string &title) {
            facts.messages.push_back(text);
            progress.Print(MessageLine(text, title));
        });

        Variant in_arg = Variant::Str(Utf16(in)), out_arg = Variant::Str(Utf16(out));
        Variant from_arg = Variant::I4(from), to_arg = Variant::I4(to), total_arg = Variant::I4(total);
        Variant result;
        progress.Start();
        const CallOutcome outcome = CallByName(cutter.Get(), u"CutVideo", DISPATCH_METHOD,
                                               {&in_arg, &out_arg, &from_arg, &to_arg, &total_arg}, result.Put());
        progress.Stop();

        facts.call_failed = FAILED(outcome.status);
        facts.call_error = outcome.error;
        facts.head_size = ReadInt(cutter.Get(), u"MinimumCut");
        std::error_code error;
        facts.output_exists = std::filesystem::is_regular_file(out, error);
        if (facts.output_exists && facts.head_size >= 0) {
            std::ifstream output(out, std::ios::binary);
            facts.cut_part = FindGroupStart(output, static_cast<uint64_t>(facts.head_size));
        }
        const CutVerdict verdict = JudgeCut(facts);
        if (!verdict.ok) return Fail("cut", kExitFailed, verdict.reason);

        const uint64_t written = std::filesystem::file_size(out, error);
        std::printf("cut %s from %d to %d of %d into %s\n", in.c_str(), from, to, total, out.c_str());
        std::printf("  %s, searched from byte %d to byte %d\n", StreamKind(ReadInt(cutter.Get(), u"FileType")),
                    ReadInt(cutter.Get(), u"startO"), ReadInt(cutter.Get(), u"stopO"));
        std::printf("  wrote %llu bytes: the stream's head (%d bytes), then the cut part from output byte %llu\n",
                    static_cast<unsigned long long>(written), facts.head_size,
                    static_cast<unsigned long long>(*facts.cut_part));
        if (!session.PrivateComponent().empty())
            std::printf("  component %s (registered for this run only)\n", session.PrivateComponent().c_str());
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail("cut", error.code, error.text);
    }
}

} // namespace tvx::cli
