// One file's GStreamer pipeline: playbin with sinks of our own making, the
// bus read on a thread of its own, and two probes that see what the sinks
// are handed: the video probe keeps the time of the picture presented, the
// audio probe applies the channel gains, so that a change is heard as soon
// as the sink plays the next buffer rather than after the decoder's queue.
//
// Sinks: a picture goes to the X window given, else it is decoded and
// discarded in real time; sound goes to PulseAudio when a
// server answers, else it is discarded in real time. With TVX_MEDIA_CAPTURE
// naming a folder (a test switch) both are discarded and each picture's
// centre colour and each sound buffer's per-channel level are written to
// video.log and audio.log in that folder.
#ifndef TVX_RUNTIME_MCI_GSTREAMER_PIPELINE_H
#define TVX_RUNTIME_MCI_GSTREAMER_PIPELINE_H

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tvx::mci::gst {

inline constexpr int64_t kNone = -1;

// Whether the capture switch is on (then nothing is shown or heard).
bool Capturing();

class Pipeline {
public:
    // Called on the bus thread.
    struct Handlers {
        std::function<void()> ended;
        std::function<void(const std::string &)> failed;
    };

    Pipeline() = default;
    Pipeline(const Pipeline &) = delete;
    Pipeline &operator=(const Pipeline &) = delete;
    // Stops every thread of the pipeline before returning.
    ~Pipeline();

    // Builds the pipeline for `path`, drawing in X window `window` (0:
    // none), and waits until it has prerolled (the first picture decoded).
    // False with the reason when the file does not play.
    bool Open(const std::string &path, uint64_t window, Handlers handlers, std::string &reason);
    // Plays only bytes [from, to) of the file, as a file of their own: one
    // stream of several joined end to end, whose clocks start again at each
    // join, so that the demuxer's seeks by those clocks find their mark.
    // Before Open; or later on a paused pipeline, which then prerolls the
    // part's first picture (false when it does not). Stream times are then
    // the part's own.
    bool ShowPart(uint64_t from, uint64_t to);
    // Draws the picture on show again (after its window moved or resized).
    void Expose();
    // The size the picture is drawn at where the sink does not scale it
    // itself; taken from the next picture on. True when that size changed:
    // a picture on hold keeps its old size until one is decoded anew.
    bool FitPicture(int width, int height);
    // Whether the video sink draws the picture it pauses on (it does unless
    // told otherwise), so that pictures passed on the way to a frame stay
    // unseen.
    void DrawPausedPicture(bool on);

    bool HasVideo() const { return video_sink_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    double Fps() const { return fps_; }
    int64_t DurationNs() const;

    // The stream time of the picture that the video sink holds or shows.
    int64_t PresentedNs() const { return presented_.load(std::memory_order_acquire); }
    // The stamp of the picture before that one (kNone: none since the last seek).
    int64_t PreviousNs() const { return previous_.load(std::memory_order_acquire); }
    // The number that the MPEG picture stream's own headers give the first
    // picture of the first group after the last seek (or the file's
    // start): the group's time code in frames at `fps` plus that picture's
    // place in showing order. kNone for streams without such headers.
    int64_t GroupCode(double fps) const;
    // Called for each element playbin makes: the MPEG picture parser's
    // output is read for the group headers.
    void WatchGroups(GstElement *parser);
    // How many pictures the video sink has been handed so far.
    uint64_t PresentedCount() const { return presented_count_.load(std::memory_order_acquire); }
    // The stream time that the pipeline reports (for files without a picture).
    int64_t QueriedNs() const;
    // Waits until the sink has been handed `count` pictures in all, or the
    // time runs out.
    bool WaitPresented(uint64_t count, int timeout_ms);

    // Asynchronous: the state changes on the pipeline's threads (a pause
    // waits only for the sinks to have taken up a play just begun).
    void Play();
    void Pause();
    // Waits for a state change or seek to complete; false on an error or time-out.
    bool Settle(int timeout_ms = 10000);
    // Flushing seek in stream time; `stop` kNone plays to the end. Nothing
    // counts as presented until the first picture after the seek.
    bool Seek(int64_t start, int64_t stop, double rate, GstSeekFlags flags);
    // Moves a paused pipeline `frames` pictures forward.
    bool Step(int64_t frames);
    // The stream time at which playing ends (kNone: at the end of the
    // file); the picture there is the last one shown, and `ended` is told.
    void SetStop(int64_t stop);
    // The latest stream time a picture of the file can have. A damaged time
    // stamp far past it would hold the sink waiting for its moment (hours,
    // perhaps) and the play would never end: such pictures are dropped.
    void SetLatest(int64_t latest) { latest_.store(latest); }
    // Brings a pipeline that an error stopped back to a paused state.
    void Recover();

    void SetGains(float left, float right) {
        gain_left_.store(left);
        gain_right_.store(right);
    }

private:
    static void SetUpPart(GstElement *, GstElement *source, gpointer self);
    static void FeedPart(GstElement *source, guint length, gpointer part);
    static gboolean MovePart(GstElement *, guint64 offset, gpointer part);
    static GstPadProbeReturn OnVideo(GstPad *, GstPadProbeInfo *info, gpointer self);
    static GstPadProbeReturn OnParsed(GstPad *, GstPadProbeInfo *info, gpointer self);
    static GstPadProbeReturn OnAudio(GstPad *, GstPadProbeInfo *info, gpointer self);
    GstElement *MakeVideoSink(uint64_t window);
    GstElement *MakeAudioSink();
    void ReadBus();
    void TellStop();
    bool Damaged(int64_t stream_time);
    // Waits until the sinks' threads have taken up a play (see Pause).
    void LetSinksStart();
    // Why the file did not preroll, from the messages on the bus.
    std::string Refusal();
    // The decoders that playbin asked for and did not find, named; empty when none.
    std::string MissingPlugins();
    void Measure();

    // The part played (see ShowPart). Each source made for it reads
    // through a copy of its own, so that a source on its way out moves no
    // other's place.
    struct Part {
        int fd = -1; // -1: the whole file, through its URI
        uint64_t from = 0, to = 0, at = 0;
        std::mutex mutex; // a source's copy: its streaming thread and its seeks
    };
    std::mutex part_mutex_;
    Part part_;

    GstElement *playbin_ = nullptr;
    GstElement *video_sink_ = nullptr; // the sink element whose pad is probed
    GstElement *audio_sink_ = nullptr;
    GstElement *size_ = nullptr; // the picture's size where we scale it
    GstBus *bus_ = nullptr;
    Handlers handlers_;
    std::thread bus_thread_;
    std::atomic<bool> quitting_{false};
    std::atomic<uint32_t> last_seek_{GST_SEQNUM_INVALID};
    std::atomic<int64_t> stop_{kNone};
    std::atomic<uint32_t> stop_round_{0}; // which SetStop a stop message answers
    std::atomic<bool> stop_told_{false};
    std::atomic<int64_t> latest_{kNone};

    GstSegment video_segment_{}; // touched by the video streaming thread only
    GstSegment audio_segment_{}; // and this by the audio one
    // The time code (hours, minutes, seconds, pictures packed) and temporal
    // reference of the first group's first picture after a flush.
    std::atomic<int64_t> group_time_{kNone};
    std::atomic<int> group_order_{0};
    std::atomic<bool> group_seen_{false}; // since the last flush
    std::atomic<int64_t> presented_{kNone};
    std::atomic<int64_t> previous_{kNone};
    std::atomic<uint64_t> presented_count_{0};
    std::mutex presented_mutex_;
    std::condition_variable presented_changed_;

    std::atomic<float> gain_left_{1.0f}, gain_right_{1.0f};

    // The probes run on GStreamer's streaming threads, which start after
    // Open has built what they read and are stopped before the destructor
    // frees it; GStreamer's own locks see to that. Those locks are GLib's,
    // which a thread checker cannot see, so each probe also passes through
    // a counter on its way in and out, as Open and the destructor do, which
    // makes the same order plain to it. The counter is one for all
    // pipelines, so that it is never itself fresh memory a probe meets.
    struct Handoff {
        Handoff() { Count().fetch_add(1, std::memory_order_acq_rel); }
        ~Handoff() { Count().fetch_add(1, std::memory_order_acq_rel); }
        static std::atomic<uint64_t> &Count();
    };
    int width_ = 0, height_ = 0;
    double fps_ = 0;
    int fit_width_ = 0, fit_height_ = 0; // the size the picture is scaled to

    FILE *video_log_ = nullptr;
    FILE *audio_log_ = nullptr;
};

} // namespace tvx::mci::gst

#endif // TVX_RUNTIME_MCI_GSTREAMER_PIPELINE_H
