// The core command tables: the keywords that every device type knows for
// the verbs that every device has. Device types add their own keywords and
// verbs on top (mpegvideo.cpp, cdaudio.cpp).
#ifndef TVX_RUNTIME_MCI_CORE_COMMANDS_H
#define TVX_RUNTIME_MCI_CORE_COMMANDS_H

#include <span>

#include "grammar.h"

namespace tvx::mci {

// Every time format a command may name; each device takes its own few and
// answers kBadTimeFormat for the others.
enum class TimeFormat : int {
    Milliseconds, Frames, Msf, Tmsf, Hms, Bytes, Samples, Smpte24, Smpte25, Smpte30, Smpte30Drop, SongPointer
};

enum class AudioChannel : int { All, Left, Right };

namespace core {

extern const std::span<const Keyword> kOpen;
extern const std::span<const Keyword> kClose;
extern const std::span<const Keyword> kPlay;
extern const std::span<const Keyword> kTransport; // stop, pause, resume, record, save
extern const std::span<const Keyword> kSeek;
extern const std::span<const Keyword> kSet;
extern const std::span<const Keyword> kStatus;
extern const std::span<const Keyword> kInfo;
extern const std::span<const Keyword> kCapability;
extern const std::span<const Keyword> kSysinfo;
// Only wait and notify, for device verbs that take nothing else.
extern const std::span<const Keyword> kWaitNotify;

// The core table of a verb: what a command under the device name "all" is
// read by, since it goes to devices of any type. Null for device verbs.
const VerbTable *Table(Verb verb);

} // namespace core
} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_CORE_COMMANDS_H
