#include "mpegvideo.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>

#include "core_commands.h"
#include "engine.h"
#include "probe.h"

namespace tvx::mci {
namespace {

// ---- command tables -----------------------------------------------------

constexpr uint8_t kOnOff = 2;       // as in the core tables
constexpr uint8_t kRectTarget = 6;  // put and where name one rectangle

// Window styles, with the values that the style flag would have had as a
// number, so that "style child" and "style 1073741824" mean the same.
constexpr int kStyleChild = 0x40000000;
constexpr int kStylePopup = static_cast<int>(0x80880000u);
constexpr int kStyleOverlapped = 0x00CF0000;
// What tells a child or pop-up window from an overlapped one.
constexpr int64_t kChildOrPopup = 0xC0000000;
constexpr Choice kStyles[] = {
    {"child", kStyleChild},
    {"popup", kStylePopup},
    {"overlapped", kStyleOverlapped},
};

enum class Show { Hide, Show, Minimize, Maximize, Restore };
constexpr Choice kStates[] = {
    {"hide", static_cast<int>(Show::Hide)},
    {"show", static_cast<int>(Show::Show)},
    {"minimize", static_cast<int>(Show::Minimize)},
    {"minimized", static_cast<int>(Show::Minimize)},
    {"iconic", static_cast<int>(Show::Minimize)},
    {"maximize", static_cast<int>(Show::Maximize)},
    {"maximized", static_cast<int>(Show::Maximize)},
    {"restore", static_cast<int>(Show::Restore)},
    {"normal", static_cast<int>(Show::Restore)},
};

constexpr int kDefaultHandle = 0;
constexpr Choice kHandles[] = {{"default", kDefaultHandle}};

constexpr Keyword kOpenExtra[] = {
    {"parent", Key::Parent, ArgKind::Integer},
    {"style", Key::Style, ArgKind::IntegerOrChoice, 0, kStyles},
};
constexpr Keyword kPlayExtra[] = {
    {"fullscreen", Key::Fullscreen},
    {"repeat", Key::Repeat},
};
constexpr Keyword kSetExtra[] = {
    {"speed", Key::Speed, ArgKind::Integer},
};
constexpr Keyword kStatusExtra[] = {
    {"audio", Key::AudioItem, ArgKind::Item},
    {"video", Key::VideoItem, ArgKind::Item},
    {"speed", Key::SpeedItem, ArgKind::Item},
    {"volume", Key::Volume, ArgKind::Item},
    {"left volume", Key::LeftVolume, ArgKind::Item},
    {"right volume", Key::RightVolume, ArgKind::Item},
    {"nominal frame rate", Key::NominalFrameRate, ArgKind::Item},
    {"frame rate", Key::FrameRate, ArgKind::Item},
    {"bitsperpel", Key::BitsPerPel, ArgKind::Item},
    {"monitor", Key::Monitor, ArgKind::Item},
    {"window handle", Key::WindowHandle, ArgKind::Item},
    {"window visible", Key::WindowVisible, ArgKind::Item},
    {"input", Key::Input},
    {"output", Key::Output},
};
constexpr Keyword kInfoExtra[] = {
    {"version", Key::Version, ArgKind::Item},
    {"window text", Key::WindowText, ArgKind::Item},
};
constexpr Keyword kCapabilityExtra[] = {
    {"can reverse", Key::CanReverse, ArgKind::Item},
    {"can stretch", Key::CanStretch, ArgKind::Item},
    {"can freeze", Key::CanFreeze, ArgKind::Item},
    {"fast play rate", Key::FastPlayRate, ArgKind::Item},
    {"normal play rate", Key::NormalPlayRate, ArgKind::Item},
    {"slow play rate", Key::SlowPlayRate, ArgKind::Item},
};
constexpr Keyword kStep[] = {
    {"by", Key::By, ArgKind::Integer},
    {"reverse", Key::Reverse},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};
constexpr Keyword kSetaudio[] = {
    {"left", Key::Left},
    {"right", Key::Right},
    {"volume to", Key::VolumeTo, ArgKind::Integer},
    {"on", Key::On, ArgKind::Flag, kOnOff},
    {"off", Key::Off, ArgKind::Flag, kOnOff},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};
constexpr Keyword kWindow[] = {
    {"state", Key::State, ArgKind::Choice, 0, kStates},
    {"handle", Key::Handle, ArgKind::IntegerOrChoice, 0, kHandles},
    {"text", Key::Text, ArgKind::Text},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};
constexpr Keyword kPut[] = {
    {"window", Key::WindowArea, ArgKind::Flag, kRectTarget},
    {"destination", Key::Destination, ArgKind::Flag, kRectTarget},
    {"source", Key::Source, ArgKind::Flag, kRectTarget},
    {"client", Key::Client},
    {"at", Key::At, ArgKind::Rect},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};
constexpr Keyword kWhere[] = {
    {"window", Key::WindowArea, ArgKind::Flag, kRectTarget},
    {"destination", Key::Destination, ArgKind::Flag, kRectTarget},
    {"source", Key::Source, ArgKind::Flag, kRectTarget},
    {"max", Key::Max},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

const VerbTable kVerbTables[] = {
    {Verb::Open, core::kOpen, kOpenExtra},
    {Verb::Close, core::kClose, {}},
    {Verb::Play, core::kPlay, kPlayExtra},
    {Verb::Stop, core::kTransport, {}},
    {Verb::Pause, core::kTransport, {}},
    {Verb::Resume, core::kTransport, {}},
    {Verb::Seek, core::kSeek, {}},
    {Verb::Set, core::kSet, kSetExtra},
    {Verb::Status, core::kStatus, kStatusExtra, kBadConstant},
    {Verb::Info, core::kInfo, kInfoExtra},
    {Verb::Capability, core::kCapability, kCapabilityExtra, kBadConstant},
    {Verb::Record, core::kTransport, {}},
    {Verb::Save, core::kTransport, {}},
    {Verb::Step, kStep, {}},
    {Verb::Setaudio, kSetaudio, {}},
    {Verb::Window, kWindow, {}},
    {Verb::Put, kPut, {}},
    {Verb::Where, kWhere, {}},
    {Verb::Configure, core::kWaitNotify, {}},
};
const CommandSet kCommands{kVerbTables};

// ---- the device ---------------------------------------------------------

constexpr int64_t kMaxVolume = 1000;

// Positions convert to whole units downwards; the small allowance keeps a
// position set from a whole number of frames on that number.
int64_t Floor(double value) { return static_cast<int64_t>(std::floor(value + 1e-6)); }

// "info … file" answers with the full path, whatever form the open used.
std::string FullPath(std::string path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

class MpegVideo final : public Device {
public:
    // `engine` plays the file; without a file there is no medium and the
    // engine is a clock that never moves.
    // The window's title is the name the device goes by: its alias, or
    // the element it was opened by.
    MpegVideo(std::string path, std::unique_ptr<MediaEngine> engine, int64_t style, int64_t parent, std::string caption)
        : has_file_(engine != nullptr), path_(FullPath(std::move(path))), engine_(engine ? std::move(engine) : MakeClockEngine({})),
          style_(style), parent_(parent), caption_(std::move(caption)) {
        if (has_file_) media_ = engine_->Media();
        const Rect picture = Picture();
        frame_ = picture;
        source_ = picture;
    }

    std::string_view TypeName() const override { return "mpegvideo"; }
    const CommandSet &Commands() const override { return kCommands; }
    bool Playing(Context &context) override { return engine_->ModeAt(context.Now()) == Mode::Playing; }
    bool PlayFailed() override { return engine_->PlayFailed(); }

    Code Execute(const Command &command, Context &context, std::string &reply) override {
        switch (command.verb) {
        case Verb::Play: return Play(command, context);
        case Verb::Stop: return Transporting(context, [&] { engine_->Stop(context.Now()); });
        case Verb::Pause: return Pause(context);
        case Verb::Resume: return Resume(context);
        case Verb::Seek: return Seek(command, context);
        case Verb::Step: return Step(command, context);
        case Verb::Set: return Set(command, context);
        case Verb::Setaudio: return Setaudio(command);
        case Verb::Status: return Status(command, context, reply);
        case Verb::Info: return Info(command, reply);
        case Verb::Capability: return Capability(command, reply);
        case Verb::Window: return Window(command, context);
        case Verb::Put: return Put(command, context);
        case Verb::Where: return Where(command, context, reply);
        case Verb::Configure: return kOk; // there are no settings a dialog could change
        case Verb::Record:
        case Verb::Save: return kUnsupportedFunction;
        default: return kUnrecognizedCommand;
        }
    }

private:
    Rect Picture() const { return media_ ? Rect{0, 0, media_->width, media_->height} : Rect{0, 0, 0, 0}; }
    // A file of sound alone has no display window: the window commands
    // answer 346, and a play shows none.
    bool HasPicture() const { return media_ && media_->width > 0 && media_->height > 0; }
    double Fps() const { return media_ ? media_->fps : 25.0; }

    double ToMs(int64_t value) const {
        return frames_format_ ? static_cast<double>(value) * 1000.0 / Fps() : static_cast<double>(value);
    }
    int64_t FromMs(double ms) const { return Floor(frames_format_ ? ms * Fps() / 1000.0 : ms); }
    int64_t LengthUnits() const { return FromMs(engine_->Length()); }
    int64_t FrameOf(double ms) const { return Floor(ms * Fps() / 1000.0); }

    // Calls of the engine that move the medium may wait for pictures; the
    // device's queries answer meanwhile (Context::LettingQueriesIn).
    template <typename Action>
    Code Transporting(Context &context, Action action) {
        if (!media_) return kNonapplicableFunction;
        context.LettingQueriesIn(action);
        return kOk;
    }

    Code Play(const Command &command, Context &context) {
        if (!media_) return kNonapplicableFunction;
        const double now = context.Now();
        const int64_t length = LengthUnits();
        double from = engine_->PositionAt(now);
        double to = engine_->Length();
        if (command.Has(Key::From)) {
            const int64_t value = command.Number(Key::From);
            if (value < 0 || value > length) return kOutOfRange;
            from = ToMs(value);
        }
        if (command.Has(Key::To)) {
            const int64_t value = command.Number(Key::To);
            if (value < 0 || value > length) return kOutOfRange;
            to = ToMs(value);
        }
        if (to < from - 1e-6) return kOutOfRange;
        fullscreen_ = command.Has(Key::Fullscreen);
        visible_ = HasPicture(); // playing shows the window
        WindowView view = View();
        view.showing = visible_;
        context.LettingQueriesIn(
            [&] { engine_->Play(now, from, std::max(from, to), command.Has(Key::Repeat), view); });
        if (command.Has(Key::Wait)) context.hold_until_stopped = true;
        return kOk;
    }

    Code Pause(Context &context) {
        // A pause after the play is over brings no full screen back.
        if (engine_->ModeAt(context.Now()) == Mode::Stopped) fullscreen_ = false;
        return Transporting(context, [&] { engine_->Pause(context.Now()); });
    }

    Code Resume(Context &context) {
        bool resumed = false;
        if (Code code = Transporting(context, [&] { resumed = engine_->Resume(context.Now()); }); code != kOk)
            return code;
        return resumed ? kOk : kNonapplicableFunction;
    }

    Code Seek(const Command &command, Context &context) {
        if (!media_) return kNonapplicableFunction;
        double target;
        if (command.Has(Key::ToStart)) {
            target = 0;
        } else if (command.Has(Key::ToEnd)) {
            target = engine_->Length();
        } else if (command.Has(Key::To)) {
            const int64_t value = command.Number(Key::To);
            if (value < 0 || value > LengthUnits()) return kOutOfRange;
            target = ToMs(value);
        } else {
            return kMissingParameter;
        }
        return Transporting(context, [&] { engine_->Seek(context.Now(), target); });
    }

    // Whole frames, whatever the time format; stops at either end.
    Code Step(const Command &command, Context &context) {
        if (!media_) return kNonapplicableFunction;
        const double now = context.Now();
        int64_t by = command.Has(Key::By) ? command.Number(Key::By) : 1;
        if (command.Has(Key::Reverse)) by = -by;
        const int64_t frame = std::clamp<int64_t>(FrameOf(engine_->PositionAt(now)) + by, 0, media_->frames);
        return Transporting(context, [&] { engine_->Seek(now, static_cast<double>(frame) * 1000.0 / media_->fps); });
    }

    Code Set(const Command &command, Context &context) {
        // Everything is checked before anything changes.
        std::optional<bool> frames_format;
        if (command.Has(Key::TimeFormat)) {
            const auto format = static_cast<TimeFormat>(command.ChoiceOf(Key::TimeFormat));
            if (format != TimeFormat::Milliseconds && format != TimeFormat::Frames) return kBadTimeFormat;
            frames_format = format == TimeFormat::Frames;
        }
        const bool switching = command.Has(Key::Audio) || command.Has(Key::Video);
        const bool on_off = command.Has(Key::On) || command.Has(Key::Off);
        if (switching != on_off) return kMissingParameter;
        if (command.Has(Key::DoorOpen) || command.Has(Key::DoorClosed)) return kUnsupportedFunction;
        if (command.Has(Key::Speed) && command.Number(Key::Speed) < 0) return kOutOfRange;
        if (!frames_format && !switching && !command.Has(Key::Speed)) return kMissingParameter;

        if (frames_format) frames_format_ = *frames_format;
        const bool on = command.Has(Key::On);
        if (command.Has(Key::Audio)) {
            const int channel = command.Chose(Key::Audio) ? command.ChoiceOf(Key::Audio)
                                                          : static_cast<int>(AudioChannel::All);
            if (channel != static_cast<int>(AudioChannel::Right)) left_on_ = on;
            if (channel != static_cast<int>(AudioChannel::Left)) right_on_ = on;
        }
        if (command.Has(Key::Video)) {
            video_on_ = on;
            context.LettingQueriesIn([&] { engine_->SetVideo(on); });
        }
        if (command.Has(Key::Audio)) ApplyAudio();
        if (command.Has(Key::Speed))
            context.LettingQueriesIn([&] { engine_->SetSpeed(context.Now(), command.Number(Key::Speed)); });
        return kOk;
    }

    Code Setaudio(const Command &command) {
        const bool on_off = command.Has(Key::On) || command.Has(Key::Off);
        if (!on_off && !command.Has(Key::VolumeTo)) return kMissingParameter;
        // Neither side named means both.
        const bool left = command.Has(Key::Left) || !command.Has(Key::Right);
        const bool right = command.Has(Key::Right) || !command.Has(Key::Left);
        if (command.Has(Key::VolumeTo)) {
            const int64_t volume = command.Number(Key::VolumeTo);
            if (volume < 0 || volume > kMaxVolume) return kOutOfRange;
            if (left) left_volume_ = volume;
            if (right) right_volume_ = volume;
        }
        if (on_off) {
            if (left) left_on_ = command.Has(Key::On);
            if (right) right_on_ = command.Has(Key::On);
        }
        ApplyAudio();
        return kOk;
    }

    void ApplyAudio() {
        engine_->SetAudio({left_on_ ? left_volume_ : 0, right_on_ ? right_volume_ : 0});
    }

    Code Status(const Command &command, Context &context, std::string &reply) {
        const Key item = command.item;
        if (item == Key::None) return kMissingParameter;
        const bool positional = item == Key::Position || item == Key::Length;
        if ((command.Has(Key::Start) || command.Has(Key::Track)) && !positional) return kFlagsNotCompatible;
        // One track holds the whole medium.
        if (command.Has(Key::Track) && command.Number(Key::Track) != 1) return kOutOfRange;
        switch (item) {
        case Key::Position:
            if (command.Has(Key::Start) || command.Has(Key::Track)) ReplyNumber(reply, 0);
            else ReplyNumber(reply, media_ ? FromMs(engine_->PositionAt(context.Now())) : 0);
            return kOk;
        case Key::Length: ReplyNumber(reply, media_ ? LengthUnits() : 0); return kOk;
        case Key::Mode: reply = ModeWord(context); return kOk;
        case Key::Ready:
        case Key::MediaPresent: ReplyBool(reply, media_.has_value()); return kOk;
        case Key::TimeFormatItem: reply = frames_format_ ? "frames" : "milliseconds"; return kOk;
        case Key::NumberOfTracks:
        case Key::CurrentTrack: ReplyNumber(reply, media_ ? 1 : 0); return kOk;
        case Key::AudioItem: ReplyOnOff(reply, left_on_ || right_on_); return kOk;
        case Key::VideoItem: ReplyOnOff(reply, video_on_); return kOk;
        case Key::SpeedItem: ReplyNumber(reply, engine_->Speed()); return kOk;
        case Key::Volume: ReplyNumber(reply, (left_volume_ + right_volume_) / 2); return kOk;
        case Key::LeftVolume: ReplyNumber(reply, left_volume_); return kOk;
        case Key::RightVolume: ReplyNumber(reply, right_volume_); return kOk;
        case Key::NominalFrameRate:
        case Key::FrameRate: ReplyNumber(reply, media_ ? std::llround(media_->fps * 1000.0) : 0); return kOk;
        case Key::Monitor: reply = "file"; return kOk; // what is shown comes from the file
        case Key::WindowHandle:
            if (!HasPicture()) return kNoWindow;
            // The window the picture is drawn in; without a display, the one it was given.
            ReplyNumber(reply, engine_->WindowHandle() ? static_cast<int64_t>(engine_->WindowHandle()) : handle_);
            return kOk;
        case Key::WindowVisible: ReplyBool(reply, Visible()); return kOk;
        default: return kUnsupportedFunction;                // bitsperpel: nothing is captured here
        }
    }

    std::string ModeWord(Context &context) {
        if (!media_) return "not ready";
        switch (engine_->ModeAt(context.Now())) {
        case Mode::Playing: return "playing";
        case Mode::Paused: return "paused";
        default: return "stopped";
        }
    }

    Code Info(const Command &command, std::string &reply) {
        switch (command.item) {
        case Key::Product: reply = kMpegVideoProduct; return kOk;
        case Key::Version: reply = kMpegVideoVersion; return kOk;
        case Key::File: reply = path_; return kOk;
        case Key::WindowText: reply = caption_; return kOk;
        case Key::None: return kMissingParameter;
        default: return kUnsupportedFunction;
        }
    }

    Code Capability(const Command &command, std::string &reply) {
        switch (command.item) {
        case Key::CanPlay:
        case Key::CompoundDevice:
        case Key::HasAudio:
        case Key::HasVideo:
        case Key::UsesFiles:
        case Key::CanStretch: ReplyBool(reply, true); return kOk;
        case Key::CanEject:
        case Key::CanRecord:
        case Key::CanSave:
        case Key::CanReverse:
        case Key::CanFreeze: ReplyBool(reply, false); return kOk;
        case Key::DeviceType: reply = "digitalvideo"; return kOk;
        case Key::FastPlayRate: ReplyNumber(reply, 2000); return kOk;
        case Key::NormalPlayRate: ReplyNumber(reply, 1000); return kOk;
        case Key::SlowPlayRate: ReplyNumber(reply, 500); return kOk;
        case Key::None: return kMissingParameter;
        default: return kUnsupportedFunction;
        }
    }

    // ---- the window, kept as state ---------------------------------------

    // The user may have closed the window from its frame meanwhile, which
    // hides it (the engine tells): a query sees that at once, a command
    // that changes the window takes it on first.
    bool Visible() const { return visible_ && !engine_->WindowClosed(); }
    void TakeUsersClose() {
        if (engine_->WindowClosed()) visible_ = false;
    }
    bool Maximized() const { return Visible() && shown_ == Show::Maximize; }
    // A full screen lasts as long as its play: once that is over (at its end
    // point, stopped, moved off by a seek or step), the window is back.
    bool FullScreen(Context &context) { return fullscreen_ && engine_->ModeAt(context.Now()) != Mode::Stopped; }
    Rect Client() {
        // Where a display shows the window, the size it really has.
        if (const std::optional<Rect> place = engine_->WindowPlace()) return {0, 0, place->width, place->height};
        return Maximized() ? Rect{0, 0, kVirtualScreen.width, kVirtualScreen.height}
                           : Rect{0, 0, frame_.width, frame_.height};
    }
    // Where the picture goes inside the window: as set, else the whole
    // client area of the device's own window, else (in a window of the
    // caller's, or as a child or pop-up) the picture's own size.
    Rect Destination() {
        if (destination_) return *destination_;
        const bool own_overlapped = handle_ == 0 && (style_ & kChildOrPopup) == 0;
        return own_overlapped ? Client() : Picture();
    }

    // What the engine is to show: the picture goes in a window of the
    // caller's when one was handed over, else in the device's own, placed
    // anew when `placing`.
    WindowView View(bool placing = false) const {
        WindowView view;
        view.parent = handle_ ? static_cast<uint64_t>(handle_) : static_cast<uint64_t>(parent_);
        view.child = handle_ != 0 || (style_ & kStyleChild) != 0;
        view.visible = visible_;
        view.minimized = shown_ == Show::Minimize;
        view.maximized = shown_ == Show::Maximize;
        view.fullscreen = fullscreen_;
        view.title = caption_;
        view.destination = destination_;
        if (placing) view.frame = frame_;
        return view;
    }

    // The window brought to the device's state. Queries answer meanwhile: a
    // window manager may take a while to carry a change out.
    Code ShowingWindow(Context &context, bool placing = false, bool showing = false) {
        WindowView view = View(placing);
        view.showing = showing;
        Code code = kOk;
        context.LettingQueriesIn([&] { code = engine_->ShowWindow(view); });
        return code;
    }

    Code Window(const Command &command, Context &context) {
        if (!HasPicture()) return kNoWindow;
        if (!command.Has(Key::State) && !command.Has(Key::Handle) && !command.Has(Key::Text))
            return kMissingParameter;
        TakeUsersClose();
        auto state = [this] { return std::tie(visible_, shown_, handle_, destination_, caption_); };
        const auto kept = std::make_tuple(visible_, shown_, handle_, destination_, caption_);
        const bool showing = command.Has(Key::State) && static_cast<Show>(command.ChoiceOf(Key::State)) != Show::Hide;
        if (command.Has(Key::State)) {
            const auto state = static_cast<Show>(command.ChoiceOf(Key::State));
            visible_ = showing;
            if (state != Show::Hide && state != Show::Show) shown_ = state;
        }
        if (command.Has(Key::Handle)) {
            // A window of the caller's: the picture goes there at its own size.
            handle_ = command.Chose(Key::Handle) ? 0 : command.Number(Key::Handle);
            destination_.reset();
        }
        if (command.Has(Key::Text)) caption_ = command.Text(Key::Text);
        // A window that does not exist changes nothing; as the window to
        // draw in, it is "no display window".
        const Code code = ShowingWindow(context, false, showing);
        if (code == kOk) return kOk;
        state() = kept;
        return code == kCreateWindow ? kNoWindow : code;
    }

    Code Put(const Command &command, Context &context) {
        if (!HasPicture()) return kNoWindow;
        const bool window = command.Has(Key::WindowArea);
        if (!window && !command.Has(Key::Destination) && !command.Has(Key::Source)) return kMissingParameter;
        if (command.Has(Key::Client) && !window) return kFlagsNotCompatible;
        TakeUsersClose();
        std::optional<Rect> at;
        if (command.Has(Key::At)) {
            at = command.RectOf(Key::At);
            if (at->width < 0 || at->height < 0) return kOutOfRange;
        }
        if (window) {
            if (!at) {
                frame_ = Picture(); // back to the default size and place
            } else if (at->width == 0 && at->height == 0) {
                frame_.left = at->left; // a move only
                frame_.top = at->top;
            } else {
                frame_ = *at;
            }
            ShowingWindow(context, true);
        } else if (command.Has(Key::Destination)) {
            destination_ = at;
            ShowingWindow(context);
        } else {
            source_ = at ? *at : Picture();
        }
        return kOk;
    }

    Code Where(const Command &command, Context &context, std::string &reply) {
        if (!HasPicture()) return kNoWindow;
        const bool max = command.Has(Key::Max);
        if (command.Has(Key::WindowArea)) {
            // Where a display shows the window, the place it really has;
            // the largest it can have is the real screen.
            const std::optional<Rect> place = max ? engine_->ScreenArea() : engine_->WindowPlace();
            ReplyRect(reply, place ? *place : max || FullScreen(context) || Maximized() ? kVirtualScreen : frame_);
        } else if (command.Has(Key::Destination)) {
            ReplyRect(reply, max ? Client() : Destination());
        } else if (command.Has(Key::Source)) {
            ReplyRect(reply, max ? Picture() : source_);
        } else {
            return kMissingParameter;
        }
        return kOk;
    }

    bool has_file_;
    std::string path_;
    std::optional<MediaInfo> media_;
    std::unique_ptr<MediaEngine> engine_;
    bool frames_format_ = false; // milliseconds until set otherwise
    bool left_on_ = true, right_on_ = true, video_on_ = true;
    int64_t left_volume_ = kMaxVolume, right_volume_ = kMaxVolume;
    bool fullscreen_ = false; // the last play was asked full screen

    int64_t style_;
    int64_t parent_;     // the window named when the device opened (0: none)
    int64_t handle_ = 0; // 0: the device's own window
    bool visible_ = false; // hidden until the first play
    Show shown_ = Show::Restore;
    Rect frame_{};
    Rect source_{};
    std::optional<Rect> destination_;
    std::string caption_;
};

} // namespace

const CommandSet &MpegVideoCommands() { return kCommands; }

Code OpenMpegVideo(const OpenRequest &request, std::unique_ptr<Device> &device) {
    const Command &command = request.command;
    int64_t style = kStyleOverlapped;
    if (command.Has(Key::Style))
        style = command.Chose(Key::Style) ? command.ChoiceOf(Key::Style) : command.Number(Key::Style);
    const int64_t parent = command.Has(Key::Parent) ? command.Number(Key::Parent) : 0;
    std::unique_ptr<MediaEngine> engine;
    if (request.has_element) {
        // Our probe is exact for MPEG-1; other files are the engine's to measure.
        EngineRequest opening{std::string(request.element), std::nullopt, {}};
        ProbeResult probe = ProbeMpeg1File(opening.path);
        if (probe.error == kFileNotFound || probe.error == kFileRead) return probe.error;
        if (probe.error == kOk) opening.probed = probe.info;
        opening.window.parent = static_cast<uint64_t>(parent);
        opening.window.child = (style & kStyleChild) != 0;
        opening.window.title = std::string(request.alias);
        if (Code code = OpenEngine(opening, engine); code != kOk) return code;
    }
    device = std::make_unique<MpegVideo>(std::string(request.element), std::move(engine), style, parent,
                                         std::string(request.alias));
    return kOk;
}

} // namespace tvx::mci
