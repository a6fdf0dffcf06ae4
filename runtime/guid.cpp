// Identifiers in their braced text form.
#include <cstring>

#include "tarvex10/platform.h"

namespace {

constexpr int kTextLength = 38; // "{" 8-4-4-4-12 "}"

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `text`; false when one is not a hex digit.
bool ReadHex(const OLECHAR *text, int digits, uint64_t &value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexValue(text[i]);
        if (d < 0) return false;
        value = (value << 4) | static_cast<uint64_t>(d);
    }
    return true;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID *clsid) {
    if (!clsid) return E_INVALIDARG;
    if (!text) return CO_E_CLASSSTRING;
    // Checks the characters one by one so that a short text never reads
    // past its terminating NUL.
    for (int i = 0; i <= kTextLength; ++i) {
        const OLECHAR c = text[i];
        bool fits;
        switch (i) {
        case 0: fits = c == u'{'; break;
        case 9:
        case 14:
        case 19:
        case 24: fits = c == u'-'; break;
        case 37: fits = c == u'}'; break;
        case kTextLength: fits = c == 0; break;
        default: fits = HexValue(c) >= 0; break;
        }
        if (!fits) return CO_E_CLASSSTRING;
    }
    uint64_t part = 0;
    CLSID result;
    ReadHex(text + 1, 8, part);
    result.Data1 = static_cast<uint32_t>(part);
    ReadHex(text + 10, 4, part);
    result.Data2 = static_cast<uint16_t>(part);
    ReadHex(text + 15, 4, part);
    result.Data3 = static_cast<uint16_t>(part);
    for (int i = 0; i < 2; ++i) {
        ReadHex(text + 20 + 2 * i, 2, part);
        result.Data4[i] = static_cast<uint8_t>(part);
    }
    for (int i = 0; i < 6; ++i) {
        ReadHex(text + 25 + 2 * i, 2, part);
        result.Data4[2 + i] = static_cast<uint8_t>(part);
    }
    *clsid = result;
    return S_OK;
}

TVX_PLATFORM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity) {
    if (!buffer || capacity < kTextLength + 1) return 0;
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    int at = 0;
    auto put_hex = [&](uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) buffer[at++] = kDigits[(value >> (4 * i)) & 0xF];
    };
    buffer[at++] = u'{';
    put_hex(guid.Data1, 8);
    buffer[at++] = u'-';
    put_hex(guid.Data2, 4);
    buffer[at++] = u'-';
    put_hex(guid.Data3, 4);
    buffer[at++] = u'-';
    put_hex(guid.Data4[0], 2);
    put_hex(guid.Data4[1], 2);
    buffer[at++] = u'-';
    for (int i = 2; i < 8; ++i) put_hex(guid.Data4[i], 2);
    buffer[at++] = u'}';
    buffer[at++] = 0;
    return at;
}

TVX_PLATFORM_API int IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0 ? 1 : 0; }

} // extern "C"
