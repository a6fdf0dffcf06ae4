#include "cdaudio.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "core_commands.h"

namespace tvx::mci {
namespace {

// ---- the kernel's drive ---------------------------------------------------

class KernelDrive final : public CdDrive {
public:
    static std::unique_ptr<CdDrive> Open(const std::string &path) {
        // Non-blocking, so that a drive without a disc opens too.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        if (::ioctl(fd, CDROM_GET_CAPABILITY, 0) < 0) { // not a CD drive
            ::close(fd);
            return nullptr;
        }
        return std::unique_ptr<CdDrive>(new KernelDrive(fd));
    }
    ~KernelDrive() override { ::close(fd_); }

    State Status() override {
        switch (::ioctl(fd_, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
        case CDS_NO_DISC: return State::NoDisc;
        case CDS_TRAY_OPEN: return State::TrayOpen;
        case CDS_DRIVE_NOT_READY: return State::NotReady;
        case CDS_DISC_OK: return State::DiscOk;
        default: return State::NoInfo;
        }
    }
    bool Eject() override { return ::ioctl(fd_, CDROMEJECT, 0) == 0; }
    bool CloseTray() override { return ::ioctl(fd_, CDROMCLOSETRAY, 0) == 0; }
    std::optional<Toc> ReadToc() override {
        cdrom_tochdr header{};
        if (::ioctl(fd_, CDROMREADTOCHDR, &header) != 0) return std::nullopt;
        Toc toc;
        auto start_of = [this](int track) -> std::optional<int32_t> {
            cdrom_tocentry entry{};
            entry.cdte_track = static_cast<uint8_t>(track);
            entry.cdte_format = CDROM_LBA;
            if (::ioctl(fd_, CDROMREADTOCENTRY, &entry) != 0) return std::nullopt;
            return entry.cdte_addr.lba + CD_MSF_OFFSET; // addresses count from the two-second lead-in
        };
        for (int track = header.cdth_trk0; track <= header.cdth_trk1; ++track) {
            auto start = start_of(track);
            if (!start) return std::nullopt;
            toc.track_starts.push_back(*start);
        }
        auto lead_out = start_of(CDROM_LEADOUT);
        if (!lead_out) return std::nullopt;
        toc.lead_out = *lead_out;
        return toc;
    }

private:
    explicit KernelDrive(int fd) : fd_(fd) {}
    int fd_;
};

std::mutex opener_mutex;
CdDriveOpener opener;

std::unique_ptr<CdDrive> OpenDrive(const std::string &path) {
    CdDriveOpener current;
    {
        std::lock_guard lock(opener_mutex);
        current = opener;
    }
    return current ? current(path) : KernelDrive::Open(path);
}

// ---- command tables ---------------------------------------------------------

const VerbTable kVerbTables[] = {
    {Verb::Open, core::kOpen, {}},
    {Verb::Close, core::kClose, {}},
    {Verb::Play, core::kPlay, {}},
    {Verb::Stop, core::kTransport, {}},
    {Verb::Pause, core::kTransport, {}},
    {Verb::Resume, core::kTransport, {}},
    {Verb::Seek, core::kSeek, {}},
    {Verb::Set, core::kSet, {}},
    {Verb::Status, core::kStatus, {}, kBadConstant},
    {Verb::Info, core::kInfo, {}},
    {Verb::Capability, core::kCapability, {}, kBadConstant},
    {Verb::Record, core::kTransport, {}},
    {Verb::Save, core::kTransport, {}},
};
const CommandSet kCommands{kVerbTables};

constexpr int32_t kFramesPerSecond = 75;

// ---- the device ----------------------------------------------------------------

class CdAudio final : public Device {
public:
    explicit CdAudio(std::unique_ptr<CdDrive> drive) : drive_(std::move(drive)) {}

    std::string_view TypeName() const override { return "cdaudio"; }
    const CommandSet &Commands() const override { return kCommands; }

    Code Execute(const Command &command, Context &, std::string &reply) override {
        switch (command.verb) {
        case Verb::Set: return Set(command);
        case Verb::Status: return Status(command, reply);
        case Verb::Info:
            if (command.item == Key::Product) {
                reply = "Tarvex10 CD audio";
                return kOk;
            }
            return command.item == Key::None ? kMissingParameter : kUnsupportedFunction;
        case Verb::Capability: return Capability(command, reply);
        case Verb::Stop: return kOk; // nothing ever plays
        case Verb::Seek:
            if (!command.Has(Key::ToStart) && !command.Has(Key::ToEnd) && !command.Has(Key::To))
                return kMissingParameter;
            return kUnsupportedFunction;
        default: return kUnsupportedFunction;
        }
    }

private:
    Code Set(const Command &command) {
        std::optional<TimeFormat> format;
        if (command.Has(Key::TimeFormat)) {
            format = static_cast<TimeFormat>(command.ChoiceOf(Key::TimeFormat));
            if (format != TimeFormat::Msf && format != TimeFormat::Tmsf && format != TimeFormat::Milliseconds)
                return kBadTimeFormat;
        }
        if (command.Has(Key::DoorOpen)) {
            // An open tray stays as it is.
            if (drive_->Status() != CdDrive::State::TrayOpen && !drive_->Eject()) return kHardware;
        } else if (command.Has(Key::DoorClosed)) {
            if (!drive_->CloseTray()) return kHardware;
        } else if (!format && !command.Has(Key::Audio) && !command.Has(Key::Video)) {
            return kMissingParameter;
        }
        // Audio and video switches have nothing to switch on a drive that
        // does not play; they are accepted so that "set all" reaches it.
        if (format) format_ = *format;
        return kOk;
    }

    void ReplyTime(std::string &reply, int32_t frames, bool with_track, int track) const {
        if (format_ == TimeFormat::Milliseconds) {
            ReplyNumber(reply, static_cast<int64_t>(frames) * 1000 / kFramesPerSecond);
            return;
        }
        const int32_t minutes = frames / (60 * kFramesPerSecond);
        const int32_t seconds = frames / kFramesPerSecond % 60;
        const int32_t rest = frames % kFramesPerSecond;
        char text[32];
        if (with_track && format_ == TimeFormat::Tmsf)
            std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", track, minutes, seconds, rest);
        else
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", minutes, seconds, rest);
        reply = text;
    }

    Code Status(const Command &command, std::string &reply) {
        const Key item = command.item;
        const CdDrive::State state = drive_->Status();
        switch (item) {
        case Key::None: return kMissingParameter;
        case Key::Mode:
            reply = state == CdDrive::State::TrayOpen ? "open"
                    : state == CdDrive::State::DiscOk ? "stopped"
                                                        : "not ready";
            return kOk;
        case Key::MediaPresent:
        case Key::Ready: ReplyBool(reply, state == CdDrive::State::DiscOk); return kOk;
        case Key::TimeFormatItem:
            reply = format_ == TimeFormat::Msf ? "msf" : format_ == TimeFormat::Tmsf ? "tmsf" : "milliseconds";
            return kOk;
        default: break;
        }
        const bool positional = item == Key::Position || item == Key::Length;
        if ((command.Has(Key::Start) || command.Has(Key::Track)) && !positional) return kFlagsNotCompatible;
        if (item != Key::NumberOfTracks && item != Key::CurrentTrack && !positional) return kUnsupportedFunction;
        if (state != CdDrive::State::DiscOk) return kDeviceNotReady;
        const std::optional<CdDrive::Toc> toc = drive_->ReadToc();
        if (!toc || toc->track_starts.empty()) return kDeviceNotReady;
        const auto &starts = toc->track_starts;
        const int tracks = static_cast<int>(starts.size());
        int track = 1;
        if (command.Has(Key::Track)) {
            const int64_t asked = command.Number(Key::Track);
            if (asked < 1 || asked > tracks) return kOutOfRange;
            track = static_cast<int>(asked);
        }
        const int32_t track_start = starts[track - 1];
        const int32_t track_end = track < tracks ? starts[track] : toc->lead_out;
        switch (item) {
        case Key::NumberOfTracks: ReplyNumber(reply, tracks); return kOk;
        case Key::CurrentTrack: ReplyNumber(reply, 1); return kOk;
        case Key::Length:
            ReplyTime(reply, command.Has(Key::Track) ? track_end - track_start : toc->lead_out - starts.front(),
                      false, track);
            return kOk;
        default: // position: the drive never plays, so it rests at a track's start
            // (in tmsf the time counts within the track: zero there).
            ReplyTime(reply, format_ == TimeFormat::Tmsf ? 0 : track_start, true, track);
            return kOk;
        }
    }

    Code Capability(const Command &command, std::string &reply) {
        switch (command.item) {
        case Key::CanEject:
        case Key::HasAudio: ReplyBool(reply, true); return kOk;
        case Key::CanPlay:
        case Key::CanRecord:
        case Key::CanSave:
        case Key::CompoundDevice:
        case Key::HasVideo:
        case Key::UsesFiles: ReplyBool(reply, false); return kOk;
        case Key::DeviceType: reply = "cdaudio"; return kOk;
        case Key::None: return kMissingParameter;
        default: return kUnsupportedFunction;
        }
    }

    std::unique_ptr<CdDrive> drive_;
    TimeFormat format_ = TimeFormat::Msf;
};

} // namespace

TVX_MCI_SEAM void SetCdDriveOpener(CdDriveOpener replacement) {
    std::lock_guard lock(opener_mutex);
    opener = std::move(replacement);
}

const CommandSet &CdAudioCommands() { return kCommands; }

Code OpenCdAudio(const OpenRequest &request, std::unique_ptr<Device> &device) {
    std::unique_ptr<CdDrive> drive = OpenDrive(request.has_element ? std::string(request.element) : kDefaultCdDrive);
    if (!drive) return kCannotLoadDriver;
    device = std::make_unique<CdAudio>(std::move(drive));
    return kOk;
}

} // namespace tvx::mci
