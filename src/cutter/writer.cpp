// Cutting and writing: the cut points, the rebuilt first packet of a system
// stream, the copy of byte ranges, and the whole cut.
#include <algorithm>
#include <exception>
#include <limits>

#include "convert/convert.h"
#include "cutter/cutter.h"
#include "cutter/messages.h"
#include "mpeg1/mpeg1.h"
#include "services/binary_file.h"
#include "services/message_box.h"

namespace tvx {

using convert::CheckedAdd;
using convert::CheckedSub;

namespace {

constexpr int32_t kPackHeaderSize = 12;
// A packet's start code and 16-bit length field.
constexpr int32_t kPacketPrefix = 6;
constexpr int32_t kLargestPacket = kPacketPrefix + 65535;

// Closes the output file (whatever number OutFd holds by then) when the cut
// returns. A failure leaves it to CutPart's handler, which empties it when
// the input could not be read and closes it.
class CloseOnReturn {
public:
    explicit CloseOnReturn(const int16_t &number) : number_(number), failures_(std::uncaught_exceptions()) {}
    CloseOnReturn(const CloseOnReturn &) = delete;
    CloseOnReturn &operator=(const CloseOnReturn &) = delete;
    ~CloseOnReturn() {
        if (std::uncaught_exceptions() == failures_) files::Close(number_);
    }

private:
    const int16_t &number_;
    int failures_;
};

} // namespace

void Cutter::copy(const int16_t &Infd, const int16_t &OutFd, const int32_t &from, const int32_t &toF) {
    if (Infd == 0 || OutFd == 0) return;
    const int32_t n = CheckedSub(toF, from);
    // As if block by block through the window: refill at `from`, write the
    // first min(n, 16384) bytes, refill 16384 further on, and so on. Only
    // the first and the last refill can be seen afterwards, so the blocks in
    // between go from the input to the output in large spans, and the window
    // ends where the last refill leaves it. The window reads the object's
    // own input.
    RequireWhole(from, kWindowSize, Refill(from));
    if (n <= 0) return;
    files::Write(OutFd, Window(), static_cast<size_t>(std::min(n, kWindowSize)));
    const int64_t blocks = (int64_t{n} + kWindowSize - 1) / kWindowSize;
    CopySpan(OutFd, int64_t{from} + kWindowSize, toF);
    // Past the last offset there is, the window can only start at it; the
    // bytes are past the end of the input either way.
    const int64_t after = int64_t{from} + blocks * kWindowSize;
    const auto last = static_cast<int32_t>(std::min<int64_t>(after, std::numeric_limits<int32_t>::max()));
    RequireWhole(last, kWindowSize, Refill(last));
}

void Cutter::CopySpan(int16_t out, int64_t from, int64_t to) {
    uint8_t *buffer = SpanBuffer();
    for (int64_t at = from; at < to;) {
        // Spans end on page boundaries of the input: whole pages read faster.
        const auto count = static_cast<size_t>(std::min<int64_t>(kCopySpan - at % kPage, to - at));
        RequireWhole(at, count, files::ReadAt(Infd, at + 1, buffer, count));
        files::Write(out, buffer, count);
        at += static_cast<int64_t>(count);
    }
}

void Cutter::RequireWhole(int64_t off, size_t count, size_t got) const {
    const int64_t in_file = std::clamp<int64_t>(int64_t{FileSize} - off, 0, static_cast<int64_t>(count));
    if (static_cast<int64_t>(got) < in_file) Raise(kDeviceIoError);
}

void Cutter::WriteBytes(const uint8_t *bytes, size_t count) { files::Write(OutFd, bytes, count); }

// The nearest pack header whose 12 bytes end at or before `packet`. The
// search goes down to the file's start: in a damaged stream the cut's first
// packet may lie before the head's end.
std::optional<int32_t> Cutter::PackHeaderBefore(int32_t packet) {
    const int32_t highest = packet - kPackHeaderSize;
    if (highest < 0) return std::nullopt;
    return SearchBackward(highest, 0, mpeg1::kPackStartCode);
}

// The header bytes of a packet without time stamps, from after its length
// field up to and including its 0x0F byte; 0 when that byte is not there.
int32_t Cutter::HeaderWithoutTimeStamp(int32_t after_length) {
    int32_t i = after_length;
    uint8_t c = ByteAt(i);
    while (c == 0xFF) {
        i = CheckedAdd(i, 1);
        c = ByteAt(i);
    }
    if (c >> 6 == 1) {
        i = CheckedAdd(i, 2);
        c = ByteAt(i);
    }
    return c == 0x0F ? CheckedSub(CheckedAdd(i, 1), after_length) : 0;
}

int16_t Cutter::CutPart(int32_t begin, int32_t endT, std::u16string filename) {
    if (begin >= FileSize) {
        ShowMessageBox(cutter_text::kStartBeyondEnd);
        return 0;
    }
    OutFd = files::FreeFile();
    // Writing over the input would destroy what is being cut. The output is
    // opened without shortening it and compared as an open file: a link
    // swapped in at its path after any test of the path cannot make it the
    // input.
    files::OpenForWrite(OutFd, filename, this);
    if (files::SameFile(Infd, OutFd)) {
        files::Close(OutFd);
        Raise(kPathFileAccessError);
    }
    try {
        // The output holds only what this cut writes: a longer old file
        // would keep a stale tail, and a cut that stops early would leave an
        // old cut looking complete.
        files::Truncate(OutFd);
        const CloseOnReturn close_output(OutFd);
        return WriteCut(begin, endT);
    } catch (...) {
        // An input that could not be read whole (it failed, or shrank under
        // the cut) leaves nothing that looks like a cut. The output is closed
        // whoever called: a cut that fails leaves no file open.
        if (CatchFailure().status == MakeControlError(kDeviceIoError)) EmptyOutput();
        files::CloseOwned(OutFd, this);
        throw;
    }
}

void Cutter::EmptyOutput() {
    try {
        files::Truncate(OutFd);
    } catch (const RaisedError &) {
        // The failure being reported is the one that matters.
    }
}

// The cut keeps the short names of its quantities (offsets into the input):
//   g, G  the group of pictures at or after `begin`: g just past its start
//         code, G at the code itself
//   P, Q  start and end of the system-stream packet that holds G
//   A     where the copy of the system stream starts: the pack header
//         12 bytes before P (G in an elementary stream)
//   z, Z  the same search from `endT`: Z is where the cut ends, the file's
//         end when no group follows
//   H     the bytes of the first packet's header after its length field
//   L     the rebuilt first packet's length: its header, the sequence
//         header it now carries and what it keeps of its payload
int16_t Cutter::WriteCut(int32_t begin, int32_t endT) {
    if (MinimumCut < 0) return 0;
    int32_t zero = 0;
    CallMember<&Cutter::copy>(*this, Infd, OutFd, zero, MinimumCut);

    int32_t g = begin;
    if (!CallMember<&Cutter::FindNext>(*this, g, mpeg1::kGroupStartCode)) return 0;
    int32_t G = CheckedSub(g, 4);
    int32_t A = G, P = 0, Q = 0;
    if (FileType != kElementaryStream) {
        if (!CallMember<&Cutter::BackwardFindBoundaries>(*this, g, P, Q)) return 0;
        A = CheckedSub(P, kPackHeaderSize);
    }
    int32_t z = endT;
    const bool to_end = !CallMember<&Cutter::FindNext>(*this, z, mpeg1::kGroupStartCode);
    int32_t Z = to_end ? FileSize : CheckedSub(z, 4);

    if (FileType == kElementaryStream) {
        CallMember<&Cutter::copy>(*this, Infd, OutFd, A, Z);
        return 1;
    }

    // Rebuild the first packet so that it carries the sequence header.
    const int32_t header = CheckedAdd(P, kPacketPrefix);
    int32_t after = header;
    double pts = 0, dts = 0;
    const int16_t stamped = CallMember<&Cutter::ReadPacketTS>(*this, after, pts, dts);
    // Without a time stamp the header still runs to its 0x0F byte; dropping
    // it would leave a packet without a valid header.
    const int32_t H = stamped ? CheckedSub(after, header) : HeaderWithoutTimeStamp(header);
    // The packet keeps only what is written of it: it ends at Q, or at the
    // cut's end Z when that comes first.
    const int32_t kept = to_end || Z >= Q ? Q : std::max(Z, G);
    const int32_t L = CheckedAdd(CheckedAdd(CheckedSub(VidSeqEnd, VidSeqStart), CheckedSub(kept, G)), H);

    // The video packet that Z cuts short, when it is not the first one: the
    // nearest whose whole length field lies before Z, as only such a field
    // is in the output to be rewritten.
    std::optional<int32_t> last;
    if (!to_end && Z - kPacketPrefix >= Q) {
        const std::optional<int32_t> candidate =
            SearchBackward(Z - kPacketPrefix, std::max(Q, Z - kLargestPacket), mpeg1::kFirstVideoStream);
        if (candidate) {
            Refill(*candidate);
            const int32_t length = 256 * ByteAt(*candidate + 4) + ByteAt(*candidate + 5);
            if (int64_t{*candidate} + kPacketPrefix + length > Z) last = candidate;
        }
    }

    // The 12 bytes in front of the packet must be a pack header; the bytes
    // just before the packet often are the tail of another packet.
    const std::optional<int32_t> pack = PackHeaderBefore(P);
    if (pack) {
        int32_t pack_end = *pack + kPackHeaderSize, code_end = P + 4;
        int32_t pack_start = *pack, code_start = P;
        CallMember<&Cutter::copy>(*this, Infd, OutFd, pack_start, pack_end);
        CallMember<&Cutter::copy>(*this, Infd, OutFd, code_start, code_end);
    } else {
        int32_t head_end = CheckedAdd(A, 16);
        CallMember<&Cutter::copy>(*this, Infd, OutFd, A, head_end);
    }
    const uint8_t length[2] = {static_cast<uint8_t>(convert::IntDivide(L, 256) & 0xFF), static_cast<uint8_t>(L & 0xFF)};
    WriteBytes(length, 2);
    int32_t header_end = CheckedAdd(header, H);
    int32_t header_start = header;
    CallMember<&Cutter::copy>(*this, Infd, OutFd, header_start, header_end);
    CallMember<&Cutter::copy>(*this, Infd, OutFd, VidSeqStart, VidSeqEnd);
    if (last) {
        // Only the cut-short packet's length changes: it keeps Z - start - 6.
        int32_t length_at = *last + 4, payload = *last + kPacketPrefix;
        const int32_t kept_bytes = Z - payload;
        const uint8_t cut_length[2] = {static_cast<uint8_t>(kept_bytes >> 8), static_cast<uint8_t>(kept_bytes & 0xFF)};
        CallMember<&Cutter::copy>(*this, Infd, OutFd, G, length_at);
        WriteBytes(cut_length, 2);
        CallMember<&Cutter::copy>(*this, Infd, OutFd, payload, Z);
    } else {
        CallMember<&Cutter::copy>(*this, Infd, OutFd, G, Z);
    }
    return 1;
}

int16_t Cutter::CutVideo(std::u16string Inpath, std::u16string OutPath, int32_t fromT, int32_t toT,
                         int32_t TotalDuration) {
    try {
        CallMember<&Cutter::init>(*this, Inpath);
        startT = fromT;
        stopT = toT;
        TotalTime = TotalDuration;
        CallMember<&Cutter::TimeToOffSets>(*this);
        CallMember<&Cutter::CutPart>(*this, startO, stopO, OutPath);
    } catch (...) {
        // A cut that fails part-way closes the files it opened: left open,
        // failed cuts would use up the file numbers until every later cut
        // fails. Infd and OutFd keep their values.
        files::CloseOwned(OutFd, this);
        files::CloseOwned(Infd, this);
        throw;
    }
    // Only the input this object opened: a stale number may name another
    // object's file by now.
    files::CloseOwned(Infd, this);
    ShowMessageBox(cutter_text::kFinished);
    return 0;
}

} // namespace tvx
