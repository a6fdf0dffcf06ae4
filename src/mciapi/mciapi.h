// clsKwVidoMciApiA: media control commands for any device type under any
// alias that the caller names. Methods return plain success values; the
// last failure's code and description stay in the object until another
// failure replaces them.
#ifndef TVX_MCIAPI_MCIAPI_H
#define TVX_MCIAPI_MCIAPI_H

#include <string>

#include "frame/member.h"

namespace tvx {

class MciApi : public ObjectBase {
public:
    MciApi();

    std::u16string get_ErrorDescription() { return error_text_; }
    int32_t get_ErrorNumber() { return error_number_; }
    int32_t get_TotalTime() { return total_time_; }
    // Always a Variant of the int32 kind, also on a fresh object.
    Variant get_TotalFrames() { return Variant::I4(total_frames_); }
    Variant get_FramesPerSec() { return Variant::I4(frames_per_sec_); }

    int32_t OpenDevice(std::u16string &DeviceType, std::u16string &DeviceAlias, std::u16string &filename,
                       int32_t &ParentHWnd, std::u16string &WindowStyle);
    int32_t CloseDevice(std::u16string &DeviceAlias);
    int32_t cmdPlay(std::u16string &DeviceAlias, int16_t &FromPosition, int16_t &ToPosition, Bool16 &Fullscreen);
    int32_t cmdStop(std::u16string &DeviceAlias);
    int32_t cmdPause(std::u16string &DeviceAlias);
    int32_t cmdChannels(std::u16string &DeviceAlias, int16_t &Channel, Bool16 &Value);
    int32_t cmdRate(std::u16string &DeviceAlias, int16_t &Rate);
    int32_t cmdTimeFormat(std::u16string &DeviceAlias, std::u16string &TimeFormat);
    int32_t cmdVideoOutput(std::u16string &DeviceAlias, Bool16 &VideoOutput);
    int32_t cmdConfigure(std::u16string &DeviceAlias);
    std::u16string cmdGetCopyRight(std::u16string &DeviceAlias);
    std::u16string cmdGetName(std::u16string &DeviceAlias);
    std::u16string cmdGetProduct(std::u16string &DeviceAlias);
    int32_t cmdResize(std::u16string &DeviceAlias, int16_t &x1, int16_t &y1, int16_t &x2, int16_t &y2);
    Variant cmdResizeClient(std::u16string &DeviceAlias, int16_t &x1, int16_t &y1, int16_t &x2, int16_t &y2);
    int32_t cmdToStart(std::u16string &DeviceAlias);
    int32_t cmdToEnd(std::u16string &DeviceAlias);
    int32_t cmdSeek(std::u16string &DeviceAlias, int32_t &SeekTo);
    int32_t cmdVolume(std::u16string &DeviceAlias, int16_t &Channel, int16_t &Factor);
    int32_t cmdGetVolume(std::u16string &DeviceAlias, int16_t &Channel, int16_t &Volume);
    int32_t cmdGetPosition(std::u16string &DeviceAlias);
    std::u16string cmdGetFormatTag(std::u16string &DeviceAlias);
    std::u16string cmdGetTimeFormat(std::u16string &DeviceAlias);
    int32_t cmdGetLength(std::u16string &DeviceAlias);
    std::u16string cmdGetSize(std::u16string &DeviceAlias);
    std::u16string cmdGetStatus(std::u16string &DeviceAlias);

private:
    std::u16string error_text_;
    int32_t error_number_ = 0;
    int32_t total_time_ = 0;
    int32_t total_frames_ = 0;
    int32_t frames_per_sec_ = 0;
};

} // namespace tvx

#endif // TVX_MCIAPI_MCIAPI_H
