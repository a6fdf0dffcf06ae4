#include "mciapi/mciapi.h"

#include "component/registry.h"
#include "convert/convert.h"
#include "mci/mci_channel.h"

namespace tvx {

MciApi::MciApi() : ObjectBase(MciApiClass()) {}

namespace {

constexpr size_t kErrorLength = 255;

} // namespace

// ---- recording failures and the two ways of sending ----------------------------------

std::u16string_view MciApi::Reply::Text() const {
    const std::u16string_view whole(buffer);
    return whole.substr(0, whole.find(u'\0'));
}

// The description is kept whole, NULs up to 255 characters included, so a
// client sees exactly what the platform wrote.
void MciApi::RecordMciError(int32_t code) {
    error_number_ = code;
    std::u16string text(kErrorLength, u'\0');
    MciChannel::GetErrorString(static_cast<uint32_t>(code), text, static_cast<uint32_t>(kErrorLength));
    error_text_ = std::move(text);
}

int32_t MciApi::Command(std::u16string_view command) {
    const uint32_t code = MciChannel::SendString(command, nullptr, 0);
    if (code == 0) return 0;
    RecordMciError(static_cast<int32_t>(code));
    return 1;
}

MciApi::Reply MciApi::Ask(std::u16string_view command, size_t length, uint32_t capacity) {
    Reply reply{0, std::u16string(length, u'\0')};
    reply.code = MciChannel::SendString(command, &reply.buffer, capacity);
    return reply;
}

std::u16string MciApi::TextQuery(std::u16string_view command, size_t length, uint32_t capacity) {
    const Reply reply = Ask(command, length, capacity);
    if (reply.code != 0) {
        RecordMciError(static_cast<int32_t>(reply.code));
        return std::u16string(kErrorText);
    }
    return std::u16string(reply.Text());
}

int32_t MciApi::NumberQuery(std::u16string_view command) {
    const Reply reply = Ask(command, kQueryLength, kQueryCapacity);
    if (reply.code != 0) {
        RecordMciError(static_cast<int32_t>(reply.code));
        return -1;
    }
    return convert::RoundToInt32(convert::Val(reply.Text()));
}

// ---- opening, closing, time format and length --------------------------------------------

// Every piece goes out as given: a caller that needs quotes around a file
// name with blanks writes them itself.
int32_t MciApi::OpenDevice(const std::u16string &DeviceType, const std::u16string &DeviceAlias,
                           const std::u16string &filename, const int32_t &ParentHWnd,
                           const std::u16string &WindowStyle) {
    if (Command(u"open " + filename + u" type " + DeviceType + u" alias " + DeviceAlias + u" parent " +
                convert::Decimal(ParentHWnd) + u" style " + WindowStyle) != 0)
        return 1;

    // The measurement goes through the object's own interface, as a client
    // would; each call records its own failure.
    std::u16string ms = u"ms";
    CallMember<&MciApi::cmdTimeFormat>(*this, DeviceAlias, ms);
    total_time_ = CallMember<&MciApi::cmdGetLength>(*this, DeviceAlias);
    std::u16string frames = u"frames";
    CallMember<&MciApi::cmdTimeFormat>(*this, DeviceAlias, frames);
    total_frames_ = CallMember<&MciApi::cmdGetLength>(*this, DeviceAlias);

    // Frames over seconds, in double with the inner division first. A zero
    // length cannot give a rate: 0/0 is an overflow, n/0 a division by zero;
    // the old rate stays.
    const double seconds = static_cast<double>(total_time_) / 1000.0;
    if (seconds == 0.0) Raise(total_frames_ == 0 ? kOverflow : kDivisionByZero);
    frames_per_sec_ = convert::RoundToInt32(static_cast<double>(total_frames_) / seconds);
    return 0;
}

int32_t MciApi::CloseDevice(const std::u16string &DeviceAlias) { return Command(u"close " + DeviceAlias); }

int32_t MciApi::cmdTimeFormat(const std::u16string &DeviceAlias, const std::u16string &TimeFormat) {
    return Command(u"set " + DeviceAlias + u" time format " + TimeFormat);
}

int32_t MciApi::cmdGetLength(const std::u16string &DeviceAlias) {
    return NumberQuery(u"status " + DeviceAlias + u" length");
}

// ---- the member table ---------------------------------------------------------------------

const ClassInfo &MciApiClass() {
    static const MemberInfo members[] = {
        Get<&MciApi::get_ErrorDescription>(0x68030004, u"ErrorDescription"),
        Get<&MciApi::get_ErrorNumber>(0x68030003, u"ErrorNumber"),
        Get<&MciApi::get_TotalTime>(0x68030002, u"TotalTime"),
        Get<&MciApi::get_TotalFrames>(0x68030001, u"TotalFrames"),
        Get<&MciApi::get_FramesPerSec>(0x68030000, u"FramesPerSec"),
        Method<&MciApi::OpenDevice>(0x60030006, u"OpenDevice", u"DeviceType,DeviceAlias,filename,ParentHWnd,WindowStyle"),
        Method<&MciApi::CloseDevice>(0x60030007, u"CloseDevice", u"DeviceAlias"),
        Method<&MciApi::cmdPlay>(0x60030008, u"cmdPlay", u"DeviceAlias,FromPosition,ToPosition,Fullscreen"),
        Method<&MciApi::cmdStop>(0x60030009, u"cmdStop", u"DeviceAlias"),
        Method<&MciApi::cmdPause>(0x6003000a, u"cmdPause", u"DeviceAlias"),
        Method<&MciApi::cmdChannels>(0x6003000b, u"cmdChannels", u"DeviceAlias,Channel,Value"),
        Method<&MciApi::cmdRate>(0x6003000c, u"cmdRate", u"DeviceAlias,Rate"),
        Method<&MciApi::cmdTimeFormat>(0x6003000d, u"cmdTimeFormat", u"DeviceAlias,TimeFormat"),
        Method<&MciApi::cmdVideoOutput>(0x6003000e, u"cmdVideoOutput", u"DeviceAlias,VideoOutput"),
        Method<&MciApi::cmdConfigure>(0x6003000f, u"cmdConfigure", u"DeviceAlias"),
        Method<&MciApi::cmdGetCopyRight>(0x60030010, u"cmdGetCopyRight", u"DeviceAlias"),
        Method<&MciApi::cmdGetName>(0x60030011, u"cmdGetName", u"DeviceAlias"),
        Method<&MciApi::cmdGetProduct>(0x60030012, u"cmdGetProduct", u"DeviceAlias"),
        Method<&MciApi::cmdResize>(0x60030013, u"cmdResize", u"DeviceAlias,x1,y1,x2,y2"),
        Method<&MciApi::cmdResizeClient>(0x60030014, u"cmdResizeClient", u"DeviceAlias,x1,y1,x2,y2"),
        Method<&MciApi::cmdToStart>(0x60030015, u"cmdToStart", u"DeviceAlias"),
        Method<&MciApi::cmdToEnd>(0x60030016, u"cmdToEnd", u"DeviceAlias"),
        Method<&MciApi::cmdSeek>(0x60030017, u"cmdSeek", u"DeviceAlias,SeekTo"),
        Method<&MciApi::cmdVolume>(0x60030018, u"cmdVolume", u"DeviceAlias,Channel,Factor"),
        Method<&MciApi::cmdGetVolume>(0x60030019, u"cmdGetVolume", u"DeviceAlias,Channel,Volume"),
        Method<&MciApi::cmdGetPosition>(0x6003001a, u"cmdGetPosition", u"DeviceAlias"),
        Method<&MciApi::cmdGetFormatTag>(0x6003001b, u"cmdGetFormatTag", u"DeviceAlias"),
        Method<&MciApi::cmdGetTimeFormat>(0x6003001c, u"cmdGetTimeFormat", u"DeviceAlias"),
        Method<&MciApi::cmdGetLength>(0x6003001d, u"cmdGetLength", u"DeviceAlias"),
        Method<&MciApi::cmdGetSize>(0x6003001e, u"cmdGetSize", u"DeviceAlias"),
        Method<&MciApi::cmdGetStatus>(0x6003001f, u"cmdGetStatus", u"DeviceAlias"),
    };
    static const ClassInfo info(u"clsKwVidoMciApiA", u"Tarvex10.clsKwVidoMciApiA",
                                {0x51346736, 0x94a3, 0x4dec, {0xba, 0x85, 0xa6, 0xf1, 0x0a, 0x70, 0x3d, 0x92}},
                                {0x79316c86, 0x2115, 0x4356, {0xa8, 0xa1, 0x09, 0x9d, 0xef, 0x31, 0xf1, 0xbe}},
                                members, &CreateObject<MciApi>, &DestroyObject<MciApi>);
    return info;
}

} // namespace tvx
