// Opening the input and recognising it, the frame-rate table, times to
// offsets, and Offset.
#include "cutter_fixture.h"
#include "mpeg1/mpeg1.h"

namespace tvx::testing {
namespace {

// Catches: a stream kind taken from anything but the first start code (or
// the first pack/sequence header found), members changed for a file that
// is not recognised, messages other than the exact texts.
TEST_F(CutterTest, InitRecognisesTheStream) {
    struct Case {
        const char *name;
        Bytes file;
        SHORT type;
        LONG seq;
        std::vector<std::string> messages;
    } cases[] = {
        {"video elementary", Sequence() + Gop() + Fill(50), 2, 0, {}},
        {"system", Pack() + VideoPacket({0x0F}, Sequence() + Gop() + Fill(50)), 4, 19, {}},
        {"pack at offset 1", Bytes{0} + Pack() + VideoPacket({0x0F}, Sequence() + Gop() + Fill(50)), 4, 20, {}},
        {"other first code", Code(0xB5) + Sequence() + Gop(), 0, -1, {"Unknown file format"}},
        {"no start code", Fill(5000, 0x47), 0, -1, {}},
        {"pack without video", Pack() + Fill(500), 4, 0, {"sorry no mpeg header found", "fatal error"}},
    };
    for (const Case &c : cases) {
        NewCutter();
        messages_.clear();
        titles_.clear();
        Init(Write("in.mpg", c.file));
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_FileType), c.type);
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_VidSeqStart), c.seq);
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_FileSize), static_cast<LONG>(c.file.size()));
        EXPECT_EQ(messages_, c.messages);
        for (const std::string &title : titles_) EXPECT_EQ(title, "<default>") << "the platform's caption";
    }
}

// Catches: members reset only after opening, a new file number not taken
// while the old input is still open, FileSize or Infd written when the
// input is missing.
TEST_F(CutterTest, InitResetsFirstAndReportsMissingInput) {
    const std::string path = Write("in.m1v", Sequence() + Gop() + Fill(50));
    Init(path);
    const SHORT first = Short(&_clsKwVidoCutVideoA::get_Infd);
    ASSERT_EQ(Cut()->put_EoF(1), S_OK);
    Init(path);
    EXPECT_NE(Short(&_clsKwVidoCutVideoA::get_Infd), first);
    EXPECT_TRUE(files::IsOpen(first)) << "init never closes";
    EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_EoF), 0);

    NewCutter();
    Init(Path("missing.mpg"));
    EXPECT_EQ(messages_, std::vector<std::string>{"input file does not exist"});
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_FileSize), 0);
    EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_Infd), 0);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_MinimumCut), -1);
    EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_confirmall), 1);
}

// Catches: a table with other element types or values than the standard's.
TEST_F(CutterTest, FrameRateTableHoldsNineElements) {
    Init(Write("in.m1v", Sequence() + Gop() + Fill(50)));
    Variant table;
    ASSERT_EQ(Cut()->get_picture_rate(table.Put()), S_OK);
    ASSERT_EQ(table.Type(), VT_ARRAY | VT_VARIANT);
    const VARTYPE types[9] = {VT_I2, VT_R8, VT_I2, VT_I2, VT_R8, VT_I2, VT_I2, VT_R8, VT_I2};
    for (LONG k = 0; k < 9; ++k) {
        Variant element;
        ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&table), &k, element.Put()), S_OK);
        EXPECT_EQ(element.Type(), types[k]) << k;
        const double value = element.Type() == VT_I2 ? V_I2(&element) : V_R8(&element);
        EXPECT_EQ(value, mpeg1::FrameRateOfCode(k).value_or(0)) << k;
    }
}

// Catches: a byte rate not truncated, startO rounded other than half to
// even, stopO beyond the last offset not kept there, offsets not moved to the next video
// packet, errors 11/6/63 not raised where the members say.
TEST_F(CutterTest, TimesBecomeOffsets) {
    Bytes file = Fill(1000000, 0x47);
    const Bytes video = Code(0xE0);
    std::copy(video.begin(), video.end(), file.begin() + 300000);
    OpenInput(file);
    struct Case {
        LONG size, minimum, total;
        double from;
        LONG to;
        HRESULT status;
        LONG start, stop;
    } const cases[] = {
        {1000000, 0, 100, 10, 20, S_OK, 300004, 300004}, // 100000 and 200000 move to the packet
        {1000000, 0, 100, 40, 90, S_OK, 400000, 900000},
        {1000, -1, 3, 2.5, 1, S_OK, 832, 333}, // rate 1001 / 3 truncated: 333; 832.5 to even
        {1000000, 0, 0, 1, 1, Status(11), -7, -7},
        {1000000, 0, 1, 1, 3000, S_OK, 1000000, 2147483647}, // an end past every offset: the last one
        {1000000, 0, 1, 1, -3000, Status(6), 1000000, -7},
        {1000000, 0, 100, -1, 1, Status(63), -10000, 10000},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Cut()->put_FileSize(c.size), S_OK);
        ASSERT_EQ(Cut()->put_MinimumCut(c.minimum), S_OK);
        ASSERT_EQ(Cut()->put_TotalTime(c.total), S_OK);
        ASSERT_EQ(Cut()->put_startT(c.from), S_OK);
        ASSERT_EQ(Cut()->put_stopT(c.to), S_OK);
        ASSERT_EQ(Cut()->put_startO(-7), S_OK);
        ASSERT_EQ(Cut()->put_stopO(-7), S_OK);
        EXPECT_EQ(Cut()->TimeToOffSets(), c.status) << c.from;
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_startO), c.start) << c.from;
        EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_stopO), c.stop) << c.from;
        EXPECT_EQ(Real(&_clsKwVidoCutVideoA::get_Tmax), c.size);
    }
    // rate 5, startT 2.5: 12.5 rounds to 12.
    ASSERT_EQ(Cut()->put_FileSize(500), S_OK);
    ASSERT_EQ(Cut()->put_MinimumCut(0), S_OK);
    ASSERT_EQ(Cut()->put_TotalTime(100), S_OK);
    ASSERT_EQ(Cut()->put_startT(2.5), S_OK);
    ASSERT_EQ(Cut()->TimeToOffSets(), S_OK);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_startO), 12);
}

// Catches: Offset overwriting a recorded offset, or not counting a time
// equal to startT as reached.
TEST_F(CutterTest, OffsetRecordsTheFirstPairReachingEachTime) {
    ASSERT_EQ(Cut()->put_startO(-1), S_OK);
    ASSERT_EQ(Cut()->put_stopO(-1), S_OK);
    ASSERT_EQ(Cut()->put_startT(5), S_OK);
    ASSERT_EQ(Cut()->put_stopT(9), S_OK);
    for (auto [time, off] : {std::pair{4.0, 100}, {5.0, 200}, {9.0, 300}, {10.0, 400}}) {
        ASSERT_EQ(Cut()->Offset(time, off), S_OK);
    }
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_startO), 200);
    EXPECT_EQ(Long(&_clsKwVidoCutVideoA::get_stopO), 300);
}

} // namespace
} // namespace tvx::testing
