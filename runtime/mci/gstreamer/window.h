// The engine's own X11 window, either a top-level window titled with the
// device's window text or a child that fills a window of the host's. The
// picture is drawn (through the video sink's overlay interface) in a
// subwindow of it that covers the destination rectangle, so that the
// rectangle holds whatever sink draws. X errors
// caused by a window id that does not exist, or by our windows once a host
// has destroyed them with its own, are caught here, never left to Xlib's
// default handler, which would end the process.
//
// Full screen, maximized and minimized are asked of the window manager
// when one runs, and each change waits (a bounded time) until the manager
// has carried it out, so that what follows a command sees it done. The
// window asks for static gravity: the place put is where the window
// itself lands, its frame around it. Hidden, it is withdrawn from the
// manager, so that it can also move into a window of the host's. Without
// a manager (a bare X server) the window does it itself: full screen
// covers the screen, maximized covers the work area (the screen less what
// panels reserve, as the root window tells, else the whole screen),
// minimized is unmapped.
//
// A close from the manager's frame (WM_DELETE_WINDOW) is a request that
// the window takes as "hide": the device stays open. The events that tell
// of it are read by whoever holds the window (one thread at a time, as
// everything else here): a command changing it, or the engine's watch on
// Connection().
#ifndef TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H
#define TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "engine.h"

namespace tvx::mci::gst {

class Window {
public:
    // A place on the screen.
    struct Area {
        int left = 0, top = 0, width = 0, height = 0;
        bool operator==(const Area &) const = default;
    };
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
    int PictureWidth() const { return picture_width_; }
    int PictureHeight() const { return picture_height_; }
    // Shows or hides the picture, leaving the window as it is.
    void ShowPicture(bool on);
    // Brings the window to `view`: parent, visibility, title, full screen.
    // False when the parent named does not exist (nothing changes then).
    bool Show(const WindowView &view);
    // The top-level window's place on the screen now (without the
    // manager's frame); none while it is inside a window of the host's.
    // It asks on a connection of its own, so that it answers at once while
    // another thread changes the window.
    std::optional<Rect> Place();
    // The screen's size as it is now; asked like Place.
    std::optional<Rect> ScreenArea();
    // The connection's file descriptor, readable when events come.
    int Connection() const;
    // Reads the events come so far; true when they held a close request
    // for the top-level window on show (once for each request).
    bool CloseAsked();

private:
    // Whether `window` exists; its size goes to `width` and `height` when given.
    bool Exists(uint64_t window, int *width = nullptr, int *height = nullptr);
    bool Reparent(const WindowView &view);
    // The window's state carried out by a window manager, or by itself.
    void ShowManaged(const WindowView &view);
    void ShowItself(const WindowView &view, bool top_level);
    void Withdraw();
    void MoveTo(const Area &area);

    bool Managed();
    Area Screen();
    Area WorkArea();
    Area PlaceNow();
    Area WithFrame(const Area &place);
    long ManagerState(); // WM_STATE's state, -1 when there is none
    bool HasState(const char *state);
    bool InState(const WindowView &view);
    bool Withdrawn();
    // Until `done` holds or the manager's time is up; events read meanwhile.
    template <typename Done>
    bool Await(Done done);
    void Drain();

    void AskManager(bool on, const char *state, const char *also = nullptr);
    void SetManagerHints(const WindowView &view);
    void SetTitle(const std::string &title);

    void *display_ = nullptr; // Display *, kept out of this header
    std::mutex asking_;         // Place's connection
    void *asking_display_ = nullptr;
    // Held with asking_; opens the connection when first asked.
    void *Asking();
    std::atomic<bool> top_level_{true};
    uint64_t id_ = 0;
    uint64_t picture_ = 0;
    WindowView shown_{};
    bool close_asked_ = false; // a close request read, not yet carried out
    unsigned long protocols_ = 0, delete_window_ = 0; // the atoms of a close request
    int width_ = 0, height_ = 0; // of the window now
    Area normal_{};              // the top-level window restored
    Area placed_{};              // the top-level window's place, placed by itself
    int picture_width_ = 0, picture_height_ = 0;
};

} // namespace tvx::mci::gst

#endif // TVX_RUNTIME_MCI_GSTREAMER_WINDOW_H
