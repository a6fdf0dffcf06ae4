// Sequence, GOP and packet headers, time stamps, and the backward walks to
// the video packet around an offset and to the pack before the first
// sequence header.
#include <cmath>

#include "convert/convert.h"
#include "cutter/cutter.h"
#include "cutter/messages.h"
#include "mpeg1/mpeg1.h"
#include "services/message_box.h"

namespace tvx {

using convert::CheckedAdd;
using convert::CheckedSub;

namespace {

constexpr double kNoTime = -1;

// Element `index` of the frame-rate table, as a double. The member is a
// client's to change, so anything but an array of numbers fails the way an
// index into it would: 13 for no array, 9 for an index outside it.
double FrameRateElement(const Variant &table, int index) {
    if (!(table.vt & VT_ARRAY) || (table.vt & VT_BYREF) || !V_ARRAY(&table)) Raise(kTypeMismatch);
    SAFEARRAY *array = V_ARRAY(&table);
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || index < lower || index > upper) {
        Raise(kSubscriptOutOfRange);
    }
    const LONG at = index;
    Variant element;
    const VARTYPE type = static_cast<VARTYPE>(table.vt & ~VT_ARRAY);
    if (type == VT_VARIANT) {
        if (FAILED(SafeArrayGetElement(array, &at, element.Put()))) Raise(kTypeMismatch);
    } else {
        // Arrays of plain numbers only; their elements fit the Variant's
        // value slot.
        if (type != VT_I2 && type != VT_I4 && type != VT_R4 && type != VT_R8 && type != VT_UI1 && type != VT_BOOL) {
            Raise(kTypeMismatch);
        }
        VARIANT raw;
        VariantInit(&raw);
        if (FAILED(SafeArrayGetElement(array, &at, &V_R8(&raw)))) Raise(kTypeMismatch);
        raw.vt = type;
        element = Variant(raw);
    }
    Variant number;
    const HRESULT status = VariantChangeType(number.Put(), &element, 0, VT_R8);
    if (status == DISP_E_OVERFLOW) Raise(kOverflow);
    if (FAILED(status)) Raise(kTypeMismatch);
    return V_R8(&number);
}

} // namespace

int16_t Cutter::FindVideoSeqHeader(ByRef<int32_t> off) {
    return CallMember<&Cutter::FindNext>(*this, off, mpeg1::kSequenceHeaderCode);
}

void Cutter::ParseVidSeq(ByRef<int32_t> off) {
    const int32_t s = off;
    startTime = kNoTime;
    VidSeqStart = CheckedSub(s, 4);

    const int code = CallMember<&Cutter::GetByte>(*this, CheckedAdd(s, 3)) & 0x0F;
    FrameRate = code <= 8 ? FrameRateElement(picture_rate, code) : 0.0;
    off = CheckedAdd(off, 6);

    // The first GOP must begin fewer than 150 bytes after the sequence
    // header's start code.
    for (;;) {
        uint8_t mark = 0;
        const int16_t found = CallMember<&Cutter::FindNextMarker>(*this, off, mark);
        if (found && mark == mpeg1::kGroupStartCode && CheckedSub(off, s) < 150) break;
        if (EoF == 1) {
            ShowMessageBox(cutter_text::kFatal);
            return;
        }
    }

    if (FileType == kElementaryStream) {
        CallMember<&Cutter::ReadGOPHeader>(*this, off, startTime);
    } else {
        int32_t packetstart = 0, packetend = 0;
        CallMember<&Cutter::BackwardFindBoundaries>(*this, off, packetstart, packetend);
        if (CallMember<&Cutter::GetByte>(*this, CheckedAdd(packetstart, 3)) == mpeg1::kFirstVideoStream) {
            int32_t header = CheckedAdd(packetstart, 6);
            double pts = 0, dts = 0;
            CallMember<&Cutter::ReadPacketTS>(*this, header, pts, dts);
            startTime = dts != kNoTime ? dts : pts;
        }
    }
    VidSeqEnd = CheckedSub(off, 4);

    if (FileType == kSystemStream) {
        MinimumCutWalk();
    } else {
        MinimumCut = CheckedSub(off, 4);
    }
}

// Walks back from the sequence header to the nearest pack header, testing
// every offset with EnsureMarker on MinimumCut itself. Below the window each
// step would refill at its own offset; that stretch is searched in blocks and
// the window left where the last step would leave it.
void Cutter::MinimumCutWalk() {
    MinimumCut = VidSeqStart;
    for (;;) {
        MinimumCut = CheckedSub(MinimumCut, 1);
        if (MinimumCut >= 0 && StepRefills(MinimumCut)) {
            const std::optional<int32_t> pack = SearchBackward(MinimumCut, 0, mpeg1::kPackStartCode);
            if (pack) {
                Refill(*pack);
                MinimumCut = *pack;
            } else {
                // Nothing down to offset 0: the walk goes on to -1, where the
                // read fails.
                Refill(0);
                MinimumCut = -1;
            }
        }
        uint8_t mark = 0;
        if (CallMember<&Cutter::EnsureMarker>(*this, MinimumCut, mark)) {
            MinimumCut = CheckedSub(MinimumCut, 4);
            if (mark == mpeg1::kPackStartCode) return;
        }
    }
}

void Cutter::ReadGOPHeader(int32_t off, ByRef<double> timestamp) {
    timestamp = 0;
    uint8_t b[4];
    for (int k = 0; k < 4; ++k) b[k] = CallMember<&Cutter::GetByte>(*this, CheckedAdd(off, k));
    const mpeg1::TimeCode code = mpeg1::DecodeTimeCode(b);
    if (FrameRate == 0) Raise(code.pictures == 0 ? kOverflow : kDivisionByZero);
    const double value = static_cast<double>(code.hours) * 3600 + static_cast<double>(code.minutes) * 60 +
                         static_cast<double>(code.seconds) + code.pictures / FrameRate;
    if (!std::isfinite(value)) Raise(kOverflow);
    timestamp = value;
}

int16_t Cutter::ReadPacketTS(ByRef<int32_t> off, ByRef<double> pts, ByRef<double> dts) {
    int32_t i = off;
    uint8_t c = CallMember<&Cutter::GetByte>(*this, i);
    // Stuffing has no bound of its own; bytes past the end read as 0x00, so
    // the skip ends there at the latest.
    while (c == 0xFF) {
        i = CheckedAdd(i, 1);
        c = ByteAt(i);
    }
    if (c >> 6 == 1) {
        i = CheckedAdd(i, 2);
        c = CallMember<&Cutter::GetByte>(*this, i);
    }
    if (c >> 4 == 2) {
        CallMember<&Cutter::ReadTimeStamp>(*this, i, pts);
        dts = kNoTime;
        off = CheckedAdd(i, 5);
        return 1;
    }
    if (c >> 4 == 3) {
        CallMember<&Cutter::ReadTimeStamp>(*this, i, pts);
        CallMember<&Cutter::ReadTimeStamp>(*this, CheckedAdd(i, 5), dts);
        off = CheckedAdd(i, 10);
        return 1;
    }
    pts = kNoTime;
    dts = kNoTime;
    return 0;
}

int16_t Cutter::ReadTimeStamp(int32_t off, ByRef<double> timestamp) {
    uint8_t c[5];
    for (int k = 0; k < 5; ++k) c[k] = CallMember<&Cutter::GetByte>(*this, CheckedAdd(off, k));
    const int32_t low = (int32_t{c[1]} << 22) | (int32_t{c[2] >> 1} << 15) | (int32_t{c[3]} << 7) | (c[4] >> 1);
    // Bits 32 to 30 are added as a double, so the full 33 bits count.
    const double top = static_cast<double>((c[0] >> 1) & 7) * 32768 * 32768;
    timestamp = (low + top) / mpeg1::kClockRate;
    return 1;
}

int16_t Cutter::BackwardFindBoundaries(int32_t from, ByRef<int32_t> packetstart, ByRef<int32_t> packetend) {
    if (from < 1 || from > FileSize) return 0;
    int32_t i = from;
    for (;;) {
        if (StepRefills(i)) {
            // From here each step would refill at its own offset: search in
            // blocks, then put the window where the last step puts it.
            const std::optional<int32_t> packet = SearchBackward(i, 1, mpeg1::kFirstVideoStream);
            if (!packet) {
                Refill(1);
                return 0;
            }
            Refill(*packet);
            i = *packet;
        }
        uint8_t mark = 0;
        if (CallMember<&Cutter::EnsureMarker>(*this, i, mark)) {
            if (mark == mpeg1::kFirstVideoStream) {
                packetstart = CheckedSub(i, 4);
                packetend = CheckedAdd(CheckedAdd(CallMember<&Cutter::GetSize>(*this, i), i), 2);
                return packetstart <= from && from <= packetend ? 1 : 0;
            }
            i = CheckedSub(i, 4);
        }
        i = i - 1;
        if (i <= 0) return 0;
    }
}

} // namespace tvx
