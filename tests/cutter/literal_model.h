// The cutter's window and scanners written the plain way, byte by byte
// through a GetByte of their own: the model that the fast scanners must
// match in every result, member value and refill.
#ifndef TVX_TESTS_CUTTER_LITERAL_MODEL_H
#define TVX_TESTS_CUTTER_LITERAL_MODEL_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tvx::testing {

struct LiteralModel {
    enum Kind { AnyCode, OneCode, PackOrSequence };

    std::vector<uint8_t> file;
    // FileSize, when it is not the file's size.
    int32_t file_size = -1;
    int32_t start = 0, end = 0;
    std::vector<uint8_t> window;
    int refills = 0;
    int16_t eof = 0;

    int32_t Size() const { return file_size >= 0 ? file_size : static_cast<int32_t>(file.size()); }
    void Refill(int32_t off) {
        window.assign(16384, 0);
        const auto bytes = static_cast<int32_t>(file.size());
        if (off < bytes) std::copy(file.begin() + off, file.begin() + std::min(bytes, off + 16384), window.begin());
        start = off;
        end = off + 16384;
        ++refills;
    }
    uint8_t Get(int32_t off) {
        if (start <= off && off < end) return window[off - start];
        Refill(off);
        return window[0];
    }
    int16_t Scan(int32_t &off, Kind kind, uint8_t code, uint8_t &mark) {
        int32_t i = off;
        if (i >= Size() - 3) return eof = 1, 0;
        for (;;) {
            if (i - start > 16368) Refill(i);
            const uint8_t b0 = Get(i), b1 = Get(i + 1), b2 = Get(i + 2);
            const uint8_t b3 = kind == AnyCode ? 0 : Get(i + 3);
            if (b0 == 0 && b1 == 0 && b2 == 1) {
                if (kind == AnyCode) return mark = Get(i + 3), off = i + 4, 1;
                if (kind == OneCode && b3 == code) return off = i + 4, 1;
                if (kind == PackOrSequence && (b3 == 0xBA || b3 == 0xB3)) return mark = b3, off = i, 1;
            }
            if (++i >= Size() - 3) return eof = 1, 0;
        }
    }
    int16_t Ensure(int32_t &off, uint8_t &mark) {
        const uint8_t b0 = Get(off), b1 = Get(off + 1), b2 = Get(off + 2);
        if (b0 != 0 || b1 != 0 || b2 != 1) return 0;
        mark = Get(off + 3);
        off += 4;
        return 1;
    }
    int16_t Backward(int32_t from, int32_t &packetstart, int32_t &packetend) {
        if (from < 1 || from > Size()) return 0;
        for (int32_t i = from; i > 0; --i) {
            uint8_t mark = 0;
            if (Ensure(i, mark)) {
                if (mark == 0xE0) {
                    packetstart = i - 4;
                    const int32_t high = Get(i);
                    packetend = 256 * high + Get(i + 1) + i + 2;
                    return packetstart <= from && from <= packetend;
                }
                i -= 4;
            }
        }
        return 0;
    }
};

} // namespace tvx::testing

#endif // TVX_TESTS_CUTTER_LITERAL_MODEL_H
