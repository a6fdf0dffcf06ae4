// Sound switches, volumes and the CD door: one command each. The door
// commands name the device type cdaudio and leave the movie alone.
#include "convert/convert.h"
#include "movies/movies.h"

namespace tvx {

using convert::Decimal;

Variant Movies::setAudioOff() {
    PlainCommand(u"set movie audio all off");
    return {};
}

Variant Movies::setAudioOn() {
    PlainCommand(u"set movie audio all on");
    return {};
}

Variant Movies::setLeftOff() {
    PlainCommand(u"set movie audio left off");
    return {};
}

Variant Movies::setLeftOn() {
    PlainCommand(u"set movie audio left on");
    return {};
}

Variant Movies::setRightOff() {
    PlainCommand(u"set movie audio right off");
    return {};
}

Variant Movies::setRightOn() {
    PlainCommand(u"set movie audio right on");
    return {};
}

Variant Movies::setDoorOpen() {
    PlainCommand(u"set cdaudio door open");
    return {};
}

Variant Movies::setDoorClosed() {
    PlainCommand(u"set cdaudio door closed");
    return {};
}

// Volumes go out as given, unclamped: the device decides what it accepts.
Variant Movies::setVolume(const int32_t &Value) {
    PlainCommand(u"setaudio movie volume to " + Decimal(Value));
    return {};
}

Variant Movies::setLeftVolume(const int32_t &Value) {
    PlainCommand(u"setaudio movie left volume to " + Decimal(Value));
    return {};
}

Variant Movies::setRightVolume(const int32_t &Value) {
    PlainCommand(u"setaudio movie right volume to " + Decimal(Value));
    return {};
}

int32_t Movies::getVolume() {
    BufferedQuery(u"status movie volume");
    return ReplyNumber();
}

int32_t Movies::getLeftVolume() {
    BufferedQuery(u"status movie left volume");
    return ReplyNumber();
}

// The strict conversion, unlike the other two readings: only the text before
// the first NUL counts, and it must be one number (error 13 otherwise, also
// when empty).
int32_t Movies::getRightVolume() {
    BufferedQuery(u"status movie right volume");
    const std::u16string_view reply(replyBuffer_);
    return convert::StrictToInt32(reply.substr(0, reply.find(u'\0')));
}

} // namespace tvx
