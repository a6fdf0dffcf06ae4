// Opening the input, recognising the stream, and mapping times to offsets.
#include <algorithm>
#include <limits>
#include <new>

#include "convert/convert.h"
#include "cutter/cutter.h"
#include "cutter/messages.h"
#include "mpeg1/mpeg1.h"
#include "services/binary_file.h"
#include "services/message_box.h"

namespace tvx {

namespace {

// The picture_rate table of the video layer, forbidden code 0 as 0: whole
// rates as int16, the others as doubles.
Variant FrameRateTable() {
    SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, 9);
    if (!array) throw std::bad_alloc();
    Variant table;
    table.vt = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&table) = array;
    const Variant elements[9] = {Variant::I2(0),  Variant::R8(24000.0 / 1001), Variant::I2(24),
                                 Variant::I2(25), Variant::R8(30000.0 / 1001), Variant::I2(30),
                                 Variant::I2(50), Variant::R8(60000.0 / 1001), Variant::I2(60)};
    for (LONG k = 0; k < 9; ++k) {
        if (FAILED(SafeArrayPutElement(array, &k, &elements[k]))) throw std::bad_alloc();
    }
    return table;
}

} // namespace

void Cutter::init(std::u16string Inpath) {
    confirmall = 1;
    EoF = 0;
    timecorrect = 0;
    MinimumCut = -1;
    VidSeqStart = -1;
    VidSeqEnd = -1;

    // Whatever fails from here is reported once, and init ends normally with
    // the members as they stand.
    auto report = [] {
        CatchFailure();
        ShowMessageBox(cutter_text::kInputMissing);
    };
    try {
        FileSize = files::FileLength(Inpath);
        picture_rate = FrameRateTable();
        Infd = files::FreeFile();
        files::OpenForRead(Infd, Inpath, this);
        CallMember<&Cutter::FillBuffer>(*this, 0);

        int32_t off = 0;
        uint8_t mark = 0;
        if (!CallMember<&Cutter::EnsureMarker>(*this, off, mark)) {
            // Not a start code at 0: the first pack or sequence header
            // anywhere decides.
            uint8_t found = 0;
            CallMember<&Cutter::FindMark>(*this, off, found);
            if (!CallMember<&Cutter::EnsureMarker>(*this, off, mark)) return;
        }
        switch (mark) {
        case mpeg1::kPackStartCode:
            FileType = kSystemStream;
            if (!CallMember<&Cutter::FindVideoSeqHeader>(*this, off)) ShowMessageBox(cutter_text::kNoVideoHeader);
            break;
        case mpeg1::kSequenceHeaderCode: FileType = kElementaryStream; break;
        default: ShowMessageBox(cutter_text::kUnknownFormat); return;
        }
        int32_t header = off;
        CallMember<&Cutter::ParseVidSeq>(*this, header);
    } catch (const RaisedError &) {
        report();
    } catch (const FailedStatus &) {
        report();
    } catch (const std::bad_alloc &) {
        report();
    }
}

void Cutter::TimeToOffSets() {
    Tmax = FileSize;
    const int32_t bytes = convert::RoundToInt32(static_cast<double>(FileSize) - static_cast<double>(MinimumCut));
    const int32_t rate = convert::IntDivide(bytes, TotalTime);
    startO = convert::RoundToInt32(rate * startT);
    // An end beyond the last offset there is cuts to the end of the input,
    // as any end past the last GOP does; one below the first still fails.
    const int64_t stop = int64_t{stopT} * rate;
    if (stop < std::numeric_limits<int32_t>::min()) Raise(kOverflow);
    stopO = static_cast<int32_t>(std::min<int64_t>(stop, std::numeric_limits<int32_t>::max()));
    CallMember<&Cutter::FindNext>(*this, startO, mpeg1::kFirstVideoStream);
    CallMember<&Cutter::FindNext>(*this, stopO, mpeg1::kFirstVideoStream);
}

void Cutter::Offset(double time, int32_t off) {
    if (startO == -1 && startT <= time) startO = off;
    if (stopT <= time && stopO == -1) stopO = off;
}

} // namespace tvx
