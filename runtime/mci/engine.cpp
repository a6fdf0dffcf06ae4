#include "engine.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "clock.h"

namespace tvx::mci {
namespace {

// Today's transport against the platform clock. Queries come from other
// threads than the commands, so the transport is read under a lock.
class ClockEngine final : public MediaEngine {
public:
    explicit ClockEngine(const MediaInfo &media) : media_(media), transport_(Length()) {}

    const MediaInfo &Media() const override { return media_; }
    Mode ModeAt(double now) override { return Locked()->ModeAt(now); }
    double PositionAt(double now) override { return Locked()->PositionAt(now); }
    // There is no window: the device answers for it from its own state.
    void Play(double now, double from, double to, bool repeat, const WindowView &) override {
        Locked()->Play(now, from, to, repeat);
    }
    void Pause(double now) override { Locked()->Pause(now); }
    bool Resume(double now) override { return Locked()->Resume(now); }
    void Stop(double now) override { Locked()->Stop(now); }
    void Seek(double now, double ms) override { Locked()->Seek(now, ms); }
    void SetSpeed(double now, int64_t speed) override { Locked()->SetSpeed(now, speed); }
    int64_t Speed() const override {
        std::lock_guard lock(mutex_);
        return transport_.Speed();
    }
    // Nothing sounds or shows; the device keeps the settings for its replies.
    void SetAudio(AudioLevels) override {}
    void SetVideo(bool) override {}

private:
    // The transport, locked until the end of the full expression.
    class Held {
    public:
        explicit Held(ClockEngine &engine) : lock_(engine.mutex_), transport_(engine.transport_) {}
        Transport *operator->() { return &transport_; }

    private:
        std::lock_guard<std::mutex> lock_;
        Transport &transport_;
    };
    Held Locked() { return Held(*this); }

    MediaInfo media_;
    mutable std::mutex mutex_;
    Transport transport_;
};

enum class EngineChoice { Automatic, Clock, GStreamer };

EngineChoice Chosen() {
    if (ClockReplaced()) return EngineChoice::Clock;
    const char *name = std::getenv("TVX_MEDIA_ENGINE");
    if (!name || !*name) return EngineChoice::Automatic;
    const std::string_view word(name);
    if (word == "clock") return EngineChoice::Clock;
    if (word == "gstreamer") return EngineChoice::GStreamer;
    Diagnose("TVX_MEDIA_ENGINE names no engine (clock or gstreamer); choosing as if unset");
    return EngineChoice::Automatic;
}

// The plug-in lies next to this library. Loaded once and kept: its threads
// and GStreamer's own state must outlive every device.
OpenPluginEngine Plugin() {
    static std::once_flag once;
    static OpenPluginEngine entry = nullptr;
    std::call_once(once, [] {
        Dl_info self{};
        std::string path = kPluginFile;
        if (dladdr(reinterpret_cast<void *>(&Diagnose), &self) && self.dli_fname) {
            const std::string here = self.dli_fname;
            const size_t slash = here.find_last_of('/');
            if (slash != std::string::npos) path = here.substr(0, slash + 1) + kPluginFile;
        }
        void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char *why = dlerror();
            Diagnose(std::string("media engine: no GStreamer engine (") + (why ? why : path) + ")");
            return;
        }
        entry = reinterpret_cast<OpenPluginEngine>(dlsym(library, kPluginEntry));
        if (!entry) Diagnose("media engine: " + path + " lacks its entry point");
    });
    return entry;
}

} // namespace

void Diagnose(std::string_view text) {
    static const bool enabled = std::getenv("TVX_DEBUG") != nullptr;
    if (enabled) std::fprintf(stderr, "tarvex10: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::unique_ptr<MediaEngine> MakeClockEngine(const MediaInfo &media) { return std::make_unique<ClockEngine>(media); }

Code OpenEngine(const EngineRequest &request, std::unique_ptr<MediaEngine> &engine) {
    const EngineChoice choice = Chosen();
    const OpenPluginEngine plugin = choice == EngineChoice::Clock ? nullptr : Plugin();
    if (!plugin) {
        if (choice == EngineChoice::GStreamer) return kCannotLoadDriver;
        // The clock engine knows only what our probe read.
        if (!request.probed) return kInvalidFile;
        engine = MakeClockEngine(*request.probed);
        return kOk;
    }
    std::string reason;
    const Code code = plugin(request, engine, reason);
    if (code != kOk) Diagnose("media engine: " + request.path + ": " + reason);
    return code;
}

} // namespace tvx::mci
