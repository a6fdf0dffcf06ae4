// The device commands that expect no reply. Each builds one text from the
// alias and its arguments, exactly as given, and sends it without a reply
// buffer; a refusal is recorded and turned into the failure value.
#include "convert/convert.h"
#include "mciapi/mciapi.h"

namespace tvx {
namespace {

using convert::Decimal;

bool IsTrue(Bool16 value) { return value != Bool16::False; }

// Channel 0 is left, 1 right, 2 both. Both channels, and any code outside
// the three, add no word at all.
std::u16string_view ChannelWord(int16_t channel) {
    switch (channel) {
    case 0: return u"left ";
    case 1: return u"right ";
    default: return u"";
    }
}

std::u16string_view VolumeWords(int16_t channel) {
    switch (channel) {
    case 0: return u"left volume to ";
    case 1: return u"right volume to ";
    case 2: return u"volume to ";
    default: return u"";
    }
}

} // namespace

int32_t MciApi::cmdPlay(const std::u16string &DeviceAlias, const int16_t &FromPosition, const int16_t &ToPosition,
                        const Bool16 &Fullscreen) {
    // -1 alone leaves a position out; 0 and other negatives go out as they are.
    std::u16string command = u"play " + DeviceAlias;
    if (FromPosition != -1) command += u" from " + Decimal(FromPosition);
    if (ToPosition != -1) command += u" to " + Decimal(ToPosition);
    if (IsTrue(Fullscreen)) command += u" fullscreen";
    return Command(command);
}

int32_t MciApi::cmdStop(const std::u16string &DeviceAlias) { return Command(u"stop " + DeviceAlias); }

int32_t MciApi::cmdPause(const std::u16string &DeviceAlias) { return Command(u"pause " + DeviceAlias); }

int32_t MciApi::cmdChannels(const std::u16string &DeviceAlias, const int16_t &Channel, const Bool16 &Value) {
    std::u16string command = u"set " + DeviceAlias + u" audio ";
    command += ChannelWord(Channel);
    command += IsTrue(Value) ? u"on" : u"off";
    return Command(command);
}

int32_t MciApi::cmdRate(const std::u16string &DeviceAlias, const int16_t &Rate) {
    return Command(u"set " + DeviceAlias + u" speed " + Decimal(Rate));
}

int32_t MciApi::cmdVideoOutput(const std::u16string &DeviceAlias, const Bool16 &VideoOutput) {
    return Command(u"set " + DeviceAlias + (IsTrue(VideoOutput) ? u" video on" : u" video off"));
}

int32_t MciApi::cmdConfigure(const std::u16string &DeviceAlias) { return Command(u"configure " + DeviceAlias); }

namespace {

std::u16string Rectangle(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    return Decimal(x1) + u" " + Decimal(y1) + u" " + Decimal(x2) + u" " + Decimal(y2);
}

} // namespace

int32_t MciApi::cmdResize(const std::u16string &DeviceAlias, const int16_t &x1, const int16_t &y1, const int16_t &x2,
                          const int16_t &y2) {
    return Command(u"put " + DeviceAlias + u" window at " + Rectangle(x1, y1, x2, y2));
}

Variant MciApi::cmdResizeClient(const std::u16string &DeviceAlias, const int16_t &x1, const int16_t &y1,
                                const int16_t &x2, const int16_t &y2) {
    const int32_t status = Command(u"put " + DeviceAlias + u" window client at " + Rectangle(x1, y1, x2, y2));
    return Variant::I2(static_cast<int16_t>(status));
}

int32_t MciApi::cmdToStart(const std::u16string &DeviceAlias) { return Command(u"seek " + DeviceAlias + u" to start"); }

int32_t MciApi::cmdToEnd(const std::u16string &DeviceAlias) { return Command(u"seek " + DeviceAlias + u" to end"); }

// Seconds to milliseconds; a product outside int32 fails before anything
// reaches the device.
int32_t MciApi::cmdSeek(const std::u16string &DeviceAlias, const int32_t &SeekTo) {
    const int32_t target = convert::CheckedMul(SeekTo, 1000);
    return Command(u"seek " + DeviceAlias + u" to " + Decimal(target));
}

// The factor goes out unscaled; the device judges its range.
int32_t MciApi::cmdVolume(const std::u16string &DeviceAlias, const int16_t &Channel, const int16_t &Factor) {
    std::u16string command = u"setaudio " + DeviceAlias + u" ";
    command += VolumeWords(Channel);
    command += Decimal(Factor);
    return Command(command);
}

} // namespace tvx
