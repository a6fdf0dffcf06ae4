// The file seam, the read window and the four scanners. The scanners are
// held against a byte-by-byte model on fixtures whose start codes straddle
// the window's edge, including the refills they make.
#include <random>

#include "cutter/cutter.h"
#include "cutter/start_codes.h"
#include "literal_model.h"
#include "cutter_fixture.h"

namespace tvx::testing {
namespace {

using Seam = CutterTest;

// Catches: a number other than the lowest free one, a read at position 0
// that succeeds, bytes past the end that are not 0x00, operations on closed
// numbers or in the wrong mode that pass silently.
TEST_F(Seam, FileNumbersPositionsAndModes) {
    const std::string path = Write("f.bin", {1, 2, 3, 4, 5});
    const int16_t a = files::FreeFile();
    files::OpenForRead(a, U16(path));
    const int16_t b = files::FreeFile();
    EXPECT_GT(b, a);
    files::OpenForWrite(b, U16(Path("out.bin")));
    files::Close(a);
    EXPECT_EQ(files::FreeFile(), a) << "the lowest free number comes back first";
    files::OpenForRead(a, U16(path));

    uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(files::ReadAt(a, 4, buffer, 8), 2u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{4, 5, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(files::ReadAt(a, 100, buffer, 2), 0u) << "a read past the end is no error";

    struct Case {
        const char *fault;
        std::function<void()> call;
        int number;
    } cases[] = {
        {"position 0 accepted", [&] { files::ReadAt(a, 0, buffer, 1); }, 63},
        {"negative position accepted", [&] { files::ReadAt(a, -5, buffer, 1); }, 63},
        {"read of a closed number", [&] { files::ReadAt(200, 1, buffer, 1); }, 52},
        {"read from an output file", [&] { files::ReadAt(b, 1, buffer, 1); }, 54},
        {"write to an input file", [&] { files::Write(a, buffer, 1); }, 54},
        {"second open under one number", [&] { files::OpenForRead(a, U16(path)); }, 55},
        {"missing input", [&] { files::OpenForRead(files::FreeFile(), U16(Path("none"))); }, 53},
        {"length of a missing file", [&] { files::FileLength(U16(Path("none"))); }, 53},
        {"directory as input", [&] { files::FileLength(U16(Path(""))); }, 75},
        {"output in a missing folder", [&] { files::OpenForWrite(files::FreeFile(), U16(Path("no/x"))); }, 76},
        {"directory as output", [&] { files::OpenForWrite(files::FreeFile(), U16(Path(""))); }, 75},
    };
    for (const Case &c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.fault;
        } catch (const RaisedError &error) {
            EXPECT_EQ(error.Number(), c.number) << c.fault;
        }
    }
    files::Close(a);
    files::Close(b);
}

// Catches: a table that hands out numbers past 255 instead of error 67.
TEST_F(Seam, AllNumbersInUseIsTooManyFiles) {
    const std::string path = Write("f.bin", {1});
    std::vector<int16_t> taken;
    size_t in_use = 0;
    for (int16_t n = 1; n <= 255; ++n) in_use += files::IsOpen(n);
    for (;;) {
        int16_t n = 0;
        try {
            n = files::FreeFile();
        } catch (const RaisedError &error) {
            EXPECT_EQ(error.Number(), 67);
            break;
        }
        ASSERT_LE(n, 255);
        files::OpenForRead(n, U16(path));
        taken.push_back(n);
    }
    EXPECT_EQ(taken.size() + in_use, 255u);
    for (int16_t n : taken) files::Close(n);
}

// Catches: a window that does not start at the requested byte, that spans
// fewer positions at the end of the file, a GetByte that reads outside the
// window without moving it, GetSize read as signed or little-endian, a
// window near the last offset that fails instead of ending there.
TEST_F(CutterTest, WindowRefillsAtTheRequestedByte) {
    Bytes file = Fill(40000, 0x11);
    file[16384] = 0x07, file[16385] = 0xEC, file[39998] = 0xFF, file[39999] = 0xFF;
    OpenInput(file);
    SHORT one = 0;
    BYTE byte = 0;
    LONG size = 0;
    ASSERT_EQ(Cut()->FillBuffer(39000, &one), S_OK);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 39000);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_EndO), 39000 + 16384);
    Bstr buffer;
    ASSERT_EQ(Cut()->get_Buffer(buffer.Put()), S_OK);
    ASSERT_EQ(buffer.Length(), 16384u);
    EXPECT_EQ(buffer.View()[0], u'\x11');
    EXPECT_EQ(buffer.View()[1000], u'\0') << "past the end reads as 0x00";

    ASSERT_EQ(Cut()->GetByte(100, &byte), S_OK);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 100) << "a byte before the window moves it";
    ASSERT_EQ(Cut()->GetSize(16384, &size), S_OK);
    EXPECT_EQ(size, 2028);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 100) << "16384 and 16385 were inside [100, 16484)";
    ASSERT_EQ(Cut()->GetSize(39998, &size), S_OK);
    EXPECT_EQ(size, 65535);
    ASSERT_EQ(Cut()->FillBuffer(1000000, &one), S_OK);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_EndO) - Long(&_clsKwVidoCutVideoA::get_start), 16384);
    EXPECT_EQ(Cut()->GetByte(-1, &byte), Status(63));
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 1000000) << "a failed refill leaves the window";
    ASSERT_EQ(Cut()->FillBuffer(2147483647 - 100, &one), S_OK) << "a window near the last offset there is";
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_EndO), 2147483647) << "reaches up to it";
}

// Catches: a Buffer stored by a client that does not read back unchanged,
// or that GetByte ignores.
TEST_F(CutterTest, ClientBufferIsTheWindow) {
    OpenInput(Fill(100, 0x22));
    Bstr text(u"AB\u0100");
    ASSERT_EQ(Cut()->put_Buffer(text.Get()), S_OK);
    Bstr back;
    ASSERT_EQ(Cut()->get_Buffer(back.Put()), S_OK);
    EXPECT_EQ(back.Str(), u"AB\u0100");
    ASSERT_EQ(Cut()->put_EndO(10), S_OK);
    BYTE byte = 0;
    ASSERT_EQ(Cut()->GetByte(1, &byte), S_OK);
    EXPECT_EQ(byte, 'B');
    ASSERT_EQ(Cut()->GetByte(2, &byte), S_OK);
    EXPECT_EQ(byte, '?');
    EXPECT_EQ(Cut()->GetByte(3, &byte), Status(5)) << "past the stored text";
}

// Catches: reads of a cutter whose input was never opened that succeed.
TEST_F(CutterTest, NoInputIsABadFileNumber) {
    BYTE byte = 7;
    EXPECT_EQ(Cut()->GetByte(0, &byte), Status(52));
    EXPECT_EQ(byte, 0);
}

// Catches: a read that fails part-way leaving the window half overwritten
// while start and EndO still describe the old bytes.
TEST_F(CutterTest, ReadFailingPartWayLeavesTheWindow) {
    OpenInput(Fill(40000, 0x11));
    SHORT one = 0;
    ASSERT_EQ(Cut()->FillBuffer(0, &one), S_OK);
    static int calls;
    calls = 0;
    files::Io io = files::SetIo({[](int, void *buffer, size_t count, off_t) -> ssize_t {
                                     if (calls++ > 0) return errno = EIO, -1;
                                     std::memset(buffer, 0xEE, count / 2);
                                     return static_cast<ssize_t>(count / 2);
                                 },
                                 nullptr});
    const HRESULT status = Cut()->FillBuffer(5000, &one);
    files::SetIo(io);
    EXPECT_EQ(status, Status(57));
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 0);
    Bstr buffer;
    ASSERT_EQ(Cut()->get_Buffer(buffer.Put()), S_OK);
    EXPECT_EQ(buffer.View().find(u'\xEE'), std::u16string_view::npos);
}

using Scanner = HRESULT (*)(_clsKwVidoCutVideoA *, LONG *, BYTE *, SHORT *);

class ScanTest : public CutterTest {
protected:
    // `file` as the input with FileSize `file_size` and the window at
    // `window` (none when negative), on the cutter and in `model`.
    void Start(LiteralModel &model, const Bytes &file, int32_t file_size, int32_t window) {
        OpenInput(file);
        ASSERT_EQ(Cut()->put_FileSize(file_size), S_OK);
        model.file = file;
        model.file_size = file_size;
        if (window < 0) return;
        SHORT ignored;
        ASSERT_EQ(Cut()->FillBuffer(window, &ignored), S_OK);
        model.Refill(window);
    }
    // Scans of `kind` on the cutter and on the model, each from where the one
    // before stopped, until one finds nothing or `calls` have run. Holds the
    // results, EoF and the window (start, EndO, bytes) to the model's after
    // each; the cutter may make fewer refills than the walk, never more.
    void ScanLikeTheWalk(LiteralModel &model, LiteralModel::Kind kind, int32_t off, uint8_t mark, int calls) {
        static const Scanner scanners[] = {
            [](auto *c, LONG *o, BYTE *m, SHORT *r) { return c->FindNextMarker(o, m, r); },
            [](auto *c, LONG *o, BYTE *m, SHORT *r) { return c->FindNext(o, *m, r); },
            [](auto *c, LONG *o, BYTE *m, SHORT *r) { return c->FindMark(o, m, r); },
        };
        LONG cut_off = off;
        BYTE cut_mark = mark;
        for (int call = 0; call < calls; ++call) {
            SCOPED_TRACE("call " + std::to_string(call) + " from " + std::to_string(off));
            reads_ = model.refills = 0;
            SHORT found = -1;
            ASSERT_EQ(scanners[kind](Cut(), &cut_off, &cut_mark, &found), S_OK);
            ASSERT_EQ(found, model.Scan(off, kind, mark, mark));
            ASSERT_EQ(std::tie(cut_off, cut_mark), std::tie(off, mark));
            ASSERT_EQ(Short(&_clsKwVidoCutVideoA::get_EoF), model.eof);
            ASSERT_EQ(Long(&_clsKwVidoCutVideoA::get_start), model.start);
            ASSERT_LE(reads_, model.refills);
            Bstr buffer;
            ASSERT_EQ(Cut()->get_Buffer(buffer.Put()), S_OK);
            ASSERT_EQ(Long(&_clsKwVidoCutVideoA::get_EndO), model.window.empty() ? 0 : model.end);
            ASSERT_TRUE(std::equal(model.window.begin(), model.window.end(), buffer.View().begin()));
            if (!found) break;
            if (kind == LiteralModel::PackOrSequence) cut_off = off = off + 1;
        }
        CloseInputs();
        NewCutter();
    }
};

// Catches: fast scans that differ from the byte-by-byte walk in result,
// offset, mark, EoF or the window's place and bytes: start codes across the
// 16368/16384 edges, emulated prefixes (00 00 01 followed by other codes),
// codes in the last four bytes, scans from inside, before and after the
// window.
TEST_F(ScanTest, ScannersMatchTheByteByByteWalk) {
    std::mt19937 random(7);
    for (int round = 0; round < 60 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int32_t size = round < 4 ? round : 20000 + static_cast<int32_t>(random() % 60000);
        Bytes file(size);
        for (auto &b : file) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0x47);
        const int32_t spots[] = {16365, 16368, 16381, 16382, 16383, 16384, 32749, 32752, size - 4, size - 5};
        const uint8_t codes[] = {0xE0, 0xB3, 0xBA, 0xB8, 0x00, 0x01};
        for (int k = 0; k < 4; ++k) {
            const int32_t at = spots[random() % std::size(spots)] + static_cast<int32_t>(random() % 3) - 1;
            if (at < 0 || at + 4 > size) continue;
            const Bytes code = Code(codes[random() % std::size(codes)]);
            std::copy(code.begin(), code.end(), file.begin() + at);
        }
        LiteralModel model;
        Start(model, file, size, size > 0 ? static_cast<int32_t>(random() % size) : -1);
        const int32_t off = size > 0 ? static_cast<int32_t>(random() % (size + 2)) : 0;
        ScanLikeTheWalk(model, LiteralModel::Kind(round % 3), off, codes[random() % std::size(codes)], 4);
    }
}

// Catches: the search ahead of the window (in spans, once two windows held
// no code) missing a code that straddles two spans, finding one at or past
// FileSize - 3 or in the zeros past the input's end, or leaving another
// window than the walk's last refill: inputs that end around a span's edge,
// FileSize above and below the input's size.
TEST_F(ScanTest, LongScansMatchTheWalk) {
    std::mt19937 random(3);
    for (int round = 0; round < 30 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto kind = LiteralModel::Kind(round % 3);
        const int32_t from = static_cast<int32_t>(random() % 5000);
        // Spans begin on the page below the walk's third window and double up
        // to kCopySpan; the code begins 4 to 0 bytes before span 2, 5 or 7.
        int32_t edge = (from + 2 * 16369) / 4096 * 4096, span = Cutter::kFirstScanSpan;
        const int counts[] = {1, 4, 6};
        for (int k = 0; k < counts[round / 5 % 3]; ++k, span = std::min(2 * span, Cutter::kCopySpan)) edge += span;
        const int32_t at = edge - 4 + round % 5;
        const int32_t sizes[] = {at + 4, edge + 4 + static_cast<int32_t>(random() % 8), edge + span / 2};
        // No 01 bytes, so that only the planted code can match.
        Bytes file(sizes[round / 3 % 3]);
        for (auto &b : file) b = random() % 3 == 0 ? 0x00 : static_cast<uint8_t>(random() % 254 + 2);
        const Bytes planted = Code(0xB3);
        std::copy(planted.begin(), planted.end(), file.begin() + at);
        // FileSize as the input's size, past it (zeros beyond), or, for a
        // code inside a span, with the code's last byte just outside.
        const int32_t file_sizes[] = {static_cast<int32_t>(file.size()), static_cast<int32_t>(file.size()) + 100, at + 3};
        LiteralModel model;
        Start(model, file, file_sizes[random() % (round % 5 == 0 ? 3 : 2)], from);
        ScanLikeTheWalk(model, kind, from, 0xB3, 2);
    }
}

// Catches: a long scan of an input that shrinks under it crashing, reading
// past its end or finding a code that the window no longer holds: the input
// is cut short before the spans reach the code, or after they found it but
// before the window's refill there. Either way the scan must end as the walk
// over the shorter input does.
TEST_F(ScanTest, InputShrinkingUnderALongScan) {
    Bytes file(3000000, 0x47);
    const Bytes code = Code(0xE0);
    std::copy(code.begin(), code.end(), file.begin() + 2500000);
    for (const off_t shrink_at : {1500000, 2400000}) {
        SCOPED_TRACE(shrink_at);
        LiteralModel model;
        Start(model, file, static_cast<int32_t>(file.size()), 0);
        model.file.resize(2000000);
        Shrinker::path = Path("input.bin");
        Shrinker::at = shrink_at;
        Shrinker::to = 2000000;
        Shrinker::done = false;
        const files::Io previous = files::SetIo({&Shrinker::Read, nullptr});
        ScanLikeTheWalk(model, LiteralModel::OneCode, 0, 0xE0, 1);
        files::SetIo(previous);
        EXPECT_TRUE(Shrinker::done);
    }
}

// Catches: a vector search that differs from the plain test of each
// position: candidates in the last positions of a round or across rounds,
// 00 01 without the leading 00, a code found before `first` or after
// `last`, or bytes read past last + 3 (under the sanitizers).
TEST(StartCodes, EveryWayFindsTheFirstCode) {
    using start_codes::Isa;
    using start_codes::Test;
    std::vector<Isa> ways = {Isa::Portable};
    if (start_codes::BestIsa() >= Isa::Sse2) ways.push_back(Isa::Sse2);
    if (start_codes::BestIsa() >= Isa::Avx2) ways.push_back(Isa::Avx2);
    if (start_codes::BestIsa() >= Isa::Avx512) ways.push_back(Isa::Avx512);
    std::mt19937 random(5);
    const uint8_t codes[] = {0xE0, 0xB3, 0xBA, 0xB8, 0x00, 0x01};
    for (int round = 0; round < 4000; ++round) {
        const size_t last = random() % 300;
        // Exactly the bytes the search may read.
        Bytes bytes(last + 4);
        for (auto &b : bytes) b = random() % 3 == 0 ? codes[random() % std::size(codes)] : random() % 2;
        const size_t first = random() % (last + 2);
        const Test test = static_cast<Test>(random() % 3);
        const uint8_t code = codes[random() % std::size(codes)];
        const uint8_t *expected = nullptr;
        for (size_t q = first; q <= last && !expected; ++q) {
            const uint8_t c = bytes[q + 3];
            const bool passes = test == Test::Any || (test == Test::Equals ? c == code : c == 0xBA || c == 0xB3);
            if (bytes[q] == 0 && bytes[q + 1] == 0 && bytes[q + 2] == 1 && passes) expected = &bytes[q];
        }
        for (const Isa way : ways) {
            ASSERT_EQ(start_codes::Find(&bytes[first], &bytes[last], test, code, way), expected)
                << "round " << round << ", way " << static_cast<int>(way);
        }
    }
}

// Catches: EnsureMarker that accepts a prefix without 00 00 01, writes its
// arguments on failure, or moves EoF.
TEST_F(CutterTest, EnsureMarkerTestsOnePosition) {
    OpenInput(Code(0xBA) + Bytes{0, 0, 2, 0xB3});
    LONG off = 0;
    BYTE mark = 0;
    SHORT found = 0;
    ASSERT_EQ(Cut()->EnsureMarker(&off, &mark, &found), S_OK);
    EXPECT_EQ(std::tie(found, off, mark), std::make_tuple(SHORT{1}, LONG{4}, BYTE{0xBA}));
    ASSERT_EQ(Cut()->EnsureMarker(&off, &mark, &found), S_OK);
    EXPECT_EQ(std::tie(found, off, mark), std::make_tuple(SHORT{0}, LONG{4}, BYTE{0xBA}));
    EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_EoF), 0);
}

// Catches: a backward walk that finds another packet than the byte-by-byte
// walk, leaves the window elsewhere, or reads 16 KB per byte stepped back.
TEST_F(CutterTest, BackwardWalkMatchesTheWalkWithBoundedReads) {
    std::mt19937 random(11);
    for (int round = 0; round < 8; ++round) {
        Bytes file = Fill(150000, 0x33);
        const int32_t packet = round == 2 ? 1 : 1000 + static_cast<int32_t>(random() % 100000); // 1: the lowest offset tested
        const Bytes p = VideoPacket({0x0F}, Fill(2000 + random() % 3000, 0x44));
        std::copy(p.begin(), p.end(), file.begin() + packet);
        const Bytes audio = Code(0xC0) + Bytes{0x07, 0xEC};
        std::copy(audio.begin(), audio.end(), file.begin() + packet + 6000);
        OpenInput(file);
        LiteralModel model;
        model.file = file;
        const int32_t from = round == 0 ? 0 : round == 1 ? 150001 : packet + static_cast<int32_t>(random() % 40000);
        int32_t ms = -5, me = -5;
        LONG start = -5, end = -5;
        reads_ = 0;
        SHORT result = -1;
        ASSERT_EQ(Cut()->BackwardFindBoundaries(from, &start, &end, &result), S_OK);
        EXPECT_EQ(result, model.Backward(from, ms, me)) << from;
        EXPECT_EQ(std::tie(start, end), std::tie(ms, me));
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), model.start);
        EXPECT_LE(reads_, (from - packet) / 16000 + 3) << "reads while stepping back " << from - packet << " bytes";
        CloseInputs();
        NewCutter();
    }
}

} // namespace
} // namespace tvx::testing
