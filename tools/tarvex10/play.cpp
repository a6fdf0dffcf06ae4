// tarvex10 play FILE: a small player on the movie player class, called by
// name like any late-binding client, and the library's showcase.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "commands.h"
#include "host.h"
#include "late.h"
#include "support.h"

namespace tvx::cli {

const char *const kPlayHelp =
    "usage: tarvex10 play [--from T] [--to T] [--speed N] [--volume N] [--fullscreen] [--component PATH] FILE\n"
    "\n"
    "Plays FILE through the movie player class Tarvex10.clsKwVidoMoviesA: the\n"
    "picture in a window of its own (when there is a display), the sound on the\n"
    "default output. T is in seconds (1.5 is allowed); --speed is in thousandths\n"
    "of normal speed (2000 plays twice as fast), --volume from 0 to 1000.\n"
    "\n"
    "Keys (on a terminal): space pauses and resumes, left and right arrows seek\n"
    "5 s back and forward, . and , step one frame forward and back, + and -\n"
    "change the volume, f plays full screen, q quits. A status line shows the\n"
    "position, the length and the mode. The command ends when the play does.\n"
    "\n"
    "Exit code 0 when the play ended or was quit; 1 when FILE did not open or\n"
    "play (the reason is the last line on standard error); 2 for a wrong command\n"
    "line.\n"
    "\n"
    "example: tarvex10 play --from 1 --to 4 tests/data/system_ffmpeg.mpg\n";

namespace {

struct PlayOptions {
    std::string file, component;
    std::optional<int32_t> from_ms, to_ms, speed, volume;
    bool fullscreen = false;
};

int32_t Milliseconds(const std::string &option, const std::string &text) {
    char *end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 2e6)
        throw CommandError{kExitUsage, option + " takes seconds, not '" + text + "'"};
    return static_cast<int32_t>(std::llround(seconds * 1000));
}

PlayOptions ParsePlay(const Args &args) {
    PlayOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 == args.size()) throw CommandError{kExitUsage, arg + " needs a value"};
            return args[++i];
        };
        auto number = [&](int32_t low, int32_t high) {
            const std::string &text = value();
            const std::optional<int32_t> n = ParseInt32(text);
            if (!n || *n < low || *n > high)
                throw CommandError{kExitUsage, arg + " takes a whole number from " + std::to_string(low) + " to " +
                                                   std::to_string(high) + ", not '" + text + "'"};
            return *n;
        };
        if (arg == "--from") options.from_ms = Milliseconds(arg, value());
        else if (arg == "--to") options.to_ms = Milliseconds(arg, value());
        else if (arg == "--speed") options.speed = number(0, 100000);
        else if (arg == "--volume") options.volume = number(0, 1000);
        else if (arg == "--fullscreen") options.fullscreen = true;
        else if (arg == "--component") options.component = value();
        else if (arg.size() > 1 && arg[0] == '-') throw CommandError{kExitUsage, "unknown option " + arg + " (see tarvex10 play --help)"};
        else if (options.file.empty()) options.file = arg;
        else throw CommandError{kExitUsage, "plays one FILE (see tarvex10 play --help)"};
    }
    if (options.file.empty()) throw CommandError{kExitUsage, "expects a FILE (see tarvex10 play --help)"};
    if (options.from_ms && options.to_ms && *options.to_ms < *options.from_ms)
        throw CommandError{kExitUsage, "--to comes before --from"};
    return options;
}

// The movie player, by name.
class Movie {
public:
    explicit Movie(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    void Call(const char16_t *name) { Check(name, CallByName(object_.Get(), name, DISPATCH_METHOD, {}, nullptr)); }
    void Call(const char16_t *name, int32_t value) {
        Variant argument = Variant::I4(value);
        Check(name, CallByName(object_.Get(), name, DISPATCH_METHOD, {&argument}, nullptr));
    }
    void Put(const char16_t *name, const std::string &text) {
        Variant argument = Variant::Str(Utf16(text));
        Check(name, CallByName(object_.Get(), name, DISPATCH_PROPERTYPUT, {&argument}, nullptr));
    }
    int32_t Number(const char16_t *name) {
        Variant result;
        Check(name, CallByName(object_.Get(), name, DISPATCH_METHOD, {}, result.Put()));
        Variant number;
        return SUCCEEDED(VariantChangeType(number.Put(), &result, 0, VT_I4)) ? V_I4(&number) : 0;
    }
    std::string Text(const char16_t *name) {
        Variant result;
        Check(name, CallByName(object_.Get(), name, DISPATCH_METHOD, {}, result.Put()));
        if (V_VT(&result) != VT_BSTR || !V_BSTR(&result)) return {};
        const std::string text = Utf8(std::u16string_view(V_BSTR(&result), SysStringLen(V_BSTR(&result))));
        return text.substr(0, text.find('\0'));
    }
    bool Playing() {
        Variant result;
        Check(u"isMoviePlaying", CallByName(object_.Get(), u"isMoviePlaying", DISPATCH_METHOD, {}, result.Put()));
        return V_VT(&result) == VT_BOOL && V_BOOL(&result) != VARIANT_FALSE;
    }
    // The device's error after the last command: its number and text.
    std::optional<std::string> Failure() {
        Variant error;
        GetProperty(object_.Get(), u"Error", &error);
        Variant number;
        if (FAILED(VariantChangeType(number.Put(), &error, 0, VT_I4)) || V_I4(&number) == 0) return std::nullopt;
        return "error " + std::to_string(V_I4(&number)) + ": " + Text(u"checkError");
    }

private:
    static void Check(const char16_t *name, const CallOutcome &outcome) {
        if (FAILED(outcome.status))
            throw CommandError{kExitFailed, Utf8(name) + " failed: " + outcome.Text()};
    }
    ComPtr<IDispatch> object_;
};

// Single keys from a terminal, without echo, while it lives.
class Keys {
public:
    Keys() : terminal_(isatty(STDIN_FILENO) != 0) {
        if (!terminal_ || tcgetattr(STDIN_FILENO, &saved_) != 0) {
            terminal_ = false;
            return;
        }
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    ~Keys() {
        if (terminal_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    Keys(const Keys &) = delete;
    Keys &operator=(const Keys &) = delete;

    // The next key within `ms`, 0 for none; the arrows as 'L' and 'R'.
    char Next(int ms) {
        if (!terminal_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return 0;
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, ms) <= 0) return 0;
        char key = 0;
        if (read(STDIN_FILENO, &key, 1) != 1) return 0;
        if (key != '\033') return key;
        char sequence[2] = {0, 0};
        if (read(STDIN_FILENO, sequence, 2) != 2 || sequence[0] != '[') return 0;
        return sequence[1] == 'D' ? 'L' : sequence[1] == 'C' ? 'R' : 0;
    }

private:
    bool terminal_;
    termios saved_{};
};

// What the arrows move.
constexpr int32_t kSeekMs = 5000;

std::string Clock(int32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%d", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
    return text;
}

} // namespace

int RunPlay(const Args &args) {
    if (WantsHelp(args)) {
        std::fputs(kPlayHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(kCreationHelp, stdout);
        return kExitOk;
    }
    try {
        const PlayOptions options = ParsePlay(args);
        Session session(options.component);
        Movie movie(session.Create(u"Tarvex10.clsKwVidoMoviesA"));
        movie.Put(u"filename", options.file);
        movie.Call(u"openMovie");
        if (auto failure = movie.Failure()) throw CommandError{kExitFailed, "cannot open " + options.file + ": " + *failure};
        const int32_t length = movie.Number(u"getLengthInMS");
        const int32_t end = options.to_ms ? std::min(*options.to_ms, length) : length;
        if (options.volume) movie.Call(u"setVolume", *options.volume);
        if (options.speed) movie.Call(u"setSpeed", *options.speed);
        // A relative move from the start plays from there.
        if (options.from_ms) movie.Call(u"forwardByMS", *options.from_ms);
        if (options.fullscreen) movie.Call(u"playFullScreen");
        else if (!options.from_ms) movie.Call(u"playMovie");
        if (auto failure = movie.Failure()) throw CommandError{kExitFailed, "cannot play " + options.file + ": " + *failure};

        Keys keys;
        bool quit = false;
        int32_t volume = options.volume.value_or(1000);
        while (!quit) {
            const int32_t position = movie.Number(u"getPositionInMS");
            const bool playing = movie.Playing();
            const std::string mode = movie.Text(u"getStatus");
            std::printf("\r%s / %s  %-8s vol %4d\033[K", Clock(position).c_str(), Clock(length).c_str(), mode.c_str(),
                        volume);
            std::fflush(stdout);
            if (playing && position >= end) movie.Call(u"stopMovie");
            // The play is over at its end point; a pause or a step waits for keys.
            if (!playing && position >= end) break;
            switch (keys.Next(100)) {
            case ' ':
                if (playing) movie.Call(u"pauseMovie");
                else if (mode == "Paused") movie.Call(u"resumeMovie");
                else movie.Call(u"playMovie");
                break;
            // The class's moves refuse a place before the start or past the
            // end (error 282) and leave the play where it was; a user who
            // asks for it means the start, or the end of the play.
            // (The position read above may be a key's wait old.)
            case 'L':
                if (position > kSeekMs) movie.Call(u"rewindBySeconds", kSeekMs / 1000);
                if (position <= kSeekMs || movie.Failure()) movie.Call(u"restartMovie");
                break;
            case 'R':
                if (end - position > kSeekMs) movie.Call(u"forwardBySeconds", kSeekMs / 1000);
                if (end - position <= kSeekMs || movie.Failure()) quit = true;
                break;
            case '.': movie.Call(u"stepFrames", 1); break;
            case ',': movie.Call(u"stepFrames", -1); break;
            case '+': movie.Call(u"setVolume", volume = std::min(1000, volume + 100)); break;
            case '-': movie.Call(u"setVolume", volume = std::max(0, volume - 100)); break;
            case 'f': movie.Call(u"playFullScreen"); break;
            case 'q': quit = true; break;
            default: break;
            }
        }
        std::printf("\n");
        movie.Call(u"closeMovie");
        return kExitOk;
    } catch (const CommandError &error) {
        std::printf("\n");
        return Fail("play", error.code, error.text);
    }
}

} // namespace tvx::cli
