// Writing: copy, the elementary-stream cut, the rebuilt first packet of a
// system stream (a real pack header in front of it, its header kept whole,
// lengths that match what is written), an output emptied first and never
// the input, and failures on the output path.
#include <fcntl.h>

#include "cutter/cutter.h"
#include "cutter_fixture.h"
#include "literal_model.h"

namespace tvx::testing {
namespace {

Bytes Audio(size_t n, uint8_t fill = 0xAA) {
    return Code(0xC0) + Bytes{uint8_t((n + 1) >> 8), uint8_t(n + 1), 0x0F} + Fill(n, fill);
}

// A system stream laid out for cuts, with the offsets a test needs.
struct System {
    Bytes file;
    int32_t M, S, E, P, Q, G, G2, P2, Z, pack1;
};
System MakeSystem(const Bytes &v1_header = {0x0F}) {
    System s;
    Bytes f = Pack() + Audio(58);
    s.M = static_cast<int32_t>(f.size());
    f = f + Pack();
    s.S = static_cast<int32_t>(f.size()) + 6 + 7;
    s.E = s.S + 12;
    f = f + VideoPacket(Bytes{0x41, 0x00} + Pts(0), Sequence() + Gop() + Fill(500, 0x11)) + Audio(300);
    s.pack1 = static_cast<int32_t>(f.size());
    f = f + Pack() + Audio(200);
    s.P = static_cast<int32_t>(f.size());
    const int32_t payload = s.P + 6 + static_cast<int32_t>(v1_header.size());
    s.G = payload + 100;
    s.G2 = s.G + 8 + 200;
    const Bytes v1 = VideoPacket(v1_header, Fill(100, 0x21) + Gop() + Fill(200, 0x22) + Gop() + Fill(300, 0x23));
    s.Q = s.P + static_cast<int32_t>(v1.size());
    f = f + v1 + Audio(100);
    s.P2 = static_cast<int32_t>(f.size());
    s.Z = s.P2 + 6 + 7 + 300;
    f = f + VideoPacket(Bytes{0x41, 0x00} + Pts(9000), Fill(300, 0x31) + Gop() + Fill(300, 0x32)) + Pack() + Audio(50);
    s.file = f + Code(0xB9);
    return s;
}
Bytes Be16(int32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }

// Catches: copy that writes more or fewer bytes than the range, in other
// blocks than 16384, or leaves the window elsewhere than after its last block.
TEST_F(CutterTest, CopyMovesBlocksOf16384) {
    Bytes file(300000);
    for (size_t k = 0; k < file.size(); ++k) file[k] = static_cast<uint8_t>(k * 7);
    OpenInput(file);
    struct Case {
        LONG from, to;
        LONG window;
    } cases[] = {{0, 16384, 16384}, {5, 16390, 5 + 32768}, {100000, 100010, 100000 + 16384}, {50, 50, 50}, {60, 10, 60}};
    for (const Case &c : cases) {
        const std::string out = Path("copy.bin");
        SHORT out_fd = files::FreeFile(), in_fd = Short(&_clsKwVidoCutVideoA::get_Infd);
        files::OpenForWrite(out_fd, U16(out));
        LONG from = c.from, to = c.to;
        ASSERT_EQ(Cut()->copy(&in_fd, &out_fd, &from, &to), S_OK);
        files::Close(out_fd);
        const Bytes expected = c.to > c.from ? Slice(file, c.from, c.to) : Bytes{};
        EXPECT_EQ(ReadFile(out), expected) << c.from << ".." << c.to;
        EXPECT_EQ(std::tie(from, to), std::tie(c.from, c.to)) << "copy changes none of its parameters";
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), c.window);
        std::remove(out.c_str());
    }
}

// Catches: the span copy of whole blocks differing from the copy block by
// block through the window, in bytes written (also past the end of the
// input) or in where the window stands afterwards (start, EndO, Buffer), for
// lengths around the block and span edges.
TEST_F(CutterTest, CopyMatchesTheBlockByBlockCopy) {
    constexpr int32_t kBlock = 16384, kSpan = Cutter::kCopySpan;
    Bytes file(2 * kSpan + 3 * kBlock + 77);
    for (size_t k = 0; k < file.size(); ++k) file[k] = static_cast<uint8_t>(k * 31 + (k >> 13));
    OpenInput(file);
    const auto size = static_cast<int32_t>(file.size());
    const int32_t lengths[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock, 2 * kBlock + 1, kSpan - 1, kSpan,
                               kSpan + 1, kSpan + kBlock - 1, kSpan + kBlock, kSpan + kBlock + 1, 2 * kSpan + 5};
    for (const int32_t from : {0, 3, size - kSpan - kBlock + 2, size - 10}) {
        for (const int32_t length : lengths) {
            SCOPED_TRACE(std::to_string(from) + " + " + std::to_string(length));
            LiteralModel model;
            model.file = file;
            Bytes expected;
            model.Refill(from);
            for (int32_t i = 0; i < length;) {
                i += kBlock;
                const int32_t count = i <= length ? kBlock : length - (i - kBlock);
                expected.insert(expected.end(), model.window.begin(), model.window.begin() + count);
                model.Refill(from + i);
            }
            const std::string out = Path("copy.bin");
            SHORT out_fd = files::FreeFile(), in_fd = Short(&_clsKwVidoCutVideoA::get_Infd);
            files::OpenForWrite(out_fd, U16(out));
            LONG first = from, to = from + length;
            ASSERT_EQ(Cut()->copy(&in_fd, &out_fd, &first, &to), S_OK);
            files::Close(out_fd);
            EXPECT_TRUE(ReadFile(out) == expected);
            EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), model.start);
            EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_EndO), model.end);
            Bstr buffer;
            ASSERT_EQ(Cut()->get_Buffer(buffer.Put()), S_OK);
            EXPECT_TRUE(std::equal(model.window.begin(), model.window.end(), buffer.View().begin()));
            std::remove(out.c_str());
        }
    }
}

// Catches: the wrong head, a first GOP other than the one at or after the
// start offset, an end other than the GOP at or after the end offset.
TEST_F(CutterTest, ElementaryStreamCut) {
    Bytes file = Sequence() + Gop() + Fill(300000 - 20, 0x47);
    for (size_t at : {100000u, 200000u}) {
        const Bytes gop = Gop();
        std::copy(gop.begin(), gop.end(), file.begin() + at);
    }
    const std::string in = Write("in.m1v", file);
    struct Case {
        LONG begin, end;
        SHORT result;
        Bytes output;
    } const cases[] = {
        {13, 100001, 1, Slice(file, 0, 12) + Slice(file, 100000, 200000)},
        {100000, 200000, 1, Slice(file, 0, 12) + Slice(file, 100000, 200000)},
        {12, 100001, 1, Slice(file, 0, 200000)},
        {0, 200001, 1, file},
        {200001, 0, 0, Slice(file, 0, 12)},
        {100000, 50, 1, Slice(file, 0, 12)},
    };
    for (const Case &c : cases) {
        Init(in);
        Bstr out(U16(Path("out.m1v")));
        SHORT result = -1;
        ASSERT_EQ(Cut()->CutPart(c.begin, c.end, out.Get(), &result), S_OK);
        EXPECT_EQ(result, c.result) << c.begin << ".." << c.end;
        EXPECT_TRUE(ReadFile(Path("out.m1v")) == c.output) << c.begin << ".." << c.end;
    }
}

// Catches, for the rebuilt first packet: 12 stray bytes in front of it
// instead of the pack header found before it, a packet without time stamps
// losing its 0x0F byte, a first or last packet whose length field claims
// more bytes than the output holds, a length field not high byte first.
TEST_F(CutterTest, SystemStreamCutRebuildsTheFirstPacket) {
    const System s = MakeSystem();
    const Bytes &f = s.file;
    const Bytes seq = Slice(f, s.S, s.E);
    const Bytes head = Slice(f, 0, s.M) + Slice(f, s.pack1, s.pack1 + 12) + Code(0xE0);
    const int32_t H = 1; // the 0x0F byte
    struct Case {
        const char *name;
        LONG end;
        Bytes output;
    } const cases[] = {
        {"end GOP in a later packet", s.P2,
         head + Be16(12 + (s.Q - s.G) + H) + Bytes{0x0F} + seq + Slice(f, s.G, s.P2 + 4) + Be16(s.Z - s.P2 - 6) +
             Slice(f, s.P2 + 6, s.Z)},
        {"end GOP inside the first packet", s.G + 1,
         head + Be16(12 + (s.G2 - s.G) + H) + Bytes{0x0F} + seq + Slice(f, s.G, s.G2)},
        {"end before the start", 0, head + Be16(12 + H) + Bytes{0x0F} + seq},
        {"to the end of the input", s.Z + 1,
         head + Be16(12 + (s.Q - s.G) + H) + Bytes{0x0F} + seq + Slice(f, s.G, f.size())},
    };
    const std::string in = Write("in.mpg", f);
    for (const Case &c : cases) {
        Init(in);
        ASSERT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), s.M);
        Bstr out(U16(Path("out.mpg")));
        SHORT result = -1;
        ASSERT_EQ(Cut()->CutPart(s.P, c.end, out.Get(), &result), S_OK);
        EXPECT_EQ(result, 1) << c.name;
        const Bytes written = ReadFile(Path("out.mpg"));
        EXPECT_EQ(written.size(), c.output.size()) << c.name;
        EXPECT_TRUE(written == c.output) << c.name;
    }
}

// Catches, on damaged streams: a first packet before the head's end getting
// 12 stray bytes although a pack header lies further back; a stray video
// packet start code 4 or 5 bytes before the end GOP taken for the cut-short
// packet, whose length field past the cut's end was written as FF FE/FF FF.
TEST_F(CutterTest, MendsHoldOnDamagedStreams) {
    {
        Bytes f = Pack() + Audio(58);
        const auto P = static_cast<int32_t>(f.size());
        const int32_t G = P + 6 + 1 + 20;
        f = f + VideoPacket({0x0F}, Fill(20, 0x21) + Gop() + Fill(50, 0x22));
        const auto M = static_cast<int32_t>(f.size());
        const int32_t S = M + 12 + 6 + 7, E = S + 12;
        f = f + Pack() + VideoPacket(Bytes{0x41, 0x00} + Pts(0), Sequence() + Gop() + Fill(500, 0x11)) + Audio(100) +
            Code(0xB9);
        Init(Write("early.mpg", f));
        ASSERT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), M);
        Bstr out(U16(Path("out.mpg")));
        SHORT result = -1;
        ASSERT_EQ(Cut()->CutPart(0, 0, out.Get(), &result), S_OK);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(ReadFile(Path("out.mpg")) ==
                    Slice(f, 0, M) + Slice(f, 0, 12) + Code(0xE0) + Be16(E - S + 1) + Bytes{0x0F} + Slice(f, S, E))
            << "the pack header at offset 0 in front of the packet at " << P << " (GOP " << G << ")";
    }
    for (const int32_t before : {4, 5, 6}) {
        SCOPED_TRACE(before);
        System s = MakeSystem();
        Bytes &f = s.file;
        const Bytes stray = Code(0xE0);
        std::copy(stray.begin(), stray.end(), f.begin() + (s.Z - before));
        Init(Write("stray.mpg", f));
        Bstr out(U16(Path("out.mpg")));
        SHORT result = -1;
        ASSERT_EQ(Cut()->CutPart(s.P, s.P2, out.Get(), &result), S_OK);
        const Bytes head = Slice(f, 0, s.M) + Slice(f, s.pack1, s.pack1 + 12) + Code(0xE0);
        // Only a length field wholly before the cut's end is rewritten: the
        // stray one's when it is 6 bytes back, else the real packet's.
        const int32_t cut_short = before == 6 ? s.Z - 6 : s.P2;
        const Bytes expected = head + Be16(12 + (s.Q - s.G) + 1) + Bytes{0x0F} + Slice(f, s.S, s.E) +
                               Slice(f, s.G, cut_short + 4) + Be16(s.Z - cut_short - 6) +
                               Slice(f, cut_short + 6, s.Z);
        EXPECT_TRUE(ReadFile(Path("out.mpg")) == expected);
    }
}

// Catches: H counted without stuffing and buffer-size bytes, L's terms or
// byte order wrong (the example: H 12, E - S 140, Q - G 1500 gives 06 74).
TEST_F(CutterTest, RebuiltLengthWithTimeStamp) {
    System s = MakeSystem(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x41, 0x00} + Pts(3600));
    Bytes f = s.file;
    Init(Write("in.mpg", f));
    Bstr out(U16(Path("out.mpg")));
    SHORT result = -1;
    ASSERT_EQ(Cut()->CutPart(s.P, s.P2, out.Get(), &result), S_OK);
    const Bytes written = ReadFile(Path("out.mpg"));
    const size_t at = static_cast<size_t>(s.M) + 16;
    const int32_t L = 12 + (s.Q - s.G) + 12;
    EXPECT_EQ(Slice(written, at, at + 2), Be16(L));
    EXPECT_EQ(Slice(written, at + 2, at + 14), Slice(f, s.P + 6, s.P + 18));
    // The example's figures, high byte first: 140 + 1500 + 12 = 0x0674.
    EXPECT_EQ(Be16(140 + 1500 + 12), (Bytes{0x06, 0x74}));
}

// Catches: an old longer output keeping its tail; a cut whose output is its
// own input, by any name, truncating or overwriting the input instead of
// failing with error 75 before opening.
TEST_F(CutterTest, OutputIsEmptiedAndNeverTheInput) {
    const System s = MakeSystem();
    const std::string in = Write("in.mpg", s.file);
    const std::string out = Write("old.mpg", Fill(100000, 0x99));
    ASSERT_EQ(CutVideo(in, out, 0, 1, 1), S_OK);
    const Bytes written = ReadFile(out);
    ASSERT_LT(written.size(), 100000u);
    EXPECT_EQ(Slice(written, written.size() - 4, written.size()), Code(0xB9)) << "no stale tail after the cut";
    // A cut that finds no headers writes nothing, so an old cut must not stay.
    const std::string unknown = Write("unknown.mpg", Bytes{0x00, 0x00, 0x01, 0xB7, 0x11, 0x22});
    messages_.clear();
    ASSERT_EQ(CutVideo(unknown, out, 0, 1, 1), S_OK);
    EXPECT_EQ(messages_, (std::vector<std::string>{"Unknown file format", "Cutting finished"}));
    EXPECT_TRUE(ReadFile(out).empty());

    fs::create_symlink(in, Path("link.mpg"));
    fs::create_hard_link(in, Path("hard.mpg"));
    for (const std::string &same : {in, Path("link.mpg"), Path("hard.mpg"), Path("./in.mpg"), Path("x/../in.mpg")}) {
        fs::create_directories(Path("x"));
        messages_.clear();
        EXPECT_EQ(CutVideo(in, same, 0, 1, 1), Status(75)) << same;
        EXPECT_TRUE(ReadFile(in) == s.file) << same;
        EXPECT_TRUE(messages_.empty()) << "a failed cut shows nothing";
    }
}

// Catches: a full disk or a failing read reported as success.
TEST_F(CutterTest, WriteAndReadFailuresEndTheCut) {
    const System s = MakeSystem();
    const std::string in = Write("in.mpg", s.file);
    files::Io io = files::SetIo({nullptr, [](int, const void *, size_t) -> ssize_t { return errno = ENOSPC, -1; }});
    EXPECT_EQ(CutVideo(in, Path("out.mpg"), 0, 1, 1), Status(61));
    files::SetIo({[](int, void *, size_t, off_t) -> ssize_t { return errno = EIO, -1; },
                  nullptr});
    NewCutter();
    messages_.clear();
    const HRESULT status = CutVideo(in, Path("out2.mpg"), 0, 1, 1);
    files::SetIo(io);
    EXPECT_EQ(status, Status(57));
    EXPECT_EQ(messages_, std::vector<std::string>{"input file does not exist"});
}

// Catches: a failed cut leaving its files open, so that failed cuts use up
// the file numbers and every later cut fails with error 67.
TEST_F(CutterTest, FailedCutsCloseTheirFiles) {
    const System s = MakeSystem();
    const std::string in = Write("in.mpg", s.file);
    files::Io io = files::SetIo({nullptr, [](int, const void *, size_t) -> ssize_t { return errno = ENOSPC, -1; }});
    for (int i = 0; i < 300; ++i) {
        const HRESULT status = CutVideo(in, Path("out.mpg"), 0, 1, 1);
        if (status != Status(61)) {
            files::SetIo(io);
            FAIL() << "cut " << i << " gave " << std::hex << status;
        }
    }
    files::SetIo(io);
    EXPECT_EQ(CutVideo(in, Path("out.mpg"), 0, 1, 1), S_OK);
}

// Catches: CutPart called by a client that fails on the way leaving its
// output open, so that the number stays taken and the file held, or closing
// the input, which the next cut needs.
TEST_F(CutterTest, FailedCutPartClosesItsOutput) {
    const System s = MakeSystem();
    Init(Write("in.mpg", s.file));
    Bstr out(U16(Path("out.mpg")));
    SHORT result = -1;
    const files::Io io = files::SetIo({nullptr, [](int, const void *, size_t) -> ssize_t { return errno = ENOSPC, -1; }});
    const HRESULT status = Cut()->CutPart(s.P, s.P2, out.Get(), &result);
    files::SetIo(io);
    EXPECT_EQ(status, Status(61));
    const SHORT out_fd = Short(&_clsKwVidoCutVideoA::get_OutFd);
    EXPECT_FALSE(files::IsOpen(out_fd));
    EXPECT_EQ(Cut()->CutPart(s.P, s.P2, out.Get(), &result), S_OK);
    EXPECT_EQ(result, 1);
}

} // namespace
} // namespace tvx::testing
