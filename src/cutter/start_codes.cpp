// Vector compares test 32 or 64 positions at a time for a whole start code
// (00 00 01 and a passing code byte); memchr for the byte 01 where there is
// no vector unit to use.
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

// The whole test runs in the vector unit, so that only a real match leaves
// the loop: a start code prefix alone is common enough in video data (some
// every few hundred bytes) that a branch for each would cost more than the
// compares.

// Bit k set: a start code whose code byte passes begins at p + k, for k in
// 0..15.
template <Test kTest> unsigned Matches128(const uint8_t *p, __m128i code) {
    const auto at = [p](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + k)); };
    const __m128i zero = _mm_setzero_si128();
    __m128i m = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(at(0), zero), _mm_cmpeq_epi8(at(1), zero)),
                              _mm_cmpeq_epi8(at(2), _mm_set1_epi8(1)));
    if constexpr (kTest == Test::Equals) m = _mm_and_si128(m, _mm_cmpeq_epi8(at(3), code));
    if constexpr (kTest == Test::PackOrSequence) {
        const __m128i c = at(3);
        m = _mm_and_si128(m, _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(static_cast<char>(0xBA))),
                                          _mm_cmpeq_epi8(c, _mm_set1_epi8(static_cast<char>(0xB3)))));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}

template <Test kTest> const uint8_t *FindSse2(const uint8_t *p, const uint8_t *last, uint8_t code) {
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(code));
    // 32 positions a round; their loads reach p + 34 <= last + 3.
    for (; last - p >= 31; p += 32) {
        const uint32_t mask = Matches128<kTest>(p, wanted) | Matches128<kTest>(p + 16, wanted) << 16;
        if (mask != 0) return p + __builtin_ctz(mask);
    }
    return FindPortable(p, last, kTest, code);
}

template <Test kTest> __attribute__((target("avx2"))) uint32_t Matches256(const uint8_t *p, __m256i code) {
    const auto at = [p](int k) __attribute__((target("avx2"))) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + k));
    };
    const __m256i zero = _mm256_setzero_si256();
    __m256i m = _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(at(0), zero), _mm256_cmpeq_epi8(at(1), zero)),
                                 _mm256_cmpeq_epi8(at(2), _mm256_set1_epi8(1)));
    if constexpr (kTest == Test::Equals) m = _mm256_and_si256(m, _mm256_cmpeq_epi8(at(3), code));
    if constexpr (kTest == Test::PackOrSequence) {
        const __m256i c = at(3);
        m = _mm256_and_si256(m, _mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8(static_cast<char>(0xBA))),
                                                _mm256_cmpeq_epi8(c, _mm256_set1_epi8(static_cast<char>(0xB3)))));
    }
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

template <Test kTest>
__attribute__((target("avx2"))) const uint8_t *FindAvx2(const uint8_t *p, const uint8_t *last, uint8_t code) {
    const __m256i wanted = _mm256_set1_epi8(static_cast<char>(code));
    // 64 positions a round; their loads reach p + 66 <= last + 3.
    for (; last - p >= 63; p += 64) {
        const uint64_t mask = Matches256<kTest>(p, wanted) | uint64_t{Matches256<kTest>(p + 32, wanted)} << 32;
        if (mask != 0) return p + __builtin_ctzll(mask);
    }
    return FindSse2<kTest>(p, last, code);
}

template <Test kTest> const uint8_t *FindWith(Isa isa, const uint8_t *first, const uint8_t *last, uint8_t code) {
    switch (isa) {
    case Isa::Avx2: return FindAvx2<kTest>(first, last, code);
    case Isa::Sse2: return FindSse2<kTest>(first, last, code);
    default: return FindPortable(first, last, kTest, code);
    }
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
#ifdef TVX_START_CODES_X86
    switch (test) {
    case Test::Any: return FindWith<Test::Any>(isa, first, last, code);
    case Test::Equals: return FindWith<Test::Equals>(isa, first, last, code);
    case Test::PackOrSequence: return FindWith<Test::PackOrSequence>(isa, first, last, code);
    }
#endif
    return FindPortable(first, last, test, code);
}

const uint8_t *Find(const uint8_t *first, const uint8_t *last, Test test, uint8_t code) {
    return Find(first, last, test, code, BestIsa());
}

} // namespace tvx::start_codes
