// tarvex10 cut IN OUT FROM TO [TOTAL]: the library's main job.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "commands.h"
#include "error/error.h"
#include "host.h"
#include "late.h"
#include "mpeg1/stream.h"
#include "output.h"
#include "support.h"

namespace tvx::cli {

using namespace tvx::mpeg1;

const char *const kCutHelp =
    "usage: tarvex10 cut [-y | -n] [-v | -q] [--linear] [--progress | --no-progress] [--component PATH]\n"
    "                    IN OUT FROM TO [TOTAL]\n"
    "\n"
    "Copies the part of the MPEG-1 file IN from FROM to TO into OUT, without\n"
    "re-encoding, through the cutter class Tarvex10.clsKwVidoCutVideoA. Times are\n"
    "seconds (12.5), minutes and seconds (1:02.250), hours, minutes and seconds\n"
    "(01:02:03.5) or milliseconds (2500ms), counted from the start of IN.\n"
    "\n"
    "The cut keeps whole groups of pictures: it starts at the first group at or\n"
    "after FROM and ends before the first group at or after TO, both found from\n"
    "the stream's own time codes (in a file joined end to end, whose time codes\n"
    "start again, counting on from the pictures before); a TO at or past the end\n"
    "keeps the end, and a FROM before the first group starts at it. A range that\n"
    "lies inside one group keeps that whole group. The command finds the groups\n"
    "and the cutter's init, startO, stopO and CutPart members cut there, so OUT\n"
    "gets IN's headers followed by that part. The summary tells the pictures a\n"
    "decoder shows. TOTAL, IN's duration, is measured from the file; when given,\n"
    "it is checked against the file (a warning when it is off by more than a\n"
    "second).\n"
    "\n"
    "  -y, --force          overwrite OUT when it exists (it is refused otherwise)\n"
    "  -n, --no-clobber     never overwrite OUT, even with -y\n"
    "  -v, --verbose        also say where the cut lies in IN and which component cut\n"
    "  -q, --quiet          print nothing but errors\n"
    "  --linear             cut with the cutter's own CutVideo: times map to bytes\n"
    "                       through IN's average byte rate (TOTAL in milliseconds)\n"
    "  --progress           draw a progress bar even when standard error is no\n"
    "                       terminal (--no-progress: never)\n"
    "\n"
    "OUT is written under a temporary name in its folder and takes its name only\n"
    "when the cut succeeded: a failed or interrupted cut (Ctrl-C, SIGTERM, SIGHUP)\n"
    "leaves no file behind and an existing OUT as it was. OUT may not be IN,\n"
    "under any name. IN may hold at most 2147483647 bytes: the cutter's offsets\n"
    "are 32-bit.\n"
    "\n"
    "Exit code 0 when OUT holds the cut; 1 when the cut failed (the reason is one\n"
    "line on standard error); 2 for a wrong command line; 128 + the signal's number\n"
    "when interrupted.\n"
    "\n"
    "example: tarvex10 cut tests/data/system_ffmpeg.mpg cut.mpg 1 4\n";
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

int32_t ReadInt(IDispatch *object, const char16_t *name) {
    Variant value;
    if (FAILED(GetProperty(object, name, &value).status)) return -1;
    Variant number;
    if (FAILED(VariantChangeType(number.Put(), &value, 0, VT_I4))) return -1;
    return V_I4(&number);
}

struct CutRequest {
    std::string component;
    std::string in, out;
    double from = 0, to = 0;
    std::optional<double> total;
    Overwrite overwrite = Overwrite::Refuse;
    bool linear = false, verbose = false, quiet = false, progress = false;
};

CutRequest ReadCutLine(const Args &args) {
    const CommandLine line = ParseCommandLine(
        "cut", args,
        {"-y", "--force", "-n", "--no-clobber", "-v", "--verbose", "-q", "--quiet", "--linear", "--progress",
         "--no-progress"},
        false);
    if (line.words.size() != 4 && line.words.size() != 5)
        throw CommandError{kExitUsage, "expects IN OUT FROM TO [TOTAL] (see tarvex10 cut --help)"};
    CutRequest request;
    request.component = line.component;
    request.in = line.words[0];
    request.out = line.words[1];
    const auto time = [&](size_t i, const char *name) {
        const std::optional<double> value = ParseTime(line.words[i]);
        if (!value)
            throw CommandError{kExitUsage, std::string(name) + " must be a time such as 12.5, 1:02.250, 01:02:03.5 or "
                                                               "2500ms, not '" + line.words[i] + "'"};
        return *value;
    };
    request.from = time(2, "FROM");
    request.to = time(3, "TO");
    if (line.words.size() == 5) request.total = time(4, "TOTAL");
    if (request.from >= request.to)
        throw CommandError{kExitUsage, "FROM (" + FormatSeconds(request.from) + " s) must come before TO (" +
                                           FormatSeconds(request.to) + " s)"};
    if (request.total && *request.total <= 0) throw CommandError{kExitUsage, "TOTAL must be more than 0"};
    if (line.Has("-n") || line.Has("--no-clobber")) request.overwrite = Overwrite::Never;
    else if (line.Has("-y") || line.Has("--force")) request.overwrite = Overwrite::Allow;
    request.linear = line.Has("--linear");
    request.verbose = line.Has("-v") || line.Has("--verbose");
    request.quiet = line.Has("-q") || line.Has("--quiet");
    if (request.verbose && request.quiet) throw CommandError{kExitUsage, "-v and -q exclude each other"};
    request.progress = line.Has("--progress") || (!line.Has("--no-progress") && !request.quiet && isatty(STDERR_FILENO));
    return request;
}

// The part of the input to keep: from the start code of group `start` to
// that of group `end`, or to the end of the input.
struct Plan {
    Group start;
    std::optional<Group> end;
    bool widened = false; // the range lay inside one group
};

// The first picture shown at or after `seconds`; a time that falls within a
// thousandth of a picture of one counts as that picture's.
int64_t PictureAt(double seconds, double fps) { return static_cast<int64_t>(std::ceil(seconds * fps - 1e-3)); }

Plan PlanExactCut(GroupMap &groups, const CutRequest &request, double fps, double duration) {
    const int64_t from = PictureAt(request.from, fps), to = PictureAt(request.to, fps);
    if (request.from >= duration)
        throw CommandError{kExitFailed, "FROM (" + FormatSeconds(request.from) + " s) is at or past the end of " +
                                            request.in + " (" + FormatSeconds(duration) + " s)"};
    Plan plan;
    const std::optional<Group> start = groups.AtOrAfterPicture(from);
    plan.end = to >= groups.Pictures() ? std::nullopt : groups.AtOrAfterPicture(to);
    if (start && (!plan.end || plan.end->offset > start->offset)) {
        plan.start = *start;
        return plan;
    }
    // No group starts within the range: keep the group that holds it.
    plan.widened = true;
    plan.start = groups.AtOrBeforePicture(from);
    plan.end = groups.AtOrAfterPicture(plan.start.picture + 1);
    return plan;
}

// A line for a member's failure: the reason in the user's terms where the
// error number tells it, the number always.
std::string CutterFailure(const CallOutcome &outcome, const CutRequest &request) {
    const auto raised = [&](ErrorNumber number) { return outcome.status == MakeControlError(number); };
    const std::string because = " (" + outcome.error + ")";
    const std::string writing = "cannot write " + request.out + ": ";
    if (raised(kDiskFull)) return writing + "the disk is full" + because;
    if (raised(kPermissionDenied)) return writing + "Permission denied" + because;
    if (raised(kBadFileNameOrNumber) || raised(kPathFileAccessError) || raised(kPathNotFound) ||
        raised(kDeviceIoError) || raised(kTooManyFiles))
        return writing + "the cutter cannot open or write it" + because;
    if (raised(kOverflow)) return "cannot cut " + request.in + ": an offset passed the cutter's 32-bit limit" + because;
    if (raised(kBadRecordNumber))
        return "cannot cut " + request.in + ": the cutter read before the start of the file" + because;
    return "the cut failed: " + outcome.error;
}

// A cut that starts at an open group keeps its leading B pictures but not the
// picture before the group that they are predicted from: the group's broken
// link flag tells a decoder to skip them instead of showing them damaged. The
// header is changed only where the output holds the input's header intact;
// false when it was not.
bool MarkBrokenLink(const std::string &path, uint64_t at, std::span<const uint8_t> header) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string written(header.size(), '\0');
    if (header.size() != 8 || !out.seekg(static_cast<std::streamoff>(at)) ||
        !out.read(written.data(), static_cast<std::streamsize>(written.size())) ||
        !std::equal(header.begin(), header.end(), written.begin(), [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
        return false;
    written[7] = static_cast<char>(written[7] | 0x20);
    if (!out.seekp(static_cast<std::streamoff>(at + 7)) || !out.write(&written[7], 1) || !out.flush())
        throw CommandError{kExitFailed, "cannot write " + path + ": " + std::strerror(errno)};
    return true;
}

// Holds the finished output back until a signal ends the command: lets the
// tests interrupt a cut at a known point.
void HoldForTests(const std::string &temp) {
    const char *hold = std::getenv("TARVEX10_TEST_HOLD_BEFORE_RENAME");
    if (!hold || !*hold) return;
    std::fprintf(stderr, "holding %s\n", temp.c_str());
    std::fflush(stderr);
    for (;;) ::pause();
}

} // namespace

int RunCut(const Args &args) {
    if (WantsHelp(args)) {
        PrintHelp(kCutHelp, true);
        return kExitOk;
    }
    try {
        const CutRequest request = ReadCutLine(args);
        const std::string &in = request.in;

        FileWindow file(in);
        if (const std::optional<std::string> problem = InputSizeProblem(file.Size()))
            throw CommandError{kExitFailed, "cannot cut " + in + ": " + *problem};
        const StreamHead head = ReadStreamHead(file);
        if (head.kind != StreamKind::Mpeg1System && head.kind != StreamKind::Mpeg1Video)
            throw CommandError{kExitFailed, "cannot cut " + in + ": not an MPEG-1 stream (" + KindName(head.kind) + ")"};
        if (!head.first_group || head.fps <= 0)
            throw CommandError{kExitFailed, "cannot cut " + in + ": no MPEG-1 sequence header and group of pictures found"};
        CheckOutputPath(in, request.out, request.overwrite);

        GroupMap groups(file, head);
        const double duration = static_cast<double>(groups.Pictures()) / head.fps;
        if (request.total && std::fabs(*request.total - duration) > 1 && !request.quiet)
            Fail("cut", 0, "warning: TOTAL is " + FormatSeconds(*request.total) + " s but " + in + " lasts " +
                               FormatSeconds(duration) + " s" +
                               (request.linear ? "; --linear uses TOTAL as given" : "; the cut goes by the file's times"));
        std::optional<Plan> plan;
        if (!request.linear) plan = PlanExactCut(groups, request, head.fps, duration);

        Session session(request.component);
        ComPtr<IDispatch> cutter = session.Create(u"Tarvex10.clsKwVidoCutVideoA");
        PendingOutput output(request.out);
        // The linear mapping spreads the bytes evenly over TOTAL.
        const double total = request.total.value_or(duration);
        const uint64_t expected =
            plan ? (plan->end ? plan->end->offset : file.Size()) - plan->start.offset
                 : static_cast<uint64_t>(static_cast<double>(file.Size()) *
                                         std::max(0.0, std::min(request.to, total) - request.from) / total);
        Progress progress(output.Path(), expected, request.progress);
        CutFacts facts;
        MessageCapture capture([&](const std::string &text, const std::string &) {
            // CutVideo says "Cutting finished" after any cut, good or not.
            if (text != "Cutting finished") facts.messages.push_back(text);
        });

        // The summary's group count reads the kept part (in a linear cut, all
        // of the input from the first group: the cutter picks the part) with
        // the second core while the cutter copies it.
        std::future<std::vector<uint32_t>> group_starts;
        if (!request.quiet && !groups.Indexed())
            group_starts = std::async(std::launch::async, [&file, from = plan ? plan->start.offset : *head.first_group,
                                                           to = plan && plan->end ? plan->end->offset : file.Size()] {
                return file.GroupStarts(from, to);
            });

        Variant in_arg = Variant::Str(Utf16(in)), out_arg = Variant::Str(Utf16(output.Path()));
        Variant result;
        progress.Start();
        CallOutcome outcome;
        if (plan) {
            outcome = CallByName(cutter.Get(), u"init", DISPATCH_METHOD, {&in_arg}, nullptr);
            if (SUCCEEDED(outcome.status) && facts.messages.empty()) {
                Variant begin = Variant::I4(static_cast<int32_t>(plan->start.offset));
                Variant end = Variant::I4(static_cast<int32_t>(plan->end ? plan->end->offset : file.Size()));
                CallByName(cutter.Get(), u"startO", DISPATCH_PROPERTYPUT, {&begin}, nullptr);
                CallByName(cutter.Get(), u"stopO", DISPATCH_PROPERTYPUT, {&end}, nullptr);
                outcome = CallByName(cutter.Get(), u"CutPart", DISPATCH_METHOD, {&begin, &end, &out_arg}, result.Put());
            }
        } else {
            const auto ms = [](double seconds) { return Variant::I4(static_cast<int32_t>(std::llround(seconds * 1000))); };
            Variant from = ms(request.from), to = ms(request.to), total_ms = ms(total);
            outcome = CallByName(cutter.Get(), u"CutVideo", DISPATCH_METHOD, {&in_arg, &out_arg, &from, &to, &total_ms},
                                 result.Put());
        }
        progress.Stop();
        if (FAILED(outcome.status)) throw CommandError{kExitFailed, CutterFailure(outcome, request)};

        facts.head_size = ReadInt(cutter.Get(), u"MinimumCut");
        facts.output_exists = true;
        if (facts.head_size >= 0) {
            std::ifstream written(output.Path(), std::ios::binary);
            facts.cut_part = FindGroupStart(written, static_cast<uint64_t>(facts.head_size));
        }
        const CutVerdict verdict = JudgeCut(facts);
        if (!verdict.ok) throw CommandError{kExitFailed, verdict.reason};
        const bool broken_link =
            plan && !plan->start.closed && plan->start.offset != *head.first_group && facts.cut_part &&
            MarkBrokenLink(output.Path(), *facts.cut_part, file.At(plan->start.offset, 8));
        if (!plan) {
            // The cutter chose the groups; say which.
            plan.emplace();
            plan->start = groups.AtOrAfterOffset(static_cast<uint32_t>(ReadInt(cutter.Get(), u"startO"))).value_or(Group{});
            plan->end = groups.AtOrAfterOffset(static_cast<uint32_t>(ReadInt(cutter.Get(), u"stopO")));
        }

        HoldForTests(output.Path());
        std::error_code error;
        const uint64_t written = std::filesystem::file_size(output.Path(), error);
        output.Commit();
        if (request.quiet) return kExitOk;
        const uint64_t end_offset = plan->end ? plan->end->offset : file.Size();
        const int64_t end_picture = plan->end ? plan->end->picture : groups.Pictures();
        if (plan->widened)
            std::printf("%s–%s s lies inside one group of pictures: keeping that whole group\n",
                        FormatSeconds(request.from).c_str(), FormatSeconds(request.to).c_str());
        // A decoder skips the leading pictures of a group whose link is broken.
        const int64_t first_shown =
            plan->start.picture + (broken_link ? groups.LeadingPictures(plan->start.offset) : 0);
        const int64_t pictures = end_picture - first_shown;
        std::optional<int64_t> kept = groups.GroupsWithin(plan->start.offset, end_offset);
        if (!kept) {
            const std::vector<uint32_t> starts = group_starts.get();
            kept = std::lower_bound(starts.begin(), starts.end(), end_offset) -
                   std::lower_bound(starts.begin(), starts.end(), plan->start.offset);
        }
        std::printf("kept %s–%s s (%lld picture%s, %lld group%s)\n",
                    FormatSeconds(static_cast<double>(first_shown) / head.fps).c_str(),
                    FormatSeconds(static_cast<double>(end_picture) / head.fps).c_str(),
                    static_cast<long long>(pictures), pictures == 1 ? "" : "s", static_cast<long long>(*kept),
                    *kept == 1 ? "" : "s");
        std::printf("wrote %llu bytes to %s\n", static_cast<unsigned long long>(written), request.out.c_str());
        if (request.verbose) {
            std::printf("  %s, bytes %llu to %llu, after the stream's head of %d bytes\n", KindName(head.kind),
                        static_cast<unsigned long long>(plan->start.offset),
                        static_cast<unsigned long long>(end_offset), facts.head_size);
            std::printf("  component %s%s\n",
                        session.PrivateComponent().empty() ? "from the registry in use"
                                                           : session.PrivateComponent().c_str(),
                        session.PrivateComponent().empty() ? "" : " (registered for this run only)");
        }
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail("cut", error.code, error.text);
    }
    catch (const ReadError &error) {
        return Fail("cut", kExitFailed, error.what());
    }
}

} // namespace tvx::cli
