// tarvex10 probe FILE: what the cutter's init and the media control
// interpreter find in a file.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "commands.h"
#include "convert/convert.h"
#include "host.h"
#include "late.h"
#include "mpeg1/stream.h"
#include "support.h"
#include "tarvex10/platform.h"

namespace tvx::cli {

using namespace tvx::mpeg1;

const char *const kProbeHelp =
    "usage: tarvex10 probe [--json] [--component PATH] FILE\n"
    "\n"
    "Shows what FILE holds: the kind of stream (MPEG-1 system stream or video\n"
    "elementary stream; MPEG-2 is refused with that reason), the picture size,\n"
    "rate and video bit rate, the length of the groups of pictures and whether\n"
    "they are closed, the duration as FILE plays from the groups' time codes\n"
    "(the pictures are counted where the time codes start again, as in files\n"
    "joined end to end) and, in a system stream, from the time stamps, and each\n"
    "audio stream's layer, sampling rate, channels and bit rate. Then what the\n"
    "cutter class\n"
    "(Tarvex10.clsKwVidoCutVideoA) finds when its init member opens FILE - the\n"
    "stream kind (FileType: 2 video elementary stream, 4 system stream), the first\n"
    "sequence header's offset (VidSeqStart), the first group of pictures' offset\n"
    "(VidSeqEnd), the frame rate (FrameRate), the first time stamp in seconds\n"
    "(startTime) and the size of the stream's head that every cut copies\n"
    "(MinimumCut) - and what the media control interpreter reports when it opens\n"
    "FILE as an mpegvideo device: its length in milliseconds and in frames and its\n"
    "picture size. FILE may hold at most 2147483647 bytes, as for cut.\n"
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

// What the command reads of the stream itself.
struct StreamFindings {
    StreamHead head;
    GroupShape shape;
    std::optional<int64_t> pictures; // from the groups
    size_t restarts = 0;             // of the time codes
    SystemFacts system;
};

StreamFindings ReadStream(FileWindow &file) {
    StreamFindings found;
    found.head = ReadStreamHead(file);
    if (found.head.first_group && found.head.fps > 0) {
        GroupMap groups(file, found.head);
        found.shape = groups.Shape(8);
        found.pictures = groups.Pictures();
        found.restarts = groups.Restarts();
    }
    if (found.head.kind == StreamKind::Mpeg1System) found.system = ReadSystemFacts(file);
    return found;
}

std::optional<double> Duration(const StreamFindings &s) {
    if (!s.pictures) return std::nullopt;
    return static_cast<double>(*s.pictures) / s.head.fps;
}

// From the time stamps: the last picture's less the first's, plus the last
// picture's own time.
std::optional<double> DurationFromTimeStamps(const StreamFindings &s) {
    if (!s.system.first_video_pts || !s.system.last_video_pts || s.head.fps <= 0) return std::nullopt;
    return *s.system.last_video_pts - *s.system.first_video_pts + 1 / s.head.fps;
}

std::optional<double> VideoBitRate(const StreamFindings &s) {
    if (!s.head.sequence || s.head.sequence->bit_rate == 0x3FFFF) return std::nullopt; // variable
    return s.head.sequence->bit_rate * 400.0;
}

// "12 pictures" or "12 to 15 pictures", leaving out the stream's last group,
// which may be cut short.
std::string GroupLengthText(const GroupShape &shape) {
    std::vector<int64_t> lengths = shape.lengths;
    if (lengths.size() > 1) lengths.pop_back();
    if (lengths.empty()) return "unknown";
    const auto [low, high] = std::minmax_element(lengths.begin(), lengths.end());
    return std::to_string(*low) + (*low == *high ? "" : " to " + std::to_string(*high)) + " pictures";
}

std::string ClosedText(const GroupShape &shape) {
    const int groups = static_cast<int>(shape.lengths.size());
    if (shape.closed == 0) return "open";
    if (shape.closed >= groups) return "closed";
    return std::to_string(shape.closed) + " of the first " + std::to_string(groups) + " closed";
}

std::string AudioText(const AudioStream &a) {
    if (!a.header) return "no frame header found";
    const mpeg1::AudioHeader &h = *a.header;
    static const char *const modes[] = {"stereo", "joint stereo", "dual channel", "single channel"};
    const std::string version = h.version == 25 ? "2.5" : std::to_string(h.version);
    return "MPEG-" + version + " layer " + std::string(h.layer == 1 ? "I" : h.layer == 2 ? "II" : "III") + ", " +
           std::to_string(h.sample_rate) + " Hz, " + std::to_string(h.Channels()) + " channel" +
           (h.Channels() == 1 ? "" : "s") + " (" + modes[h.mode] + "), " +
           (h.bit_rate ? std::to_string(h.bit_rate / 1000) + " kbit/s" : "free bit rate");
}

std::string JsonOptional(const std::optional<double> &value) { return value ? JsonNumber(*value) : "null"; }

std::string StreamJson(const StreamFindings &s) {
    const auto *q = s.head.sequence ? &*s.head.sequence : nullptr;
    std::string lengths = "[";
    for (size_t i = 0; i < s.shape.lengths.size(); ++i) lengths += (i ? ", " : "") + std::to_string(s.shape.lengths[i]);
    lengths += "]";
    std::string audio = "[";
    for (size_t i = 0; i < s.system.audio.size(); ++i) {
        const AudioStream &a = s.system.audio[i];
        audio += std::string(i ? ", " : "") + "{\"id\": " + std::to_string(a.id);
        if (a.header)
            audio += ", \"mpeg_version\": " + JsonNumber(a.header->version == 25 ? 2.5 : a.header->version) +
                     ", \"layer\": " + std::to_string(a.header->layer) + ", \"sample_rate\": " +
                     std::to_string(a.header->sample_rate) + ", \"channels\": " + std::to_string(a.header->Channels()) +
                     ", \"bit_rate\": " + std::to_string(a.header->bit_rate);
        audio += "}";
    }
    audio += "]";
    const bool mpeg1 = s.head.kind == StreamKind::Mpeg1System || s.head.kind == StreamKind::Mpeg1Video;
    return std::string("{\n") + "    \"kind\": " + JsonString(KindName(s.head.kind)) + ",\n" +
           "    \"mpeg_version\": " + (mpeg1 ? "1" : "null") + ",\n" +
           "    \"system_stream\": " + (s.head.kind == StreamKind::Mpeg1System ? "true" : "false") + ",\n" +
           "    \"width\": " + (q ? std::to_string(q->horizontal_size) : "null") + ",\n" +
           "    \"height\": " + (q ? std::to_string(q->vertical_size) : "null") + ",\n" +
           "    \"frame_rate\": " + (q ? JsonNumber(s.head.fps) : "null") + ",\n" +
           "    \"video_bit_rate\": " + JsonOptional(VideoBitRate(s)) + ",\n" +
           "    \"group_lengths\": " + lengths + ",\n" +
           "    \"closed_groups\": " + std::to_string(s.shape.closed) + ",\n" +
           "    \"pictures\": " + (s.pictures ? std::to_string(*s.pictures) : "null") + ",\n" +
           "    \"duration\": " + JsonOptional(Duration(s)) + ",\n" +
           "    \"duration_from_time_stamps\": " + JsonOptional(DurationFromTimeStamps(s)) + ",\n" +
           "    \"audio\": " + audio + "\n  }";
}

void PrintStreamText(const StreamFindings &s) {
    std::printf("stream\n");
    std::printf("  kind            %s\n", KindName(s.head.kind));
    if (const auto *q = s.head.sequence ? &*s.head.sequence : nullptr) {
        const std::optional<double> rate = VideoBitRate(s);
        std::printf("  video           %d x %d, %s pictures per second, %s\n", q->horizontal_size, q->vertical_size,
                    FormatRate(s.head.fps).c_str(),
                    rate ? (Utf8(convert::FormatNumber(*rate / 1000)) + " kbit/s").c_str() : "variable bit rate");
    }
    if (!s.shape.lengths.empty())
        std::printf("  groups          %s, %s\n", GroupLengthText(s.shape).c_str(), ClosedText(s.shape).c_str());
    if (const std::optional<double> duration = Duration(s))
        std::printf("  duration        %s s (%lld pictures, from the time codes%s)\n", FormatSeconds(*duration).c_str(),
                    static_cast<long long>(*s.pictures),
                    s.restarts == 0 ? ""
                                    : (", which restart or jump " + std::to_string(s.restarts) +
                                       (s.restarts == 1 ? " time" : " times"))
                                          .c_str());
    if (const std::optional<double> stamped = DurationFromTimeStamps(s))
        std::printf("  time stamps     %s s from the first picture's to the last's end\n", FormatSeconds(*stamped).c_str());
    for (const AudioStream &a : s.system.audio) std::printf("  audio 0x%02X      %s\n", a.id, AudioText(a).c_str());
}

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

std::string FileTypeName(int32_t file_type) {
    return file_type == 2 ? "video elementary stream" : file_type == 4 ? "system stream" : "not recognised";
}

std::string OptionalNumber(const std::optional<int64_t> &value) {
    return value ? std::to_string(*value) : "null";
}

void PrintJson(const std::string &file, const StreamFindings &s, const CutterFindings &c, const MciFindings &m) {
    std::string messages = "[";
    for (size_t i = 0; i < c.messages.size(); ++i) messages += (i ? ", " : "") + JsonString(c.messages[i]);
    messages += "]";
    std::printf("{\n  \"file\": %s,\n", JsonString(file).c_str());
    std::printf("  \"stream\": %s,\n", StreamJson(s).c_str());
    std::printf("  \"cutter\": {\n");
    std::printf("    \"recognised\": %s,\n", c.recognised ? "true" : "false");
    std::printf("    \"stream\": %s,\n", JsonString(FileTypeName(c.file_type)).c_str());
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

void PrintText(const std::string &file, const StreamFindings &s, const CutterFindings &c, const MciFindings &m) {
    std::printf("%s\n", file.c_str());
    PrintStreamText(s);
    std::printf("cutter init\n");
    std::printf("  stream          %s (FileType %d)\n", FileTypeName(c.file_type).c_str(), c.file_type);
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
        FileWindow window(file);
        if (const std::optional<std::string> problem = InputSizeProblem(window.Size()); problem && window.Size() > 0)
            throw CommandError{kExitFailed, "cannot probe " + file + ": " + *problem};
        const StreamFindings stream = ReadStream(window);
        if (stream.head.kind == StreamKind::Mpeg2Program || stream.head.kind == StreamKind::Mpeg2Video)
            throw CommandError{kExitFailed, "cannot probe " + file + ": not an MPEG-1 stream (" +
                                                KindName(stream.head.kind) + ")"};

        Session session(line.component);
        const CutterFindings cutter = AskCutter(session, file);
        const MciFindings mci = AskInterpreter(file);
        if (line.Has("--json")) PrintJson(file, stream, cutter, mci);
        else PrintText(file, stream, cutter, mci);
        std::fflush(stdout);
        if (!cutter.recognised && !mci.opened)
            return Fail("probe", kExitFailed, file + " is not an MPEG-1 stream that the cutter or the interpreter recognises");
        return kExitOk;
    } catch (const CommandError &error) {
        return Fail("probe", error.code, error.text);
    }
    catch (const ReadError &error) {
        return Fail("probe", kExitFailed, error.what());
    }
}

} // namespace tvx::cli
