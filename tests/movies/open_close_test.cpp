// The movie player's opening and closing, error text and mode queries,
// driven through its early-bound interface against a scripted channel.
#include <gtest/gtest.h>

#include <string>

#include "component/registry.h"
#include "support/scripted_channel.h"
#include "tarvex10/tarvex10.h"

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using tvx::testing::ScriptedChannel;

class MoviePlayer : public ::testing::Test {
protected:
    MoviePlayer() : movie_(ComPtr<_clsKwVidoMoviesA>::Attach(
                        reinterpret_cast<_clsKwVidoMoviesA *>(tvx::MoviesClass().create()))) {}

    void SetFilename(std::u16string_view name) {
        Bstr value(name);
        ASSERT_EQ(movie_->put_filename(value.Get()), S_OK);
    }
    std::u16string Filename() {
        Bstr value;
        EXPECT_EQ(movie_->get_filename(value.Put()), S_OK);
        return value.Str();
    }
    LONG Error() {
        LONG value = -1;
        EXPECT_EQ(movie_->get_Error(&value), S_OK);
        return value;
    }
    void Open() {
        tvx::Variant result;
        ASSERT_EQ(movie_->openMovie(result.Put()), S_OK);
        EXPECT_EQ(result.Type(), VT_EMPTY);
    }
    std::u16string TextResult(HRESULT (_clsKwVidoMoviesA::*method)(BSTR *)) {
        Bstr value;
        EXPECT_EQ((movie_.Get()->*method)(value.Put()), S_OK);
        return value.Str();
    }

    ScriptedChannel channel_;
    ComPtr<_clsKwVidoMoviesA> movie_;
};

const std::string kOpenTail = " type mpegvideo alias movie";

// Catches: a name without quotes (paths with blanks break), quotes not kept
// in the property, or commands sent with a reply area.
TEST_F(MoviePlayer, OpenQuotesTheNameInPlaceAndSendsCloseThenOpen) {
    SetFilename(u"/tmp/my movie.mpg");
    Open();
    EXPECT_EQ(channel_.Commands(),
              (std::vector<std::string>{"close movie", "open \"/tmp/my movie.mpg\"" + kOpenTail}));
    for (const auto &call : channel_.Calls()) {
        EXPECT_EQ(call.capacity, 0u);
        EXPECT_EQ(call.buffer, "0") << "plain commands carry the one-character buffer \"0\"";
    }
    EXPECT_EQ(Filename(), u"\"/tmp/my movie.mpg\"");
}

// Catches: an open that strips or remembers quotes instead of wrapping the
// current value again.
TEST_F(MoviePlayer, EachOpenWrapsTheCurrentNameInOneMorePairOfQuotes) {
    SetFilename(u"a.mpg");
    Open();
    Open();
    EXPECT_EQ(channel_.Commands().back(), "open \"\"a.mpg\"\"" + kOpenTail);
    SetFilename(u"");
    Open();
    EXPECT_EQ(channel_.Commands().back(), "open \"\"" + kOpenTail);
}

TEST_F(MoviePlayer, OpenWindowWritesParentAndStyleAsGiven) {
    struct Case {
        LONG hwnd;
        std::u16string style;
        std::string tail;
    } cases[] = {
        {0, u"child", " parent 0 style child "},
        {-5, u"popup", " parent -5 style popup "},
        {2147483647, u"", " parent 2147483647 style  "},
        {1, u" odd  style ", " parent 1 style  odd  style  "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tail);
        SetFilename(u"m.mpg");
        channel_.ClearCalls();
        LONG hwnd = c.hwnd;
        Bstr style(c.style);
        BSTR style_raw = style.Get();
        tvx::Variant result;
        ASSERT_EQ(movie_->openMovieWindow(&hwnd, &style_raw, result.Put()), S_OK);
        EXPECT_EQ(channel_.Commands(),
                  (std::vector<std::string>{"close movie", "open \"m.mpg\"" + kOpenTail + c.tail}));
        EXPECT_EQ(hwnd, c.hwnd);
        EXPECT_EQ(style_raw, style.Get()) << "WindowStyle is not changed";
    }
}

// Catches: Error keeping the close's code, or a failed close stopping the
// open.
TEST_F(MoviePlayer, ErrorHoldsTheOpensCodeNotTheClosesCode) {
    SetFilename(u"missing.mpg");
    channel_.On("close movie", 263);
    channel_.On("open \"missing.mpg\"" + kOpenTail, 275);
    Open();
    EXPECT_EQ(Error(), 275);

    SetFilename(u"there.mpg");
    channel_.On("open \"there.mpg\"" + kOpenTail, 0);
    Open();
    EXPECT_EQ(Error(), 0) << "a failed close never shows";
}

TEST_F(MoviePlayer, CloseSendsCloseAllAndKeepsTheName) {
    SetFilename(u"x.mpg");
    tvx::Variant result;
    channel_.On("close all", 0);
    ASSERT_EQ(movie_->closeMovie(result.Put()), S_OK);
    EXPECT_EQ(channel_.Commands(), std::vector<std::string>{"close all"});
    EXPECT_EQ(Filename(), u"x.mpg");
    EXPECT_EQ(result.Type(), VT_EMPTY);
}

// Catches: trimming the description, a buffer of another length, or a
// command sent to fetch the text.
TEST_F(MoviePlayer, CheckErrorReturnsAll255CharactersWithBlanksKept) {
    channel_.Describe(263, "The device is not open.");
    ASSERT_EQ(movie_->put_Error(263), S_OK);
    std::u16string text = TextResult(&_clsKwVidoMoviesA::checkError);
    ASSERT_EQ(text.size(), 255u);
    std::u16string expected = u"The device is not open.";
    expected += u'\0';
    expected.resize(255, u' ');
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(channel_.Calls().empty());
    EXPECT_EQ(Error(), 263);

    // A code the interface does not know leaves the 255 blanks.
    ASSERT_EQ(movie_->put_Error(-7), S_OK);
    EXPECT_EQ(TextResult(&_clsKwVidoMoviesA::checkError), std::u16string(255, u' '));
}

TEST_F(MoviePlayer, IsMoviePlayingComparesTheFirstSevenCharactersIgnoringCase) {
    struct Case {
        std::string reply;
        VARIANT_BOOL expected;
    } cases[] = {{"playing", VARIANT_TRUE},  {"PLAYING", VARIANT_TRUE}, {"Playing backwards", VARIANT_TRUE},
                 {"paused", VARIANT_FALSE},  {"stopped", VARIANT_FALSE}, {"play", VARIANT_FALSE},
                 {"", VARIANT_FALSE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply);
        channel_.On("status movie mode", 0, c.reply);
        VARIANT_BOOL playing = 1;
        ASSERT_EQ(movie_->isMoviePlaying(&playing), S_OK);
        EXPECT_EQ(playing, c.expected);
    }
}

// Catches: a failed query clearing the buffer instead of keeping the
// earlier reply, so the old mode is still reported.
TEST_F(MoviePlayer, AFailedModeQueryReportsTheEarlierReply) {
    channel_.On("status movie mode", 0, "playing");
    VARIANT_BOOL playing = 0;
    ASSERT_EQ(movie_->isMoviePlaying(&playing), S_OK);
    channel_.On("status movie mode", 263);
    ASSERT_EQ(movie_->isMoviePlaying(&playing), S_OK);
    EXPECT_EQ(playing, VARIANT_TRUE);
    EXPECT_EQ(Error(), 263);
}

// Catches: a reply buffer that is cleared, cut at the NUL or resized between
// queries instead of carrying the earlier reply's tail.
TEST_F(MoviePlayer, TheReplyBufferCarriesOverBetweenQueries) {
    channel_.On("status movie mode", 0, "stopped");
    std::u16string first = TextResult(&_clsKwVidoMoviesA::getStatus);
    std::u16string expected_first = u"Stopped";
    expected_first.resize(128, u'\0');
    EXPECT_EQ(first, expected_first);

    channel_.On("status movie ready", 0, "true");
    std::u16string second = TextResult(&_clsKwVidoMoviesA::checkDeviceReady);
    std::u16string expected_second = std::u16string(u"true\0ed", 7);
    expected_second.resize(128, u'\0');
    EXPECT_EQ(second, expected_second);
    // The query went out with the earlier reply in its area, at capacity 128.
    const auto &call = channel_.Calls().back();
    EXPECT_EQ(call.capacity, 128u);
    EXPECT_EQ(call.buffer.substr(0, 8), std::string("stopped\0", 8));

    // Proper case starts a word after every NUL as well.
    channel_.On("status movie mode", 0, "pa");
    std::u16string status = TextResult(&_clsKwVidoMoviesA::getStatus);
    EXPECT_EQ(status.substr(0, 7), std::u16string(u"Pa\0E\0Ed", 7));
    EXPECT_EQ(status.size(), 128u);
}

TEST_F(MoviePlayer, QueriesOnAFreshObjectWithoutReplyGiveNulCharacters) {
    channel_.On("status movie ready", 276);
    EXPECT_EQ(TextResult(&_clsKwVidoMoviesA::checkDeviceReady), std::u16string(128, u'\0'));
    EXPECT_EQ(Error(), 276);
}

// Catches: objects sharing Error or filename.
TEST_F(MoviePlayer, TwoPlayersKeepTheirOwnMembers) {
    auto other = ComPtr<_clsKwVidoMoviesA>::Attach(reinterpret_cast<_clsKwVidoMoviesA *>(tvx::MoviesClass().create()));
    ASSERT_EQ(movie_->put_Error(42), S_OK);
    SetFilename(u"one.mpg");
    LONG other_error = -1;
    Bstr other_name;
    ASSERT_EQ(other->get_Error(&other_error), S_OK);
    ASSERT_EQ(other->get_filename(other_name.Put()), S_OK);
    EXPECT_EQ(other_error, 0);
    EXPECT_EQ(other_name.Str(), u"");
}

} // namespace
