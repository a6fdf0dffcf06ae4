// The media control interpreter on arbitrary command strings and sequences
// of them. An input whose first byte is 0x01 is instead an MPEG file that a
// fixed script opens and drives (the probe and the device on hostile bytes);
// any other input is command lines, one per line, sent in order.
//
// Checked on every command: the reply keeps the buffer contract (at most
// capacity - 1 characters and a NUL, nothing after the NUL touched), a
// failed command replies with nothing, and every error it reports has a
// description. After each input "close all" leaves no device behind, so the
// process-wide alias table does not grow from input to input.
//
// The clock is ours: it moves a little per reading, and a great deal once a
// command reads it again and again, so "play ... wait" ends at once. A play
// with both "repeat" and "wait" never ends by design (the caller asked to be
// held until a repeating play stops), so such lines are not sent.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support.h"
#include "tarvex10/platform.h"

namespace tvx::fuzz {
namespace {

constexpr UINT kBufferSize = 160;
constexpr char kSentinel = '\x5A';

struct FakeClock {
    double now = 3600;
    int readings_this_command = 0;
};
FakeClock fake_clock;

double ReadFakeClock(void *) {
    // Steps below half a day, so that a wrap past midnight counts as a day.
    const double step = ++fake_clock.readings_this_command > 2 ? 40000.0 : 0.37;
    fake_clock.now += step;
    if (fake_clock.now >= 86400.0) fake_clock.now -= 86400.0;
    return fake_clock.now;
}

bool Contains(std::string_view text, std::string_view word) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&](char a, char b) { return lower(a) == b; }) != text.end();
}

// Sends `command` with a reply area of `capacity` characters and checks the
// contract; returns the code and the reply.
MCIERROR Send(const std::string &command, UINT capacity, std::string *reply_out = nullptr) {
    char buffer[kBufferSize + 1];
    std::memset(buffer, kSentinel, sizeof buffer);
    fake_clock.readings_this_command = 0;
    const MCIERROR code = mciSendStringA(command.c_str(), buffer, capacity, nullptr);
    const std::string shown = "\"" + command.substr(0, 200) + "\"";
    if (capacity > 0) {
        const void *nul = std::memchr(buffer, '\0', capacity);
        TVX_FUZZ_CHECK(nul != nullptr, "reply without NUL inside the capacity for " + shown);
        const size_t length = static_cast<size_t>(static_cast<const char *>(nul) - buffer);
        for (size_t i = length + 1; i < sizeof buffer; ++i)
            TVX_FUZZ_CHECK(buffer[i] == kSentinel, "reply wrote past its NUL for " + shown);
        if (code != 0) TVX_FUZZ_CHECK(length == 0, "a failed command left a reply for " + shown);
        if (reply_out) reply_out->assign(buffer, length);
    } else {
        for (char c : buffer) TVX_FUZZ_CHECK(c == kSentinel, "capacity 0 touched the buffer for " + shown);
    }
    if (code != 0) {
        char text[256];
        TVX_FUZZ_CHECK(mciGetErrorStringA(code, text, sizeof text) && text[0] != '\0',
                       "no description for error " + std::to_string(code) + " of " + shown);
    }
    return code;
}

void CloseEverything() {
    TVX_FUZZ_CHECK(Send("close all", kBufferSize) == 0, "close all failed");
    std::string count;
    TVX_FUZZ_CHECK(Send("sysinfo all quantity open", kBufferSize, &count) == 0, "sysinfo failed");
    TVX_FUZZ_CHECK(count == "0", "devices left after close all: " + count);
}

const std::string &Dir() {
    static const std::string dir = [] {
        // The interpreter and the probe are what is fuzzed, not a media
        // stack: the devices play on the clock engine.
        setenv("TVX_MEDIA_ENGINE", "clock", 1);
        // Sample files under short names, so that command lines can open them.
        const std::string made = TargetDir("mci"), data = std::string(TVX_SOURCE_DIR) + "/tests/data/";
        WriteFile(made + "/a.mpg", ReadWholeFile(data + "system_ffmpeg.mpg"));
        WriteFile(made + "/b.m1v", ReadWholeFile(data + "elementary_ffmpeg.m1v"));
        return made;
    }();
    return dir;
}

void RunScriptOnFile(std::string_view bytes) {
    const std::string path = Dir() + "/f.mpg";
    WriteFile(path, bytes);
    if (Send("open \"" + path + "\" type mpegvideo alias f", kBufferSize) == 0) {
        std::string length;
        Send("status f length", kBufferSize, &length);
        const long frames = std::min(std::atol(length.c_str()), 1000L);
        for (const char *command :
             {"status f position", "status f mode", "status f frame rate", "where f source", "where f destination",
              "set f time format frames", "status f length", "seek f to end", "step f by -3", "step f by 7",
              "play f", "pause f", "resume f", "stop f", "seek f to start", "set f speed 0", "play f",
              "status f mode", "set f time format milliseconds", "info f file", "window f state maximize",
              "where f window"}) {
            Send(command, kBufferSize);
        }
        Send("play f from 0 to " + std::to_string(std::max(frames, 0L)) + " wait", kBufferSize);
        Send("status f position", kBufferSize);
    }
    CloseEverything();
}

void RunCommands(std::string_view text) {
    size_t line_number = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string line(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        // A NUL ends the text the interpreter sees, as for any C caller.
        line.resize(std::strlen(line.c_str()));
        if (Contains(line, "repeat") && Contains(line, "wait")) continue;
        // The reply area varies from line to line: none, a tight one, a wide one.
        const UINT capacity = static_cast<UINT>((line_number++ * 37) % (kBufferSize + 1));
        Send(line, capacity);
    }
    CloseEverything();
}

} // namespace

int FuzzMci(const uint8_t *data, size_t size) {
    if (::chdir(Dir().c_str()) != 0) Fail("chdir");
    // Every time: another target may have run in this process before.
    QuietMessageBoxes();
    TvxSetMciHandler(nullptr, nullptr);
    TvxSetClock(&ReadFakeClock, nullptr);
    std::string_view input(reinterpret_cast<const char *>(data), size);
    if (!input.empty() && input[0] == '\x01') {
        RunScriptOnFile(input.substr(1));
    } else {
        RunCommands(input);
    }
    ClearDir(Dir(), {"a.mpg", "b.m1v"});
    return 0;
}

} // namespace tvx::fuzz
