// The channel's buffer contract as the library's callers see it.
#include <gtest/gtest.h>

#include "mci/mci_channel.h"
#include "support/scripted_channel.h"

namespace {

using tvx::MciChannel;
using tvx::testing::ScriptedChannel;

// Catches: writing past capacity - 1, clearing the rest of the buffer, or
// changing the buffer's length.
TEST(MciChannel, AReplyIsCutToCapacityAndTheRestOfTheBufferKept) {
    ScriptedChannel channel;
    channel.On("info d product", 0, "a long product name");
    std::u16string buffer(10, u'x');
    EXPECT_EQ(MciChannel::SendString(u"info d product", &buffer, 5), 0u);
    EXPECT_EQ(buffer, std::u16string(u"a lo\0xxxxx", 10));
}

TEST(MciChannel, CapacityZeroLeavesTheBufferAlone) {
    ScriptedChannel channel;
    channel.On("play d", 0, "ignored");
    std::u16string buffer = u"0";
    EXPECT_EQ(MciChannel::SendString(u"play d", &buffer, 0), 0u);
    EXPECT_EQ(buffer, u"0");
    EXPECT_EQ(channel.Calls().at(0).capacity, 0u);
}

// Catches: an area shorter than the capacity letting the interface write
// past the caller's buffer, or the buffer growing.
TEST(MciChannel, ACapacityLargerThanTheBufferKeepsTheBuffersLength) {
    ScriptedChannel channel;
    channel.On("status d mode", 0, "stopped");
    std::u16string buffer(3, u'\0');
    MciChannel::SendString(u"status d mode", &buffer, 254);
    EXPECT_EQ(buffer, u"sto");
}

TEST(MciChannel, CodesComeBackUnchangedAndCommandsGoOutAsUtf8) {
    ScriptedChannel channel;
    channel.On("open \"caf\xC3\xA9.mpg\" alias m", 275);
    EXPECT_EQ(MciChannel::SendString(u"open \"caf\u00e9.mpg\" alias m", nullptr, 0), 275u);
    ASSERT_EQ(channel.Calls().size(), 1u);
    EXPECT_FALSE(channel.Calls()[0].has_buffer);
}

// Catches: characters outside one byte changing the length of the area.
// The buffer goes out one byte per character and comes back whole, so such
// characters come back as question marks.
TEST(MciChannel, WideCharactersInTheAreaBecomeQuestionMarks) {
    ScriptedChannel channel;
    channel.On("status d mode", 0, "a");
    std::u16string buffer = u"\u4e2d\u6587xy";
    MciChannel::SendString(u"status d mode", &buffer, 2);
    EXPECT_EQ(buffer, std::u16string(u"a\0xy", 4));
    EXPECT_EQ(channel.Calls().back().buffer.substr(0, 2), "??");
}

// Catches: a command with a NUL inside going out cut at the NUL, where it
// could reach another device than the one named.
TEST(MciChannel, ACommandWithANulInsideIsRefusedAndNotSent) {
    ScriptedChannel channel;
    std::u16string reply(8, u'x');
    EXPECT_EQ(MciChannel::SendString(std::u16string_view(u"status clip\0x length", 21), &reply, 8),
              MciChannel::kInvalidParameterValue);
    EXPECT_TRUE(channel.Calls().empty());
    EXPECT_EQ(reply, std::u16string(8, u'x'));
}

TEST(MciChannel, ErrorTextFollowsTheSameContract) {
    ScriptedChannel channel;
    channel.Describe(263, "Not open.");
    std::u16string text(12, u' ');
    MciChannel::GetErrorString(263, text, 12);
    EXPECT_EQ(text, std::u16string(u"Not open.\0  ", 12));
    std::u16string untouched(4, u' ');
    MciChannel::GetErrorString(999, untouched, 4);
    EXPECT_EQ(untouched, u"    ");
}

} // namespace
