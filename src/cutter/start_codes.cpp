// Vector compares test 32 or 64 positions at a time for a whole start code
// (00 00 01 and a passing code byte); memchr for the byte 01 where there is
// no vector unit to use. The AVX2 and AVX-512 ways first test only the two
// bytes that most positions fail (01 and the code byte, or 00 01), so that
// the search costs little beside the reads that bring the bytes in.
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

__attribute__((target("avx2"))) __m256i Load256(const uint8_t *p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

// Lanes k set where the code byte p[k + 3] passes.
template <Test kTest> __attribute__((target("avx2"))) __m256i CodePasses256(const uint8_t *p, __m256i code) {
    const __m256i c = Load256(p + 3);
    if constexpr (kTest == Test::Equals) return _mm256_cmpeq_epi8(c, code);
    return _mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8(static_cast<char>(0xBA))),
                           _mm256_cmpeq_epi8(c, _mm256_set1_epi8(static_cast<char>(0xB3))));
}

// Lanes k set where p + k may begin a passing start code: its two rarest
// bytes match (the 01 and the code byte; 00 01 when any code passes).
template <Test kTest> __attribute__((target("avx2"))) __m256i Candidates256(const uint8_t *p, __m256i code) {
    const __m256i one = _mm256_cmpeq_epi8(Load256(p + 2), _mm256_set1_epi8(1));
    if constexpr (kTest == Test::Any) {
        return _mm256_and_si256(one, _mm256_cmpeq_epi8(Load256(p + 1), _mm256_setzero_si256()));
    } else {
        return _mm256_and_si256(one, CodePasses256<kTest>(p, code));
    }
}

// Bit k set: a passing start code begins at p + k, for k in 0..31.
template <Test kTest> __attribute__((target("avx2"))) uint32_t Matches256(const uint8_t *p, __m256i code) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i m = _mm256_and_si256(Candidates256<kTest>(p, code), _mm256_cmpeq_epi8(Load256(p), zero));
    if constexpr (kTest != Test::Any) m = _mm256_and_si256(m, _mm256_cmpeq_epi8(Load256(p + 1), zero));
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

template <Test kTest>
__attribute__((target("avx2"))) const uint8_t *FindAvx2(const uint8_t *p, const uint8_t *last, uint8_t code) {
    const __m256i wanted = _mm256_set1_epi8(static_cast<char>(code));
    // 64 positions a round; their loads reach p + 66 <= last + 3. The whole
    // test only runs for a round with candidates.
    for (; last - p >= 63; p += 64) {
        const __m256i any = _mm256_or_si256(Candidates256<kTest>(p, wanted), Candidates256<kTest>(p + 32, wanted));
        if (_mm256_testz_si256(any, any)) continue;
        const uint64_t mask = Matches256<kTest>(p, wanted) | uint64_t{Matches256<kTest>(p + 32, wanted)} << 32;
        if (mask != 0) return p + __builtin_ctzll(mask);
    }
    return FindSse2<kTest>(p, last, code);
}

__attribute__((target("avx512bw"))) __m512i Load512(const uint8_t *p) {
    return _mm512_loadu_si512(p);
}

// Bit k set: a passing start code begins at p + k, for k in 0..63; the
// compares that most positions fail come first, the others only run when
// some position passed them.
template <Test kTest> __attribute__((target("avx512bw"))) uint64_t Matches512(const uint8_t *p, __m512i code) {
    const __m512i zero = _mm512_setzero_si512();
    __mmask64 m = _mm512_cmpeq_epi8_mask(Load512(p + 2), _mm512_set1_epi8(1));
    if constexpr (kTest == Test::Any) m = _mm512_mask_cmpeq_epi8_mask(m, Load512(p + 1), zero);
    if constexpr (kTest == Test::Equals) m = _mm512_mask_cmpeq_epi8_mask(m, Load512(p + 3), code);
    if constexpr (kTest == Test::PackOrSequence) {
        const __m512i c = Load512(p + 3);
        m &= _mm512_cmpeq_epi8_mask(c, _mm512_set1_epi8(static_cast<char>(0xBA))) |
             _mm512_cmpeq_epi8_mask(c, _mm512_set1_epi8(static_cast<char>(0xB3)));
    }
    if (m == 0) return 0;
    m = _mm512_mask_cmpeq_epi8_mask(m, Load512(p), zero);
    if constexpr (kTest != Test::Any) m = _mm512_mask_cmpeq_epi8_mask(m, Load512(p + 1), zero);
    return m;
}

template <Test kTest>
__attribute__((target("avx512bw"))) const uint8_t *FindAvx512(const uint8_t *p, const uint8_t *last, uint8_t code) {
    const __m512i wanted = _mm512_set1_epi8(static_cast<char>(code));
    // 64 positions a round; their loads reach p + 66 <= last + 3.
    for (; last - p >= 63; p += 64) {
        const uint64_t mask = Matches512<kTest>(p, wanted);
        if (mask != 0) return p + __builtin_ctzll(mask);
    }
    return FindAvx2<kTest>(p, last, code);
}

template <Test kTest> const uint8_t *FindWith(Isa isa, const uint8_t *first, const uint8_t *last, uint8_t code) {
    switch (isa) {
    case Isa::Avx512: return FindAvx512<kTest>(first, last, code);
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
        if (__builtin_cpu_supports("avx512bw")) return Isa::Avx512;
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
