// Playback and window control: one plain command per member, its code in
// Error, an Empty result.
#include <climits>

#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

using Playback = PlayerTest;

// Catches: a wrong or misspelt command, a command sent with a reply area,
// a code not recorded (or a code checked and the member failing on it).
TEST_F(Playback, EachMemberSendsItsOnePlainCommandAndRecordsTheCode) {
    struct Case {
        const char *name;
        EmptyMember member;
        std::string command;
    } cases[] = {
        {"playMovie", &_clsKwVidoMoviesA::playMovie, "play movie"},
        {"pauseMovie", &_clsKwVidoMoviesA::pauseMovie, "pause movie"},
        {"resumeMovie", &_clsKwVidoMoviesA::resumeMovie, "resume movie"},
        {"stopMovie", &_clsKwVidoMoviesA::stopMovie, "stop movie"},
        {"playFullScreen", &_clsKwVidoMoviesA::playFullScreen, "play movie fullscreen"},
        {"minimizeMovie", &_clsKwVidoMoviesA::minimizeMovie, "window movie state minimized"},
        {"hideMovie", &_clsKwVidoMoviesA::hideMovie, "window movie state hide"},
        {"showMovie", &_clsKwVidoMoviesA::showMovie, "window movie state show"},
        {"restoreMovie", &_clsKwVidoMoviesA::restoreMovie, "window movie state restore"},
        {"restoreSizeDefault", &_clsKwVidoMoviesA::restoreSizeDefault, "put movie window"},
        {"setVideoOff", &_clsKwVidoMoviesA::setVideoOff, "set all video off"},
        {"setVideoOn", &_clsKwVidoMoviesA::setVideoOn, "set all video on"},
    };
    MCIERROR code = 300;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        // A rejected command (no movie open) and then an accepted one.
        channel_.On(c.command, ++code);
        EXPECT_EQ(CallEmpty(c.member), S_OK);
        EXPECT_EQ(Commands(), std::vector<std::string>{c.command});
        EXPECT_EQ(Error(), static_cast<LONG>(code));
        ASSERT_EQ(channel_.Calls().size(), 1u);
        EXPECT_EQ(channel_.Calls()[0].capacity, 0u);
        EXPECT_EQ(channel_.Calls()[0].buffer, "0");

        channel_.On(c.command, 0);
        EXPECT_EQ(CallEmpty(c.member), S_OK);
        EXPECT_EQ(Commands().size(), 2u) << "the same command again, nothing remembered";
        EXPECT_EQ(Error(), 0);
    }
}

// Catches: numbers with a plus sign, grouping or padding, extra or missing
// blanks, the four in another order, or the caller's variables changed.
TEST_F(Playback, SizeLocateWritesTheFourNumbersInOrderWithSingleBlanks) {
    struct Case {
        LONG left, top, width, height;
        std::string command;
    } cases[] = {
        {-10, 0, 320, 240, "put movie window at -10 0 320 240"},
        {0, 0, 0, 0, "put movie window at 0 0 0 0"},
        {INT_MIN, INT_MAX, 1000000, -1, "put movie window at -2147483648 2147483647 1000000 -1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        ClearLog();
        channel_.On(c.command, 7);
        LONG left = c.left, top = c.top, width = c.width, height = c.height;
        Variant result;
        EXPECT_EQ(movie_->sizeLocateMovie(&left, &top, &width, &height, result.Put()), S_OK);
        EXPECT_EQ(result.Type(), VT_EMPTY);
        EXPECT_EQ(Commands(), std::vector<std::string>{c.command});
        EXPECT_EQ(Error(), 7);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(top, c.top);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
}

} // namespace
} // namespace tvx::testing
