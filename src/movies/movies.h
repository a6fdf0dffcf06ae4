// clsKwVidoMoviesA: one MPEG movie on the media control interface, always
// under the alias "movie". Every command is a fixed text; each command's
// code lands in Error. Queries share one 128-character reply buffer that
// keeps its content from one query to the next.
//
//   movies.cpp      the object, opening and closing, error text, mode
//                   queries, and the member table
//   playback.cpp    transport, window state, size and place, video on/off
//   seeking.cpp     absolute and relative moves, stepping, speed, the wait
//   queries.cpp     status, name, rates and picture size
//   time_units.cpp  length and position in ms, frames, seconds, clock text
//   clock_text.cpp  the private clock-text formatter
//   audio.cpp       sound switches, volumes, the CD door
#ifndef TVX_MOVIES_MOVIES_H
#define TVX_MOVIES_MOVIES_H

#include <string>

#include "frame/member.h"

namespace tvx {

class Movies : public ObjectBase {
public:
    static constexpr size_t kReplyLength = 128;

    Movies();

    int32_t Error = 0;
    std::u16string filename;

    int32_t get_Error() { return Error; }
    void put_Error(int32_t value) { Error = value; }
    std::u16string get_filename() { return filename; }
    void put_filename(std::u16string value) { filename = std::move(value); }

    // Opening, closing, error text, mode.
    Variant openMovie();
    Variant openMovieWindow(const int32_t &hWnd, const std::u16string &WindowStyle);
    Variant closeMovie();
    std::u16string checkError();
    std::u16string checkDeviceReady();
    Bool16 isMoviePlaying();
    std::u16string getStatus();

    // Playback and window control.
    Variant playMovie();
    Variant pauseMovie();
    Variant resumeMovie();
    Variant stopMovie();
    Variant playFullScreen();
    Variant minimizeMovie();
    Variant hideMovie();
    Variant showMovie();
    Variant restoreMovie();
    Variant restoreSizeDefault();
    Variant sizeLocateMovie(const int32_t &left, const int32_t &top, const int32_t &Width, const int32_t &Height);
    Variant setVideoOff();
    Variant setVideoOn();

    // Seeking, stepping and waiting.
    Variant setPositionTo(ByRef<int32_t> Second);
    Variant restartMovie();
    Variant rewindByMS(const int32_t &numMS);
    Variant rewindByFrames(const int32_t &numFrames);
    Variant rewindBySeconds(const int32_t &numSec);
    Variant forwardByMS(const int32_t &numMS);
    Variant forwardByFrames(const int32_t &numFrames);
    Variant forwardBySeconds(const int32_t &numSec);
    Variant stepFrames(const int32_t &Value);
    Variant setSpeed(const int32_t &Value);
    void timeOut(const Variant &duration);

    // Status and geometry queries.
    std::u16string getMovieInput();
    std::u16string getMovieOutput();
    std::u16string getAudioStatus();
    std::u16string getVideoStatus();
    std::u16string getTimeFormat();
    std::u16string getDeviceName();
    std::u16string getDeviceVersion();
    std::u16string getCurrentSize();
    std::u16string getDefaultSize();
    Variant getBitsPerPixel();
    int32_t getNominalFrameRate();
    int32_t getFramePerSecRate();
    int32_t getRate();
    Variant extractCurrentMovieSize(const int32_t &wLeft, const int32_t &wTop, ByRef<int32_t> wWidth,
                                    ByRef<int32_t> wHeight);
    Variant extractDefaultMovieSize(ByRef<int32_t> wWidth, ByRef<int32_t> wHeight);

    // Length and position.
    int32_t getLengthInMS();
    int32_t getLengthInFrames();
    int32_t getLengthInSec();
    int32_t getPositionInMS();
    int32_t getPositionInFrames();
    int32_t getPositionInSec();
    std::u16string getFormatLength();
    std::u16string getFormatPosition();

    // Audio and door.
    Variant setAudioOff();
    Variant setAudioOn();
    Variant setLeftOff();
    Variant setRightOff();
    Variant setLeftOn();
    Variant setRightOn();
    Variant setDoorOpen();
    Variant setDoorClosed();
    Variant setVolume(const int32_t &Value);
    Variant setLeftVolume(const int32_t &Value);
    Variant setRightVolume(const int32_t &Value);
    int32_t getVolume();
    int32_t getLeftVolume();
    int32_t getRightVolume();

private:
    // A command that expects no reply: its code goes to Error.
    void PlainCommand(std::u16string_view command);
    // A command whose reply area is replyBuffer_: the whole buffer comes
    // back, and the code goes to Error.
    const std::u16string &BufferedQuery(std::u16string_view command);
    // A command whose code nobody records (the final move of setPositionTo).
    void UnrecordedCommand(std::u16string_view command);
    // The number at the start of replyBuffer_, rounded to int32 (error 6
    // outside the range).
    int32_t ReplyNumber() const;

    // The first half of a relative move: the time format of the move, then
    // the current position through the interface, in that unit.
    enum class MoveUnit { Milliseconds, Frames };
    int32_t PositionForMove(MoveUnit unit);
    // The second half: play from the computed target.
    void PlayFrom(int32_t target);

    std::u16string replyBuffer_;
};

} // namespace tvx

#endif // TVX_MOVIES_MOVIES_H
