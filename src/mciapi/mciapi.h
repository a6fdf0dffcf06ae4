// clsKwVidoMciApiA: media control commands for any device type under any
// alias that the caller names. Methods return plain success values; the
// last failure's code and description stay in the object until another
// failure replaces them.
//
//   mciapi.cpp    the object, the error recorder, the two ways of sending,
//                 opening and closing with the length measurement, time
//                 format and length, and the member table
//   commands.cpp  commands without reply (play, seek, volume, window, ...)
//   queries.cpp   queries with reply (texts, status items, position,
//                 volume, destination size)
#ifndef TVX_MCIAPI_MCIAPI_H
#define TVX_MCIAPI_MCIAPI_H

#include <cstdint>
#include <string>
#include <string_view>

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

    int32_t OpenDevice(const std::u16string &DeviceType, const std::u16string &DeviceAlias,
                       const std::u16string &filename, const int32_t &ParentHWnd, const std::u16string &WindowStyle);
    int32_t CloseDevice(const std::u16string &DeviceAlias);
    int32_t cmdPlay(const std::u16string &DeviceAlias, const int16_t &FromPosition, const int16_t &ToPosition,
                    const Bool16 &Fullscreen);
    int32_t cmdStop(const std::u16string &DeviceAlias);
    int32_t cmdPause(const std::u16string &DeviceAlias);
    int32_t cmdChannels(const std::u16string &DeviceAlias, const int16_t &Channel, const Bool16 &Value);
    int32_t cmdRate(const std::u16string &DeviceAlias, const int16_t &Rate);
    int32_t cmdTimeFormat(const std::u16string &DeviceAlias, const std::u16string &TimeFormat);
    int32_t cmdVideoOutput(const std::u16string &DeviceAlias, const Bool16 &VideoOutput);
    int32_t cmdConfigure(const std::u16string &DeviceAlias);
    std::u16string cmdGetCopyRight(const std::u16string &DeviceAlias);
    std::u16string cmdGetName(const std::u16string &DeviceAlias);
    std::u16string cmdGetProduct(const std::u16string &DeviceAlias);
    int32_t cmdResize(const std::u16string &DeviceAlias, const int16_t &x1, const int16_t &y1, const int16_t &x2,
                      const int16_t &y2);
    Variant cmdResizeClient(const std::u16string &DeviceAlias, const int16_t &x1, const int16_t &y1, const int16_t &x2,
                            const int16_t &y2);
    int32_t cmdToStart(const std::u16string &DeviceAlias);
    int32_t cmdToEnd(const std::u16string &DeviceAlias);
    int32_t cmdSeek(const std::u16string &DeviceAlias, const int32_t &SeekTo);
    int32_t cmdVolume(const std::u16string &DeviceAlias, const int16_t &Channel, const int16_t &Factor);
    int32_t cmdGetVolume(const std::u16string &DeviceAlias, const int16_t &Channel, ByRef<int16_t> Volume);
    int32_t cmdGetPosition(const std::u16string &DeviceAlias);
    std::u16string cmdGetFormatTag(const std::u16string &DeviceAlias);
    std::u16string cmdGetTimeFormat(const std::u16string &DeviceAlias);
    int32_t cmdGetLength(const std::u16string &DeviceAlias);
    std::u16string cmdGetSize(const std::u16string &DeviceAlias);
    std::u16string cmdGetStatus(const std::u16string &DeviceAlias);

private:
    // A text query's result when the device refuses it.
    static constexpr std::u16string_view kErrorText = u"MCIClass_ERROR";
    // The usual query buffer, of which the channel may use one character
    // less than its length.
    static constexpr size_t kQueryLength = 255;
    static constexpr uint32_t kQueryCapacity = 254;

    // A query's outcome: the code and the whole reply buffer as it came back.
    struct Reply {
        uint32_t code;
        std::u16string buffer;
        // The reply up to, not including, the buffer's first NUL.
        std::u16string_view Text() const;
    };

    // Keeps a failed command's code and its description, 255 characters.
    void RecordMciError(int32_t code);
    // Sends `command` with no reply buffer: 0 when the device accepts it,
    // 1 after recording its refusal.
    int32_t Command(std::u16string_view command);
    // Sends `command` with a buffer of `length` NULs and `capacity`; records
    // nothing, so callers can look at the buffer first.
    static Reply Ask(std::u16string_view command, size_t length, uint32_t capacity);
    // A query whose result is the reply text, or kErrorText on failure.
    std::u16string TextQuery(std::u16string_view command, size_t length, uint32_t capacity);
    // A query whose result is the reply read as an int32, or -1 on failure.
    int32_t NumberQuery(std::u16string_view command);

    std::u16string error_text_;
    int32_t error_number_ = 0;
    int32_t total_time_ = 0;
    int32_t total_frames_ = 0;
    int32_t frames_per_sec_ = 0;
};

} // namespace tvx

#endif // TVX_MCIAPI_MCIAPI_H
