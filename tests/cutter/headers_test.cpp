// Header parsing: sequence header and first GOP, GOP time codes, packet
// headers and time stamps, the video packet around an offset, and the walk
// to the pack before the first sequence header.
#include <cmath>

#include "cutter_fixture.h"

namespace tvx::testing {
namespace {

// Catches: a frame-rate code read from the wrong nibble or table slot.
TEST_F(CutterTest, FrameRateComesFromTheTable) {
    const struct {
        uint8_t byte7;
        double rate;
    } cases[] = {{0x13, 25}, {0x14, 30000.0 / 1001}, {0x11, 24000.0 / 1001}, {0x10, 0}, {0x19, 0}, {0x1F, 0}};
    for (const auto &c : cases) {
        Bytes file = Sequence() + Gop({0, 8, 0, 0}) + Fill(100);
        file[7] = c.byte7;
        Init(Write("es.m1v", file));
        EXPECT_EQ(Real(&_clsKwVidoCutVideoA::get_FrameRate), c.rate) << int(c.byte7);
    }
}

// Catches: time-code fields decoded from the wrong bits, terms added in
// another order, hours that overflow, a division by a zero rate that passes.
TEST_F(CutterTest, GopTimeCodeInSeconds) {
    OpenInput(Gop({0x04, 0x28, 0x66, 0x00}) + Gop({0x7C, 0x28, 0x66, 0x00}) + Gop({0, 8, 0, 0}) + Gop({0, 8, 0, 0x80}));
    const struct {
        LONG off;
        double rate;
        HRESULT status;
        double seconds;
    } cases[] = {{4, 25, S_OK, 3723.48}, {12, 25, S_OK, 111600 + 123 + 0.48}, {20, 0, Status(6), 0},
                 {28, 0, Status(11), 0}};
    for (const auto &c : cases) {
        ASSERT_EQ(Cut()->put_FrameRate(c.rate), S_OK);
        double seconds = -5;
        EXPECT_EQ(Cut()->ReadGOPHeader(c.off, &seconds), c.status);
        EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.off;
    }
}

// Catches: stuffing or buffer-size bytes not skipped, the wrong advance of
// off, bit 32 of a time stamp dropped, a DTS not read after a PTS.
TEST_F(CutterTest, PacketHeadersAndTimeStamps) {
    const Bytes big = Pts(0x100000000ull + 90000);
    OpenInput(Bytes{0xFF, 0xFF, 0x62, 0xEA} + Pts(90000) + Bytes{0x0F} + Pts(90000, 0x30) + Pts(0) + big +
              Bytes{0x21, 0x00, 0x01, 0x00, 0x01});
    const struct {
        LONG off;
        SHORT result;
        LONG advanced;
        double pts, dts;
    } cases[] = {
        {0, 1, 9, 1.0, -1},
        {9, 0, 9, -1, -1},
        {10, 1, 20, 1.0, 0},
        {20, 1, 25, (4294967296.0 + 90000) / 90000, -1},
        {25, 1, 30, 0, -1},
    };
    for (const auto &c : cases) {
        LONG off = c.off;
        double pts = 7, dts = 7;
        SHORT result = -1;
        ASSERT_EQ(Cut()->ReadPacketTS(&off, &pts, &dts, &result), S_OK);
        EXPECT_EQ(std::tie(result, off), std::tie(c.result, c.advanced)) << c.off;
        EXPECT_DOUBLE_EQ(pts, c.pts) << c.off;
        EXPECT_DOUBLE_EQ(dts, c.dts) << c.off;
    }
    double seconds = 0;
    SHORT one = 0;
    ASSERT_EQ(Cut()->ReadTimeStamp(20, &seconds, &one), S_OK);
    EXPECT_GT(seconds, 47721);
}

// Catches: a stuffing skip without an end on a file of 0xFF bytes.
TEST_F(CutterTest, StuffingSkipStopsPastTheEnd) {
    OpenInput(Fill(100000, 0xFF));
    LONG off = 0;
    double pts = 0, dts = 0;
    SHORT result = -1;
    ASSERT_EQ(Cut()->ReadPacketTS(&off, &pts, &dts, &result), S_OK);
    EXPECT_EQ(result, 0);
}

// Catches: a result of 1 for an offset past the packet, bounds written for
// offsets outside 1..FileSize, an off-by-one at the packet's last offset.
TEST_F(CutterTest, BackwardFindBoundariesEdges) {
    const Bytes packet = VideoPacket({0x0F}, Fill(100));
    OpenInput(Pack() + packet + Code(0xC0) + Bytes{0, 4, 1, 2, 3, 4} + Fill(20));
    const LONG P = 12, end = P + 6 + 101;
    const struct {
        LONG from;
        SHORT result;
        LONG start, stop;
    } cases[] = {{0, 0, -9, -9}, {-3, 0, -9, -9}, {10000, 0, -9, -9}, {P, 1, P, end}, {P + 50, 1, P, end},
                 {end, 1, P, end},  {end + 1, 0, P, end},  {5, 0, -9, -9}};
    for (const auto &c : cases) {
        LONG start = -9, stop = -9;
        SHORT result = -1;
        ASSERT_EQ(Cut()->BackwardFindBoundaries(c.from, &start, &stop, &result), S_OK);
        EXPECT_EQ(std::tie(result, start, stop), std::tie(c.result, c.start, c.stop)) << c.from;
    }
}

// Catches: the wrong VidSeqStart/VidSeqEnd/MinimumCut, a GOP accepted 150 or
// more bytes after the sequence header, "fatal error" shown more than once.
TEST_F(CutterTest, SequenceHeaderAndFirstGop) {
    struct Case {
        const char *name;
        Bytes file;
        LONG seq, end, minimum;
        double start_time;
        std::vector<std::string> messages;
    };
    const Bytes matrices = Fill(128, 0x10);
    const Bytes first_packet = VideoPacket(Bytes{0x41, 0x00} + Pts(90000 * 2), Sequence() + Gop() + Fill(40));
    const Case cases[] = {
        {"elementary at 0", Sequence() + Gop({0, 8, 0x20, 0x80}) + Fill(50), 0, 12, 12, 1.04, {}},
        {"140-byte header", Sequence() + matrices + Gop() + Fill(50), 0, 140, 140, 0, {}},
        {"GOP 150 bytes on", Sequence() + matrices + Fill(10) + Gop() + Code(0xB8) + Fill(9), 0, -1, -1, -1,
         {"fatal error"}},
        {"system, first pack", Pack() + Code(0xBB) + Bytes{0, 2, 0, 0} + first_packet, 33, 45, 0, 2, {}},
        {"system, second pack", Pack() + Fill(30) + Pack() + first_packet + Fill(20), 67, 79, 42, 2, {}},
    };
    for (const Case &c : cases) {
        NewCutter();
        messages_.clear();
        Init(Write("in.mpg", c.file));
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_VidSeqStart), c.seq);
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_VidSeqEnd), c.end);
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), c.minimum);
        EXPECT_DOUBLE_EQ(Real(&_clsKwVidoCutVideoA::get_startTime), c.start_time);
        EXPECT_EQ(messages_, c.messages);
    }
}

// Catches: a walk to the pack header that reads 16 KB per byte stepped back,
// leaves the window elsewhere than the last step, or runs below offset 0
// without failing with error 63.
TEST_F(CutterTest, WalkToThePackBeforeTheSequenceHeader) {
    Init(Write("walk.mpg", Bytes{0x47} + Pack() + Fill(40000, 0x47) + Sequence() + Gop() + Fill(100)));
    EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_FileType), 4);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), 1);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_start), 1) << "the window where the last step left it";
    EXPECT_TRUE(messages_.empty());

    // Driven directly on a stream without any pack header.
    Init(Write("es.m1v", Fill(30000, 0x47) + Sequence() + Gop() + Fill(100)));
    ASSERT_EQ(Cut()->put_FileType(4), S_OK);
    LONG off = 30004;
    reads_ = 0;
    EXPECT_EQ(Cut()->ParseVidSeq(&off), Status(63));
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), -1);
    EXPECT_LE(reads_, 8);
}

} // namespace
} // namespace tvx::testing
