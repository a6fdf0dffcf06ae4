// Transport, window state, size and place, video output: one plain command
// each, its code in Error.
#include "convert/convert.h"
#include "movies/movies.h"

namespace tvx {

using convert::Decimal;

// No wait flag: the call returns while the device plays on.
Variant Movies::playMovie() {
    PlainCommand(u"play movie");
    return {};
}

Variant Movies::pauseMovie() {
    PlainCommand(u"pause movie");
    return {};
}

Variant Movies::resumeMovie() {
    PlainCommand(u"resume movie");
    return {};
}

Variant Movies::stopMovie() {
    PlainCommand(u"stop movie");
    return {};
}

Variant Movies::playFullScreen() {
    PlainCommand(u"play movie fullscreen");
    return {};
}

Variant Movies::minimizeMovie() {
    PlainCommand(u"window movie state minimized");
    return {};
}

Variant Movies::hideMovie() {
    PlainCommand(u"window movie state hide");
    return {};
}

Variant Movies::showMovie() {
    PlainCommand(u"window movie state show");
    return {};
}

Variant Movies::restoreMovie() {
    PlainCommand(u"window movie state restore");
    return {};
}

// Without a rectangle the window gets its default size and place back.
Variant Movies::restoreSizeDefault() {
    PlainCommand(u"put movie window");
    return {};
}

Variant Movies::sizeLocateMovie(const int32_t &left, const int32_t &top, const int32_t &Width,
                                const int32_t &Height) {
    PlainCommand(u"put movie window at " + Decimal(left) + u" " + Decimal(top) + u" " + Decimal(Width) + u" " +
                 Decimal(Height));
    return {};
}

// "all", not "movie": the setting goes to every device of the process.
Variant Movies::setVideoOff() {
    PlainCommand(u"set all video off");
    return {};
}

Variant Movies::setVideoOn() {
    PlainCommand(u"set all video on");
    return {};
}

} // namespace tvx
