// The cutter on arbitrary input bytes. The input is the file to cut; its last
// 32 bytes (when it has more than that) choose what to do with it: a whole
// CutVideo, init / TimeToOffSets / CutPart one by one, or the scanners at
// offsets drawn from those bytes, with the times drawn there too, and
// optionally a disk that fills up or reads that start failing.
//
// Checked on every run: the input file is never changed and nothing but the
// output appears beside it; no call reads more than a fixed multiple of the
// file size (a walk that re-reads the window at each step would); a failing
// write ends the cut with "Disk full" and a failing read ends the member
// that met it with "Device I/O error".
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>

#include "component/registry.h"
#include "convert/convert.h"
#include "error/error.h"
#include "services/binary_file.h"
#include "support.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/tarvex10.h"

namespace tvx::fuzz {
namespace {

constexpr size_t kParamBytes = 32;
// What one member may read: a few passes over the file plus a bounded number
// of window refills. Every walk of the cutter is a forward or backward pass
// over the file in window-sized blocks, so a pass costs FileSize + 16 KB.
constexpr uint64_t kPasses = 24;
constexpr uint64_t kWindow = 16384;
constexpr uint64_t kSpareRefills = 96;

enum class Fault { None, DiskFull, ReadFails };

class Run {
public:
    Run(std::string_view file, Reader params) : file_(file), params_(params) {
        dir_ = TargetDir("cutter");
        in_ = dir_ + "/in.mpg";
        out_ = dir_ + "/out.mpg";
        WriteFile(in_, file_);
        cut_ = ComPtr<_clsKwVidoCutVideoA>::Attach(
            reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
    }

    void Go() {
        const uint8_t mode = params_.Byte();
        const Fault fault = (mode >> 2 & 3) == 1 ? Fault::DiskFull : (mode >> 2 & 3) == 2 ? Fault::ReadFails
                                                                                        : Fault::None;
        switch (mode & 3) {
        case 0:
        case 3: WholeCut(fault); break;
        case 1: Steps(fault); break;
        case 2: Scanners(fault); break;
        }
        cut_ = nullptr;
        CloseAllFileNumbers();
        TVX_FUZZ_CHECK(ReadWholeFile(in_) == file_, "the input file changed");
        for (const auto &entry : std::filesystem::directory_iterator(dir_)) {
            const std::string name = entry.path().filename();
            TVX_FUZZ_CHECK(name == "in.mpg" || name == "out.mpg", "stray file " + name);
        }
        ClearDir(dir_);
    }

private:
    // A time as clients pass them: mostly small, sometimes anything.
    LONG Time() {
        const uint8_t b = params_.Byte();
        return b < 224 ? static_cast<LONG>(b % 40) - 2 : params_.I32();
    }
    // An offset into the file, a little past its ends, or anything.
    LONG Offset() {
        const uint8_t b = params_.Byte();
        const auto size = static_cast<uint32_t>(file_.size());
        if (b < 200) return static_cast<LONG>(params_.U32() % (size + 64)) - 32;
        return params_.I32();
    }

    void Arm(Fault fault) {
        if (fault == Fault::DiskFull) Io().write_budget = params_.U16() % (file_.size() + 64);
        if (fault == Fault::ReadFails) Io().fail_reads_from = 1 + params_.Byte() % 12;
    }

    // Runs one member and checks what it read and how a fault ended it.
    template <class Call> HRESULT Member(const char *name, bool handles_read_failures, Call call) {
        const uint64_t read_before = Io().read_bytes;
        const bool read_failed_before = Io().read_failed, write_failed_before = Io().write_failed;
        const HRESULT status = call();
        const uint64_t read = Io().read_bytes - read_before;
        const uint64_t bound = kPasses * (file_.size() + kWindow) + kSpareRefills * kWindow;
        char detail[160];
        std::snprintf(detail, sizeof detail, "%s read %" PRIu64 " bytes of a %zu-byte file", name, read,
                      file_.size());
        TVX_FUZZ_CHECK(read <= bound, detail);
        std::snprintf(detail, sizeof detail, "%s ended with 0x%08x", name, static_cast<unsigned>(status));
        if (Io().write_failed && !write_failed_before) TVX_FUZZ_CHECK(status == MakeControlError(kDiskFull), detail);
        if (Io().read_failed && !read_failed_before && !handles_read_failures)
            TVX_FUZZ_CHECK(status == MakeControlError(kDeviceIoError), detail);
        return status;
    }

    void WholeCut(Fault fault) {
        const LONG from = Time(), to = Time(), total = Time();
        Arm(fault);
        Bstr in(convert::FromUtf8(in_)), out(convert::FromUtf8(out_));
        SHORT result = -1;
        // init reports a failed read in a message box and goes on; what the
        // cut reads after that fails again and ends it.
        Member("CutVideo", true, [&] { return cut_->CutVideo(in.Get(), out.Get(), from, to, total, &result); });
    }

    HRESULT Init() {
        Bstr in(convert::FromUtf8(in_));
        return Member("init", true, [&] { return cut_->init(in.Get()); });
    }

    void Steps(Fault fault) {
        const LONG from = Time(), to = Time(), total = Time();
        Arm(fault);
        Init();
        cut_->put_startT(from);
        cut_->put_stopT(to);
        cut_->put_TotalTime(total);
        Member("TimeToOffSets", false, [&] { return cut_->TimeToOffSets(); });
        LONG start = 0, stop = 0;
        cut_->get_startO(&start);
        cut_->get_stopO(&stop);
        if (params_.Bool()) {
            start = Offset();
            stop = Offset();
        }
        Bstr out(convert::FromUtf8(out_));
        SHORT result = 0;
        Member("CutPart", false, [&] { return cut_->CutPart(start, stop, out.Get(), &result); });
    }

    void Scanners(Fault fault) {
        Init();
        Arm(fault);
        for (int step = 0; step < 8 && params_.Remaining() > 0; ++step) {
            const uint8_t op = params_.Byte();
            LONG off = Offset(), a = 0, b = 0;
            BYTE mark = 0;
            SHORT found = 0;
            double x = 0, y = 0;
            switch (op % 13) {
            case 0: Member("FillBuffer", false, [&] { return cut_->FillBuffer(off, &found); }); break;
            case 1: Member("GetByte", false, [&] { return cut_->GetByte(off, &mark); }); break;
            case 2: Member("GetSize", false, [&] { return cut_->GetSize(off, &a); }); break;
            case 3: Member("FindNextMarker", false, [&] { return cut_->FindNextMarker(&off, &mark, &found); }); break;
            case 4:
                mark = params_.Byte();
                Member("FindNext", false, [&] { return cut_->FindNext(&off, mark, &found); });
                break;
            case 5: Member("FindMark", false, [&] { return cut_->FindMark(&off, &mark, &found); }); break;
            case 6: Member("EnsureMarker", false, [&] { return cut_->EnsureMarker(&off, &mark, &found); }); break;
            case 7:
                Member("FindVideoSeqHeader", false, [&] { return cut_->FindVideoSeqHeader(&off, &found); });
                break;
            case 8:
                Member("BackwardFindBoundaries", false,
                       [&] { return cut_->BackwardFindBoundaries(off, &a, &b, &found); });
                break;
            case 9: Member("ReadPacketTS", false, [&] { return cut_->ReadPacketTS(&off, &x, &y, &found); }); break;
            case 10: Member("ReadTimeStamp", false, [&] { return cut_->ReadTimeStamp(off, &x, &found); }); break;
            case 11: Member("ReadGOPHeader", false, [&] { return cut_->ReadGOPHeader(off, &x); }); break;
            case 12: Member("ParseVidSeq", false, [&] { return cut_->ParseVidSeq(&off); }); break;
            }
        }
    }

    std::string_view file_;
    Reader params_;
    std::string dir_, in_, out_;
    ComPtr<_clsKwVidoCutVideoA> cut_;
};

} // namespace

int FuzzCutter(const uint8_t *data, size_t size) {
    QuietMessageBoxes();
    ResetIo();
    const size_t file_size = size > kParamBytes ? size - kParamBytes : size;
    static const uint8_t kWholeCut[kParamBytes] = {0, 0, 1, 1};
    Reader params = size > kParamBytes ? Reader(data + file_size, kParamBytes) : Reader(kWholeCut, kParamBytes);
    Run(std::string_view(reinterpret_cast<const char *>(data), file_size), params).Go();
    return 0;
}

} // namespace tvx::fuzz
