// tarvex10 probe FILE: what the cutter's init and the media control
// interpreter find in a file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "commands.h"
#include "convert/convert.h"
#include "host.h"
#include "late.h"
#include "support.h"
#include "tarvex10/platform.h"

namespace tvx::cli {

const char *const kProbeHelp =
    "usage: tarvex10 probe [--json] [--component PATH] FILE\n"
    "\n"
    "Shows what the cutter class (Tarvex10.clsKwVidoCutVideoA) finds when its init\n"
    "member opens FILE - the stream kind (FileType: 2 video elementary stream,\n"
    "4 system stream), the first sequence header's offset (VidSeqStart), the first\n"
    "group of pictures' offset (VidSeqEnd), the frame rate (FrameRate), the first\n"
    "time stamp in seconds (startTime) and the size of the stream's head that every\n"
    "cut copies (MinimumCut) - and what the media control interpreter reports when\n"
    "it opens FILE as an mpegvideo device: its length in milliseconds and in frames\n"
    "and its picture size.\n"
    "\n"
    "--json prints one JSON object instead of text.\n"
    "\n"
    "Exit code 0 when the cutter or the interpreter recognises FILE, 1 when\n"
    "neither does or FILE cannot be read, 2 for a wrong command line.\n"
    "\n"
    "example: tarvex10 probe --json tests/data/system_ffmpeg.mpg\n";

namespace {

struct CutterFindings {
    bool recognised = false;
    int32_t file_type = 0;
    int32_t file_size = 0;
    int32_t seq_start = -1;
    int32_t seq_end = -1;
    double frame_rate = 0;
    double start_time = 0;
    int32_t head_size = -1;
    std::vector<std::string> messages;
    std::string error; // the init call's failure, if any
};

struct MciFindings {
    bool opened = false;
    std::string error; // the first failing command and its description
    std::optional<int64_t> length_ms, frames;
    std::optional<PictureSize> picture;
};

double ReadDouble(IDispatch *object, const char16_t *name, double fallback) {
    Variant value, number;
    if (FAILED(GetProperty(object, name, &value).status)) return fallback;
    if (FAILED(VariantChangeType(number.Put(), &value, 0, VT_R8))) return fallback;
    return V_R8(&number);
}

CutterFindings AskCutter(Session &session, const std::string &file) {
    CutterFindings found;
    ComPtr<IDispatch> cutter = session.Create(u"Tarvex10.clsKwVidoCutVideoA");
    MessageCapture capture([&](const std::string &text, const std::string &) { found.messages.push_back(text); });
    Variant path = Variant::Str(Utf16(file));
    const CallOutcome outcome = CallByName(cutter.Get(), u"init", DISPATCH_METHOD, {&path}, nullptr);
    if (FAILED(outcome.status)) found.error = outcome.error;
    const auto read_int = [&](const char16_t *name) { return static_cast<int32_t>(ReadDouble(cutter.Get(), name, -1)); };
    found.file_type = read_int(u"FileType");
    found.file_size = read_int(u"FileSize");
    found.seq_start = read_int(u"VidSeqStart");
    found.seq_end = read_int(u"VidSeqEnd");
    found.head_size = read_int(u"MinimumCut");
    found.frame_rate = ReadDouble(cutter.Get(), u"FrameRate", 0);
    found.start_time = ReadDouble(cutter.Get(), u"startTime", 0);
    found.recognised = found.error.empty() && (found.file_type == 2 || found.file_type == 4) && found.head_size >= 0;
    for (const std::string &message : found.messages)
        if (IsCutterFailureMessage(message)) found.recognised = false;
    return found;
}

// Sends one command; on failure records it with the interpreter's
// description and returns nullopt.
std::optional<std::string> Send(MciFindings &found, const std::string &command) {
    char reply[512] = {};
    const MCIERROR code = mciSendStringA(command.c_str(), reply, sizeof reply, nullptr);
    if (code == 0) return std::string(reply);
    if (found.error.empty()) {
        char text[256] = {};
        mciGetErrorStringA(code, text, sizeof text);
        found.error = "'" + command + "': " + text + " (code " + std::to_string(code) + ")";
    }
    return std::nullopt;
}

std::optional<int64_t> AsNumber(const std::optional<std::string> &reply) {
    if (!reply) return std::nullopt;
    const ArgumentValue value = ParseArgument(*reply);
    if (const int32_t *number = std::get_if<int32_t>(&value)) return *number;
    if (const double *number = std::get_if<double>(&value)) return static_cast<int64_t>(*number);
    return std::nullopt;
}

MciFindings AskInterpreter(const std::string &file) {
    MciFindings found;
    const std::optional<std::string> name = QuoteForMci(file);
    if (!name) {
        found.error = "the file name holds a double quote, which a command string cannot carry";
        return found;
    }
    // An alias of our own, so that nothing else the process opened is touched.
    const std::string alias = "tarvex10_probe_" + std::to_string(getpid());
    if (!Send(found, "open " + *name + " type mpegvideo alias " + alias)) return found;
    found.opened = true;
    if (Send(found, "set " + alias + " time format milliseconds"))
        found.length_ms = AsNumber(Send(found, "status " + alias + " length"));
    if (Send(found, "set " + alias + " time format frames"))
        found.frames = AsNumber(Send(found, "status " + alias + " length"));
    if (const std::optional<std::string> where = Send(found, "where " + alias + " source"))
        found.picture = ParseWhereReply(*where);
    Send(found, "close " + alias);
    return found;
}

std::string StreamKind(int32_t file_type) {
    return file_type == 2 ? "video elementary stream" : file_type == 4 ? "system stream" : "not recognised";
}

std::string OptionalNumber(const std::optional<int64_t> &value) {
    return value ? std::to_string(*value) : "null";
}

void PrintJson(const std::string &file, const CutterFindings &c, const MciFindings &m) {
    std::string messages = "[";
    for (size_t i = 0; i < c.messages.size(); ++i) messages += (i ? ", " : "") + JsonString(c.messages[i]);
    messages += "]";
    std::printf("{\n  \"file\": %s,\n", JsonString(file).c_str());
    std::printf("  \"cutter\": {\n");
    std::printf("    \"recognised\": %s,\n", c.recognised ? "true" : "false");
    std::printf("    \"stream\": %s,\n", JsonString(StreamKind(c.file_type)).c_str());
    std::printf("    \"FileType\": %d,\n    \"FileSize\": %d,\n", c.file_type, c.file_size);
    std::printf("    \"VidSeqStart\": %d,\n    \"VidSeqEnd\": %d,\n", c.seq_start, c.seq_end);
    std::printf("    \"FrameRate\": %s,\n    \"startTime\": %s,\n", JsonNumber(c.frame_rate).c_str(),
                JsonNumber(c.start_time).c_str());
    std::printf("    \"MinimumCut\": %d,\n    \"messages\": %s,\n", c.head_size, messages.c_str());
    std::printf("    \"error\": %s\n  },\n", c.error.empty() ? "null" : JsonString(c.error).c_str());
    std::printf("  \"mci\": {\n");
    std::printf("    \"opened\": %s,\n", m.opened ? "true" : "false");
    std::printf("    \"length_ms\": %s,\n    \"frames\": %s,\n", OptionalNumber(m.length_ms).c_str(),
                OptionalNumber(m.frames).c_str());
    std::printf("    \"width\": %s,\n    \"height\": %s,\n",
                m.picture ? std::to_string(m.picture->width).c_str() : "null",
                m.picture ? std::to_string(m.picture->height).c_str() : "null");
    std::printf("    \"error\": %s\n  }\n}\n", m.error.empty() ? "null" : JsonString(m.error).c_str());
}

void PrintText(const std::string &file, const CutterFindings &c, const MciFindings &m) {
    std::printf("%s\n", file.c_str());
    std::printf("cutter init\n");
    std::printf("  stream          %s (FileType %d)\n", StreamKind(c.file_type).c_str(), c.file_type);
    std::printf("  file size       %d bytes\n", c.file_size);
    if (c.recognised) {
        std::printf("  sequence header at byte %d (VidSeqStart)\n", c.seq_start);
        std::printf("  first GOP       at byte %d (VidSeqEnd)\n", c.seq_end);
        std::printf("  frame rate      %s per second (FrameRate)\n", Utf8(convert::FormatNumber(c.frame_rate)).c_str());
        std::printf("  first time      %s s (startTime)\n", Utf8(convert::FormatNumber(c.start_time)).c_str());
        std::printf("  head size       %d bytes (MinimumCut)\n", c.head_size);
    }
    for (const std::string &message : c.messages) std::printf("  message         %s\n", message.c_str());
    if (!c.error.empty()) std::printf("  error           %s\n", c.error.c_str());
    std::printf("media control (mpegvideo)\n");
    if (m.length_ms) std::printf("  length          %lld ms\n", static_cast<long long>(*m.length_ms));
    if (m.frames) std::printf("  frames          %lld\n", static_cast<long long>(*m.frames));
    if (m.picture) std::printf("  picture         %d x %d\n", m.picture->width, m.picture->height);
    if (!m.error.empty()) std::printf("  error           %s\n", m.error.c_str());
}

} // namespace

int RunProbe(const Args &args) {
    if (WantsHelp(args)) {
        PrintHelp(kProbeHelp, true);
        return kExitOk;
    }
    try {
        const CommandLine line = ParseCommandLine("probe", args, {"--json"}, false);
        if (line.words.size() != 1) throw CommandError{kExitUsage, "expects one FILE (see tarvex10 probe --help)"};
        const std::string &file = line.words[0];
        // The cutter says "input file does not exist" for any failure to
        // read; the system's reason is the better line.
        const int fd = ::open(file.c_str(), O_RDONLY);
        if (fd < 0) throw CommandError{kExitFailed, "cannot read " + file + ": " + std::strerror(errno)};
        ::close(fd);

        Session session(line.component);
        const CutterFindings cutter = AskCutter(session, file);
        const MciFindings mci = AskInterpreter(file);
        if (line.Has("--json")) PrintJson(file, cutter, mci);
        else PrintText(file, cutter, mci);
        std::fflush(stdout);
        if (!cutter.recognised && !mci.opened)
            return Fail("probe", kExitFailed, file + " is not an MPEG-1 stream that the cutter or the interpreter recognises");
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail("probe", error.code, error.text);
    }
}

} // namespace tvx::cli
