// The seam between the mpegvideo device and what plays its medium. The
// device keeps the command language (formats, ranges, window state); an
// engine keeps the transport: where the medium stands, whether it plays,
// and the picture and sound when there are any.
//
// Two engines exist. The clock engine moves a position with the platform
// clock: exact and instant, with no media stack. The GStreamer engine
// decodes and presents the file; it lives in a plug-in library of the
// runtime that is loaded only when a device opens, so that the runtime
// itself never depends on a media stack.
//
// Which engine plays: TVX_MEDIA_ENGINE=clock, or a clock installed with
// TvxSetClock (a host or test that drives time itself), chooses the clock
// engine; TVX_MEDIA_ENGINE=gstreamer requires the GStreamer engine; else
// the GStreamer engine when its plug-in loads, the clock engine otherwise.
#ifndef TVX_RUNTIME_MCI_ENGINE_H
#define TVX_RUNTIME_MCI_ENGINE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "errors.h"
#include "grammar.h"
#include "probe.h"
#include "transport.h"

namespace tvx::mci {

// Per-channel loudness, 0..1000, with the channel's switch already applied.
struct AudioLevels {
    int64_t left = 1000;
    int64_t right = 1000;
};

// Where and how the picture is shown. Window ids are X11 window ids.
struct WindowView {
    uint64_t parent = 0; // a window of the host's (0: none)
    bool child = false;  // drawn inside `parent` rather than in a window of its own
    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    bool fullscreen = false; // for as long as the play it came with lasts
    // The command asks the window shown, rather than keeping it as it was:
    // a close from the manager's frame that it did not know of yet stands
    // only when it does not.
    bool showing = false;
    std::string title;
    std::optional<Rect> destination; // where in the window the picture goes
    // The own window's place and size when restored, given when a command
    // places it (else the window stays where it is, or was last placed).
    std::optional<Rect> frame;
};

// Positions are milliseconds from the start of the medium; `now` is the
// command's moment on the timeline, which only the clock engine reads.
class MediaEngine {
public:
    virtual ~MediaEngine() = default;

    // The medium as the engine will play it.
    virtual const MediaInfo &Media() const = 0;
    double Length() const { return Media().frames > 0 ? Media().DurationMs() : 0.0; }

    virtual Mode ModeAt(double now) = 0;
    virtual double PositionAt(double now) = 0;
    // The same contract as Transport's members of the same names. A play
    // first brings the window to `view` (shown at last, its first picture
    // drawn at its size); a full screen asked with it ends with the play:
    // at its end point, on a stop, a seek, an error or the next play (a
    // pause keeps it), the window goes back to how it was.
    virtual void Play(double now, double from, double to, bool repeat, const WindowView &view) = 0;
    virtual void Pause(double now) = 0;
    virtual bool Resume(double now) = 0;
    virtual void Stop(double now) = 0;
    // Moves to `ms` and stops there; an engine with a picture shows the
    // frame that starts at `ms`.
    virtual void Seek(double now, double ms) = 0;
    virtual void SetSpeed(double now, int64_t speed) = 0;
    virtual int64_t Speed() const = 0;
    virtual void SetAudio(AudioLevels levels) = 0;
    virtual void SetVideo(bool on) = 0;
    // Whether the last play stopped on an error (the file went away, a
    // picture did not decode) rather than at its end point.
    virtual bool PlayFailed() const { return false; }
    // kOk, or kCreateWindow when the host's window named does not exist
    // (the window then stays as it was). Full screen is kept only while
    // the play that asked for it lasts.
    virtual Code ShowWindow(const WindowView &) { return kOk; }
    // The device's own top-level window's place on the screen as it is
    // now, the picture's window without decorations; none when the picture
    // is not on a display or is drawn inside a window of the host's. A
    // query: it answers at once, whatever a command is busy with.
    virtual std::optional<Rect> WindowPlace() { return std::nullopt; }
    // The X11 id of the window the picture is drawn in; 0 when there is no
    // display.
    virtual uint64_t WindowHandle() const { return 0; }
    // Whether the user closed the device's own window from the window
    // manager's frame since the window was last shown: it is hidden then,
    // and stays so until a command shows it. A query.
    virtual bool WindowClosed() const { return false; }
    // The size of the screen the picture is shown on; none without a
    // display. A query.
    virtual std::optional<Rect> ScreenArea() { return std::nullopt; }
};

struct EngineRequest {
    std::string path;
    // What our own probe found; empty for files that it does not read
    // (the engine then measures the medium itself).
    std::optional<MediaInfo> probed;
    WindowView window; // as the device opens: hidden
};

// Opens `request.path` for playing: kOk and an engine, or an error number
// (kFileNotFound, kInvalidFile, ...). The reason for a refusal goes to the
// diagnostics.
Code OpenEngine(const EngineRequest &request, std::unique_ptr<MediaEngine> &engine);

// An engine that plays nothing: a device opened without a file.
std::unique_ptr<MediaEngine> MakeClockEngine(const MediaInfo &media);

// The runtime's diagnostics: standard error when TVX_DEBUG is set.
void Diagnose(std::string_view text);

// The plug-in's one entry point, found by name after loading it.
using OpenPluginEngine = Code (*)(const EngineRequest &request, std::unique_ptr<MediaEngine> &engine,
                                  std::string &reason);
inline constexpr const char *kPluginEntry = "TvxOpenGStreamerEngine";
inline constexpr const char *kPluginFile = "libtvxgstengine.so";

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_ENGINE_H
