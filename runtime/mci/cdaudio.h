// The cdaudio device: a CD drive reached through the kernel's CD-ROM
// interface. It opens and closes the tray and reports the disc's tracks;
// it does not play (drives today rarely have an analogue output to play
// to), so the transport verbs are refused as unsupported.
//
// Tests (and hosts) put their own drive in place of the kernel's with
// SetCdDriveOpener.
#ifndef TVX_RUNTIME_MCI_CDAUDIO_H
#define TVX_RUNTIME_MCI_CDAUDIO_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device.h"

#define TVX_MCI_SEAM __attribute__((visibility("default")))

namespace tvx::mci {

class CdDrive {
public:
    enum class State { NoInfo, NoDisc, TrayOpen, NotReady, DiscOk };
    // Track starts and the lead-out in frames of 1/75 s from the start of
    // the disc (the first track usually starts at 150, two seconds in).
    struct Toc {
        std::vector<int32_t> track_starts;
        int32_t lead_out = 0;
    };

    virtual ~CdDrive() = default;
    virtual State Status() = 0;
    virtual bool Eject() = 0;     // opens the tray
    virtual bool CloseTray() = 0;
    virtual std::optional<Toc> ReadToc() = 0;
};

// Opens the drive named by a path, or gives null when there is none there.
using CdDriveOpener = std::function<std::unique_ptr<CdDrive>(const std::string &path)>;

// Replaces how drives are opened; an empty opener restores the kernel's.
TVX_MCI_SEAM void SetCdDriveOpener(CdDriveOpener opener);

// The drive that "cdaudio" means when no drive is named.
inline constexpr const char *kDefaultCdDrive = "/dev/cdrom";

const CommandSet &CdAudioCommands();
[[nodiscard]] Code OpenCdAudio(const OpenRequest &request, std::unique_ptr<Device> &device);

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_CDAUDIO_H
