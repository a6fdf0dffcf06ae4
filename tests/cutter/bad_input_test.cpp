// Bad input through CutVideo: no crash, no hang, the messages and statuses
// of the cut's rules, and nothing written but the output file. Also the
// late-bound route by name.
#include <random>

#include "cutter_fixture.h"

namespace tvx::testing {
namespace {

Bytes Random(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (auto &x : b) x = static_cast<uint8_t>(random());
    return b;
}

// Catches: crashes, hangs, wrong statuses or messages, stray files.
TEST_F(CutterTest, BadInputEndsCleanly) {
    const Bytes real = ReadFile(std::string(TVX_SOURCE_DIR) + "/tests/data/system_ffmpeg.mpg");
    Bytes long_packet = Pack() + VideoPacket({0x0F}, Sequence() + Gop() + Fill(100));
    long_packet[16] = 0xFF; // the length claims far more than the file holds
    const std::vector<std::string> finished = {"Cutting finished"};
    const std::vector<std::string> beyond = {"fatal error! start beyond EOF", "Cutting finished"};
    struct Case {
        const char *name;
        Bytes input;
        const char *output;
        LONG from, to, total;
        HRESULT status;
        std::vector<std::string> messages;
    } const cases[] = {
        {"empty file", {}, "out", 0, 1, 1, S_OK, beyond},
        {"one byte", {0}, "out", 0, 1, 1, S_OK, finished},
        {"two bytes", {0, 0}, "out", 0, 1, 1, S_OK, finished},
        // EnsureMarker has no bounds test: 00 00 01 and the 0x00 past the end.
        {"three bytes", {0, 0, 1}, "out", 0, 1, 1, S_OK, {"Unknown file format", "Cutting finished"}},
        {"all 0xFF", Fill(70000, 0xFF), "out", 0, 1, 2, S_OK, finished},
        {"truncated packet", Slice(real, 0, 5000), "out", 10, 90, 100, S_OK, finished},
        {"length past the end", long_packet, "out", 0, 10, 10, S_OK, finished},
        {"times past the end", real, "out", 200, 300, 100, S_OK, beyond},
        {"negative time", real, "out", -5, 10, 100, Status(63), {}},
        {"zero duration", real, "out", 0, 10, 0, Status(11), {}},
        {"missing output folder", real, "no/such/out", 10, 20, 100, Status(76), {}},
        {"output is a directory", real, ".", 10, 20, 100, Status(75), {}},
    };
    for (unsigned seed = 0; seed < 3; ++seed) {
        NewCutter();
        messages_.clear();
        const std::string in = Write("in", Random(60000, seed));
        EXPECT_EQ(CutVideo(in, Path("out"), 10, 50, 100), S_OK);
        EXPECT_EQ(messages_.back(), "Cutting finished") << "arbitrary bytes, seed " << seed;
        fs::remove(Path("out"));
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NewCutter();
        messages_.clear();
        const std::string in = Write("in", c.input);
        const std::string out = c.output == std::string(".") ? Path("") : Path(c.output);
        EXPECT_EQ(CutVideo(in, out, c.from, c.to, c.total), c.status);
        EXPECT_EQ(messages_, c.messages);
        for (const auto &entry : fs::directory_iterator(Path(""))) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name == "in" || name == "out") << "stray file " << name;
        }
        if (c.messages == beyond) {
            EXPECT_FALSE(fs::exists(Path("out"))) << "no output after the start-offset test";
        }
        fs::remove(Path("out"));
    }
}

// Catches: a directory or a missing path taken as input without the
// message, or a file number taken for it.
TEST_F(CutterTest, DirectoryOrMissingInput) {
    for (const std::string &in : {Path(""), Path("missing")}) {
        NewCutter();
        messages_.clear();
        EXPECT_EQ(CutVideo(in, Path("out"), 1, 2, 10), S_OK);
        EXPECT_EQ(messages_, (std::vector<std::string>{"input file does not exist", "fatal error! start beyond EOF",
                                                       "Cutting finished"}));
        EXPECT_EQ(Short(&_clsKwVidoCutVideoA::get_Infd), 0);
    }
}

// Catches: late binding that loses a by-ref write-back or refuses the
// cutter's members by name.
TEST_F(CutterTest, LateBoundCutAndScan) {
    const std::string in = Write("in.m1v", Sequence() + Gop() + Fill(100) + Gop() + Fill(100));
    auto invoke = [&](const char16_t *name, std::vector<VARIANT> reversed, VARIANT *result) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(Cut()->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return Cut()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
    };
    Variant result, a = Variant::Str(U16(in)), b = Variant::Str(U16(Path("out.m1v")));
    Variant from = Variant::I4(0), to = Variant::I4(1), total = Variant::I4(1);
    ASSERT_EQ(invoke(u"cutvideo", {total, to, from, b, a}, result.Put()), S_OK);
    EXPECT_EQ(result.Type(), VT_I2);
    EXPECT_EQ(messages_.back(), "Cutting finished");
    EXPECT_EQ(ReadFile(Path("out.m1v")), ReadFile(in)) << "start 0 to the end: the whole stream";

    Init(in);
    LONG off = 13;
    BYTE mark = 0;
    ASSERT_EQ(invoke(u"FindNextMarker", {Variant::Ref(VT_UI1, &mark), Variant::Ref(VT_I4, &off)}, result.Put()), S_OK);
    EXPECT_EQ(V_I2(&result), 1);
    EXPECT_EQ(off, 124);
    EXPECT_EQ(mark, 0xB8);
}

} // namespace
} // namespace tvx::testing
