// The conversions that every class of the library shares.
//
//   rounding      RoundToInt32/Int16/Byte: nearest, halves to even, error 6
//                 outside the target range
//   arithmetic    CheckedAdd/Sub/Mul (int32 and int16), IntDivide: error 6
//                 on overflow, error 11 on division by zero
//   reading       Val: the text-to-number rule for device replies
//                 StrictToDouble/StrictToInt32: the strict, locale-aware
//                 conversion; error 13 for text that is not one number
//   writing       Decimal: integers in command texts; FormatNumber: the
//                 shortest text of a double that reads back the same
//   text          Mid/Left/Right/InStr (1-based, error 5 out of range),
//                 ProperCase
//   8-bit text    ToAnsi/FromAnsi (one byte per character, both ways),
//                 ToUtf8/FromUtf8
//
// Failures are thrown as tvx::RaisedError with the error number.
#ifndef TVX_CONVERT_CONVERT_H
#define TVX_CONVERT_CONVERT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvx::convert {

int32_t RoundToInt32(double value);
int16_t RoundToInt16(double value);
uint8_t RoundToByte(double value);
// Nearest integer, halves to even, no range check.
double RoundHalfEven(double value);

int32_t CheckedAdd(int32_t a, int32_t b);
int32_t CheckedSub(int32_t a, int32_t b);
int32_t CheckedMul(int32_t a, int32_t b);
int16_t CheckedAdd16(int16_t a, int16_t b);
int16_t CheckedSub16(int16_t a, int16_t b);
int16_t CheckedMul16(int16_t a, int16_t b);
// Integer division truncating toward zero; error 11 for b = 0, error 6 for
// the one quotient that leaves the range (INT32_MIN / -1).
int32_t IntDivide(int32_t a, int32_t b);

// The text-to-number rule: blanks, tabs and line feeds are skipped wherever
// they stand; the longest leading decimal number (sign, digits, point,
// digits, exponent E) is read; "&H"/"&O" read a hexadecimal or octal
// integer; no number gives 0. Error 6 when the value is not finite.
double Val(std::u16string_view text);

// What the strict conversion accepts. Plain: spaces around one number in the
// current locale's notation (sign, digits with optional grouping, decimal
// separator, digits); the members read device replies this way. Coercion:
// also an exponent, "&H"/"&O" integers and tabs as blanks, as text coerced to
// a number (arguments, variants) may be written, and as FormatNumber writes.
enum class Notation { kPlain, kCoercion };

// The strict conversion in the plain notation. Error 13 for empty or other
// text, error 6 for a number too large for a double.
double StrictToDouble(std::u16string_view text);
// StrictToDouble, then RoundToInt32 (error 6 out of range).
int32_t StrictToInt32(std::u16string_view text);
// Like StrictToDouble without throwing: nullopt for text that is not a number.
// A number too large for a double comes back as an infinity, so that callers
// can tell an overflow from a type mismatch.
[[nodiscard]] std::optional<double> TryStrictToDouble(std::u16string_view text,
                                                     Notation notation = Notation::kPlain);
// The same with the separators given explicitly instead of read from the C
// locale; an empty `thousands_sep` allows no grouping.
[[nodiscard]] std::optional<double> TryStrictToDouble(std::u16string_view text, std::u16string_view decimal_point,
                                                     std::u16string_view thousands_sep,
                                                     Notation notation = Notation::kPlain);

// Digits with a leading "-" for negative values, nothing else.
std::u16string Decimal(int64_t value);
// A double as text: integers without a point, others with the fewest digits
// that read back to the same value, "E+nn"/"E-nn" for very large or small.
std::u16string FormatNumber(double value);
// FormatNumber for a single-precision value: the fewest digits that read back
// to the same float, so 0.1f gives "0.1" rather than the double's digits.
std::u16string FormatSingle(float value);

// 1-based text operations. A start or length below its range raises error 5;
// positions past the end give the empty text (Mid) or 0 (InStr).
std::u16string_view Mid(std::u16string_view text, int32_t start);
std::u16string_view Mid(std::u16string_view text, int32_t start, int32_t length);
std::u16string_view Left(std::u16string_view text, int32_t length);
std::u16string_view Right(std::u16string_view text, int32_t length);
// Position of the first `find` in `text` at or after `start`, 0 when absent.
int32_t InStr(int32_t start, std::u16string_view text, std::u16string_view find);
int32_t InStr(std::u16string_view text, std::u16string_view find);

// Upper-cases every letter that begins a word and lower-cases the others; a
// word begins at the start and after NUL, tab, line feed, vertical tab, form
// feed, carriage return or blank.
std::u16string ProperCase(std::u16string_view text);

// One byte per character: characters above 0xFF become '?'.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view text);
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

} // namespace tvx::convert

#endif // TVX_CONVERT_CONVERT_H
