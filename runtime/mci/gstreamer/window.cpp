#include "window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

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

// How long a window manager may take to carry out a change.
constexpr auto kManagerTime = std::chrono::milliseconds(2000);

// Reads a 32-bit property of `window` as longs (Xlib's form of them).
std::vector<long> LongsOf(Display *display, ::Window window, const char *name, Atom type) {
    std::vector<long> values;
    const Atom property = XInternAtom(display, name, True);
    if (!property) return values;
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actual, &format, &count, &left, &data) ==
            Success &&
        data && format == 32)
        values.assign(reinterpret_cast<const long *>(data), reinterpret_cast<const long *>(data) + count);
    if (data) XFree(data);
    return values;
}

// Where `window` is on the screen, whatever frame a manager put it in.
Window::Area PlaceOf(Display *display, ::Window window) {
    XWindowAttributes attributes{};
    int left = 0, top = 0;
    ::Window child = 0;
    XGetWindowAttributes(display, window, &attributes);
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top, &child);
    return {left, top, attributes.width, attributes.height};
}

} // namespace

Window::~Window() {
    if (asking_display_) XCloseDisplay(Dpy(asking_display_));
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
    // What a window manager does to the window is heard of, so that a
    // change can wait for it.
    XSelectInput(display, id_, StructureNotifyMask | PropertyChangeMask);
    // A close from the manager's frame is then a request, which hides the
    // window, rather than the end of this connection.
    protocols_ = XInternAtom(display, "WM_PROTOCOLS", False);
    delete_window_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom close = delete_window_;
    XSetWMProtocols(display, id_, &close, 1);
    // A window of the host's that is not to be a child still owns ours.
    if (view.parent && !view.child) XSetTransientForHint(display, id_, view.parent);
    shown_ = view;
    shown_.visible = false;
    top_level_ = !(view.parent && view.child);
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

// A window manager that follows the desktop conventions names a window of
// its own on the root window, which names itself again; a name left behind
// by a manager that has gone names a window that no longer does.
bool Window::Managed() {
    Display *display = Dpy(display_);
    const std::vector<long> named = LongsOf(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (named.size() != 1) return false;
    std::vector<long> itself;
    Checked(display, [&] {
        itself = LongsOf(display, static_cast<::Window>(named[0]), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    });
    return itself == named;
}

Window::Area Window::Screen() {
    Display *display = Dpy(display_);
    const int screen = DefaultScreen(display);
    return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

Window::Area Window::WorkArea() {
    Display *display = Dpy(display_);
    const std::vector<long> area = LongsOf(display, DefaultRootWindow(display), "_NET_WORKAREA", XA_CARDINAL);
    if (area.size() < 4) return Screen();
    return {static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
            static_cast<int>(area[3])};
}

Window::Area Window::PlaceNow() { return PlaceOf(Dpy(display_), id_); }

Window::Area Window::WithFrame(const Area &place) {
    std::vector<long> extents = LongsOf(Dpy(display_), id_, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    extents.resize(4); // left, right, top, bottom
    return {place.left - static_cast<int>(extents[0]), place.top - static_cast<int>(extents[2]),
            place.width + static_cast<int>(extents[0] + extents[1]),
            place.height + static_cast<int>(extents[2] + extents[3])};
}

void *Window::Asking() {
    if (!asking_display_) asking_display_ = XOpenDisplay(DisplayString(Dpy(display_)));
    return asking_display_;
}

std::optional<Rect> Window::Place() {
    std::lock_guard lock(asking_);
    if (!top_level_ || !Asking()) return std::nullopt;
    const Area place = PlaceOf(Dpy(asking_display_), id_);
    return Rect{place.left, place.top, place.width, place.height};
}

// The root window's size, not the connection's record of the screen, which
// keeps the size the screen had when it was opened.
std::optional<Rect> Window::ScreenArea() {
    std::lock_guard lock(asking_);
    if (!Asking()) return std::nullopt;
    Display *display = Dpy(asking_display_);
    XWindowAttributes root{};
    if (!XGetWindowAttributes(display, DefaultRootWindow(display), &root)) return std::nullopt;
    return Rect{0, 0, root.width, root.height};
}

int Window::Connection() const { return ConnectionNumber(Dpy(display_)); }

long Window::ManagerState() {
    Display *display = Dpy(display_);
    const std::vector<long> state =
        LongsOf(display, id_, "WM_STATE", XInternAtom(display, "WM_STATE", False));
    return state.empty() ? -1 : state[0];
}

bool Window::HasState(const char *state) {
    Display *display = Dpy(display_);
    const std::vector<long> states = LongsOf(display, id_, "_NET_WM_STATE", XA_ATOM);
    return std::find(states.begin(), states.end(), static_cast<long>(XInternAtom(display, state, False))) !=
           states.end();
}

// Whether the manager has carried out `view` on a window it shows.
bool Window::InState(const WindowView &view) {
    const long state = ManagerState();
    if (view.minimized) return state == IconicState;
    XWindowAttributes attributes{};
    XGetWindowAttributes(Dpy(display_), id_, &attributes);
    if (attributes.map_state != IsViewable || state != NormalState) return false;
    if (HasState("_NET_WM_STATE_FULLSCREEN") != view.fullscreen) return false;
    if ((HasState("_NET_WM_STATE_MAXIMIZED_VERT") && HasState("_NET_WM_STATE_MAXIMIZED_HORZ")) != view.maximized)
        return false;
    // The new size is in once the window fills what it should, or has
    // left its restored place at least (a screen of several monitors, a
    // manager that does not tell its frame).
    const Area place = PlaceNow();
    if (view.fullscreen) return place == Screen() || place != normal_;
    if (view.maximized) return WithFrame(place) == WorkArea() || place != normal_;
    return true;
}

// Out of the manager's hands: unmapped, and back on the root window.
bool Window::Withdrawn() {
    Display *display = Dpy(display_);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, id_, &attributes);
    const long state = ManagerState();
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, id_, &root, &parent, &children, &count);
    if (children) XFree(children);
    return attributes.map_state == IsUnmapped && (state == -1 || state == WithdrawnState) && parent == root;
}

// Only close requests matter; the rest is looked up when needed.
void Window::Drain() {
    Display *display = Dpy(display_);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.window == id_ && event.xclient.message_type == protocols_ &&
            static_cast<unsigned long>(event.xclient.data.l[0]) == delete_window_)
            close_asked_ = true;
    }
}

bool Window::CloseAsked() {
    Drain();
    return std::exchange(close_asked_, false) && top_level_ && shown_.visible;
}

// Waits on the connection for the manager's doings; each event (and a
// short period besides, for changes that come without one) looks again.
template <typename Done>
bool Window::Await(Done done) {
    Display *display = Dpy(display_);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + kManagerTime;
    for (;;) {
        Drain();
        if (done()) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            if (std::getenv("TVX_DEBUG")) std::fprintf(stderr, "tarvex10: the window manager did not answer in time\n");
            return false;
        }
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(std::min<long>(left.count(), 20)));
    }
}

// Both of a pair in one message, so that the manager changes them at once.
void Window::AskManager(bool on, const char *state, const char *also) {
    Display *display = Dpy(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id_;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, state, False));
    if (also) event.xclient.data.l[2] = static_cast<long>(XInternAtom(display, also, False));
    event.xclient.data.l[3] = 1; // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// What a manager reads when it takes the window on: the place as the
// user's (static gravity: the window itself lands there), whether it
// starts minimized, and its full-screen and maximized states.
void Window::SetManagerHints(const WindowView &view) {
    Display *display = Dpy(display_);
    XSizeHints size{};
    size.flags = USPosition | USSize | PWinGravity;
    size.x = normal_.left;
    size.y = normal_.top;
    size.width = normal_.width;
    size.height = normal_.height;
    size.win_gravity = StaticGravity;
    XSetWMNormalHints(display, id_, &size);
    XWMHints hints{};
    hints.flags = StateHint;
    hints.initial_state = view.minimized ? IconicState : NormalState;
    XSetWMHints(display, id_, &hints);
    std::vector<Atom> states;
    if (view.fullscreen) states.push_back(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
    if (view.maximized) {
        states.push_back(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", False));
        states.push_back(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    }
    XChangeProperty(display, id_, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(states.data()), static_cast<int>(states.size()));
}

void Window::MoveTo(const Area &area) {
    XMoveResizeWindow(Dpy(display_), id_, area.left, area.top, static_cast<unsigned>(area.width),
                      static_cast<unsigned>(area.height));
}

void Window::ShowPicture(bool on) {
    if (!picture_) return;
    if (on) XMapWindow(Dpy(display_), picture_);
    else XUnmapWindow(Dpy(display_), picture_);
    // Done on the server when the command returns.
    XSync(Dpy(display_), False);
}

void Window::Withdraw() {
    Display *display = Dpy(display_);
    if (!(shown_.parent && shown_.child) && Managed()) {
        XWithdrawWindow(display, id_, DefaultScreen(display));
        Await([this] { return Withdrawn(); });
    } else {
        XUnmapWindow(display, id_);
    }
    shown_.visible = false;
}

// Into the window named (or back onto the root window), hidden meanwhile:
// shown again, it is the manager's to take on afresh.
bool Window::Reparent(const WindowView &view) {
    Display *display = Dpy(display_);
    const ::Window parent = view.child && view.parent ? view.parent : DefaultRootWindow(display);
    int width = width_, height = height_;
    if (view.parent && !Exists(view.parent, view.child ? &width : nullptr, view.child ? &height : nullptr))
        return false;
    if (shown_.visible) Withdraw();
    if (!Checked(display, [&] {
            XReparentWindow(display, id_, parent, 0, 0);
            XResizeWindow(display, id_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        }))
        return false;
    width_ = width;
    height_ = height;
    placed_ = {0, 0, width, height};
    shown_.parent = view.parent;
    shown_.child = view.child;
    return true;
}

void Window::ShowManaged(const WindowView &view) {
    Display *display = Dpy(display_);
    if (!view.visible) {
        if (shown_.visible) Withdraw();
        // Unmanaged, the place is the window's own to take.
        if (PlaceNow() != normal_) MoveTo(normal_);
        return;
    }
    // Only what changed is asked, and waited for: a window the user has
    // since moved or maximized through the manager's frame stays so.
    const bool state_asked = !shown_.visible || view.fullscreen != shown_.fullscreen ||
                             view.maximized != shown_.maximized || view.minimized != shown_.minimized;
    if (!shown_.visible) {
        SetManagerHints(view);
        if (PlaceNow() != normal_) MoveTo(normal_);
        XMapRaised(display, id_);
    } else {
        if (view.fullscreen != shown_.fullscreen) AskManager(view.fullscreen, "_NET_WM_STATE_FULLSCREEN");
        if (view.maximized != shown_.maximized)
            AskManager(view.maximized, "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
        if (view.minimized && !shown_.minimized) {
            XIconifyWindow(display, id_, DefaultScreen(display));
        } else if (!view.minimized && shown_.minimized) {
            XMapRaised(display, id_); // a minimized window mapped is restored
        } else if (view.fullscreen && !shown_.fullscreen) {
            XRaiseWindow(display, id_);
        }
    }
    if (state_asked) Await([&] { return InState(view); });
    // The restored place is ours to set, also while the manager has the
    // window: when it was put, or the window comes back to it.
    const bool restored = !view.minimized && !view.fullscreen && !view.maximized;
    if (restored && (state_asked || view.frame) && PlaceNow() != normal_) {
        SetManagerHints(view);
        MoveTo(normal_);
        Await([&] { return PlaceNow() == normal_; });
    }
}

void Window::ShowItself(const WindowView &view, bool top_level) {
    Display *display = Dpy(display_);
    if (top_level) {
        const Area wanted = view.fullscreen ? Screen() : view.maximized ? WorkArea() : normal_;
        if (wanted != placed_) {
            MoveTo(wanted);
            placed_ = wanted;
        }
    }
    if (view.visible != shown_.visible || view.minimized != shown_.minimized) {
        if (!view.visible || view.minimized) XUnmapWindow(display, id_);
        else XMapRaised(display, id_);
    } else if (view.visible && view.fullscreen && !shown_.fullscreen) {
        XRaiseWindow(display, id_); // over every other window
    }
}

bool Window::Show(const WindowView &view) {
    Display *display = Dpy(display_);
    Drain();
    const bool top_level = !(view.parent && view.child);
    const bool was_top_level = !(shown_.parent && shown_.child);
    if ((top_level != was_top_level || (!top_level && view.parent != shown_.parent)) && !Reparent(view)) return false;
    if (view.frame)
        normal_ = {view.frame->left, view.frame->top, std::max(1, view.frame->width), std::max(1, view.frame->height)};
    // Titled before it is shown: the manager reads the title when it takes the window on.
    if (view.title != shown_.title) SetTitle(view.title);
    if (top_level && Managed()) ShowManaged(view);
    else ShowItself(view, top_level);
    // The window's size now, as a manager left it.
    if (top_level) Exists(id_, &width_, &height_);
    // The picture covers the destination, or all of the window; full screen, all of the screen.
    const Rect area = view.destination && !(top_level && view.fullscreen) ? *view.destination
                                                                          : Rect{0, 0, width_, height_};
    picture_width_ = std::max(1, area.width);
    picture_height_ = std::max(1, area.height);
    XMoveResizeWindow(display, picture_, area.left, area.top, static_cast<unsigned>(picture_width_),
                      static_cast<unsigned>(picture_height_));
    XSync(display, False);
    shown_ = view;
    top_level_ = top_level;
    // A close asked while the window changed is overtaken by the change;
    // one asked before it was carried out by the engine beforehand.
    Drain();
    close_asked_ = false;
    return true;
}

} // namespace tvx::mci::gst
