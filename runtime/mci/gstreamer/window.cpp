#include "window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <initializer_list>
#include <mutex>
#include <set>

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

// A host may destroy its window while ours is a child of it (ours goes with
// it); the video sink, on an X connection of its own, then draws into a
// window that is gone, and Xlib's default handler would end the process.
// So while the process has windows of ours, errors about them are dropped
// and every other error goes on to the handler that was there before.
std::mutex ours_mutex;
std::set<unsigned long> ours;
XErrorHandler before_ours = nullptr;

int DropOurs(Display *display, XErrorEvent *event) {
    {
        std::lock_guard lock(ours_mutex);
        if (ours.count(event->resourceid)) return 0;
    }
    return before_ours ? before_ours(display, event) : 0;
}

void Own(std::initializer_list<unsigned long> windows) {
    {
        std::lock_guard lock(checking); // no check swaps the handler meanwhile
        static const bool installed = [] {
            before_ours = XSetErrorHandler(&DropOurs);
            return true;
        }();
        (void)installed;
    }
    std::lock_guard lock(ours_mutex);
    ours.insert(windows);
}

void Disown(std::initializer_list<unsigned long> windows) {
    std::lock_guard lock(ours_mutex);
    for (const unsigned long window : windows) ours.erase(window);
}

} // namespace

Window::~Window() {
    if (!display_) return;
    if (id_) XDestroyWindow(Dpy(display_), id_);
    // Errors of the last requests (a window the host destroyed) come in here.
    XCloseDisplay(Dpy(display_));
    Disown({id_, picture_});
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
    Own({id_, picture_});
    // A window of the host's that is not to be a child still owns ours.
    if (view.parent && !view.child) XSetTransientForHint(display, id_, view.parent);
    shown_ = view;
    shown_.visible = false;
    normal_ = placed_ = {0, 0, width_, height_};
    SetTitle(view.title);
    XFlush(display);
    return true;
}

void Window::SetTitle(const std::string &title) {
    Display *display = Dpy(display_);
    XStoreName(display, id_, title.c_str());
    XChangeProperty(display, id_, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(title.data()), static_cast<int>(title.size()));
}

// A window manager that follows the desktop conventions names its window
// on the root window.
bool Window::Managed() {
    Display *display = Dpy(display_);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    const bool named = check &&
                       XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &left, &data) == Success &&
                       count == 1;
    if (data) XFree(data);
    return named;
}

Window::Area Window::WorkArea() {
    Display *display = Dpy(display_);
    const int screen = DefaultScreen(display);
    Area area{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    const Atom workarea = XInternAtom(display, "_NET_WORKAREA", True);
    if (workarea && XGetWindowProperty(display, DefaultRootWindow(display), workarea, 0, 4, False, XA_CARDINAL, &type,
                                       &format, &count, &left, &data) == Success &&
        count == 4 && format == 32) {
        const long *values = reinterpret_cast<const long *>(data);
        area = {static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]),
                static_cast<int>(values[3])};
    }
    if (data) XFree(data);
    return area;
}

void Window::AskManager(const char *state, bool on) {
    Display *display = Dpy(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id_;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, state, False));
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
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
        placed_ = {0, 0, width, height};
    }
    const bool top_level = !(view.parent && view.child);
    const bool managed = Managed();
    if (view.frame)
        normal_ = {view.frame->left, view.frame->top, std::max(1, view.frame->width), std::max(1, view.frame->height)};
    if (top_level && managed) {
        if (view.fullscreen != shown_.fullscreen) AskManager("_NET_WM_STATE_FULLSCREEN", view.fullscreen);
        if (view.maximized != shown_.maximized) {
            AskManager("_NET_WM_STATE_MAXIMIZED_VERT", view.maximized);
            AskManager("_NET_WM_STATE_MAXIMIZED_HORZ", view.maximized);
        }
        // The restored place is ours to set; the manager may still adjust it.
        if (!view.fullscreen && !view.maximized && normal_ != placed_) {
            XMoveResizeWindow(display, id_, normal_.left, normal_.top, static_cast<unsigned>(normal_.width),
                              static_cast<unsigned>(normal_.height));
            placed_ = normal_;
        }
    } else if (top_level) {
        const int screen = DefaultScreen(display);
        const Area wanted = view.fullscreen ? Area{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)}
                            : view.maximized ? WorkArea()
                                             : normal_;
        if (wanted != placed_) {
            XMoveResizeWindow(display, id_, wanted.left, wanted.top, static_cast<unsigned>(wanted.width),
                              static_cast<unsigned>(wanted.height));
            placed_ = wanted;
        }
    }
    // The window's size now (a window manager may still change it).
    if (top_level) Exists(id_, &width_, &height_);
    // The picture covers the destination, or all of the window; full screen, all of the screen.
    const Rect area = view.destination && !(top_level && view.fullscreen) ? *view.destination
                                                                          : Rect{0, 0, width_, height_};
    picture_width_ = std::max(1, area.width);
    picture_height_ = std::max(1, area.height);
    XMoveResizeWindow(display, picture_, area.left, area.top, static_cast<unsigned>(picture_width_),
                      static_cast<unsigned>(picture_height_));
    if (view.title != shown_.title) SetTitle(view.title);
    if (view.visible != shown_.visible || view.minimized != shown_.minimized) {
        if (!view.visible || (view.minimized && !managed)) {
            XUnmapWindow(display, id_);
        } else if (view.minimized) {
            XIconifyWindow(display, id_, DefaultScreen(display));
        } else {
            XMapRaised(display, id_);
        }
    } else if (view.visible && view.fullscreen && !shown_.fullscreen) {
        XRaiseWindow(display, id_); // over every other window
    }
    XSync(display, False);
    shown_ = view;
    return true;
}

} // namespace tvx::mci::gst
