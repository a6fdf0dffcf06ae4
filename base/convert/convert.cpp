#include "convert/convert.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <locale.h>
#include <stdlib.h>

#include "error/error.h"

namespace tvx::convert {

namespace {

template <class Int> Int RoundChecked(double value) {
    if (!std::isfinite(value)) Raise(kOverflow);
    const double rounded = RoundHalfEven(value);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        Raise(kOverflow);
    return static_cast<Int>(rounded);
}

int16_t Narrow16(int32_t value) {
    if (value < INT16_MIN || value > INT16_MAX) Raise(kOverflow);
    return static_cast<int16_t>(value);
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A C locale of our own: the ASCII copies we hand to strtod always use '.',
// whatever LC_NUMERIC the host has set.
locale_t ClassicLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

double ParseAscii(const std::string &ascii) {
    return strtod_l(ascii.c_str(), nullptr, ClassicLocale());
}

// Reads the "&H"/"&O" digits of `text` from `pos` (just after the letter).
// Returns the value with the 16/32-bit sign rule; sets `pos` past the digits
// and `digits` to how many were read.
double ReadRadixInteger(std::u16string_view text, size_t &pos, int radix, size_t &digits) {
    uint64_t value = 0;
    digits = 0;
    while (pos < text.size()) {
        const int d = HexDigit(text[pos]);
        if (d < 0 || d >= radix) break;
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFu) Raise(kOverflow);
        ++digits;
        ++pos;
    }
    if (value <= 0xFFFF) return static_cast<int16_t>(static_cast<uint16_t>(value));
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// The radix letter after '&', or 0 when the text does not start a radix form.
int RadixAt(std::u16string_view text, size_t pos) {
    if (pos + 1 >= text.size() || text[pos] != u'&') return 0;
    switch (text[pos + 1]) {
    case u'H':
    case u'h': return 16;
    case u'O':
    case u'o': return 8;
    default: return 0;
    }
}

bool StartsWithAt(std::u16string_view text, size_t pos, std::u16string_view piece) {
    return !piece.empty() && text.substr(pos, piece.size()) == piece;
}

std::u16string LocaleText(const char *text) { return FromUtf8(text ? text : ""); }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The shortest round-trip digits of `value` (finite, non-zero) and the
// decimal exponent of the first digit.
template <class Real> void ShortestDigits(Real value, std::string &digits, int &exponent) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    const size_t e = text.find('e');
    digits.clear();
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9') digits.push_back(c);
    exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
}

template <class Real> std::u16string FormatReal(Real value) {
    if (std::isnan(value)) return u"NaN";
    if (std::isinf(value)) return value < 0 ? u"-Infinity" : u"Infinity";
    if (value == std::trunc(value) && std::fabs(value) <= 1e15) return Decimal(static_cast<int64_t>(value));

    std::string digits;
    int exponent = 0;
    ShortestDigits(std::fabs(value), digits, exponent);
    std::string out = value < 0 ? "-" : "";
    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const size_t whole = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= whole) {
                out += digits;
                out.append(whole - digits.size(), '0');
            } else {
                out += digits.substr(0, whole);
                out += '.';
                out += digits.substr(whole);
            }
        }
    } else {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "E-" : "E+";
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    }
    return Widen(out);
}

// Latin-1 case mapping; letters outside 0..0xFF stay as they are.
char16_t UpperLatin1(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
    return c;
}
char16_t LowerLatin1(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 0x20);
    return c;
}

bool IsWordBreak(char16_t c) {
    return c == 0 || c == u'\t' || c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r' || c == u' ';
}

void AppendUtf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string &out, uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

constexpr char16_t kReplacement = 0xFFFD;

} // namespace

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double below = std::floor(value);
    const double fraction = value - below; // exact for every double
    if (fraction < 0.5) return below;
    if (fraction > 0.5) return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

int32_t RoundToInt32(double value) { return RoundChecked<int32_t>(value); }
int16_t RoundToInt16(double value) { return RoundChecked<int16_t>(value); }
uint8_t RoundToByte(double value) { return RoundChecked<uint8_t>(value); }

int32_t CheckedAdd(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) Raise(kOverflow);
    return r;
}
int32_t CheckedSub(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) Raise(kOverflow);
    return r;
}
int32_t CheckedMul(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) Raise(kOverflow);
    return r;
}
int16_t CheckedAdd16(int16_t a, int16_t b) { return Narrow16(int32_t{a} + int32_t{b}); }
int16_t CheckedSub16(int16_t a, int16_t b) { return Narrow16(int32_t{a} - int32_t{b}); }
int16_t CheckedMul16(int16_t a, int16_t b) { return Narrow16(int32_t{a} * int32_t{b}); }

int32_t IntDivide(int32_t a, int32_t b) {
    if (b == 0) Raise(kDivisionByZero);
    if (a == INT32_MIN && b == -1) Raise(kOverflow);
    return a / b;
}

double Val(std::u16string_view text) {
    // Skipped characters may stand anywhere, even inside the number, so the
    // reading works on a copy without them.
    std::u16string s;
    s.reserve(text.size());
    for (char16_t c : text)
        if (c != u' ' && c != u'\t' && c != u'\n') s.push_back(c);

    size_t pos = 0;
    if (const int radix = RadixAt(s, 0)) {
        pos = 2;
        size_t digits = 0;
        return ReadRadixInteger(s, pos, radix, digits);
    }

    std::string ascii;
    if (pos < s.size() && (s[pos] == u'+' || s[pos] == u'-')) ascii.push_back(static_cast<char>(s[pos++]));
    size_t mantissa_digits = 0;
    while (pos < s.size() && IsDigit(s[pos])) {
        ascii.push_back(static_cast<char>(s[pos++]));
        ++mantissa_digits;
    }
    if (pos < s.size() && s[pos] == u'.') {
        ascii.push_back('.');
        ++pos;
        while (pos < s.size() && IsDigit(s[pos])) {
            ascii.push_back(static_cast<char>(s[pos++]));
            ++mantissa_digits;
        }
    }
    if (mantissa_digits == 0) return 0.0;
    if (pos < s.size() && (s[pos] == u'E' || s[pos] == u'e')) {
        size_t p = pos + 1;
        std::string exponent = "e";
        if (p < s.size() && (s[p] == u'+' || s[p] == u'-')) exponent.push_back(static_cast<char>(s[p++]));
        if (p < s.size() && IsDigit(s[p])) {
            while (p < s.size() && IsDigit(s[p])) exponent.push_back(static_cast<char>(s[p++]));
            ascii += exponent;
        }
    }
    const double value = ParseAscii(ascii);
    if (!std::isfinite(value)) Raise(kOverflow);
    return value;
}

std::optional<double> TryStrictToDouble(std::u16string_view text, std::u16string_view decimal_point,
                                        std::u16string_view thousands_sep, Notation notation) {
    const bool coercion = notation == Notation::kCoercion;
    auto blank = [coercion](char16_t c) { return coercion ? IsBlank(c) : c == u' '; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    const std::u16string_view s = text.substr(begin, end - begin);
    if (s.empty()) return std::nullopt;

    if (const int radix = coercion ? RadixAt(s, 0) : 0) {
        size_t pos = 2, digits = 0;
        double value;
        try {
            value = ReadRadixInteger(s, pos, radix, digits);
        } catch (const RaisedError &) {
            return std::numeric_limits<double>::infinity();
        }
        if (digits == 0 || pos != s.size()) return std::nullopt;
        return value;
    }

    // A separator that equals the decimal point cannot also group digits.
    const bool grouping = !thousands_sep.empty() && thousands_sep != decimal_point;
    std::string ascii;
    size_t pos = 0;
    if (s[pos] == u'+' || s[pos] == u'-') ascii.push_back(static_cast<char>(s[pos++]));
    size_t digits = 0;
    while (pos < s.size()) {
        if (IsDigit(s[pos])) {
            ascii.push_back(static_cast<char>(s[pos++]));
            ++digits;
        } else if (grouping && digits > 0 && StartsWithAt(s, pos, thousands_sep) &&
                   pos + thousands_sep.size() < s.size() && IsDigit(s[pos + thousands_sep.size()])) {
            // Grouping only between digits of the integer part.
            pos += thousands_sep.size();
        } else {
            break;
        }
    }
    if (StartsWithAt(s, pos, decimal_point)) {
        pos += decimal_point.size();
        ascii.push_back('.');
        while (pos < s.size() && IsDigit(s[pos])) {
            ascii.push_back(static_cast<char>(s[pos++]));
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (coercion && pos < s.size() && (s[pos] == u'E' || s[pos] == u'e')) {
        ++pos;
        ascii.push_back('e');
        if (pos < s.size() && (s[pos] == u'+' || s[pos] == u'-')) ascii.push_back(static_cast<char>(s[pos++]));
        size_t exponent_digits = 0;
        while (pos < s.size() && IsDigit(s[pos])) {
            ascii.push_back(static_cast<char>(s[pos++]));
            ++exponent_digits;
        }
        if (exponent_digits == 0) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    return ParseAscii(ascii);
}

std::optional<double> TryStrictToDouble(std::u16string_view text, Notation notation) {
    const lconv *conventions = localeconv();
    const std::u16string decimal_point = LocaleText(conventions->decimal_point);
    const std::u16string thousands_sep = LocaleText(conventions->thousands_sep);
    return TryStrictToDouble(text, decimal_point.empty() ? std::u16string_view(u".") : decimal_point,
                             thousands_sep, notation);
}

double StrictToDouble(std::u16string_view text) {
    const std::optional<double> value = TryStrictToDouble(text);
    if (!value) Raise(kTypeMismatch);
    if (!std::isfinite(*value)) Raise(kOverflow);
    return *value;
}

int32_t StrictToInt32(std::u16string_view text) { return RoundToInt32(StrictToDouble(text)); }

std::u16string Decimal(int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Widen(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

std::u16string FormatNumber(double value) { return FormatReal(value); }
std::u16string FormatSingle(float value) { return FormatReal(value); }

std::u16string_view Mid(std::u16string_view text, int32_t start) {
    if (start < 1) Raise(kInvalidArgument);
    const size_t first = static_cast<size_t>(start) - 1;
    return first >= text.size() ? std::u16string_view() : text.substr(first);
}

std::u16string_view Mid(std::u16string_view text, int32_t start, int32_t length) {
    if (length < 0) Raise(kInvalidArgument);
    return Mid(text, start).substr(0, static_cast<size_t>(length));
}

std::u16string_view Left(std::u16string_view text, int32_t length) {
    if (length < 0) Raise(kInvalidArgument);
    return text.substr(0, static_cast<size_t>(length));
}

std::u16string_view Right(std::u16string_view text, int32_t length) {
    if (length < 0) Raise(kInvalidArgument);
    const size_t n = std::min(text.size(), static_cast<size_t>(length));
    return text.substr(text.size() - n);
}

int32_t InStr(int32_t start, std::u16string_view text, std::u16string_view find) {
    if (start < 1) Raise(kInvalidArgument);
    const size_t first = static_cast<size_t>(start) - 1;
    if (find.empty()) return first <= text.size() ? start : 0;
    if (first >= text.size()) return 0;
    const size_t found = text.find(find, first);
    return found == std::u16string_view::npos ? 0 : static_cast<int32_t>(found + 1);
}

int32_t InStr(std::u16string_view text, std::u16string_view find) { return InStr(1, text, find); }

std::u16string ProperCase(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool word_start = true;
    for (char16_t c : text) {
        if (IsWordBreak(c)) {
            out.push_back(c);
            word_start = true;
            continue;
        }
        out.push_back(word_start ? UpperLatin1(c) : LowerLatin1(c));
        word_start = false;
    }
    return out;
}

std::string ToAnsi(std::u16string_view text) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = text[i] > 0xFF ? '?' : static_cast<char>(text[i]);
    return out;
}

std::u16string FromAnsi(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Well-formed sequences only: the second byte's range depends on the
        // lead so that overlong forms, surrogates and values past U+10FFFF
        // are rejected; an ill-formed prefix becomes one U+FFFD.
        size_t length;
        unsigned char low = 0x80, high = 0xBF;
        uint32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t n = 1;
        for (; n < length && i + n < text.size(); ++n) {
            const auto b = static_cast<unsigned char>(text[i + n]);
            if (b < low || b > high) break;
            cp = (cp << 6) | (b & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (n == length) {
            AppendUtf16(out, cp);
        } else {
            out.push_back(kReplacement);
        }
        i += n;
    }
    return out;
}

} // namespace tvx::convert
