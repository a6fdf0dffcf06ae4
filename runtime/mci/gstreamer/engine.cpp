// The GStreamer engine: the transport of the clock engine, carried out on a
// real pipeline. A seek shows exactly the frame asked for: the time stamps
// of ffmpeg-made program streams are not exact enough for an accurate seek
// (pictures after a group's first may carry a neighbour's stamp), so the
// engine seeks to the start of a group before the frame, whose stamp is
// sound, and steps forward to it. Positions count from that known frame:
// while nothing new is presented, it is the position; while playing, the
// stamps' distance from it is added.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine.h"
#include "pipeline.h"
#include "window.h"

namespace tvx::mci::gst {
namespace {

constexpr double kNsPerMs = 1e6;
constexpr int kStepTimeoutMs = 5000;
constexpr int kFailedPauseMs = 300;
// How far a group's stamp may be from the frame its code tells.
constexpr int64_t kCodeAgreement = 12;
constexpr int64_t kEndMargin = 3 * GST_SECOND;
constexpr uint64_t kNoAnchor = ~uint64_t{0};

void Diagnose(const std::string &text) {
    if (std::getenv("TVX_DEBUG")) std::fprintf(stderr, "tarvex10: media engine: %s\n", text.c_str());
}

// Reads the window's events on a thread of its own while the device is
// open, so that a close from the manager's frame is carried out at once,
// not only when a command next changes the window. It looks when the
// connection has something to read, and now and then besides: events that
// a command's round trip took in wait in the connection's queue unseen.
class WindowWatch {
public:
    WindowWatch() = default;
    WindowWatch(const WindowWatch &) = delete;
    WindowWatch &operator=(const WindowWatch &) = delete;
    ~WindowWatch() {
        if (!thread_.joinable()) return;
        const uint64_t one = 1;
        (void)!write(wake_, &one, sizeof one);
        thread_.join();
        close(wake_);
    }
    template <typename Look>
    void Start(int connection, Look look) {
        wake_ = eventfd(0, EFD_CLOEXEC);
        if (wake_ < 0) return;
        thread_ = std::thread([this, connection, look] {
            for (;;) {
                pollfd watched[] = {{connection, POLLIN, 0}, {wake_, POLLIN, 0}};
                poll(watched, 2, kLookEveryMs);
                // Stopped, or the display gone: nothing more to read.
                if (watched[1].revents || watched[0].revents & (POLLERR | POLLHUP)) return;
                look();
            }
        });
    }

private:
    static constexpr int kLookEveryMs = 250;
    int wake_ = -1;
    std::thread thread_;
};

// Two locks. `moving_` is held by whatever drives the pipeline or the
// window (a command, or the bus thread at the end of a play) for as long as
// that takes, waits for pictures included, so that those follow one
// another. `mutex_` guards what a query reads (mode, position, speed) and
// is held only to read or change it, never while GStreamer or X is called:
// a query answers at once, whatever the pipeline is busy with. What a
// query reads is changed only with both held; the rest only with `moving_`.
class Engine final : public MediaEngine {
public:
    Code Open(const EngineRequest &request, std::string &reason) {
        // The bus thread starts before the medium's measures are all in.
        std::lock_guard moving(moving_);
        const char *display = std::getenv("DISPLAY");
        if (display && *display && !Capturing()) {
            const int width = request.probed ? request.probed->width : 0;
            const int height = request.probed ? request.probed->height : 0;
            std::string why;
            if (!window_.Open(request.window, width, height, why)) {
                // A window of the host's that cannot be used is the caller's
                // error; a display that cannot be reached leaves the picture unseen.
                if (request.window.parent) {
                    reason = why;
                    return kCreateWindow;
                }
                Diagnose("playing without a picture: " + why);
            }
        }
        view_ = request.window;
        if (request.probed && request.probed->parts.size() > 1) {
            // A join plays one stream at a time, each as a file of its own.
            parts_ = request.probed->parts;
            std::error_code unknown;
            file_size_ = std::filesystem::file_size(request.path, unknown);
            if (unknown) {
                reason = unknown.message();
                return kInvalidFile;
            }
            pipeline_.ShowPart(0, PartEnd(0));
        }
        Pipeline::Handlers handlers{[this] { Ended(); }, [this](const std::string &why) { Failed(why); }};
        if (!pipeline_.Open(request.path, window_.PictureId(), handlers, reason)) return kInvalidFile;
        if (request.probed) {
            media_ = *request.probed;
        } else {
            // Not MPEG-1: the engine's own measure.
            media_.width = pipeline_.Width();
            media_.height = pipeline_.Height();
            media_.fps = pipeline_.Fps() > 0 ? pipeline_.Fps() : 25.0;
            const int64_t duration = pipeline_.DurationNs();
            if (duration <= 0) {
                reason = "the file's length is not known";
                return kInvalidFile;
            }
            media_.frames = std::llround(static_cast<double>(duration) * media_.fps / 1e9);
        }
        base_ = pipeline_.HasVideo() ? pipeline_.PresentedNs() : 0;
        base_code_ = pipeline_.GroupCode(media_.fps);
        to_ = Length();
        pipeline_.SetLatest(base_ + Ns(PartEndMs() - PartStartMs()) + kEndMargin);
        if (window_.Id()) watch_.Start(window_.Connection(), [this] {
                std::lock_guard moving(moving_);
                TakeClose();
            });
        return kOk;
    }

    const MediaInfo &Media() const override { return media_; }

    Mode ModeAt(double) override {
        std::lock_guard lock(mutex_);
        return shown_.mode;
    }

    double PositionAt(double) override { return Position(Shown()); }

    void Play(double, double from, double to, bool repeat, const WindowView &view) override {
        std::lock_guard moving(moving_);
        // The window first: the play's first picture is drawn at its size.
        fullscreen_play_ = view.fullscreen;
        BringWindow(view);
        from_ = from;
        to_ = to;
        repeat_ = repeat;
        StartPlaying(from);
    }

    void Pause(double) override {
        std::lock_guard moving(moving_);
        if (shown_.mode == Mode::Stopped) {
            // Resuming from here plays to the end.
            from_ = Position(shown_);
            to_ = Length();
            repeat_ = false;
            pipeline_.SetStop(kNone);
        }
        const bool playing = shown_.mode == Mode::Playing;
        Update([&](State &state) {
            state.held.reset();
            state.mode = Mode::Paused;
        });
        Hold(playing);
    }

    bool Resume(double) override {
        std::lock_guard moving(moving_);
        if (shown_.mode == Mode::Stopped) return false;
        if (shown_.mode == Mode::Paused) {
            Update([](State &state) { state.mode = Mode::Playing; });
            pipeline_.Play();
        }
        return true;
    }

    void Stop(double) override {
        std::lock_guard moving(moving_);
        const bool playing = shown_.mode == Mode::Playing;
        Update([](State &state) { state.mode = Mode::Stopped; });
        Hold(playing);
        EndFullScreen();
        Refit();
    }

    void Seek(double, double ms) override {
        std::lock_guard moving(moving_);
        // Until the frame is up, the position is where it is going.
        Update([&](State &state) {
            state.mode = Mode::Stopped;
            state.held = ms;
        });
        // The window first: the frame is decoded at its size.
        EndFullScreen();
        const int64_t frame = FrameAt(ms);
        ShowFrame(std::min(frame, media_.frames - 1));
        // Past the last picture, which stays on show, the position is held.
        if (frame < media_.frames) Update([](State &state) { state.held.reset(); });
    }

    void SetSpeed(double, int64_t speed) override {
        std::lock_guard moving(moving_);
        Update([&](State &state) { state.speed = speed; });
        if (shown_.mode == Mode::Stopped) return; // the next play plays at it
        const double here = Position(shown_);
        if (shown_.mode == Mode::Paused) {
            ShowFrame(FrameAt(here));
        } else {
            StartPlaying(here);
        }
    }

    int64_t Speed() const override {
        std::lock_guard lock(mutex_);
        return shown_.speed;
    }

    void SetAudio(AudioLevels levels) override {
        pipeline_.SetGains(static_cast<float>(levels.left) / 1000.0f, static_cast<float>(levels.right) / 1000.0f);
    }

    // The picture keeps being decoded, so that a switch back shows the
    // right frame at once; off, its window is hidden inside the device's.
    void SetVideo(bool on) override {
        std::lock_guard moving(moving_);
        window_.ShowPicture(on);
        if (on) pipeline_.Expose(); // drawn when the command returns
    }

    Code ShowWindow(const WindowView &view) override {
        std::lock_guard moving(moving_);
        const Code code = BringWindow(view);
        Refit();
        return code;
    }

    uint64_t WindowHandle() const override { return window_.Id(); }

    bool WindowClosed() const override { return closed_; }

    std::optional<Rect> ScreenArea() override { return window_.Id() ? window_.ScreenArea() : std::nullopt; }

    // Answers at once, whatever the window or the pipeline is busy with.
    std::optional<Rect> WindowPlace() override { return window_.Id() ? window_.Place() : std::nullopt; }

    bool PlayFailed() const override {
        std::lock_guard lock(mutex_);
        return shown_.failed;
    }

private:
    // The last frame known by counting, with its picture's stamp and count.
    struct Anchor {
        int64_t frame = 0;
        int64_t ns = kNone;
        uint64_t count = kNoAnchor;
    };
    // What a query reads.
    struct State {
        Mode mode = Mode::Stopped;
        int64_t speed = 1000;
        std::optional<double> held; // the position told while nothing moves, where no picture says it
        std::optional<double> entering; // told while a join's stream is put in the pipeline
        Anchor anchor;
        bool failed = false; // the last play stopped on an error
    };

    static int64_t Ns(double ms) { return std::llround(ms * kNsPerMs); }
    double Rate() const { return static_cast<double>(shown_.speed) / 1000.0; }
    int64_t Stop() const {
        if (to_ < PartEndMs()) return base_ + Ns(to_ - PartStartMs());
        // A join's stream is told over at its last picture (its end of
        // stream does not always come), and the next one takes over.
        if (part_ + 1 < parts_.size()) return base_ + Ns(PartEndMs() - PartStartMs() - 1500.0 / media_.fps);
        return kNone;
    }
    int64_t FrameAt(double ms) const { return std::llround(ms * media_.fps / 1000.0); }

    State Shown() const {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    // Changes what queries read; only with `moving_` held.
    template <typename Change>
    void Update(Change change) {
        std::lock_guard lock(mutex_);
        change(shown_);
    }

    // From the exact first frame, at the set speed, to the end point: the
    // video probe tells when the picture at the end point comes up.
    void StartPlaying(double start) {
        Update([](State &state) {
            state.held.reset();
            state.failed = false;
        });
        if (to_ <= start || shown_.speed == 0) {
            // Over at once, as the clock engine's play at its end point or at
            // full speed.
            EndFullScreen();
            ShowFrame(LastFrameBefore(to_));
            Update([&](State &state) {
                state.held = to_;
                state.mode = Mode::Stopped;
            });
            return;
        }
        // The play's pictures come at the window's size.
        stale_size_ = false;
        EnterPart(FrameAt(start));
        pipeline_.SetStop(Stop());
        if (pipeline_.HasVideo()) {
            ShowFrame(std::min(FrameAt(start), media_.frames - 1));
        } else {
            pipeline_.Seek(base_ + Ns(start), Stop(), Rate(), GST_SEEK_FLAG_ACCURATE);
            rate_ = Rate();
        }
        Update([](State &state) { state.mode = Mode::Playing; });
        pipeline_.Play();
    }
    int64_t LastFrameBefore(double ms) const {
        const int64_t frame = static_cast<int64_t>(std::ceil(ms * media_.fps / 1000.0 - 1e-6)) - 1;
        return std::clamp<int64_t>(frame, 0, media_.frames - 1);
    }

    // The frame on show.
    int64_t CurrentFrame(const Anchor &anchor) const {
        if (pipeline_.PresentedCount() == anchor.count) return anchor.frame;
        const int64_t at = pipeline_.PresentedNs();
        if (at == kNone || anchor.count == kNoAnchor) return PresentedFrame();
        return anchor.frame + std::llround(static_cast<double>(at - anchor.ns) * media_.fps / 1e9);
    }

    // Where a play that broke off stopped: the last picture shown, counted
    // from the known frame, since the stamps of the pictures decoded from a
    // stream cut off are not to be trusted: the last ones may share one
    // that is neither's. But a picture whose data was cut is lost on the
    // way, and the count falls behind: a stamp a little past the count,
    // and past the stamp before it, tells such a loss.
    double BrokenOffAt() const {
        const Anchor &anchor = shown_.anchor;
        if (!pipeline_.HasVideo() || anchor.count == kNoAnchor) return Position(shown_);
        const int64_t counted = anchor.frame + static_cast<int64_t>(pipeline_.PresentedCount() - anchor.count);
        const int64_t stamped = CurrentFrame(anchor);
        const bool rising = pipeline_.PreviousNs() != kNone && pipeline_.PresentedNs() > pipeline_.PreviousNs();
        const bool lost = rising && stamped != kNone && stamped > counted && stamped - counted <= kCodeAgreement;
        const double ms = static_cast<double>(lost ? stamped : counted) * 1000.0 / media_.fps;
        return std::clamp(ms, 0.0, Length());
    }

    // The frame on show by its stamp, counted from the file's first picture.
    int64_t PresentedFrame() const {
        const int64_t at = pipeline_.PresentedNs();
        if (at == kNone) return kNone;
        return PartFirstFrame() + std::llround(static_cast<double>(at - base_) * media_.fps / 1e9);
    }

    // A join's streams, each played as a file of its own: the one that
    // holds `frame` is put in the pipeline, whose stream times are then its.
    int64_t PartFirstFrame() const { return parts_.empty() ? 0 : parts_[part_].first_frame; }
    double PartStartMs() const { return static_cast<double>(PartFirstFrame()) * 1000.0 / media_.fps; }
    double PartEndMs() const {
        if (part_ + 1 >= parts_.size()) return Length();
        return static_cast<double>(parts_[part_ + 1].first_frame) * 1000.0 / media_.fps;
    }
    uint64_t PartEnd(size_t part) const { return part + 1 < parts_.size() ? parts_[part + 1].offset : file_size_; }
    void EnterPart(int64_t frame) {
        size_t part = 0;
        while (part + 1 < parts_.size() && parts_[part + 1].first_frame <= frame) ++part;
        if (part == part_) return;
        // Until the frame is up, the position is the stream's start.
        const double start = static_cast<double>(parts_[part].first_frame) * 1000.0 / media_.fps;
        Update([&](State &state) {
            state.anchor.count = kNoAnchor;
            state.entering = start;
        });
        part_ = part;
        if (!pipeline_.ShowPart(parts_[part].offset, PartEnd(part))) Diagnose("a stream of the join did not preroll");
        const int64_t first = pipeline_.PresentedNs();
        base_ = first == kNone ? 0 : first;
        base_code_ = pipeline_.GroupCode(media_.fps);
        rate_ = 1.0; // the stream starts afresh
        pipeline_.SetLatest(base_ + Ns(PartEndMs() - PartStartMs()) + kEndMargin);
    }

    double Position(const State &state) const {
        if (state.held && state.mode != Mode::Playing) return *state.held;
        if (state.entering) return *state.entering;
        double ms;
        if (pipeline_.HasVideo()) {
            const int64_t frame = CurrentFrame(state.anchor);
            ms = frame == kNone ? 0.0 : static_cast<double>(frame) * 1000.0 / media_.fps;
        } else {
            const int64_t at = pipeline_.QueriedNs();
            ms = at == kNone ? 0.0 : static_cast<double>(at - base_) / kNsPerMs;
        }
        return std::clamp(ms, 0.0, Length());
    }

    // Full screen only while the play that asked for it lasts: the device's
    // view may still ask it after the play ended here, on the bus thread.
    // A close the user asked before is carried out first (`view` may be
    // `view_`, which then says hidden); it stands unless `view` asks the
    // window shown.
    Code BringWindow(const WindowView &view) {
        if (!window_.Id()) return kOk;
        if (!TakeClose() || view.showing) return ShowView(view);
        WindowView hidden = view;
        hidden.visible = false;
        return ShowView(hidden);
    }
    Code ShowView(const WindowView &view) {
        WindowView wanted = view;
        wanted.fullscreen = view.fullscreen && fullscreen_play_;
        if (!window_.Show(wanted)) return kCreateWindow;
        if (wanted.visible) closed_ = false;
        view_ = view;
        // The sink learns the window's new size from the expose; the next
        // picture decoded comes at that size.
        if (pipeline_.FitPicture(window_.PictureWidth(), window_.PictureHeight())) stale_size_ = true;
        pipeline_.Expose();
        return kOk;
    }
    // Closed from the manager's frame: hidden, also when a full screen
    // ends, until the device shows it again. With `moving_` held.
    bool TakeClose() {
        if (!window_.CloseAsked()) return false;
        closed_ = true; // queries tell it while the window goes
        view_.visible = false;
        ShowView(view_);
        return true;
    }
    // A picture on hold is decoded again at the window's new size.
    void Refit() {
        if (stale_size_ && shown_.mode != Mode::Playing) Redraw();
    }
    // The play is over: a window shown full screen for it goes back.
    void EndFullScreen() {
        if (!fullscreen_play_) return;
        fullscreen_play_ = false;
        BringWindow(view_);
    }


    // Pauses the pipeline; a play broken off waits until the sinks hold
    // their picture, so that the position told is that of the picture drawn.
    void Hold(bool playing) {
        pipeline_.Pause();
        if (playing) pipeline_.Settle();
    }

    // The frame on show drawn again, decoded anew (at the picture's new
    // size), while queries keep answering its position.
    void Redraw() {
        if (!pipeline_.HasVideo()) return;
        // A position held (a play's end point) names the frame, whichever
        // picture the sink had been handed as the pipeline paused.
        const bool held = shown_.held.has_value();
        const int64_t frame = held ? std::min(FrameAt(*shown_.held), media_.frames - 1) : CurrentFrame(shown_.anchor);
        if (frame == kNone) return;
        if (!held) Update([&](State &state) { state.held = Position(state); });
        ShowFrame(frame);
        if (!held) Update([](State &state) { state.held.reset(); });
    }

    // Leaves the pipeline paused on `frame`, ready to play at the set speed;
    // a frame on show at a size the window no longer has is decoded anew.
    void ShowFrame(int64_t frame) {
        const bool anew = std::exchange(stale_size_, false);
        pipeline_.Pause();
        pipeline_.Settle();
        const double rate = shown_.speed == 0 ? 1.0 : Rate();
        EnterPart(frame);
        const int64_t target_ns = std::llround(static_cast<double>(frame - PartFirstFrame()) * 1e9 / media_.fps);
        if (!pipeline_.HasVideo()) {
            pipeline_.Seek(base_ + target_ns, kNone, rate, GST_SEEK_FLAG_ACCURATE);
            rate_ = rate;
            pipeline_.Settle();
            return;
        }
        // Near ahead at the same rate: steps alone. Else from the start of a
        // group of pictures before the frame. The program stream demuxer
        // seeks by its clock references, which run ahead of the pictures'
        // stamps, so a seek may land past the frame or past the last group
        // (nothing presented): then further back, down to the file's start.
        int64_t at = CurrentFrame(shown_.anchor);
        const int64_t near = std::llround(2 * media_.fps);
        if (anew || at == kNone || rate != rate_ || frame < at || frame - at > near) {
            Update([](State &state) { state.anchor.count = kNoAnchor; });
            // The group's first picture is paused on unseen: what is drawn
            // goes from the picture on show straight to the frame.
            pipeline_.DrawPausedPicture(false);
            int64_t start = 0;
            for (int64_t back = 0;; back = back ? back * 2 : GST_SECOND) {
                // A seek into the last seconds may land past the last group.
                const int64_t latest = std::max<int64_t>(0, base_ + Ns(PartEndMs() - PartStartMs()) - kEndMargin);
                start = std::clamp<int64_t>(base_ + target_ns - back, 0, latest);
                at = SeekGroup(start, rate);
                if ((at != kNone && at <= frame) || start == 0) break;
            }
            pipeline_.DrawPausedPicture(true);
            // A frame that starts its group is the one paused on: once more, seen.
            if (at == frame) at = SeekGroup(start, rate);
        }
        if (at == kNone) return;
        if (frame > at) {
            // The sink is handed one picture per frame stepped; the last one stays.
            const uint64_t count = pipeline_.PresentedCount();
            pipeline_.Step(frame - at);
            if (!pipeline_.WaitPresented(count + static_cast<uint64_t>(frame - at), kStepTimeoutMs))
                Diagnose("a frame step did not arrive in time");
            pipeline_.Settle();
            at = frame;
        }
        const Anchor anchor{at, pipeline_.PresentedNs(), pipeline_.PresentedCount()};
        Update([&](State &state) {
            state.anchor = anchor;
            state.entering.reset();
        });
    }

    // Pauses on the first picture of the group that holds `start`; the frame
    // of that picture (kNone when none came). Its stamp may be its decoding
    // time, frames early; the group's own code tells the frame, where it
    // counts on from the first picture's (near the stamp: a file joined from
    // two may start its codes anew).
    int64_t SeekGroup(int64_t start, double rate) {
        pipeline_.Seek(start, kNone, rate, GstSeekFlags(GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
        rate_ = rate;
        if (!pipeline_.Settle()) pipeline_.Recover();
        const int64_t stamped = PresentedFrame();
        const int64_t code = pipeline_.GroupCode(media_.fps);
        if (stamped == kNone || code == kNone || base_code_ == kNone) return stamped;
        const int64_t coded = PartFirstFrame() + code - base_code_;
        return std::abs(coded - stamped) <= kCodeAgreement ? coded : stamped;
    }

    // On the bus thread.
    void Ended() {
        std::lock_guard moving(moving_);
        if (shown_.mode != Mode::Playing) return;
        // A join's stream played to its end: on with the next.
        if (part_ + 1 < parts_.size() && to_ > PartEndMs()) {
            StartPlaying(PartEndMs());
            return;
        }
        if (repeat_) {
            StartPlaying(from_);
            return;
        }
        // A file cut short or removed while playing ends the play early: the
        // position stays on the last picture shown, not at the end point.
        const double last_frame_ms = 2 * 1000.0 / media_.fps;
        const bool short_of_end = Position(shown_) + last_frame_ms < to_;
        if (short_of_end) Diagnose("the play ended before its end point: the file was cut short or removed");
        const double reached = short_of_end ? BrokenOffAt() : to_;
        pipeline_.Pause();
        // The window is back by the time the play is told to be over; its
        // last picture follows at the window's size (not from a file cut short).
        EndFullScreen();
        Update([&](State &state) {
            state.held = reached;
            state.failed = short_of_end;
            state.mode = Mode::Stopped;
        });
        if (!short_of_end) Refit();
    }

    // On the bus thread. The position stays on the last picture shown: the
    // pictures already decoded would go on to the screen after the failure,
    // so the pipeline pauses on the one that is there. With none left to
    // pause on, the pause cannot complete, and the last one drawn stays.
    void Failed(const std::string &why) {
        Diagnose(why);
        std::lock_guard moving(moving_);
        const bool playing = shown_.mode == Mode::Playing;
        if (playing) {
            pipeline_.Pause();
            pipeline_.Settle(kFailedPauseMs);
        }
        const double reached = playing ? BrokenOffAt() : Position(shown_);
        EndFullScreen();
        Update([&](State &state) {
            if (state.mode == Mode::Playing) state.failed = true;
            state.held = reached;
            state.mode = Mode::Stopped;
        });
    }

    std::mutex moving_;
    mutable std::mutex mutex_;
    State shown_;
    MediaInfo media_;
    // Stream time of the first picture (of the join's stream on); queries read it.
    std::atomic<int64_t> base_{0};
    int64_t base_code_ = kNone; // the group code of the first picture (of the join's stream on)
    std::vector<JoinPart> parts_; // a join's streams; empty for one
    std::atomic<size_t> part_{0}; // the one in the pipeline
    uint64_t file_size_ = 0;
    double from_ = 0, to_ = 0;
    bool repeat_ = false;
    double rate_ = 1.0; // of the pipeline's segment
    WindowView view_;              // as the device last asked it
    bool fullscreen_play_ = false; // the play on now (or paused) is full screen
    bool stale_size_ = false;      // the picture on show has not the window's size
    std::atomic<bool> closed_{false}; // hidden by the user's close since last shown
    Window window_; // outlives the pipeline, whose sink draws in it
    // Late, so that their threads stop before the rest goes: the watch
    // first, which may fit the picture to the window.
    Pipeline pipeline_;
    WindowWatch watch_;
};

} // namespace
} // namespace tvx::mci::gst

extern "C" __attribute__((visibility("default"))) tvx::mci::Code
TvxOpenGStreamerEngine(const tvx::mci::EngineRequest &request, std::unique_ptr<tvx::mci::MediaEngine> &engine,
                       std::string &reason) {
    static GError *init_error = nullptr;
    static const bool ready = gst_init_check(nullptr, nullptr, &init_error);
    if (!ready) {
        reason = init_error ? init_error->message : "GStreamer did not start";
        return tvx::mci::kCannotLoadDriver;
    }
    auto opened = std::make_unique<tvx::mci::gst::Engine>();
    if (tvx::mci::Code code = opened->Open(request, reason); code != tvx::mci::kOk) return code;
    engine = std::move(opened);
    return tvx::mci::kOk;
}
