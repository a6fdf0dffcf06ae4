#include "mciapi/mciapi.h"

#include "frame/registry.h"

namespace tvx {

MciApi::MciApi() : ObjectBase(MciApiClass()) {}

// ---- members that later builds fill in ---------------------------------------------------

int32_t MciApi::OpenDevice(std::u16string &, std::u16string &, std::u16string &, int32_t &, std::u16string &) { NotImplemented(); }
int32_t MciApi::CloseDevice(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdPlay(std::u16string &, int16_t &, int16_t &, Bool16 &) { NotImplemented(); }
int32_t MciApi::cmdStop(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdPause(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdChannels(std::u16string &, int16_t &, Bool16 &) { NotImplemented(); }
int32_t MciApi::cmdRate(std::u16string &, int16_t &) { NotImplemented(); }
int32_t MciApi::cmdTimeFormat(std::u16string &, std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdVideoOutput(std::u16string &, Bool16 &) { NotImplemented(); }
int32_t MciApi::cmdConfigure(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetCopyRight(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetName(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetProduct(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdResize(std::u16string &, int16_t &, int16_t &, int16_t &, int16_t &) { NotImplemented(); }
Variant MciApi::cmdResizeClient(std::u16string &, int16_t &, int16_t &, int16_t &, int16_t &) { NotImplemented(); }
int32_t MciApi::cmdToStart(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdToEnd(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdSeek(std::u16string &, int32_t &) { NotImplemented(); }
int32_t MciApi::cmdVolume(std::u16string &, int16_t &, int16_t &) { NotImplemented(); }
int32_t MciApi::cmdGetVolume(std::u16string &, int16_t &, int16_t &) { NotImplemented(); }
int32_t MciApi::cmdGetPosition(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetFormatTag(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetTimeFormat(std::u16string &) { NotImplemented(); }
int32_t MciApi::cmdGetLength(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetSize(std::u16string &) { NotImplemented(); }
std::u16string MciApi::cmdGetStatus(std::u16string &) { NotImplemented(); }

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
