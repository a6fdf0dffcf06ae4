// The mpegvideo device: a movie file played by a media engine (engine.h):
// MPEG-1 (system stream or video elementary stream) by either engine, any
// other file the GStreamer engine decodes. The window is kept as state.
#ifndef TVX_RUNTIME_MCI_MPEGVIDEO_H
#define TVX_RUNTIME_MCI_MPEGVIDEO_H

#include <memory>

#include "device.h"

namespace tvx::mci {

const CommandSet &MpegVideoCommands();
[[nodiscard]] Code OpenMpegVideo(const OpenRequest &request, std::unique_ptr<Device> &device);

// The texts of "info … product" and "info … version".
inline constexpr std::string_view kMpegVideoProduct = "Tarvex10 MPEG-1 video player";
inline constexpr std::string_view kMpegVideoVersion = "1.00";
// The size of the screen that window positions refer to without a display.
inline constexpr Rect kVirtualScreen = {0, 0, 1920, 1080};

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_MPEGVIDEO_H
