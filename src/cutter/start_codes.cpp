// Vector compares find the rare places where a 00 byte is followed by 01
// (the two last bytes of a start code prefix), 32 or 64 positions at a
// time; each such place is then tested in full. A window holds a few start
// codes per kilobyte, so nearly all the time goes to the compares.
#include "cutter/start_codes.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TVX_START_CODES_X86 1
#endif

namespace tvx::start_codes {
namespace {

bool Passes(uint8_t c, Test test, uint8_t code) {
    switch (test) {
    case Test::Any: return true;
    case Test::Equals: return c == code;
    case Test::PackOrSequence: return c == 0xBA || c == 0xB3;
    }
    return false;
}

const uint8_t *FindPortable(const uint8_t *first, const uint8_t *last, Test test, uint8_t code) {
    if (first > last) return nullptr;
    const uint8_t *s = first + 2;
    const uint8_t *const end = last + 3;
    while (s < end) {
        const auto *q = static_cast<const uint8_t *>(std::memchr(s, 1, static_cast<size_t>(end - s)));
        if (!q) return nullptr;
        if (q[-1] == 0 && q[-2] == 0 && Passes(q[1], test, code)) return q - 2;
        s = q + 1;
    }
    return nullptr;
}

#ifdef TVX_START_CODES_X86

// Bit k of `mask` set: p[k + 1] is 00 and p[k + 2] is 01.
inline const uint8_t *FirstCandidate(const uint8_t *p, uint64_t mask, Test test, uint8_t code) {
    while (mask != 0) {
        const uint8_t *q = p + __builtin_ctzll(mask);
        if (q[0] == 0 && Passes(q[3], test, code)) return q;
        mask &= mask - 1;
    }
    return nullptr;
}

inline __m128i PairAt(const uint8_t *p) {
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
    const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2));
    return _mm_and_si128(_mm_cmpeq_epi8(b1, _mm_setzero_si128()), _mm_cmpeq_epi8(b2, _mm_set1_epi8(1)));
}

const uint8_t *FindSse2(const uint8_t *p, const uint8_t *last, Test test, uint8_t code) {
    // 32 positions a round; their loads reach p + 33 <= last + 3.
    for (; last - p >= 31; p += 32) {
        const __m128i a = PairAt(p), b = PairAt(p + 16);
        const int any = _mm_movemask_epi8(_mm_or_si128(a, b));
        if (any == 0) continue;
        const uint64_t mask = static_cast<uint32_t>(_mm_movemask_epi8(a)) |
                              static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(b))) << 16;
        if (const uint8_t *q = FirstCandidate(p, mask, test, code)) return q;
    }
    return FindPortable(p, last, test, code);
}

__attribute__((target("avx2"))) inline __m256i PairAt256(const uint8_t *p) {
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
    const __m256i b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2));
    return _mm256_and_si256(_mm256_cmpeq_epi8(b1, _mm256_setzero_si256()), _mm256_cmpeq_epi8(b2, _mm256_set1_epi8(1)));
}

__attribute__((target("avx2"))) const uint8_t *FindAvx2(const uint8_t *p, const uint8_t *last, Test test,
                                                         uint8_t code) {
    // 64 positions a round; their loads reach p + 65 <= last + 3.
    for (; last - p >= 63; p += 64) {
        const __m256i a = PairAt256(p), b = PairAt256(p + 32);
        const __m256i either = _mm256_or_si256(a, b);
        if (_mm256_testz_si256(either, either)) continue;
        const uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(a)) |
                              static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(b))) << 32;
        if (const uint8_t *q = FirstCandidate(p, mask, test, code)) return q;
    }
    return FindSse2(p, last, test, code);
}

#endif

} // namespace

Isa BestIsa() {
#ifdef TVX_START_CODES_X86
    static const Isa best = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) return Isa::Avx2;
        if (__builtin_cpu_supports("sse2")) return Isa::Sse2;
        return Isa::Portable;
    }();
    return best;
#else
    return Isa::Portable;
#endif
}

const uint8_t *Find(const uint8_t *first, const uint8_t *last, Test test, uint8_t code, Isa isa) {
    switch (isa) {
#ifdef TVX_START_CODES_X86
    case Isa::Avx2: return FindAvx2(first, last, test, code);
    case Isa::Sse2: return FindSse2(first, last, test, code);
#endif
    default: return FindPortable(first, last, test, code);
    }
}

const uint8_t *Find(const uint8_t *first, const uint8_t *last, Test test, uint8_t code) {
    return Find(first, last, test, code, BestIsa());
}

} // namespace tvx::start_codes
