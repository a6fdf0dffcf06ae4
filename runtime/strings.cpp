// BSTR storage: a uint32 byte count, the characters, then two zero bytes, in
// one block; the BSTR points at the first character so that it can be read
// as an ordinary NUL-terminated string.
#include <cstdlib>
#include <cstring>

#include "tarvex10/platform.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
constexpr size_t kTerminator = 2;

// Largest byte count whose block still fits a uint32 prefix and size_t.
constexpr size_t kMaxBytes = UINT32_MAX - kPrefix - kTerminator;

unsigned char *BlockOf(BSTR text) { return reinterpret_cast<unsigned char *>(text) - kPrefix; }

BSTR AllocateBytes(const void *bytes, size_t count) {
    if (count > kMaxBytes) return nullptr;
    // One spare byte keeps an odd byte count followed by a whole NUL character.
    auto *block = static_cast<unsigned char *>(std::malloc(kPrefix + count + kTerminator + 1));
    if (!block) return nullptr;
    const auto length = static_cast<uint32_t>(count);
    std::memcpy(block, &length, sizeof length);
    if (bytes) {
        std::memcpy(block + kPrefix, bytes, count);
    } else {
        std::memset(block + kPrefix, 0, count);
    }
    std::memset(block + kPrefix + count, 0, kTerminator + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

} // namespace

extern "C" {

TVX_PLATFORM_API BSTR SysAllocString(const OLECHAR *text) {
    if (!text) return nullptr;
    size_t length = 0;
    while (text[length]) ++length;
    return AllocateBytes(text, length * sizeof(OLECHAR));
}

TVX_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR *text, UINT length) {
    return AllocateBytes(text, static_cast<size_t>(length) * sizeof(OLECHAR));
}

TVX_PLATFORM_API BSTR SysAllocStringByteLen(const char *bytes, UINT length) { return AllocateBytes(bytes, length); }

TVX_PLATFORM_API int SysReAllocStringLen(BSTR *target, const OLECHAR *text, UINT length) {
    if (!target) return 0;
    // Allocate before freeing: `text` may point into the old string.
    BSTR replacement = SysAllocStringLen(text, length);
    if (!replacement) return 0;
    SysFreeString(*target);
    *target = replacement;
    return 1;
}

TVX_PLATFORM_API void SysFreeString(BSTR text) {
    if (text) std::free(BlockOf(text));
}

TVX_PLATFORM_API UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    uint32_t length;
    std::memcpy(&length, BlockOf(text), sizeof length);
    return length;
}

TVX_PLATFORM_API UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

} // extern "C"
