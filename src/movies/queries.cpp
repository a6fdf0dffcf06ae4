// Status, name, rates and picture size: one buffered query each, the result
// derived from the whole reply buffer (the reply, its NUL and whatever earlier
// replies left behind it).
#include "convert/convert.h"
#include "movies/movies.h"

namespace tvx {

using convert::InStr;
using convert::Left;
using convert::Mid;
using convert::RoundToInt32;
using convert::Val;

// ---- text queries ------------------------------------------------------------

std::u16string Movies::getMovieInput() {
    return BufferedQuery(u"status movie monitor input");
}

std::u16string Movies::getMovieOutput() {
    return BufferedQuery(u"status movie monitor output");
}

std::u16string Movies::getAudioStatus() {
    return BufferedQuery(u"status movie audio");
}

std::u16string Movies::getVideoStatus() {
    return BufferedQuery(u"status movie video");
}

std::u16string Movies::getTimeFormat() {
    return BufferedQuery(u"status movie time format");
}

std::u16string Movies::getDeviceName() {
    return BufferedQuery(u"info movie product");
}

std::u16string Movies::getDeviceVersion() {
    return BufferedQuery(u"info movie version");
}

std::u16string Movies::getCurrentSize() {
    return BufferedQuery(u"where movie destination max");
}

std::u16string Movies::getDefaultSize() {
    return BufferedQuery(u"where movie source");
}

// ---- number queries ----------------------------------------------------------------

// Not rounded, so it cannot overflow an integer.
Variant Movies::getBitsPerPixel() {
    BufferedQuery(u"status movie bitsperpel");
    return Variant::R8(Val(replyBuffer_));
}

// As the device gives it, in thousandths of a frame per second.
int32_t Movies::getNominalFrameRate() {
    BufferedQuery(u"status movie nominal frame rate wait");
    return ReplyNumber();
}

// Whole frames per second, truncated.
int32_t Movies::getFramePerSecRate() {
    BufferedQuery(u"status movie frame rate");
    return convert::IntDivide(ReplyNumber(), 1000);
}

int32_t Movies::getRate() {
    BufferedQuery(u"status movie speed");
    return ReplyNumber();
}

// ---- picture size ----------------------------------------------------------------------

namespace {

// Splits width and height out of a size reply "left top width height". Each
// statement that fails is skipped and leaves its target as it was: with no
// blank after the third number the height's substring starts at position 0
// (error 5) and the height keeps the caller's value.
void ExtractSize(std::u16string_view size, ByRef<int32_t> &wWidth, ByRef<int32_t> &wHeight) {
    int32_t p1 = 0, p2 = 0, p3 = 0;
    std::u16string rest;
    // At p1 = 0 the second search starts at position 1 and finds the first
    // blank again. The width is read from the third number and its blank,
    // the height from that blank on.
    SkipFailures([&] { p1 = InStr(size, u" "); }, [&] { p2 = InStr(p1 + 1, size, u" "); },
                 [&] { rest = Mid(size, p2 + 1); }, [&] { p3 = InStr(rest, u" "); },
                 [&] { wWidth = RoundToInt32(Val(Left(rest, p3))); },
                 [&] { wHeight = RoundToInt32(Val(Mid(rest, p3))); });
}

} // namespace

// wLeft and wTop are neither read nor written.
Variant Movies::extractCurrentMovieSize(const int32_t &, const int32_t &, ByRef<int32_t> wWidth,
                                        ByRef<int32_t> wHeight) {
    std::u16string size;
    SkipFailures([&] { size = CallMember<&Movies::getCurrentSize>(*this); });
    ExtractSize(size, wWidth, wHeight);
    return {};
}

Variant Movies::extractDefaultMovieSize(ByRef<int32_t> wWidth, ByRef<int32_t> wHeight) {
    std::u16string size;
    SkipFailures([&] { size = CallMember<&Movies::getDefaultSize>(*this); });
    ExtractSize(size, wWidth, wHeight);
    return {};
}

} // namespace tvx
