// Pure decoders of MPEG-1 fields (systems and video layers), shared by the
// cutter and the media control stand-in's probe. They take the bytes that
// follow a start code and check nothing: marker bits and reserved prefixes
// are passed over, as readers of real streams must.
#ifndef TVX_MPEG1_MPEG1_H
#define TVX_MPEG1_MPEG1_H

#include <array>
#include <cstdint>
#include <optional>

namespace tvx::mpeg1 {

// Start code prefix 00 00 01 and the code bytes that follow it.
inline constexpr uint8_t kPictureStartCode = 0x00;
inline constexpr uint8_t kSequenceHeaderCode = 0xB3;
inline constexpr uint8_t kSequenceEndCode = 0xB7;
inline constexpr uint8_t kGroupStartCode = 0xB8;
inline constexpr uint8_t kIsoEndCode = 0xB9;
inline constexpr uint8_t kPackStartCode = 0xBA;
inline constexpr uint8_t kSystemHeaderStartCode = 0xBB;
inline constexpr uint8_t kPrivateStream1 = 0xBD;
inline constexpr uint8_t kPaddingStream = 0xBE;
inline constexpr uint8_t kFirstAudioStream = 0xC0;
inline constexpr uint8_t kLastAudioStream = 0xDF;
inline constexpr uint8_t kFirstVideoStream = 0xE0;
inline constexpr uint8_t kLastVideoStream = 0xEF;

constexpr bool IsVideoStream(uint8_t code) { return code >= kFirstVideoStream && code <= kLastVideoStream; }
constexpr bool IsAudioStream(uint8_t code) { return code >= kFirstAudioStream && code <= kLastAudioStream; }
// Codes from 0xBC up name packets, which carry a 16-bit length.
constexpr bool IsPacket(uint8_t code) { return code >= 0xBC; }

inline constexpr uint32_t kClockRate = 90000; // system clock reference and time stamps

// The picture_rate table of the video layer; codes 0 and 9 to 15 are not
// frame rates.
constexpr std::optional<double> FrameRateOfCode(int code) {
    constexpr std::array<double, 9> rates = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
    if (code < 1 || code > 8) return std::nullopt;
    return rates[code];
}

// The four bytes after a sequence header start code, and the four after.
struct SequenceHeader {
    int horizontal_size;      // 12 bits
    int vertical_size;        // 12 bits
    int pel_aspect_ratio;     // 4 bits
    int picture_rate;         // 4 bits
    uint32_t bit_rate;        // 18 bits, units of 400 bit/s; 0x3FFFF is variable
};
constexpr SequenceHeader DecodeSequenceHeader(const uint8_t *b) {
    return SequenceHeader{
        (b[0] << 4) | (b[1] >> 4),                                  // horizontal_size
        ((b[1] & 0x0F) << 8) | b[2],                                // vertical_size
        b[3] >> 4,                                                  // pel_aspect_ratio
        b[3] & 0x0F,                                                // picture_rate
        (uint32_t(b[4]) << 10) | (uint32_t(b[5]) << 2) | (b[6] >> 6) // bit_rate
    };
}

// The 25-bit time code and two flags after a group start code.
struct TimeCode {
    bool drop_frame;
    int hours;    // 5 bits
    int minutes;  // 6 bits
    int seconds;  // 6 bits
    int pictures; // 6 bits
    bool closed_gop;
    bool broken_link;
};
constexpr TimeCode DecodeTimeCode(const uint8_t *b) {
    return TimeCode{
        (b[0] & 0x80) != 0,                       // drop_frame_flag
        (b[0] >> 2) & 0x1F,                       // time_code_hours
        ((b[0] & 0x03) << 4) | (b[1] >> 4),       // time_code_minutes (marker bit follows)
        ((b[1] & 0x07) << 3) | (b[2] >> 5),       // time_code_seconds
        ((b[2] & 0x1F) << 1) | (b[3] >> 7),       // time_code_pictures
        (b[3] & 0x40) != 0,                       // closed_gop
        (b[3] & 0x20) != 0,                       // broken_link
    };
}

// A 33-bit count of the 90 kHz clock in five bytes, as in presentation and
// decoding time stamps and (after the pack's '0010' prefix) the system clock
// reference. Widened before shifting so that bit 32 survives.
constexpr uint64_t DecodeTimeStamp(const uint8_t *c) {
    return (uint64_t((c[0] >> 1) & 0x07) << 30) | (uint64_t(c[1]) << 22) | (uint64_t(c[2] >> 1) << 15) |
           (uint64_t(c[3]) << 7) | uint64_t(c[4] >> 1);
}

// The mux rate of an MPEG-1 pack header (the three bytes after its clock
// reference), in units of 50 bytes per second.
constexpr uint32_t DecodeMuxRate(const uint8_t *b) {
    return ((uint32_t(b[0]) & 0x7F) << 15) | (uint32_t(b[1]) << 7) | (b[2] >> 1);
}

} // namespace tvx::mpeg1

#endif // TVX_MPEG1_MPEG1_H
