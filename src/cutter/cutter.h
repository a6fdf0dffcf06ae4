// clsKwVidoCutVideoA: copies the part of an MPEG-1 system stream or video
// elementary stream between two times into a new file, on the file's bytes.
// The object's whole state is its 24 public data members; every step is a
// public member that a client may drive itself.
//
//   cutter.cpp    the object and the member table
//   window.cpp    the 16384-byte read window and the start-code scanners
//   start_codes.h/.cpp  the vectorised search for start codes in the window
//   headers.cpp   sequence, GOP and packet headers, time stamps, the
//                 backward walks around an offset
//   mapping.cpp   opening the input, recognising the stream, times to
//                 offsets
//   writer.cpp    the cut: copying byte ranges, the rebuilt first packet
//   messages.h    the texts shown to the user
#ifndef TVX_CUTTER_CUTTER_H
#define TVX_CUTTER_CUTTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cutter/start_codes.h"
#include "frame/member.h"

namespace tvx {

// FileType's values: what init found at the start of the input (0 before
// init, or when it found neither).
inline constexpr int16_t kElementaryStream = 2; // a video sequence header
inline constexpr int16_t kSystemStream = 4;     // a pack header

class Cutter : public ObjectBase {
public:
    Cutter();

    int16_t FileType = 0;
    Variant picture_rate;
    double startTime = 0;
    double timecorrect = 0;
    int16_t confirmall = 0;
    // Buffer, the read window, is kept as bytes (see get_Buffer below).
    double Byterate = 0;
    int16_t EoF = 0;
    int32_t VidSeqStart = 0;
    int32_t VidSeqEnd = 0;
    double startT = 0;
    int32_t startO = 0;
    int32_t stopO = 0;
    int32_t stopT = 0;
    int32_t TotalTime = 0;
    double Tmax = 0;
    int16_t Infd = 0;
    int16_t OutFd = 0;
    int32_t FileSize = 0;
    int32_t start = 0;
    int32_t EndO = 0;
    int32_t MinimumCut = 0;
    double FrameRate = 0;
    std::u16string Inpath;

    int16_t FillBuffer(int32_t off);
    int16_t CutVideo(std::u16string Inpath, std::u16string OutPath, int32_t fromT, int32_t toT, int32_t TotalDuration);
    int16_t FindNextMarker(ByRef<int32_t> off, ByRef<uint8_t> mark);
    int16_t FindNext(ByRef<int32_t> off, uint8_t mark);
    int16_t FindMark(ByRef<int32_t> off, ByRef<uint8_t> mark);
    uint8_t GetByte(int32_t off);
    int16_t EnsureMarker(ByRef<int32_t> off, ByRef<uint8_t> mark);
    int16_t FindVideoSeqHeader(ByRef<int32_t> off);
    int32_t GetSize(int32_t off);
    void ParseVidSeq(ByRef<int32_t> off);
    int16_t BackwardFindBoundaries(int32_t from, ByRef<int32_t> packetstart, ByRef<int32_t> packetend);
    void copy(const int16_t &Infd, const int16_t &OutFd, const int32_t &from, const int32_t &toF);
    void ReadGOPHeader(int32_t off, ByRef<double> timestamp);
    int16_t CutPart(int32_t begin, int32_t endT, std::u16string filename);
    int16_t ReadPacketTS(ByRef<int32_t> off, ByRef<double> pts, ByRef<double> dts);
    int16_t ReadTimeStamp(int32_t off, ByRef<double> timestamp);
    void init(std::u16string Inpath);
    void TimeToOffSets();
    void Offset(double time, int32_t off);

    // Buffer as clients see it: one character per window byte, or the text
    // a client stored there.
    std::u16string get_Buffer();
    void put_Buffer(std::u16string value);

    static constexpr int32_t kWindowSize = 16384;
    // A forward scan refills once it is more than this far into the window,
    // so that the four bytes of a start code are always inside it.
    static constexpr int32_t kScanMargin = 16368;
    // copy moves whole blocks in spans of this many bytes. A long forward
    // scan reads the input ahead of the window in spans too: the first of
    // kFirstScanSpan bytes, each next one twice as long up to kCopySpan.
    static constexpr int32_t kCopySpan = 1 << 20;
    static constexpr int32_t kFirstScanSpan = 1 << 16;

private:
    struct FreeWindow {
        void operator()(uint8_t *p) const;
    };
    using WindowBytes = std::unique_ptr<uint8_t[], FreeWindow>;
    static void Allocate(WindowBytes &window, size_t size);
    enum class Scan { AnyCode, OneCode, PackOrSequence };

    // The bodies of FillBuffer and GetByte, for the hot paths. Refill gives
    // the number of file bytes it read.
    size_t Refill(int32_t off);
    uint8_t ByteAt(int32_t off);
    uint8_t *Window();
    // `start` + 16384, or the last offset there is when that does not fit:
    // a window near the top reaches every offset above its start.
    static int32_t WindowEnd(int32_t start);
    // The window holds file bytes from `start` for kWindowSize positions.
    bool WindowIsPlain() const;
    int16_t ScanForward(ByRef<int32_t> &off, Scan kind, uint8_t code, ByRef<uint8_t> *mark);
    // Where the walk that refills at `next` would make its last refill on
    // its way to the first code at or after `next` or to `limit`; none when
    // the input cannot be read ahead.
    std::optional<int32_t> LastRefillAhead(int32_t next, int32_t limit, start_codes::Test test, uint8_t code);
    // The first p in [from, last] where the input, read now in spans, holds
    // a passing start code; bytes past its end read as 0x00.
    std::optional<int32_t> SearchSpans(int32_t from, int32_t last, start_codes::Test test, uint8_t code);
    // The highest p in [lowest, from] where the input holds 00 00 01 code,
    // read in window-sized blocks; lowest >= 0.
    std::optional<int32_t> SearchBackward(int32_t from, int32_t lowest, uint8_t code);
    // True when EnsureMarker at `off` would refill the window there.
    bool StepRefills(int32_t off) const;
    void MinimumCutWalk();
    void WriteBytes(const uint8_t *bytes, size_t count);
    // copy's reads: input bytes below FileSize that do not come back mean
    // that the input shrank under the cut (error 57).
    void RequireWhole(int64_t off, size_t count, size_t got) const;
    void CopySpan(int16_t out, int64_t from, int64_t to);
    // kCopySpan page-aligned bytes, with a page in front of them.
    uint8_t *SpanBuffer();
    static constexpr int32_t kPage = 4096;
    std::optional<int32_t> PackHeaderBefore(int32_t packet);
    // CutPart once the output is open and empty.
    int16_t WriteCut(int32_t begin, int32_t endT);
    void EmptyOutput();
    int32_t HeaderWithoutTimeStamp(int32_t after_length);

    // spare_ takes each refill's read; see Refill. spans_ holds the spans of
    // copy and of the scans.
    WindowBytes window_, spare_, spans_;
    // Until the first refill, and after a client stores Buffer, the window
    // is the text in buffer_text_; otherwise it is the bytes in window_.
    bool window_is_text_ = true;
    std::u16string buffer_text_;
};

} // namespace tvx

#endif // TVX_CUTTER_CUTTER_H
