#include "pipeline.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>
#include <gst/pbutils/missing-plugins.h>
#include <gst/video/video.h>
#include <gst/video/videooverlay.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace tvx::mci::gst {
namespace {

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Whether an element of `factory` can be made and brought to READY, which
// for a display or sound server sink means that the server answers.
bool Usable(const char *factory) {
    GstElement *element = gst_element_factory_make(factory, nullptr);
    if (!element) return false;
    gst_object_ref_sink(element);
    const bool ready = gst_element_set_state(element, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(element, GST_STATE_NULL);
    gst_object_unref(element);
    return ready;
}

const char *CaptureFolder() {
    const char *folder = std::getenv("TVX_MEDIA_CAPTURE");
    return folder && *folder ? folder : nullptr;
}

// A bin from a launch line; its sink element is the one named "sink".
GstElement *Bin(const std::string &description, GstElement *&sink) {
    GError *error = nullptr;
    GstElement *bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    if (!bin) {
        g_clear_error(&error);
        return nullptr;
    }
    sink = gst_bin_get_by_name(GST_BIN(bin), "sink");
    if (sink) gst_object_unref(sink); // the bin keeps it
    return bin;
}

// Decoders to use before others of the same kind: MPEG audio decodes as
// well with this small library, and the general decoder library that would
// rank first draws in a large set of codec libraries (tens of megabytes
// resident) that such files do not need. Not the small MPEG-1/2 picture
// decoder (mpeg2dec): a damaged picture makes it write out of bounds and
// end the process; the general library's decoder plays what decodes.
constexpr const char *kPreferredDecoders[] = {"mpg123audiodec"};

bool Preferred(GstPluginFeature *factory) {
    const char *name = gst_plugin_feature_get_name(factory);
    return std::any_of(std::begin(kPreferredDecoders), std::end(kPreferredDecoders),
                       [&](const char *preferred) { return g_strcmp0(name, preferred) == 0; });
}

bool Decoder(GstPluginFeature *factory) {
    const char *klass = gst_element_factory_get_metadata(GST_ELEMENT_FACTORY(factory), GST_ELEMENT_METADATA_KLASS);
    return klass && std::strstr(klass, "Decoder");
}

// The preferred decoders move ahead of the other decoders; parsers and
// demuxers keep their places ahead of them.
GValueArray *PreferDecoders(GstElement *, GstPad *, GstCaps *, GValueArray *factories, gpointer) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    auto at = [&](guint i) { return static_cast<GstPluginFeature *>(g_value_get_object(g_value_array_get_nth(factories, i))); };
    guint first_decoder = factories->n_values;
    bool any = false;
    for (guint i = 0; i < factories->n_values; ++i) {
        if (first_decoder == factories->n_values && Decoder(at(i))) first_decoder = i;
        any = any || Preferred(at(i));
    }
    if (!any) return nullptr; // the usual order
    GValueArray *sorted = g_value_array_new(factories->n_values);
    for (guint i = 0; i < factories->n_values; ++i) {
        if (i == first_decoder)
            for (guint j = i; j < factories->n_values; ++j)
                if (Preferred(at(j))) g_value_array_append(sorted, g_value_array_get_nth(factories, j));
        if (i < first_decoder || !Preferred(at(i))) g_value_array_append(sorted, g_value_array_get_nth(factories, i));
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    return sorted;
}

// The MPEG picture decoder hands out its last pictures only when it sees
// the sequence's end code, which many streams (ffmpeg's among them) leave
// out: the stream's end brings one, so that the last frames are shown.
GstPadProbeReturn EndSequence(GstPad *pad, GstPadProbeInfo *info, gpointer) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS) return GST_PAD_PROBE_OK;
    static const guint8 kSequenceEnd[] = {0x00, 0x00, 0x01, 0xB7};
    gst_pad_chain(pad, gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<guint8 *>(kSequenceEnd),
                                                  sizeof kSequenceEnd, 0, sizeof kSequenceEnd, nullptr, nullptr));
    return GST_PAD_PROBE_OK;
}

// What playbin makes, set up our way: each decodebin sorts its decoders as
// above, the MPEG picture decoder is brought its end code. Memory: an MPEG
// picture decodes in a few milliseconds on one thread, and each further
// decoding thread would keep pictures of its own; the sink's queue holds
// one decoded picture ahead rather than three (some megabytes at 640x480).
void SetUpElement(GstElement *, GstElement *element, gpointer pipeline) {
    GstElementFactory *factory = gst_element_get_factory(element);
    const char *name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    if (g_strcmp0(name, "mpegvideoparse") == 0) static_cast<Pipeline *>(pipeline)->WatchGroups(element);
    if (g_strcmp0(name, "decodebin") == 0) g_signal_connect(element, "autoplug-sort", G_CALLBACK(PreferDecoders), nullptr);
    if (g_strcmp0(name, "avdec_mpeg2video") == 0 || g_strcmp0(name, "avdec_mpeg1video") == 0)
        g_object_set(element, "max-threads", 1, nullptr);
    if (g_strcmp0(name, "queue") == 0 && g_strcmp0(GST_ELEMENT_NAME(element), "vqueue") == 0)
        g_object_set(element, "max-size-buffers", 1, nullptr);
    if (g_strcmp0(name, "mpeg2dec") == 0) {
        GstPad *pad = gst_element_get_static_pad(element, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &EndSequence, nullptr, nullptr);
        gst_object_unref(pad);
    }
}

// playbin's flags: video and audio, nothing else. Our sink bins convert
// what they need themselves, and volume is ours: playbin's own converters,
// volume, colour balance, deinterlacer and subtitle chain would be
// elements, buffers and threads that nothing uses.
constexpr guint kPlayVideo = 0x1, kPlayAudio = 0x2, kPlayNativeAudio = 0x20, kPlayNativeVideo = 0x40;

void AddProbe(GstElement *sink, GstPadProbeType type, GstPadProbeCallback callback, void *self) {
    GstPad *pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, type, callback, self, nullptr);
    gst_object_unref(pad);
}

} // namespace

std::atomic<uint64_t> &Pipeline::Handoff::Count() {
    static std::atomic<uint64_t> count{0};
    return count;
}

Pipeline::~Pipeline() {
    quitting_ = true;
    if (bus_thread_.joinable()) bus_thread_.join();
    if (playbin_) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        Handoff probes_done;
        gst_object_unref(playbin_);
    }
    if (bus_) gst_object_unref(bus_);
    if (video_log_) std::fclose(video_log_);
    if (audio_log_) std::fclose(audio_log_);
    if (part_.fd >= 0) close(part_.fd);
}

bool Pipeline::ShowPart(uint64_t from, uint64_t to) {
    if (playbin_) gst_element_set_state(playbin_, GST_STATE_READY);
    {
        std::lock_guard lock(part_mutex_);
        part_.from = from;
        part_.to = to;
    }
    if (!playbin_) return true;
    // The source is made anew, for the part, on the way back to paused,
    // and its first group is read again.
    presented_.store(kNone, std::memory_order_release);
    previous_.store(kNone, std::memory_order_release);
    group_seen_.store(false);
    group_time_.store(kNone);
    last_seek_.store(GST_SEQNUM_INVALID);
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    return Settle();
}

void Pipeline::SetUpPart(GstElement *, GstElement *source, gpointer self) {
    auto *pipeline = static_cast<Pipeline *>(self);
    auto *part = new Part;
    {
        std::lock_guard lock(pipeline->part_mutex_);
        part->fd = pipeline->part_.fd;
        part->from = pipeline->part_.from;
        part->to = pipeline->part_.to;
    }
    // The source's streaming thread reads the part after GStreamer's own
    // locks hand it over; the hand-off makes that order plain (see Handoff).
    const Handoff made;
    g_object_set_data_full(G_OBJECT(source), "tvx-part", part, [](gpointer data) {
        const Handoff freed;
        delete static_cast<Part *>(data);
    });
    g_object_set(source, "stream-type", 2 /* random access */, "format", GST_FORMAT_BYTES, "size",
                 static_cast<gint64>(part->to - part->from), nullptr);
    g_signal_connect(source, "need-data", G_CALLBACK(FeedPart), part);
    g_signal_connect(source, "seek-data", G_CALLBACK(MovePart), part);
}

void Pipeline::FeedPart(GstElement *source, guint length, gpointer data) {
    const Handoff fed;
    auto *part = static_cast<Part *>(data);
    constexpr guint kChunk = 64 * 1024;
    GstBuffer *buffer = nullptr;
    {
        std::lock_guard lock(part->mutex);
        const uint64_t size = part->to - part->from;
        const uint64_t left = size - std::min(part->at, size);
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(left, length == 0 || length > kChunk ? kChunk : length));
        if (wanted > 0) {
            buffer = gst_buffer_new_allocate(nullptr, wanted, nullptr);
            GstMapInfo map;
            gst_buffer_map(buffer, &map, GST_MAP_WRITE);
            const ssize_t got = pread(part->fd, map.data, wanted, static_cast<off_t>(part->from + part->at));
            gst_buffer_unmap(buffer, &map);
            if (got <= 0) {
                gst_buffer_unref(buffer);
                buffer = nullptr;
            } else {
                gst_buffer_set_size(buffer, got);
                GST_BUFFER_OFFSET(buffer) = part->at;
                part->at += static_cast<uint64_t>(got);
            }
        }
    }
    GstFlowReturn flow;
    if (buffer) {
        g_signal_emit_by_name(source, "push-buffer", buffer, &flow);
        gst_buffer_unref(buffer);
    } else {
        g_signal_emit_by_name(source, "end-of-stream", &flow);
    }
}

gboolean Pipeline::MovePart(GstElement *, guint64 offset, gpointer data) {
    const Handoff moved;
    auto *part = static_cast<Part *>(data);
    std::lock_guard lock(part->mutex);
    part->at = offset;
    return TRUE;
}

GstElement *Pipeline::MakeVideoSink(uint64_t window) {
    std::string sink;
    if (CaptureFolder()) {
        sink = "videoconvert ! video/x-raw,format=RGB ! fakesink name=sink sync=true qos=false";
    } else if (window) {
        // Xv scales on the display's hardware where it has it.
        static const bool xv = Usable("xvimagesink");
        // Without it the picture is scaled here to the size that FitPicture
        // sets, stretched as the destination asks.
        sink = xv ? "videoconvert ! xvimagesink name=sink"
                  : "videoconvert ! videoscale add-borders=false ! capsfilter name=size ! ximagesink name=sink";
    } else {
        sink = "fakesink name=sink sync=true qos=false";
    }
    GstElement *bin = Bin(sink, video_sink_);
    if (bin && (size_ = gst_bin_get_by_name(GST_BIN(bin), "size"))) gst_object_unref(size_); // the bin keeps it
    if (bin && window && GST_IS_VIDEO_OVERLAY(video_sink_))
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(video_sink_), static_cast<guintptr>(window));
    if (bin) AddProbe(video_sink_, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &Pipeline::OnVideo, this);
    return bin;
}

GstElement *Pipeline::MakeAudioSink() {
    // Interleaved float stereo, whatever the file carries, so that the gains
    // apply per channel in one place.
    std::string line = "audioconvert ! audioresample ! audio/x-raw,format=F32LE,layout=interleaved,channels=2 ! ";
    // Asked at each open: a sound server may come or go while the process runs.
    const bool pulse = !CaptureFolder() && Usable("pulsesink");
    line += pulse ? "pulsesink name=sink" : "fakesink name=sink sync=true";
    GstElement *bin = Bin(line, audio_sink_);
    if (bin) AddProbe(audio_sink_, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &Pipeline::OnAudio, this);
    return bin;
}

bool Capturing() { return CaptureFolder() != nullptr; }

bool Pipeline::FitPicture(int width, int height) {
    if (!size_ || width < 1 || height < 1 || (width == fit_width_ && height == fit_height_)) return false;
    fit_width_ = width;
    fit_height_ = height;
    GstCaps *caps = gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(size_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    return true;
}

void Pipeline::DrawPausedPicture(bool on) {
    if (video_sink_ && g_object_class_find_property(G_OBJECT_GET_CLASS(video_sink_), "show-preroll-frame"))
        g_object_set(video_sink_, "show-preroll-frame", on ? TRUE : FALSE, nullptr);
}

void Pipeline::Expose() {
    if (video_sink_ && GST_IS_VIDEO_OVERLAY(video_sink_)) gst_video_overlay_expose(GST_VIDEO_OVERLAY(video_sink_));
}

bool Pipeline::Open(const std::string &path, uint64_t window, Handlers handlers, std::string &reason) {
    handlers_ = std::move(handlers);
    GError *error = nullptr;
    gchar *uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        reason = error ? error->message : "no URI for the file";
        g_clear_error(&error);
        return false;
    }
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        g_free(uri);
        reason = "the playbin element is missing (gstreamer1.0-plugins-base)";
        return false;
    }
    gst_object_ref_sink(playbin_);
    // The pictures keep the system's time, and the sound server's stream
    // follows it: the server's own clock, which playbin would choose, stands
    // still for moments while its stream starts (a play then went at half
    // speed for a second or two).
    GstClock *system_clock = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(playbin_), system_clock);
    gst_object_unref(system_clock);
    if (part_.to > part_.from) {
        part_.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (part_.fd < 0) {
            g_free(uri);
            reason = "the file cannot be read";
            return false;
        }
        g_object_set(playbin_, "uri", "appsrc://", nullptr);
        g_signal_connect(playbin_, "source-setup", G_CALLBACK(SetUpPart), this);
    } else {
        g_object_set(playbin_, "uri", uri, nullptr);
    }
    g_object_set(playbin_, "flags", kPlayVideo | kPlayAudio | kPlayNativeAudio | kPlayNativeVideo, nullptr);
    g_signal_connect(playbin_, "element-setup", G_CALLBACK(SetUpElement), this);
    g_free(uri);
    if (const char *folder = CaptureFolder()) {
        video_log_ = std::fopen((std::string(folder) + "/video.log").c_str(), "w");
        audio_log_ = std::fopen((std::string(folder) + "/audio.log").c_str(), "w");
    }
    GstElement *video = MakeVideoSink(window);
    GstElement *audio = MakeAudioSink();
    if (!video || !audio) {
        if (video) gst_object_unref(video);
        if (audio) gst_object_unref(audio);
        video_sink_ = audio_sink_ = nullptr;
        reason = "the sink elements are missing (gstreamer1.0-plugins-base)";
        return false;
    }
    g_object_set(playbin_, "video-sink", video, "audio-sink", audio, nullptr);
    bus_ = gst_element_get_bus(playbin_);

    Handoff ready_for_probes;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    if (!Settle()) {
        reason = Refusal();
        return false;
    }
    // playbin goes on with the streams it can decode: a picture or sound
    // left out for want of a decoder would be a failure reported as success.
    if (const std::string missing = MissingPlugins(); !missing.empty()) {
        reason = "GStreamer is missing a plug-in: " + missing;
        return false;
    }
    Measure();
    // Until a size is set the picture goes at its own.
    fit_width_ = width_;
    fit_height_ = height_;
    // A file without a picture has nothing presented; playbin leaves our
    // video sink unlinked then.
    if (PresentedNs() == kNone) video_sink_ = nullptr;
    bus_thread_ = std::thread([this] { ReadBus(); });
    return true;
}

std::string Pipeline::MissingPlugins() {
    std::string missing;
    while (GstMessage *message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ELEMENT)) {
        if (gst_is_missing_plugin_message(message)) {
            gchar *what = gst_missing_plugin_message_get_description(message);
            if (missing.find(what) == std::string::npos) missing += (missing.empty() ? "" : ", ") + std::string(what);
            g_free(what);
        }
        gst_message_unref(message);
    }
    return missing;
}

std::string Pipeline::Refusal() {
    // Decoders that are not installed are named by messages of their own;
    // the error that follows says only that the file does not play.
    if (const std::string missing = MissingPlugins(); !missing.empty()) return "GStreamer is missing a plug-in: " + missing;
    std::string failed;
    while (GstMessage *message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR)) {
        if (failed.empty()) {
            GError *failure = nullptr;
            gchar *detail = nullptr;
            gst_message_parse_error(message, &failure, &detail);
            failed = failure ? failure->message : "the file does not play";
            if (detail) failed += std::string(" (") + detail + ")";
            g_clear_error(&failure);
            g_free(detail);
        }
        gst_message_unref(message);
    }
    return failed.empty() ? "the file did not preroll in time" : failed;
}

void Pipeline::Measure() {
    if (!video_sink_) return;
    GstPad *pad = gst_element_get_static_pad(video_sink_, "sink");
    if (GstCaps *caps = gst_pad_get_current_caps(pad)) {
        GstVideoInfo info;
        if (gst_video_info_from_caps(&info, caps)) {
            width_ = GST_VIDEO_INFO_WIDTH(&info);
            height_ = GST_VIDEO_INFO_HEIGHT(&info);
            if (GST_VIDEO_INFO_FPS_D(&info) > 0)
                fps_ = static_cast<double>(GST_VIDEO_INFO_FPS_N(&info)) / GST_VIDEO_INFO_FPS_D(&info);
        }
        gst_caps_unref(caps);
    }
    gst_object_unref(pad);
}

int64_t Pipeline::DurationNs() const {
    gint64 duration = 0;
    return gst_element_query_duration(playbin_, GST_FORMAT_TIME, &duration) ? duration : kNone;
}

int64_t Pipeline::QueriedNs() const {
    gint64 position = 0;
    return gst_element_query_position(playbin_, GST_FORMAT_TIME, &position) ? position : kNone;
}

bool Pipeline::WaitPresented(uint64_t count, int timeout_ms) {
    std::unique_lock lock(presented_mutex_);
    return presented_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                       [&] { return PresentedCount() >= count; });
}

void Pipeline::Play() { gst_element_set_state(playbin_, GST_STATE_PLAYING); }

void Pipeline::Pause() {
    LetSinksStart();
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
}

// A sink told to play leaves its wait on the paused picture on its own
// streaming thread, some time later. Paused again before that thread has
// woken, the sink takes itself for paused on that picture and says so at
// once; the thread then wakes and goes on presenting pictures in real time
// in a pipeline that reports itself paused: the picture drawn runs ahead of
// the position and of every step counted from it. So a pause waits, first,
// for the sinks' threads to have left that wait. The sink's fields read
// here are those its own header opens to subclasses, under the lock it names.
// A sink's thread holds that lock while it draws or plays, which may block
// for as long as the display or the sound server takes (a sound server's
// stream waits there for room until the pause itself frees it): a lock held
// means the thread is awake, and it is not waited for.
void Pipeline::LetSinksStart() {
    constexpr int kLongestWaitUs = 500000, kPollUs = 200;
    for (GstElement *sink : {video_sink_, audio_sink_}) {
        if (!sink || !GST_IS_BASE_SINK(sink)) continue;
        GstBaseSink *base = GST_BASE_SINK(sink);
        for (int waited = 0; waited < kLongestWaitUs; waited += kPollUs) {
            if (!g_mutex_trylock(GST_BASE_SINK_GET_PREROLL_LOCK(base))) break;
            // Told to play (no longer needing a picture to pause on, not at
            // the end) but still in the wait.
            const bool waking = base->have_preroll && !base->need_preroll && !base->eos;
            GST_BASE_SINK_PREROLL_UNLOCK(base);
            if (!waking) break;
            g_usleep(kPollUs);
        }
    }
}

bool Pipeline::Settle(int timeout_ms) {
    return gst_element_get_state(playbin_, nullptr, nullptr, static_cast<GstClockTime>(timeout_ms) * GST_MSECOND) ==
           GST_STATE_CHANGE_SUCCESS;
}

bool Pipeline::Seek(int64_t start, int64_t stop, double rate, GstSeekFlags flags) {
    // What was presented before the flush no longer is.
    presented_.store(kNone, std::memory_order_release);
    previous_.store(kNone, std::memory_order_release);
    GstEvent *seek = gst_event_new_seek(rate, GST_FORMAT_TIME, GstSeekFlags(flags | GST_SEEK_FLAG_FLUSH),
                                        GST_SEEK_TYPE_SET, start, stop == kNone ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET,
                                        stop == kNone ? GST_CLOCK_TIME_NONE : stop);
    // The end of this play carries the seek's number; an end that carries
    // an earlier one was overtaken by this seek.
    last_seek_.store(gst_event_get_seqnum(seek));
    return gst_element_send_event(playbin_, seek);
}

bool Pipeline::Step(int64_t frames) {
    return gst_element_send_event(playbin_,
                                  gst_event_new_step(GST_FORMAT_BUFFERS, static_cast<guint64>(frames), 1.0, TRUE, FALSE));
}

void Pipeline::SetStop(int64_t stop) {
    stop_round_.fetch_add(1);
    stop_told_.store(false);
    stop_.store(stop);
}

void Pipeline::Recover() {
    // The failed play's messages (its error, its end) are no longer news.
    gst_bus_set_flushing(bus_, TRUE);
    gst_bus_set_flushing(bus_, FALSE);
    last_seek_.store(GST_SEQNUM_INVALID);
    gst_element_set_state(playbin_, GST_STATE_READY);
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    Settle();
}

// The stamps of a program stream's pictures are not to be trusted after a
// seek: a picture that starts no packet has no stamp of its own, and the
// one it is given may be its decoding time, frames before it is shown. The
// group header's time code and the picture header's temporal reference,
// which a seek to a group start brings first, are the picture's own.
void Pipeline::WatchGroups(GstElement *parser) {
    GstPad *pad = gst_element_get_static_pad(parser, "src");
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH), &Pipeline::OnParsed,
                      this, nullptr);
    gst_object_unref(pad);
}

GstPadProbeReturn Pipeline::OnParsed(GstPad *, GstPadProbeInfo *info, gpointer data) {
    auto *self = static_cast<Pipeline *>(data);
    const Handoff in_probe;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_FLUSH) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP) {
            self->group_seen_.store(false);
            self->group_time_.store(kNone);
        }
        return GST_PAD_PROBE_OK;
    }
    if (self->group_seen_.load()) return GST_PAD_PROBE_OK;
    GstMapInfo map;
    if (!gst_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    const guint8 *bytes = map.data;
    int64_t time = kNone;
    for (gsize i = 0; i + 8 <= map.size; ++i) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
        const guint8 code = bytes[i + 3];
        if (code == 0xB8) { // group: drop flag, hours, minutes, marker, seconds, pictures
            const int64_t header = static_cast<int64_t>(bytes[i + 4]) << 24 | bytes[i + 5] << 16 | bytes[i + 6] << 8 |
                                   bytes[i + 7];
            time = (header >> 7) & 0xFFFFFF;
        } else if (code == 0x00 && time != kNone) { // the picture: its temporal reference
            self->group_order_.store(bytes[i + 4] << 2 | (bytes[i + 5] >> 6));
            self->group_time_.store(time);
            self->group_seen_.store(true);
            break;
        }
    }
    gst_buffer_unmap(GST_PAD_PROBE_INFO_BUFFER(info), &map);
    return GST_PAD_PROBE_OK;
}

int64_t Pipeline::GroupCode(double fps) const {
    const int64_t time = group_time_.load();
    if (time == kNone || fps <= 0) return kNone;
    const int64_t pictures = time & 63, seconds = (time >> 6) & 63, minutes = (time >> 13) & 63, hours = (time >> 19) & 31;
    const int64_t per_second = std::llround(fps);
    return ((hours * 60 + minutes) * 60 + seconds) * per_second + pictures + group_order_.load();
}

GstPadProbeReturn Pipeline::OnVideo(GstPad *, GstPadProbeInfo *info, gpointer data) {
    auto *self = static_cast<Pipeline *>(data);
    const Handoff in_probe;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) gst_event_copy_segment(event, &self->video_segment_);
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer) || self->video_segment_.format != GST_FORMAT_TIME) return GST_PAD_PROBE_OK;
    const guint64 at = gst_segment_to_stream_time(&self->video_segment_, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (at == GST_CLOCK_TIME_NONE) return GST_PAD_PROBE_OK;
    if (self->Damaged(static_cast<int64_t>(at))) return GST_PAD_PROBE_DROP;
    {
        std::lock_guard lock(self->presented_mutex_);
        self->previous_.store(self->presented_.load(), std::memory_order_release);
        self->presented_.store(static_cast<int64_t>(at), std::memory_order_release);
        self->presented_count_.fetch_add(1, std::memory_order_acq_rel);
    }
    self->presented_changed_.notify_all();
    const int64_t stop = self->stop_.load();
    if (stop != kNone && static_cast<int64_t>(at) >= stop) self->TellStop();
    if (self->video_log_) {
        // The centre pixel of an RGB picture.
        GstMapInfo map;
        GstPad *pad = gst_element_get_static_pad(self->video_sink_, "sink");
        GstCaps *caps = gst_pad_get_current_caps(pad);
        gst_object_unref(pad);
        GstVideoInfo video;
        if (caps && gst_video_info_from_caps(&video, caps) && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const size_t offset = static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&video, 0)) *
                                      static_cast<size_t>(GST_VIDEO_INFO_HEIGHT(&video) / 2) +
                                  static_cast<size_t>(GST_VIDEO_INFO_WIDTH(&video) / 2) * 3;
            if (offset + 3 <= map.size)
                std::fprintf(self->video_log_, "%.6f %lld %d %d %d\n", WallSeconds(), static_cast<long long>(at),
                             map.data[offset], map.data[offset + 1], map.data[offset + 2]);
            std::fflush(self->video_log_);
            gst_buffer_unmap(buffer, &map);
        }
        if (caps) gst_caps_unref(caps);
    }
    return GST_PAD_PROBE_OK;
}

// A picture or sound stamped far past the file's end is damage: the sink
// would hold it, or the end of the stream after it, until that time comes,
// so the play ends here, after what was good.
bool Pipeline::Damaged(int64_t at) {
    const int64_t latest = latest_.load();
    if (latest == kNone || at <= latest) return false;
    TellStop();
    return true;
}

GstPadProbeReturn Pipeline::OnAudio(GstPad *, GstPadProbeInfo *info, gpointer data) {
    auto *self = static_cast<Pipeline *>(data);
    const Handoff in_probe;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) gst_event_copy_segment(event, &self->audio_segment_);
        return GST_PAD_PROBE_OK;
    }
    if (GstBuffer *arrived = GST_PAD_PROBE_INFO_BUFFER(info);
        GST_BUFFER_PTS_IS_VALID(arrived) && self->audio_segment_.format == GST_FORMAT_TIME) {
        const guint64 at = gst_segment_to_stream_time(&self->audio_segment_, GST_FORMAT_TIME, GST_BUFFER_PTS(arrived));
        if (at != GST_CLOCK_TIME_NONE && self->Damaged(static_cast<int64_t>(at))) return GST_PAD_PROBE_DROP;
    }
    const float left = self->gain_left_.load(), right = self->gain_right_.load();
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (left != 1.0f || right != 1.0f || self->audio_log_) {
        buffer = gst_buffer_make_writable(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE)) return GST_PAD_PROBE_OK;
    auto *samples = reinterpret_cast<float *>(map.data);
    const size_t frames = map.size / (2 * sizeof(float));
    double power[2] = {0, 0};
    int crossings[2] = {0, 0};
    for (size_t i = 0; i < frames; ++i) {
        float *frame = samples + 2 * i;
        frame[0] *= left;
        frame[1] *= right;
        for (int c = 0; c < 2; ++c) {
            power[c] += static_cast<double>(frame[c]) * frame[c];
            if (i > 0 && (frame[c] >= 0) != (frame[c - 2] >= 0)) ++crossings[c];
        }
    }
    if (self->audio_log_ && frames > 0) {
        std::fprintf(self->audio_log_, "%.6f %lld %zu %.6f %.6f %d %d\n", WallSeconds(),
                     static_cast<long long>(GST_BUFFER_PTS(buffer)), frames, std::sqrt(power[0] / frames),
                     std::sqrt(power[1] / frames), crossings[0], crossings[1]);
        std::fflush(self->audio_log_);
    }
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

// The end point reached: told once, on the bus, since a streaming thread
// must not change the pipeline's state.
void Pipeline::TellStop() {
    if (stop_told_.exchange(true)) return;
    GstStructure *what = gst_structure_new("tvx-stop", "round", G_TYPE_UINT, stop_round_.load(), nullptr);
    gst_element_post_message(playbin_, gst_message_new_application(GST_OBJECT(playbin_), what));
}

void Pipeline::ReadBus() {
    const auto types = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION);
    while (!quitting_) {
        GstMessage *message = gst_bus_timed_pop_filtered(bus_, 50 * GST_MSECOND, types);
        if (!message) continue;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS: {
            // An end that a later seek overtook is not this play's.
            const uint32_t seek = last_seek_.load();
            if (seek == GST_SEQNUM_INVALID || gst_message_get_seqnum(message) == seek) handlers_.ended();
            break;
        }
        case GST_MESSAGE_APPLICATION: {
            guint round = 0;
            const GstStructure *what = gst_message_get_structure(message);
            if (gst_structure_has_name(what, "tvx-stop") && gst_structure_get_uint(what, "round", &round) &&
                round == stop_round_.load())
                handlers_.ended();
            break;
        }
        default: {
            GError *failure = nullptr;
            gst_message_parse_error(message, &failure, nullptr);
            handlers_.failed(failure ? failure->message : "playing failed");
            g_clear_error(&failure);
        }
        }
        gst_message_unref(message);
    }
}

} // namespace tvx::mci::gst
