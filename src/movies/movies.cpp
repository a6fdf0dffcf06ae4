#include "movies/movies.h"

#include "ascii/ascii.h"
#include "component/registry.h"
#include "convert/convert.h"
#include "mci/mci_channel.h"

namespace tvx {

Movies::Movies() : ObjectBase(MoviesClass()), replyBuffer_(kReplyLength, u'\0') {}

void Movies::PlainCommand(std::u16string_view command) {
    std::u16string zero = u"0";
    Error = static_cast<int32_t>(MciChannel::SendString(command, &zero, 0));
}

const std::u16string &Movies::BufferedQuery(std::u16string_view command) {
    Error = static_cast<int32_t>(MciChannel::SendString(command, &replyBuffer_, kReplyLength));
    return replyBuffer_;
}

void Movies::UnrecordedCommand(std::u16string_view command) {
    std::u16string zero = u"0";
    MciChannel::SendString(command, &zero, 0);
}

int32_t Movies::ReplyNumber() const { return convert::RoundToInt32(convert::Val(replyBuffer_)); }

// ---- opening and closing --------------------------------------------------------

Variant Movies::openMovie() {
    filename = u"\"" + filename + u"\"";
    PlainCommand(u"close movie");
    PlainCommand(u"open " + filename + u" type mpegvideo alias movie");
    return {};
}

Variant Movies::openMovieWindow(const int32_t &hWnd, const std::u16string &WindowStyle) {
    filename = u"\"" + filename + u"\"";
    PlainCommand(u"close movie");
    PlainCommand(u"open " + filename + u" type mpegvideo alias movie parent " + convert::Decimal(hWnd) + u" style " +
                 WindowStyle + u" ");
    return {};
}

// "all" reaches every device of the process, not only this object's movie.
Variant Movies::closeMovie() {
    PlainCommand(u"close all");
    return {};
}

// ---- error text and mode ------------------------------------------------------------

std::u16string Movies::checkError() {
    std::u16string text(255, u' ');
    MciChannel::GetErrorString(static_cast<uint32_t>(Error), text, 255);
    return text;
}

std::u16string Movies::checkDeviceReady() { return BufferedQuery(u"status movie ready"); }

Bool16 Movies::isMoviePlaying() {
    return ToBool16(ascii::EqualFolded(convert::Left(BufferedQuery(u"status movie mode"), 7), u"playing"));
}

std::u16string Movies::getStatus() {
    return convert::ProperCase(BufferedQuery(u"status movie mode"));
}

// ---- the member table ---------------------------------------------------------------------

const ClassInfo &MoviesClass() {
    static const MemberInfo members[] = {
        Get<&Movies::get_Error>(0x40030001, u"Error"),
        Put<&Movies::put_Error>(0x40030001, u"Error"),
        Get<&Movies::get_filename>(0x40030002, u"filename"),
        Put<&Movies::put_filename>(0x40030002, u"filename"),
        Method<&Movies::stepFrames>(0x60030001, u"stepFrames", u"Value"),
        Method<&Movies::restoreSizeDefault>(0x60030002, u"restoreSizeDefault"),
        Method<&Movies::openMovie>(0x60030003, u"openMovie"),
        Method<&Movies::openMovieWindow>(0x60030004, u"openMovieWindow", u"hWnd,WindowStyle"),
        Method<&Movies::minimizeMovie>(0x60030005, u"minimizeMovie"),
        Method<&Movies::playMovie>(0x60030006, u"playMovie"),
        Method<&Movies::hideMovie>(0x60030007, u"hideMovie"),
        Method<&Movies::showMovie>(0x60030008, u"showMovie"),
        Method<&Movies::restoreMovie>(0x60030009, u"restoreMovie"),
        Method<&Movies::stopMovie>(0x6003000a, u"stopMovie"),
        Method<&Movies::extractCurrentMovieSize>(0x6003000b, u"extractCurrentMovieSize", u"wLeft,wTop,wWidth,wHeight"),
        Method<&Movies::extractDefaultMovieSize>(0x6003000c, u"extractDefaultMovieSize", u"wWidth,wHeight"),
        Method<&Movies::getBitsPerPixel>(0x6003000d, u"getBitsPerPixel"),
        Method<&Movies::getMovieInput>(0x6003000e, u"getMovieInput"),
        Method<&Movies::getMovieOutput>(0x6003000f, u"getMovieOutput"),
        Method<&Movies::getAudioStatus>(0x60030010, u"getAudioStatus"),
        Method<&Movies::sizeLocateMovie>(0x60030011, u"sizeLocateMovie", u"left,top,Width,Height"),
        Method<&Movies::isMoviePlaying>(0x60030012, u"isMoviePlaying"),
        Method<&Movies::checkError>(0x60030013, u"checkError"),
        Method<&Movies::getDeviceName>(0x60030014, u"getDeviceName"),
        Method<&Movies::getDeviceVersion>(0x60030015, u"getDeviceVersion"),
        Method<&Movies::getNominalFrameRate>(0x60030016, u"getNominalFrameRate"),
        Method<&Movies::getFramePerSecRate>(0x60030017, u"getFramePerSecRate"),
        Method<&Movies::getCurrentSize>(0x60030018, u"getCurrentSize"),
        Method<&Movies::getDefaultSize>(0x60030019, u"getDefaultSize"),
        Method<&Movies::getLengthInFrames>(0x6003001a, u"getLengthInFrames"),
        Method<&Movies::getLengthInMS>(0x6003001b, u"getLengthInMS"),
        Method<&Movies::playFullScreen>(0x6003001c, u"playFullScreen"),
        Method<&Movies::getLengthInSec>(0x6003001d, u"getLengthInSec"),
        Method<&Movies::setVideoOff>(0x6003001e, u"setVideoOff"),
        Method<&Movies::setVideoOn>(0x6003001f, u"setVideoOn"),
        Method<&Movies::pauseMovie>(0x60030020, u"pauseMovie"),
        Method<&Movies::resumeMovie>(0x60030021, u"resumeMovie"),
        Method<&Movies::getPositionInMS>(0x60030022, u"getPositionInMS"),
        Method<&Movies::getRate>(0x60030023, u"getRate"),
        Method<&Movies::getPositionInFrames>(0x60030024, u"getPositionInFrames"),
        Method<&Movies::getStatus>(0x60030025, u"getStatus"),
        Method<&Movies::closeMovie>(0x60030026, u"closeMovie"),
        Method<&Movies::getFormatPosition>(0x60030027, u"getFormatPosition"),
        Method<&Movies::getFormatLength>(0x60030028, u"getFormatLength"),
        Method<&Movies::getVolume>(0x6003002a, u"getVolume"),
        Method<&Movies::getVideoStatus>(0x6003002b, u"getVideoStatus"),
        Method<&Movies::getTimeFormat>(0x6003002c, u"getTimeFormat"),
        Method<&Movies::getLeftVolume>(0x6003002d, u"getLeftVolume"),
        Method<&Movies::getPositionInSec>(0x6003002e, u"getPositionInSec"),
        Method<&Movies::getRightVolume>(0x6003002f, u"getRightVolume"),
        Method<&Movies::setAudioOff>(0x60030030, u"setAudioOff"),
        Method<&Movies::setAudioOn>(0x60030031, u"setAudioOn"),
        Method<&Movies::setLeftOff>(0x60030032, u"setLeftOff"),
        Method<&Movies::setRightOff>(0x60030033, u"setRightOff"),
        Method<&Movies::setLeftOn>(0x60030034, u"setLeftOn"),
        Method<&Movies::setRightOn>(0x60030035, u"setRightOn"),
        Method<&Movies::setDoorOpen>(0x60030036, u"setDoorOpen"),
        Method<&Movies::setDoorClosed>(0x60030037, u"setDoorClosed"),
        Method<&Movies::setVolume>(0x60030038, u"setVolume", u"Value"),
        Method<&Movies::setPositionTo>(0x60030039, u"setPositionTo", u"Second"),
        Method<&Movies::restartMovie>(0x6003003a, u"restartMovie"),
        Method<&Movies::rewindByMS>(0x6003003b, u"rewindByMS", u"numMS"),
        Method<&Movies::rewindByFrames>(0x6003003c, u"rewindByFrames", u"numFrames"),
        Method<&Movies::rewindBySeconds>(0x6003003d, u"rewindBySeconds", u"numSec"),
        Method<&Movies::forwardByFrames>(0x6003003e, u"forwardByFrames", u"numFrames"),
        Method<&Movies::forwardByMS>(0x6003003f, u"forwardByMS", u"numMS"),
        Method<&Movies::forwardBySeconds>(0x60030040, u"forwardBySeconds", u"numSec"),
        Method<&Movies::checkDeviceReady>(0x60030041, u"checkDeviceReady"),
        Method<&Movies::setSpeed>(0x60030042, u"setSpeed", u"Value"),
        Method<&Movies::setLeftVolume>(0x60030043, u"setLeftVolume", u"Value"),
        Method<&Movies::setRightVolume>(0x60030044, u"setRightVolume", u"Value"),
        Method<&Movies::timeOut>(0x60030045, u"timeOut", u"duration"),
    };
    static const ClassInfo info(u"clsKwVidoMoviesA", u"Tarvex10.clsKwVidoMoviesA",
                                {0x96c1997b, 0x9fd6, 0x44a2, {0xa4, 0x91, 0x27, 0xc3, 0xd0, 0x31, 0x93, 0xb7}},
                                {0x33cafa0c, 0x063d, 0x4352, {0x82, 0x0c, 0x52, 0xdc, 0xdd, 0x14, 0x2d, 0xe7}},
                                members, &CreateObject<Movies>, &DestroyObject<Movies>);
    return info;
}

} // namespace tvx
