// The search for MPEG start codes (00 00 01 and a code byte) inside the read
// window. The scanners call it on the stretch of positions that the
// byte-by-byte walk would test without a refill, so it only has to find the
// first position there; refills stay the scanners' business.
#ifndef TVX_CUTTER_START_CODES_H
#define TVX_CUTTER_START_CODES_H

#include <cstdint>

namespace tvx::start_codes {

// What the code byte after 00 00 01 must be.
enum class Test { Any, Equals, PackOrSequence };

// The ways to search, slowest first. Portable is there on every CPU; the
// others only where BestIsa says so.
enum class Isa { Portable, Sse2, Avx2 };
Isa BestIsa();

// The first p in [first, last] where 00 00 01 begins and p[3] passes `test`
// (against `code` for Equals); null when there is none. The bytes up to
// last + 3 must be readable.
const uint8_t *Find(const uint8_t *first, const uint8_t *last, Test test, uint8_t code);
// The same with a chosen way, which must be one BestIsa allows.
const uint8_t *Find(const uint8_t *first, const uint8_t *last, Test test, uint8_t code, Isa isa);

} // namespace tvx::start_codes

#endif // TVX_CUTTER_START_CODES_H
