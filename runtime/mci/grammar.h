// The shape of a command: verb, device name, then keywords with their
// arguments, as tables say. A device type describes what it understands as
// a CommandSet: for each verb, the keywords every device knows (the core
// table) and its own additions. The parser turns words into a Command with
// no knowledge of any particular device; devices then act on the Command.
#ifndef TVX_RUNTIME_MCI_GRAMMAR_H
#define TVX_RUNTIME_MCI_GRAMMAR_H

#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <string_view>

#include "errors.h"
#include "tokenizer.h"

namespace tvx::mci {

enum class Verb : uint8_t {
    Open, Close, Play, Stop, Pause, Resume, Seek, Set, Status, Info, Capability, Sysinfo, Record, Save,
    // Device verbs: only devices that list them know them.
    Step, Setaudio, Window, Put, Where, Configure,
};

// What the device name "all" does with a verb.
enum class AllRule : uint8_t {
    CloseEach,  // closes every device
    Broadcast,  // runs on every device in turn
    Refuse,     // kCannotUseAll
    SysInfo,    // sysinfo decides by its keywords
    NotCore,    // device verbs: kUnrecognizedCommand, no device to ask
};

struct VerbName {
    std::string_view name;
    Verb verb;
    bool core; // core verbs may open a device automatically by its type or file name
    AllRule all;
};
const VerbName *FindVerb(std::string_view word);

// Every keyword of every table. A keyword appears in a command at most once.
enum class Key : uint8_t {
    None,
    Wait, Notify,
    Type, Alias, Parent, Style, Shareable,
    From, To, ToStart, ToEnd, Fullscreen, Repeat, By, Reverse,
    TimeFormat, Audio, Video, On, Off, DoorOpen, DoorClosed, Speed,
    Left, Right, VolumeTo,
    // status items
    Position, Length, Mode, Ready, TimeFormatItem, MediaPresent, NumberOfTracks, CurrentTrack, AudioItem,
    VideoItem, SpeedItem, Volume, LeftVolume, RightVolume, NominalFrameRate, FrameRate, BitsPerPel, Monitor,
    WindowHandle, WindowVisible,
    // status modifiers
    Start, Track, Input, Output,
    // info items
    Product, Version, File, WindowText, Identity, Upc,
    // capability items
    CanEject, CanPlay, CanRecord, CanSave, CompoundDevice, DeviceType, HasAudio, HasVideo, UsesFiles, CanReverse,
    CanStretch, CanFreeze, FastPlayRate, NormalPlayRate, SlowPlayRate,
    // window, put, where
    State, Handle, Text, Source, Destination, WindowArea, Client, At, Max,
    // sysinfo
    Quantity, OpenOnly, Name, InstallName,
    Count
};
inline constexpr size_t kKeyCount = static_cast<size_t>(Key::Count);

enum class ArgKind : uint8_t {
    Flag,            // the keyword alone
    Integer,         // one integer
    Text,            // one word (quoted when it holds blanks)
    Rect,            // four integers
    Choice,          // one of the keyword's choices
    OptionalChoice,  // one of its choices when the next words name one
    IntegerOrChoice, // an integer, or one of its choices
    Item,            // the one thing a query asks for
};

// A choice's words (lower case, one blank between words) and the value that
// the device sees.
struct Choice {
    std::string_view words;
    int value;
};

struct Keyword {
    std::string_view words; // lower case, one blank between words
    Key key;
    ArgKind arg = ArgKind::Flag;
    // Keywords of one nonzero group exclude each other (kFlagsNotCompatible).
    uint8_t group = 0;
    std::span<const Choice> choices = {};
    // The answer to a choice that is missing or not in the list.
    Code bad_choice = kBadConstant;
    // Items may also be named by number ("status x 4").
    int item_number = 0;
};

struct VerbTable {
    Verb verb;
    std::span<const Keyword> core;      // what every device of the verb knows
    std::span<const Keyword> extension; // what this device adds
    // Words that name no keyword: kUnrecognizedKeyword, or kBadConstant for
    // verbs whose words are mostly the item asked about.
    Code unknown_word = kUnrecognizedKeyword;
};

struct CommandSet {
    std::span<const VerbTable> verbs;
    const VerbTable *Find(Verb verb) const {
        for (const VerbTable &table : verbs)
            if (table.verb == verb) return &table;
        return nullptr;
    }
};

struct Rect {
    int32_t left, top, width, height;
};

// A parsed command. Texts point into the command string, which outlives it.
class Command {
public:
    Verb verb = Verb::Open;
    Key item = Key::None;

    bool Has(Key key) const { return present_[static_cast<size_t>(key)]; }
    int64_t Number(Key key) const { return Find(key).number; }
    std::string_view Text(Key key) const { return Find(key).text; }
    Rect RectOf(Key key) const { return Find(key).rect; }
    // Whether the keyword's argument was one of its choices (not an integer,
    // and not left out where that is allowed), and which.
    bool Chose(Key key) const { return Find(key).chosen; }
    int ChoiceOf(Key key) const { return Find(key).choice; }

private:
    friend Code Parse(const VerbTable &, std::span<const Token>, Command &);
    struct Value {
        Key key;
        bool chosen;
        int choice;
        int64_t number;
        Rect rect;
        std::string_view text;
    };
    const Value &Find(Key key) const;
    Value &Add(Key key);

    std::bitset<kKeyCount> present_;
    static constexpr size_t kMaxValues = 16;
    std::array<Value, kMaxValues> values_;
    size_t count_ = 0;
};

// Reads `words` (everything after the device name) by `table` into `out`.
[[nodiscard]] Code Parse(const VerbTable &table, std::span<const Token> words, Command &out);

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_GRAMMAR_H
