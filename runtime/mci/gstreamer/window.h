// The engine's own X11 window, either a top-level window titled with the
// device's window text or a child that fills a window of the host's. The
// picture is drawn (through the video sink's overlay interface) in a
// subwindow of it that covers the destination rectangle, so that the
// rectangle holds whatever sink draws. X errors
// caused by a window id that does not exist are caught here, never left to
// Xlib's default handler, which would end the process.
#ifndef TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H
#define TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H

#include <cstdint>
#include <string>

#include "engine.h"

namespace tvx::mci::gst {

class Window {
public:
    Window() = default;
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;
    ~Window();

    // Connects to the display and makes the window, hidden, `width` x
    // `height`. False when the display or the parent cannot be used.
    bool Open(const WindowView &view, int width, int height, std::string &reason);
    uint64_t Id() const { return id_; }
    // The subwindow that the sink draws in.
    uint64_t PictureId() const { return picture_; }
    // Shows or hides the picture, leaving the window as it is.
    void ShowPicture(bool on);
    // Brings the window to `view`: parent, visibility, title, full screen.
    // False when the parent named does not exist (nothing changes then).
    bool Show(const WindowView &view);

private:
    // Whether `window` exists; its size goes to `width` and `height` when given.
    bool Exists(uint64_t window, int *width = nullptr, int *height = nullptr);

    void *display_ = nullptr; // Display *, kept out of this header
    uint64_t id_ = 0;
    uint64_t picture_ = 0;
    WindowView shown_{};
    int width_ = 0, height_ = 0;
};

} // namespace tvx::mci::gst

#endif // TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H
