#include "core_commands.h"

namespace tvx::mci::core {
namespace {

// Group numbers: keywords of one group exclude each other.
constexpr uint8_t kSeekTarget = 1;
constexpr uint8_t kOnOff = 2;
constexpr uint8_t kDoor = 3;
constexpr uint8_t kPositionModifier = 4;
constexpr uint8_t kSysinfoQuestion = 5;

constexpr Choice kTimeFormats[] = {
    {"milliseconds", static_cast<int>(TimeFormat::Milliseconds)},
    {"ms", static_cast<int>(TimeFormat::Milliseconds)},
    {"frames", static_cast<int>(TimeFormat::Frames)},
    {"msf", static_cast<int>(TimeFormat::Msf)},
    {"tmsf", static_cast<int>(TimeFormat::Tmsf)},
    {"hms", static_cast<int>(TimeFormat::Hms)},
    {"bytes", static_cast<int>(TimeFormat::Bytes)},
    {"samples", static_cast<int>(TimeFormat::Samples)},
    {"smpte 24", static_cast<int>(TimeFormat::Smpte24)},
    {"smpte 25", static_cast<int>(TimeFormat::Smpte25)},
    {"smpte 30", static_cast<int>(TimeFormat::Smpte30)},
    {"smpte 30 drop", static_cast<int>(TimeFormat::Smpte30Drop)},
    {"song pointer", static_cast<int>(TimeFormat::SongPointer)},
};

constexpr Choice kChannels[] = {
    {"all", static_cast<int>(AudioChannel::All)},
    {"left", static_cast<int>(AudioChannel::Left)},
    {"right", static_cast<int>(AudioChannel::Right)},
};

constexpr Keyword kOpenTable[] = {
    {"type", Key::Type, ArgKind::Text},
    {"alias", Key::Alias, ArgKind::Text},
    {"shareable", Key::Shareable},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kWaitNotifyTable[] = {
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kPlayTable[] = {
    {"from", Key::From, ArgKind::Integer},
    {"to", Key::To, ArgKind::Integer},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kSeekTable[] = {
    {"to start", Key::ToStart, ArgKind::Flag, kSeekTarget},
    {"to end", Key::ToEnd, ArgKind::Flag, kSeekTarget},
    {"to", Key::To, ArgKind::Integer, kSeekTarget},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kSetTable[] = {
    {"time format", Key::TimeFormat, ArgKind::Choice, 0, kTimeFormats, kBadTimeFormat},
    {"audio", Key::Audio, ArgKind::OptionalChoice, 0, kChannels},
    {"video", Key::Video},
    {"on", Key::On, ArgKind::Flag, kOnOff},
    {"off", Key::Off, ArgKind::Flag, kOnOff},
    {"door open", Key::DoorOpen, ArgKind::Flag, kDoor},
    {"door closed", Key::DoorClosed, ArgKind::Flag, kDoor},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kStatusTable[] = {
    {"length", Key::Length, ArgKind::Item, 0, {}, kBadConstant, 1},
    {"position", Key::Position, ArgKind::Item, 0, {}, kBadConstant, 2},
    {"number of tracks", Key::NumberOfTracks, ArgKind::Item, 0, {}, kBadConstant, 3},
    {"mode", Key::Mode, ArgKind::Item, 0, {}, kBadConstant, 4},
    {"media present", Key::MediaPresent, ArgKind::Item, 0, {}, kBadConstant, 5},
    {"time format", Key::TimeFormatItem, ArgKind::Item, 0, {}, kBadConstant, 6},
    {"ready", Key::Ready, ArgKind::Item, 0, {}, kBadConstant, 7},
    {"current track", Key::CurrentTrack, ArgKind::Item, 0, {}, kBadConstant, 8},
    {"start", Key::Start, ArgKind::Flag, kPositionModifier},
    {"track", Key::Track, ArgKind::Integer, kPositionModifier},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kInfoTable[] = {
    {"product", Key::Product, ArgKind::Item},
    {"file", Key::File, ArgKind::Item},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kCapabilityTable[] = {
    {"can eject", Key::CanEject, ArgKind::Item},
    {"can play", Key::CanPlay, ArgKind::Item},
    {"can record", Key::CanRecord, ArgKind::Item},
    {"can save", Key::CanSave, ArgKind::Item},
    {"compound device", Key::CompoundDevice, ArgKind::Item},
    {"device type", Key::DeviceType, ArgKind::Item},
    {"has audio", Key::HasAudio, ArgKind::Item},
    {"has video", Key::HasVideo, ArgKind::Item},
    {"uses files", Key::UsesFiles, ArgKind::Item},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr Keyword kSysinfoTable[] = {
    {"quantity", Key::Quantity, ArgKind::Flag, kSysinfoQuestion},
    {"name", Key::Name, ArgKind::Integer, kSysinfoQuestion},
    {"installname", Key::InstallName, ArgKind::Flag, kSysinfoQuestion},
    {"open", Key::OpenOnly},
    {"wait", Key::Wait},
    {"notify", Key::Notify},
};

constexpr VerbTable kCoreTables[] = {
    {Verb::Open, kOpenTable, {}},
    {Verb::Close, kWaitNotifyTable, {}},
    {Verb::Play, kPlayTable, {}},
    {Verb::Stop, kWaitNotifyTable, {}},
    {Verb::Pause, kWaitNotifyTable, {}},
    {Verb::Resume, kWaitNotifyTable, {}},
    {Verb::Seek, kSeekTable, {}},
    {Verb::Set, kSetTable, {}},
    {Verb::Status, kStatusTable, {}, kBadConstant},
    {Verb::Info, kInfoTable, {}},
    {Verb::Capability, kCapabilityTable, {}, kBadConstant},
    {Verb::Sysinfo, kSysinfoTable, {}},
    {Verb::Record, kWaitNotifyTable, {}},
    {Verb::Save, kWaitNotifyTable, {}},
};

} // namespace

const std::span<const Keyword> kOpen = kOpenTable;
const std::span<const Keyword> kClose = kWaitNotifyTable;
const std::span<const Keyword> kPlay = kPlayTable;
const std::span<const Keyword> kTransport = kWaitNotifyTable;
const std::span<const Keyword> kSeek = kSeekTable;
const std::span<const Keyword> kSet = kSetTable;
const std::span<const Keyword> kStatus = kStatusTable;
const std::span<const Keyword> kInfo = kInfoTable;
const std::span<const Keyword> kCapability = kCapabilityTable;
const std::span<const Keyword> kSysinfo = kSysinfoTable;
const std::span<const Keyword> kWaitNotify = kWaitNotifyTable;

const VerbTable *Table(Verb verb) {
    for (const VerbTable &table : kCoreTables)
        if (table.verb == verb) return &table;
    return nullptr;
}

} // namespace tvx::mci::core
