// The device queries with a reply: information texts, status items,
// position, channel volume and the destination size. Each sends one text
// with a fresh buffer of NULs and reads the reply up to its first NUL.
#include "convert/convert.h"
#include "mciapi/mciapi.h"

namespace tvx {
namespace {

constexpr size_t kInfoLength = 255;
constexpr uint32_t kInfoCapacity = 255;
constexpr size_t kProductLength = 32;
constexpr uint32_t kProductCapacity = 32;

std::u16string_view VolumeItem(int16_t channel) {
    switch (channel) {
    case 0: return u"left volume";
    case 1: return u"right volume";
    case 2: return u"volume";
    default: return u"";
    }
}

// The text before the first blank of `rest`, as an int16; `rest` moves past
// that blank. With no blank left (fewer than four numbers) the text would
// end before it starts: error 5.
int16_t TakeNumber(std::u16string_view &rest) {
    const int32_t blank = convert::InStr(rest, u" ");
    const int16_t value = convert::RoundToInt16(convert::StrictToDouble(convert::Left(rest, blank - 1)));
    rest = convert::Mid(rest, blank + 1);
    return value;
}

} // namespace

// ---- information texts -------------------------------------------------------------

std::u16string MciApi::cmdGetCopyRight(const std::u16string &DeviceAlias) {
    return TextQuery(u"info " + DeviceAlias + u" copyright", kInfoLength, kInfoCapacity);
}

std::u16string MciApi::cmdGetName(const std::u16string &DeviceAlias) {
    return TextQuery(u"info " + DeviceAlias + u" name", kInfoLength, kInfoCapacity);
}

std::u16string MciApi::cmdGetProduct(const std::u16string &DeviceAlias) {
    return TextQuery(u"info " + DeviceAlias + u" product", kProductLength, kProductCapacity);
}

// ---- status items ---------------------------------------------------------------------

std::u16string MciApi::cmdGetFormatTag(const std::u16string &DeviceAlias) {
    return TextQuery(u"status " + DeviceAlias + u" format tag", kQueryLength, kQueryCapacity);
}

std::u16string MciApi::cmdGetTimeFormat(const std::u16string &DeviceAlias) {
    return TextQuery(u"status " + DeviceAlias + u" time format", kQueryLength, kQueryCapacity);
}

std::u16string MciApi::cmdGetStatus(const std::u16string &DeviceAlias) {
    return TextQuery(u"status " + DeviceAlias + u" mode", kQueryLength, kQueryCapacity);
}

int32_t MciApi::cmdGetPosition(const std::u16string &DeviceAlias) {
    return NumberQuery(u"status " + DeviceAlias + u" position");
}

// Volume is written from whatever the buffer holds before the code counts,
// so a refused query leaves the reading of an untouched buffer: 0. A reading
// that does not fit int16 ends the call before anything is written or
// recorded.
int32_t MciApi::cmdGetVolume(const std::u16string &DeviceAlias, const int16_t &Channel, ByRef<int16_t> Volume) {
    std::u16string command = u"status " + DeviceAlias + u" ";
    command += VolumeItem(Channel);
    const Reply reply = Ask(command, kQueryLength, kQueryCapacity);
    Volume = convert::RoundToInt16(convert::Val(reply.Text()));
    if (reply.code != 0) {
        RecordMciError(static_cast<int32_t>(reply.code));
        return 1;
    }
    return 0;
}

// ---- destination size -----------------------------------------------------------------

// The reply holds four numbers separated by single blanks; the result is the
// third less the first and the fourth less the second, in int16.
std::u16string MciApi::cmdGetSize(const std::u16string &DeviceAlias) {
    const Reply reply = Ask(u"where " + DeviceAlias + u" destination", kQueryLength, kQueryCapacity);
    if (reply.code != 0) {
        RecordMciError(static_cast<int32_t>(reply.code));
        return std::u16string(kErrorText);
    }
    std::u16string_view rest = reply.Text();
    const int16_t first = TakeNumber(rest);
    const int16_t second = TakeNumber(rest);
    const int16_t third = TakeNumber(rest);
    const int16_t fourth = convert::RoundToInt16(convert::StrictToDouble(rest));
    const int16_t width = convert::CheckedSub16(third, first);
    const int16_t height = convert::CheckedSub16(fourth, second);
    return convert::Decimal(width) + u" " + convert::Decimal(height);
}

} // namespace tvx
