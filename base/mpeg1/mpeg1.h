// Pure decoders of MPEG-1 fields (systems and video layers) and the start
// code search, shared by the cutter, the media control stand-in's probe and
// the command's stream reader. They take the bytes that
// follow a start code and check nothing: marker bits and reserved prefixes
// are passed over, as readers of real streams must.
#ifndef TVX_MPEG1_MPEG1_H
#define TVX_MPEG1_MPEG1_H

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <optional>
#include <span>

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

// Where the next start code prefix 00 00 01 begins, at or after `from`, with
// its code byte inside `b`; kNoStartCode when there is none. Every prefix
// ends in the byte 01, so the search goes from one such byte to the next
// with memchr, which also crosses long runs of zeros (padding, holes) at
// once. A byte above 1 rules out a prefix at its own place and the two
// before it, which the compile-time form uses instead.
inline constexpr size_t kNoStartCode = static_cast<size_t>(-1);
constexpr size_t FindStartCode(std::span<const uint8_t> b, size_t from) {
    if (!std::is_constant_evaluated()) {
        const uint8_t *data = b.data();
        const size_t n = b.size();
        // The 01 of a prefix at p lies at p + 2; its code byte, at p + 3, must be in `b`.
        for (size_t q = from + 2; q + 1 < n; ++q) {
            const void *one = std::memchr(data + q, 1, n - 1 - q);
            if (!one) break;
            q = static_cast<size_t>(static_cast<const uint8_t *>(one) - data);
            if (data[q - 1] == 0 && data[q - 2] == 0) return q - 2;
        }
        return kNoStartCode;
    }
    for (size_t p = from; p + 3 < b.size(); ++p) {
        if (b[p + 2] > 1) {
            p += 2;
            continue;
        }
        if (b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1) return p;
    }
    return kNoStartCode;
}

// The fields of a system stream packet's header between its length and its
// data: stuffing bytes, the buffer size, and a presentation time stamp (with
// or without a decoding time stamp) or the 0x0F of a packet without one.
struct PacketFields {
    size_t data = 0;             // where the packet's data starts in the bytes given
    std::optional<uint64_t> pts; // 90 kHz ticks
    bool mpeg2 = false;          // the later standard's packet header ('10' bits)
};
// `b` from just after the length field to the end of the packet (or of what
// is at hand of it).
constexpr PacketFields DecodePacketFields(std::span<const uint8_t> b) {
    PacketFields fields;
    size_t q = 0;
    const size_t end = b.size();
    while (q < end && b[q] == 0xFF) ++q;          // stuffing
    if (q < end && (b[q] & 0xC0) == 0x40) q += 2; // buffer scale and size
    if (q < end) {
        if ((b[q] & 0xF0) == 0x20 && q + 5 <= end) {
            fields.pts = DecodeTimeStamp(&b[q]);
            q += 5;
        } else if ((b[q] & 0xF0) == 0x30 && q + 10 <= end) {
            fields.pts = DecodeTimeStamp(&b[q]);
            q += 10;
        } else if (b[q] == 0x0F) {
            q += 1;
        } else if ((b[q] & 0xC0) == 0x80) {
            fields.mpeg2 = true;
            q = end;
        }
    }
    fields.data = q < end ? q : end;
    return fields;
}

// The mux rate of an MPEG-1 pack header (the three bytes after its clock
// reference), in units of 50 bytes per second.
constexpr uint32_t DecodeMuxRate(const uint8_t *b) {
    return ((uint32_t(b[0]) & 0x7F) << 15) | (uint32_t(b[1]) << 7) | (b[2] >> 1);
}

// A time code as a picture number. Time codes count whole seconds of the
// rounded rate (30 for 30000/1001); drop-frame codes of the 1001 rates skip
// two (or four) numbers at each minute but every tenth.
constexpr int64_t TimeCodePicture(const TimeCode &tc, int rate_code) {
    constexpr std::array<int, 9> rounded = {0, 24, 24, 25, 30, 30, 50, 60, 60};
    const int64_t base = rate_code >= 1 && rate_code <= 8 ? rounded[static_cast<size_t>(rate_code)] : 0;
    const int64_t minutes = int64_t{tc.hours} * 60 + tc.minutes;
    int64_t picture = (minutes * 60 + tc.seconds) * base + tc.pictures;
    if (tc.drop_frame && (rate_code == 4 || rate_code == 7)) picture -= (rate_code == 4 ? 2 : 4) * (minutes - minutes / 10);
    return picture;
}

// The four bytes of an audio frame header (ISO/IEC 11172-3, and the half
// rates of 13818-3): nullopt when they are no valid header.
struct AudioHeader {
    int version;         // 1 for MPEG-1, 2 for MPEG-2 half rates, 25 for the quarter rates
    int layer;           // 1, 2 or 3
    int sample_rate;     // Hz
    int bit_rate;        // bit/s; 0 for the free format
    int mode;            // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    constexpr int Channels() const { return mode == 3 ? 1 : 2; }
};
constexpr std::optional<AudioHeader> DecodeAudioHeader(const uint8_t *b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    const int version_bits = (b[1] >> 3) & 3, layer_bits = (b[1] >> 1) & 3;
    const int rate_index = b[2] >> 4, frequency_index = (b[2] >> 2) & 3;
    if (version_bits == 1 || layer_bits == 0 || rate_index == 15 || frequency_index == 3) return std::nullopt;
    const int version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
    const int layer = 4 - layer_bits;
    constexpr int kbit_v1[3][15] = {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    constexpr int kbit_v2[2][15] = {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    const int kbit = version == 1 ? kbit_v1[layer - 1][rate_index] : kbit_v2[layer == 1 ? 0 : 1][rate_index];
    constexpr int kHz[3] = {44100, 48000, 32000};
    const int divisor = version == 1 ? 1 : version == 2 ? 2 : 4;
    return AudioHeader{version, layer, kHz[frequency_index] / divisor, kbit * 1000, b[3] >> 6};
}

} // namespace tvx::mpeg1

#endif // TVX_MPEG1_MPEG1_H
