#include "window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <mutex>

namespace tvx::mci::gst {
namespace {

// Xlib's error handler belongs to the process: it is ours only while one
// of our requests is checked, and the host's again afterwards.
std::mutex checking;
bool failed = false;
int NoteError(Display *, XErrorEvent *) {
    failed = true;
    return 0;
}

template <typename Requests>
bool Checked(Display *display, Requests requests) {
    std::lock_guard lock(checking);
    XSync(display, False);
    failed = false;
    auto previous = XSetErrorHandler(&NoteError);
    requests();
    XSync(display, False);
    XSetErrorHandler(previous);
    return !failed;
}

Display *Dpy(void *display) { return static_cast<Display *>(display); }

} // namespace

Window::~Window() {
    if (!display_) return;
    if (id_) XDestroyWindow(Dpy(display_), id_);
    XCloseDisplay(Dpy(display_));
}

bool Window::Exists(uint64_t window, int *width, int *height) {
    XWindowAttributes attributes{};
    Status status = 0;
    if (!Checked(Dpy(display_), [&] { status = XGetWindowAttributes(Dpy(display_), window, &attributes); }) ||
        status == 0)
        return false;
    if (width) *width = attributes.width;
    if (height) *height = attributes.height;
    return true;
}

bool Window::Open(const WindowView &view, int width, int height, std::string &reason) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
        reason = "the X display cannot be opened";
        return false;
    }
    Display *display = Dpy(display_);
    width_ = width > 0 ? width : 320;
    height_ = height > 0 ? height : 240;
    // Inside a window of the host's, ours fills it: the host places the
    // picture with the destination rectangle.
    int *fill_width = view.child ? &width_ : nullptr, *fill_height = view.child ? &height_ : nullptr;
    if (view.parent && !Exists(view.parent, fill_width, fill_height)) {
        reason = "window " + std::to_string(view.parent) + " does not exist";
        return false;
    }
    const ::Window parent = view.parent && view.child ? view.parent : DefaultRootWindow(display);
    const unsigned long black = BlackPixel(display, DefaultScreen(display));
    if (!Checked(display, [&] {
            id_ = XCreateSimpleWindow(display, parent, 0, 0, static_cast<unsigned>(width_),
                                      static_cast<unsigned>(height_), 0, black, black);
            picture_ = XCreateSimpleWindow(display, id_, 0, 0, static_cast<unsigned>(width_),
                                           static_cast<unsigned>(height_), 0, black, black);
            XMapWindow(display, picture_);
        })) {
        id_ = 0;
        reason = "the window cannot be created";
        return false;
    }
    // A window of the host's that is not to be a child still owns ours.
    if (view.parent && !view.child) XSetTransientForHint(display, id_, view.parent);
    shown_ = view;
    shown_.visible = false;
    XStoreName(display, id_, view.title.c_str());
    XFlush(display);
    return true;
}

void Window::ShowPicture(bool on) {
    if (!picture_) return;
    if (on) XMapWindow(Dpy(display_), picture_);
    else XUnmapWindow(Dpy(display_), picture_);
    // Done on the server when the command returns.
    XSync(Dpy(display_), False);
}

bool Window::Show(const WindowView &view) {
    Display *display = Dpy(display_);
    if (view.parent != shown_.parent) {
        const ::Window parent = view.parent ? view.parent : DefaultRootWindow(display);
        int width = width_, height = height_;
        if (view.parent && !Exists(view.parent, &width, &height)) return false;
        if (!Checked(display, [&] {
                XReparentWindow(display, id_, parent, 0, 0);
                XResizeWindow(display, id_, static_cast<unsigned>(width), static_cast<unsigned>(height));
            }))
            return false;
        width_ = width;
        height_ = height;
    }
    // The picture covers the destination, or all of the window.
    const Rect area = view.destination.value_or(Rect{0, 0, width_, height_});
    XMoveResizeWindow(display, picture_, area.left, area.top, static_cast<unsigned>(std::max(1, area.width)),
                      static_cast<unsigned>(std::max(1, area.height)));
    if (view.title != shown_.title) XStoreName(display, id_, view.title.c_str());
    if (view.fullscreen != shown_.fullscreen) {
        // Asked of the window manager; without one the window keeps its size.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = id_;
        event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = view.fullscreen ? 1 : 0;
        event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
    }
    if (view.visible != shown_.visible || view.minimized != shown_.minimized) {
        if (!view.visible) {
            XUnmapWindow(display, id_);
        } else if (view.minimized) {
            XIconifyWindow(display, id_, DefaultScreen(display));
        } else {
            XMapRaised(display, id_);
        }
    }
    XSync(display, False);
    shown_ = view;
    return true;
}

} // namespace tvx::mci::gst
