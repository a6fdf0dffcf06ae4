// The command's helpers: progress line, JSON text, argument reading, the
// splitting of `call` steps and the rules that judge a cut.
#include "support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace tvx::cli {
namespace {

TEST(Progress, BarFillsWithTheShareDone) {
    EXPECT_EQ(RenderProgress(0, 1000, 10, false), "[----------]   0%  0 B of ~1.0 kB");
    EXPECT_EQ(RenderProgress(500, 1000, 10, false), "[#####-----]  50%  500 B of ~1.0 kB");
    EXPECT_EQ(RenderProgress(2500000, 10000000, 4, false), "[#---]  25%  2.5 MB of ~10.0 MB");
}

TEST(Progress, AnEstimateRunPastStaysBelowAHundredUntilFinished) {
    EXPECT_EQ(RenderProgress(1500, 1000, 10, false), "[##########]  99%  1.5 kB of ~1.0 kB");
    EXPECT_EQ(RenderProgress(1500, 1000, 10, true), "[##########] 100%  1.5 kB");
    // No estimate at all draws an empty bar rather than dividing by zero.
    EXPECT_EQ(RenderProgress(10, 0, 3, false), "[---]   0%  10 B of ~0 B");
}

TEST(Progress, HumanBytesUsesPowersOfAThousand) {
    EXPECT_EQ(HumanBytes(999), "999 B");
    EXPECT_EQ(HumanBytes(1000), "1.0 kB");
    EXPECT_EQ(HumanBytes(1234567), "1.2 MB");
    EXPECT_EQ(HumanBytes(3000000000ull), "3.0 GB");
}

TEST(Json, StringsEscapeQuotesBackslashesAndControls) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
    EXPECT_EQ(JsonString("line\nnext\ttab\x01"), "\"line\\nnext\\ttab\\u0001\"");
    EXPECT_EQ(JsonString(std::string("nul\0x", 5)), "\"nul\\u0000x\"");
}

TEST(Json, ValidUtf8PassesAndStrayBytesBecomeReplacementCharacters) {
    EXPECT_EQ(JsonString("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
    EXPECT_EQ(JsonString("a\xFF" "b"), "\"a\xEF\xBF\xBD" "b\"");
    // A lead byte without its continuation, an overlong form, a surrogate.
    EXPECT_EQ(JsonString("\xC3"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(Json, NumbersReadBackExactlyAndNonFiniteBecomeNull) {
    EXPECT_EQ(JsonNumber(25), "25");
    EXPECT_EQ(JsonNumber(0.5), "0.5");
    EXPECT_EQ(std::stod(JsonNumber(30000.0 / 1001)), 30000.0 / 1001);
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
}

TEST(Arguments, ObviousIntegersBecomeInt32) {
    EXPECT_EQ(ParseArgument("0"), ArgumentValue(int32_t{0}));
    EXPECT_EQ(ParseArgument("224"), ArgumentValue(int32_t{224}));
    EXPECT_EQ(ParseArgument("-5"), ArgumentValue(int32_t{-5}));
    EXPECT_EQ(ParseArgument("2147483647"), ArgumentValue(int32_t{2147483647}));
    EXPECT_EQ(ParseArgument("-2147483648"), ArgumentValue(int32_t{-2147483647 - 1}));
}

TEST(Arguments, LargerIntegersAndDecimalsBecomeDouble) {
    EXPECT_EQ(ParseArgument("2147483648"), ArgumentValue(2147483648.0));
    EXPECT_EQ(ParseArgument("2.5"), ArgumentValue(2.5));
    EXPECT_EQ(ParseArgument("-0.25"), ArgumentValue(-0.25));
    EXPECT_EQ(ParseArgument("1e3"), ArgumentValue(1000.0));
    EXPECT_EQ(ParseArgument(".5"), ArgumentValue(0.5));
}

TEST(Arguments, AnythingElseStaysText) {
    for (const char *text : {"007", "+5", "1.2.3", "12abc", "abc", "", "-", "1e", "0x10", "nan", "inf", "1e999"})
        EXPECT_EQ(ParseArgument(text), ArgumentValue(std::string(text))) << text;
}

TEST(Arguments, StrictInt32) {
    EXPECT_EQ(ParseInt32("1000"), 1000);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_EQ(ParseInt32("-7"), -7);
    EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(ParseInt32("1.0"), std::nullopt);
    EXPECT_EQ(ParseInt32(""), std::nullopt);
    EXPECT_EQ(ParseInt32("-"), std::nullopt);
    EXPECT_EQ(ParseInt32(" 1"), std::nullopt);
}

// A class with a method of two parameters, a read-write property, a
// read-only one and a write-only one.
std::optional<MemberShape> Lookup(std::string_view name) {
    if (name == "FindNext") return MemberShape{2, false};
    if (name == "startT") return MemberShape{0, true};
    if (name == "FileSize") return MemberShape{0, false};
    if (name == "Secret") return MemberShape{std::nullopt, true};
    return std::nullopt;
}

TEST(CallSteps, EachMemberTakesAsManyWordsAsItHasParameters) {
    const std::vector<CallStep> steps =
        SplitCallSteps({"FindNext", "0", "224", "startT=2.5", "FileSize", "FindNext", "startT", "x"}, Lookup);
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].member, "FindNext");
    EXPECT_EQ(steps[0].args, (std::vector<std::string>{"0", "224"}));
    EXPECT_TRUE(steps[1].put);
    EXPECT_EQ(steps[1].member, "startT");
    EXPECT_EQ(steps[1].args, (std::vector<std::string>{"2.5"}));
    EXPECT_EQ(steps[2].member, "FileSize");
    EXPECT_TRUE(steps[2].args.empty());
    // Words that look like member names or puts are arguments where a
    // member expects them.
    EXPECT_EQ(steps[3].args, (std::vector<std::string>{"startT", "x"}));
}

TEST(CallSteps, APutKeepsEverythingAfterTheFirstEqualsSign) {
    const std::vector<CallStep> steps = SplitCallSteps({"startT=a=b", "Secret="}, Lookup);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].args, (std::vector<std::string>{"a=b"}));
    EXPECT_EQ(steps[1].args, (std::vector<std::string>{""}));
}

TEST(CallSteps, WrongCommandLinesSayWhy) {
    const auto reason = [](std::vector<std::string> words) {
        try {
            SplitCallSteps(words, Lookup);
        } catch (const std::invalid_argument &error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(reason({"Nothing"}), "no member named 'Nothing'");
    EXPECT_EQ(reason({"FindNext", "0"}), "member 'FindNext' takes 2 arguments, 1 given");
    EXPECT_EQ(reason({"FileSize=3"}), "member 'FileSize' cannot be set");
    EXPECT_EQ(reason({"Secret"}), "member 'Secret' can only be set: write Secret=VALUE");
    EXPECT_EQ(reason({"Nothing=1"}), "no member named 'Nothing=1'");
}

TEST(CutOutcome, OnlyCuttingFinishedIsNotAProblem) {
    EXPECT_FALSE(IsCutterFailureMessage("Cutting finished"));
    for (const char *message : {"input file does not exist", "Unknown file format", "sorry no mpeg header found",
                                "fatal error", "fatal error! start beyond EOF"})
        EXPECT_TRUE(IsCutterFailureMessage(message)) << message;
}

TEST(CutOutcome, GroupStartFoundAtOrAfterTheHead) {
    const std::string head("\x00\x00\x01\xB3head\x00\x00\x01\xB8", 12);
    std::istringstream in(head + "payload" + std::string("\x00\x00\x01\xB8", 4) + "more");
    EXPECT_EQ(FindGroupStart(in, 0), 8u);
    in.clear();
    EXPECT_EQ(FindGroupStart(in, 9), 19u);
    in.clear();
    EXPECT_EQ(FindGroupStart(in, 20), std::nullopt);
    std::istringstream shorter("abc");
    EXPECT_EQ(FindGroupStart(shorter, 10), std::nullopt);
}

TEST(CutOutcome, GroupStartSplitAcrossReadBlocksIsFound) {
    // The reads take 64 KiB at a time: put the code across the first border.
    for (size_t at : {65533u, 65534u, 65535u, 65536u, 200000u}) {
        std::string bytes(at + 10, 'x');
        bytes.replace(at, 4, std::string("\x00\x00\x01\xB8", 4));
        std::istringstream in(bytes);
        EXPECT_EQ(FindGroupStart(in, 0), at) << at;
    }
}

TEST(CutOutcome, JudgedFromStatusMessagesHeadAndOutput) {
    CutFacts good;
    good.messages = {"Cutting finished"};
    good.head_size = 12;
    good.output_exists = true;
    good.cut_part = 12;
    EXPECT_TRUE(JudgeCut(good).ok);

    CutFacts failed = good;
    failed.call_failed = true;
    failed.call_error = "error 11: Division by zero";
    EXPECT_EQ(JudgeCut(failed).reason, "the cut failed: error 11: Division by zero");

    CutFacts said = good;
    said.messages = {"input file does not exist", "fatal error! start beyond EOF", "Cutting finished"};
    EXPECT_EQ(JudgeCut(said).reason, "the cutter says: input file does not exist");

    CutFacts headless = good;
    headless.head_size = -1;
    EXPECT_FALSE(JudgeCut(headless).ok);
    EXPECT_NE(JudgeCut(headless).reason.find("no MPEG-1 sequence header"), std::string::npos);

    CutFacts missing = good;
    missing.output_exists = false;
    EXPECT_EQ(JudgeCut(missing).reason, "no output file was written");

    CutFacts head_only = good;
    head_only.cut_part.reset();
    EXPECT_NE(JudgeCut(head_only).reason.find("only the stream's head"), std::string::npos);
}

TEST(MciReplies, WhereGivesTheLastTwoNumbers) {
    const std::optional<PictureSize> size = ParseWhereReply("0 0 320 240");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 320);
    EXPECT_EQ(size->height, 240);
    EXPECT_FALSE(ParseWhereReply("0 0 320"));
    EXPECT_FALSE(ParseWhereReply("0 0 320 240 1"));
    EXPECT_FALSE(ParseWhereReply("0 0 a 240"));
    EXPECT_FALSE(ParseWhereReply("0 0 -1 240"));
    EXPECT_FALSE(ParseWhereReply(""));
}

TEST(MciReplies, FileNamesAreQuotedWhenTheyHoldBlanks) {
    EXPECT_EQ(QuoteForMci("a.mpg"), "a.mpg");
    EXPECT_EQ(QuoteForMci("my clip.mpg"), "\"my clip.mpg\"");
    EXPECT_EQ(QuoteForMci(""), "\"\"");
    EXPECT_EQ(QuoteForMci("say \"hi\".mpg"), std::nullopt);
}

TEST(Component, CandidatesInOrderWithoutRepeats) {
    EXPECT_EQ(ComponentCandidates("/opt/t/bin", "../lib", "/opt/t/lib"),
              (std::vector<std::string>{"/opt/t/bin/../lib/libtarvex10.so", "/opt/t/lib/libtarvex10.so"}));
    EXPECT_EQ(ComponentCandidates("/usr/bin", "../lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu"),
              (std::vector<std::string>{"/usr/bin/../lib/libtarvex10.so",
                                        "/usr/bin/../lib/x86_64-linux-gnu/libtarvex10.so",
                                        "/usr/lib/x86_64-linux-gnu/libtarvex10.so"}));
    EXPECT_EQ(ComponentCandidates("", "../lib", "/usr/lib"), (std::vector<std::string>{"/usr/lib/libtarvex10.so"}));
}

// Catches: an off-by-one at the largest size the 32-bit offsets reach.
TEST(InputSize, TheLargestAddressableFileIsAccepted) {
    EXPECT_EQ(InputSizeProblem(2147483647u), std::nullopt);
    EXPECT_NE(InputSizeProblem(2147483648u), std::nullopt);
}

// Catches: fields that overflow into the next ("1:75"), fractions in a field
// before the last, and a sign read as part of a time.
TEST(Times, EachWrittenFormReadsAsSecondsAndNothingElseDoes) {
    EXPECT_EQ(ParseTime("12.5"), 12.5);
    EXPECT_EQ(ParseTime(".5"), 0.5);
    EXPECT_EQ(ParseTime("90:00"), 5400); // minutes beyond an hour, without hours
    EXPECT_EQ(ParseTime("1:02.250"), 62.25);
    EXPECT_EQ(ParseTime("01:02:03.5"), 3723.5);
    EXPECT_EQ(ParseTime("2500ms"), 2.5);
    for (const char *bad : {"", "ms", "-1", "+1", "1:60", "1:2:60", "1.5:02", "1:2:3:4", "1:02ms", "1.2.3", "1e3",
                            "5.", "1,5", " 1", "1s"})
        EXPECT_EQ(ParseTime(bad), std::nullopt) << bad;
}

} // namespace
} // namespace tvx::cli
