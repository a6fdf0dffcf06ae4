// Status and geometry queries: the text queries with the reply buffer's
// carry-over, the number queries with their rounding and overflow, and the
// extraction of width and height from a size reply.
#include <climits>
#include <functional>
#include <optional>

#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

using Queries = PlayerTest;
using Strings = std::vector<std::string>;

struct TextQuery {
    const char *name;
    TextMember member;
    std::string command;
};

const TextQuery kTextQueries[] = {
    {"getMovieInput", &_clsKwVidoMoviesA::getMovieInput, "status movie monitor input"},
    {"getMovieOutput", &_clsKwVidoMoviesA::getMovieOutput, "status movie monitor output"},
    {"getAudioStatus", &_clsKwVidoMoviesA::getAudioStatus, "status movie audio"},
    {"getVideoStatus", &_clsKwVidoMoviesA::getVideoStatus, "status movie video"},
    {"getTimeFormat", &_clsKwVidoMoviesA::getTimeFormat, "status movie time format"},
    {"getDeviceName", &_clsKwVidoMoviesA::getDeviceName, "info movie product"},
    {"getDeviceVersion", &_clsKwVidoMoviesA::getDeviceVersion, "info movie version"},
    {"getCurrentSize", &_clsKwVidoMoviesA::getCurrentSize, "where movie destination max"},
    {"getDefaultSize", &_clsKwVidoMoviesA::getDefaultSize, "where movie source"},
};

// Catches: a result cut at the NUL or trimmed, a buffer cleared between
// queries (the earlier reply's tail must follow the NUL), a wrong command,
// or a code not recorded.
TEST_F(Queries, TextQueriesReturnTheWholeBufferWithTheEarlierTail) {
    std::u16string model = kFreshBuffer;
    const char *replies[] = {"a reply of some length", "short", "", "mpegvideo 1.0 (build 7)"};
    MCIERROR code = 400;
    for (const TextQuery &q : kTextQueries) {
        for (const char *reply : replies) {
            SCOPED_TRACE(std::string(q.name) + " \"" + reply + "\"");
            ClearLog();
            channel_.On(q.command, ++code, reply);
            model = Overwritten(model, reply);
            std::u16string text;
            EXPECT_EQ(CallText(q.member, text), S_OK);
            EXPECT_EQ(text, model);
            EXPECT_EQ(Commands(), Strings{q.command});
            EXPECT_EQ(channel_.Calls()[0].capacity, 128u);
            EXPECT_EQ(Error(), static_cast<LONG>(code));
        }
    }
}

// Catches: a failed query that clears the buffer (or resets a number)
// instead of keeping what was there.
TEST_F(Queries, AFailedTextQueryReturnsTheEarlierReply) {
    for (const TextQuery &q : kTextQueries) {
        SCOPED_TRACE(q.name);
        NewPlayer();
        channel_.On(q.command, 263);
        std::u16string text;
        EXPECT_EQ(CallText(q.member, text), S_OK);
        EXPECT_EQ(text, kFreshBuffer);
        EXPECT_EQ(Error(), 263);
    }
    NewPlayer();
    channel_.On("status movie audio", 0, "on");
    channel_.On("status movie monitor input", 263);
    std::u16string text;
    ASSERT_EQ(CallText(&_clsKwVidoMoviesA::getAudioStatus, text), S_OK);
    EXPECT_EQ(CallText(&_clsKwVidoMoviesA::getMovieInput, text), S_OK);
    EXPECT_EQ(text, Overwritten(kFreshBuffer, "on"));
    EXPECT_EQ(Error(), 263);

    NewPlayer();
    channel_.On("status movie speed", 263);
    LONG rate;
    EXPECT_EQ(CallNumber(&_clsKwVidoMoviesA::getRate, rate), S_OK);
    EXPECT_EQ(rate, 0);
}

// ---- number queries --------------------------------------------------------------------

// Catches: the frame rate not divided (or rounded instead of truncated),
// the nominal rate divided, rounding other than halves-to-even, NULs
// skipped so that an earlier reply's digits join the number, or overflow
// wrapped instead of failing with result 0.
TEST_F(Queries, NumberQueriesReadRoundAndDivideAsEachOneSays) {
    struct Case {
        const char *reply;
        HRESULT status;
        LONG nominal, per_second, rate;
    } cases[] = {
        {"29970", S_OK, 29970, 29, 29970},
        {"25000", S_OK, 25000, 25, 25000},
        {"999", S_OK, 999, 0, 999},
        {"1000.5", S_OK, 1000, 1, 1000},
        {"1001.5", S_OK, 1002, 1, 1002},
        {"1999.5", S_OK, 2000, 2, 2000},
        {"-1500", S_OK, -1500, -1, -1500},
        {"2 9 9 7 0", S_OK, 29970, 29, 29970},
        {"30 fps", S_OK, 30, 0, 30},
        {"&H3E8", S_OK, 1000, 1, 1000},
        {"5", S_OK, 5, 0, 5}, // behind the NUL stands the tail of the longer reply before
        {"", S_OK, 0, 0, 0},
        {"2147483647.5", kOverflowStatus, 0, 0, 0},
        {"-3e10", kOverflowStatus, 0, 0, 0},
    };
    struct Member {
        const char *name;
        NumberMember member;
        std::string command;
        LONG Case::*expected;
    } members[] = {
        {"getNominalFrameRate", &_clsKwVidoMoviesA::getNominalFrameRate, "status movie nominal frame rate wait",
         &Case::nominal},
        {"getFramePerSecRate", &_clsKwVidoMoviesA::getFramePerSecRate, "status movie frame rate",
         &Case::per_second},
        {"getRate", &_clsKwVidoMoviesA::getRate, "status movie speed", &Case::rate},
    };
    for (const Member &m : members) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(m.name) + " " + c.reply);
            NewPlayer();
            channel_.On(m.command, 0, "123456789");
            LONG value;
            ASSERT_EQ(CallNumber(m.member, value), S_OK);
            ClearLog();
            channel_.On(m.command, 19, c.reply);
            EXPECT_EQ(CallNumber(m.member, value), c.status);
            EXPECT_EQ(value, c.*m.expected);
            EXPECT_EQ(Commands(), Strings{m.command});
            EXPECT_EQ(Error(), 19);
        }
    }
}

// Catches: bits per pixel rounded or returned in another type.
TEST_F(Queries, BitsPerPixelIsAnUnroundedDouble) {
    struct Case {
        const char *reply;
        double value;
    } cases[] = {{"24", 24.0}, {"23.5", 23.5}, {"", 0.0}, {"1e300", 1e300}, {"-0.25 bits", -0.25}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply);
        channel_.On("status movie bitsperpel", 3, c.reply);
        Variant result;
        EXPECT_EQ(movie_->getBitsPerPixel(result.Put()), S_OK);
        ASSERT_EQ(result.Type(), VT_R8);
        EXPECT_EQ(V_R8(&result), c.value);
        EXPECT_EQ(Error(), 3);
    }
}

// ---- size extraction -----------------------------------------------------------------

struct SizeCase {
    const char *name;
    std::vector<const char *> replies; // the last one counts; null: no reply written
    LONG width, height;                // kKept: the caller's value stays
};
constexpr LONG kKept = -77;

const SizeCase kSizes[] = {
    {"four numbers", {"0 0 640 480"}, 640, 480},
    {"reply with three-digit numbers", {"0 0 352 288"}, 352, 288},
    {"other corner", {"12 34 320 240"}, 320, 240},
    {"rounded", {"0 0 351.5 287.5"}, 352, 288},
    {"three numbers", {"0 0 352"}, 0, kKept},
    {"three after four", {"0 0 640 480", "0 0 352"}, 0, kKept},
    {"no blank", {"640x480"}, 0, kKept},
    {"empty reply", {""}, 0, kKept},
    {"failed query on a fresh object", {nullptr}, 0, kKept},
    // The second search finds nothing, so the whole reply is the rest.
    {"two numbers", {"640 480"}, 640, 480},
    // Not cut at the NUL: a blank in the earlier reply's tail is found.
    {"stale blank behind the NUL", {"1 2 3 4 5 6 7 8", "0 0 352"}, 352, 678},
    {"width out of range", {"0 0 3000000000 480"}, kKept, 480},
    {"height out of range", {"0 0 640 3000000000"}, 640, kKept},
};

// Catches: wLeft or wTop written, a failed statement ending the member (or
// leaving its failure behind), the height taken from the wrong position,
// the buffer cut at its NUL, or the wrong query.
TEST_F(Queries, ExtractSizeSplitsTheReplyStatementByStatement) {
    struct Extractor {
        const char *name;
        std::string command;
        std::function<HRESULT(LONG &, LONG &, LONG &, LONG &)> call;
    } extractors[] = {
        {"extractCurrentMovieSize", "where movie destination max",
         [&](LONG &l, LONG &t, LONG &w, LONG &h) {
             Variant result = Variant::I4(1);
             HRESULT status = movie_->extractCurrentMovieSize(&l, &t, &w, &h, result.Put());
             EXPECT_EQ(result.Type(), VT_EMPTY);
             return status;
         }},
        {"extractDefaultMovieSize", "where movie source",
         [&](LONG &, LONG &, LONG &w, LONG &h) {
             Variant result = Variant::I4(1);
             HRESULT status = movie_->extractDefaultMovieSize(&w, &h, result.Put());
             EXPECT_EQ(result.Type(), VT_EMPTY);
             return status;
         }},
    };
    for (const Extractor &e : extractors) {
        for (const SizeCase &c : kSizes) {
            SCOPED_TRACE(std::string(e.name) + ": " + c.name);
            NewPlayer();
            LONG left = 7, top = 9, width = kKept, height = kKept;
            for (const char *reply : c.replies) {
                channel_.On(e.command, 55, reply ? std::optional<std::string>(reply) : std::nullopt);
                width = height = kKept;
                EXPECT_EQ(e.call(left, top, width, height), S_OK);
            }
            EXPECT_EQ(width, c.width);
            EXPECT_EQ(height, c.height);
            EXPECT_EQ(left, 7);
            EXPECT_EQ(top, 9);
            EXPECT_EQ(Commands(), Strings(c.replies.size(), e.command));
            ComPtr<IErrorInfo> info;
            EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE) << "skipped failures leave no error behind";
            EXPECT_EQ(Error(), 55);
        }
    }
}

} // namespace
} // namespace tvx::testing
