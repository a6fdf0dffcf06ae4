// Field decoders on hand-made bytes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mpeg1/mpeg1.h"

namespace tvx::mpeg1 {
namespace {

// Catches: time code fields read from the wrong bits, or the marker bit
// taken as part of the minutes.
TEST(Mpeg1Fields, TimeCodeBitsLandInTheirFields) {
    const uint8_t bytes[] = {0x04, 0x28, 0x66, 0x00}; // 1 h 2 min 3 s, picture 12
    TimeCode t = DecodeTimeCode(bytes);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.pictures, 12);
    const uint8_t all[] = {0xFF, 0xFF, 0xFF, 0xFF};
    t = DecodeTimeCode(all);
    EXPECT_TRUE(t.drop_frame);
    EXPECT_EQ(t.hours, 31);
    EXPECT_EQ(t.minutes, 63);
    EXPECT_EQ(t.seconds, 63);
    EXPECT_EQ(t.pictures, 63);
    EXPECT_TRUE(t.closed_gop && t.broken_link);
}

// Catches: a shift in 32 bits that drops bit 32 or the low bit.
TEST(Mpeg1Fields, TimeStampsUseAll33Bits) {
    const uint8_t one_second[] = {0x21, 0x00, 0x05, 0xBF, 0x21};
    EXPECT_EQ(DecodeTimeStamp(one_second), 90000u);
    const uint8_t zero[] = {0x21, 0x00, 0x01, 0x00, 0x01};
    EXPECT_EQ(DecodeTimeStamp(zero), 0u);
    const uint8_t top[] = {0x2F, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(DecodeTimeStamp(top), (uint64_t(1) << 33) - 1);
    const uint8_t bit32[] = {0x29, 0x00, 0x01, 0x00, 0x01};
    EXPECT_EQ(DecodeTimeStamp(bit32), uint64_t(1) << 32);
}

TEST(Mpeg1Fields, SequenceHeaderSizeRateAndBitRate) {
    // 352 x 288, aspect 1, rate code 3 (25 fps), bit rate 2875 (1150 kbit/s).
    const uint8_t bytes[] = {0x16, 0x01, 0x20, 0x13, 0x00, 0x2C, 0xF8 | 0x20, 0x00};
    SequenceHeader h = DecodeSequenceHeader(bytes);
    EXPECT_EQ(h.horizontal_size, 352);
    EXPECT_EQ(h.vertical_size, 288);
    EXPECT_EQ(h.pel_aspect_ratio, 1);
    EXPECT_EQ(h.picture_rate, 3);
    EXPECT_EQ(h.bit_rate, (0x00u << 10) | (0x2Cu << 2) | 3u);
    EXPECT_EQ(FrameRateOfCode(3), 25.0);
    EXPECT_DOUBLE_EQ(*FrameRateOfCode(4), 30000.0 / 1001);
    EXPECT_FALSE(FrameRateOfCode(0));
    EXPECT_FALSE(FrameRateOfCode(9));
}

// Catches: a prefix after a run of zeros skipped by the three-byte stride, or
// one whose code byte lies past the end reported as found.
TEST(Mpeg1Search, StartCodesAfterZerosAndAtTheEnd) {
    const uint8_t bytes[] = {0x47, 0x00, 0x00, 0x00, 0x00, 0x01, 0xB8, 0xFF, 0x00, 0x00, 0x01, 0xB3, 0x00, 0x00, 0x01};
    EXPECT_EQ(FindStartCode(bytes, 0), 3u);
    EXPECT_EQ(FindStartCode(bytes, 4), 8u);
    EXPECT_EQ(FindStartCode(bytes, 9), kNoStartCode);
    EXPECT_EQ(FindStartCode(std::span(bytes, 11), 4), kNoStartCode);
}

// Catches: the search from one 01 byte to the next (at run time) finding
// another prefix than the byte-by-byte search would, in bytes dense with
// the values that make or break a prefix.
TEST(Mpeg1Search, EveryStartCodeIsFoundInOrder) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(random() % 64);
        for (uint8_t &byte : bytes) byte = "\x00\x00\x00\x01\x02\xB3"[random() % 6];
        for (size_t from = 0; from <= bytes.size(); ++from) {
            size_t expected = kNoStartCode;
            for (size_t p = from; p + 3 < bytes.size() && expected == kNoStartCode; ++p)
                if (bytes[p] == 0 && bytes[p + 1] == 0 && bytes[p + 2] == 1) expected = p;
            ASSERT_EQ(FindStartCode(bytes, from), expected) << "from " << from << " in round " << round;
        }
    }
}

// Catches: a packet with both time stamps read from the wrong place, and the
// later standard's packet header taken for data.
TEST(Mpeg1Fields, PacketFieldsAfterStuffingAndBufferSize) {
    const uint8_t both[] = {0xFF, 0xFF, 0x60, 0x2E, 0x31, 0x00, 0x03, 0x00, 0x01, 0x11, 0x00, 0x01, 0x00, 0x01, 0xAA};
    const PacketFields a = DecodePacketFields(both);
    EXPECT_EQ(a.data, 14u);
    EXPECT_EQ(a.pts, 1u << 15);
    EXPECT_FALSE(a.mpeg2);
    const uint8_t none[] = {0x0F, 0xAA};
    EXPECT_EQ(DecodePacketFields(none).data, 1u);
    EXPECT_FALSE(DecodePacketFields(none).pts);
    const uint8_t later[] = {0x81, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01};
    EXPECT_TRUE(DecodePacketFields(later).mpeg2);
    EXPECT_EQ(DecodePacketFields(later).data, sizeof later);
}

} // namespace
} // namespace tvx::mpeg1
