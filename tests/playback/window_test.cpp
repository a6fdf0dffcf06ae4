// The picture on a real X display: an Xvfb server that the test starts and
// stops itself, a host window of the test's, and the pixels read back; and
// the device's own window under a window manager (openbox, which follows
// the desktop conventions) that the test starts and stops too.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "engine_fixture.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tvx::testing {
namespace {

// Starts `program` with its output discarded; it goes with the test, even
// one that crashed.
pid_t Spawn(const std::vector<std::string> &program) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char *> argv;
    for (const std::string &word : program) argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

bool OnPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "";
    for (size_t start = 0, end; start <= folders.size(); start = end + 1) {
        end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        if (access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

void End(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Waits (at most `seconds`) until `done` holds.
template <typename Done>
bool Within(double seconds, Done done) {
    for (const double end = MonotonicSeconds() + seconds; !done();) {
        if (MonotonicSeconds() > end) return false;
        Sleep(0.01);
    }
    return true;
}

std::vector<long> LongsOf(Display *display, Window window, const char *name, Atom type) {
    std::vector<long> values;
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, type, &actual, &format,
                           &count, &left, &data) == Success &&
        data && format == 32)
        values.assign(reinterpret_cast<long *>(data), reinterpret_cast<long *>(data) + count);
    if (data) XFree(data);
    return values;
}

// An X server of our own for the test's lifetime, with a window manager on
// it when asked.
class Xvfb {
public:
    explicit Xvfb(bool managed) {
        // The server picks a free display and tells its number on a pipe.
        int told[2];
        if (pipe(told) != 0) return;
        pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(told[1]), "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        close(told[1]);
        std::string number;
        pollfd in{told[0], POLLIN, 0};
        char c = 0;
        while (poll(&in, 1, 10000) > 0 && read(told[0], &c, 1) == 1 && c != '\n') number += c;
        close(told[0]);
        if (number.empty()) return;
        const std::string name = ":" + number;
        display_ = XOpenDisplay(name.c_str());
        if (!display_) return;
        setenv("DISPLAY", name.c_str(), 1);
        if (!managed || !OnPath("openbox")) return;
        // The manager is up once it takes on a window: a probe, mapped
        // afresh now and then, since one mapped while the manager was still
        // starting may go unseen.
        manager_ = Spawn({"openbox", "--sm-disable"});
        const Window probe = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
        const Atom wm_state = XInternAtom(display_, "WM_STATE", False);
        int tries = 0;
        managed_ = Within(10, [&] {
            if (waitpid(manager_, nullptr, WNOHANG) != 0) return false;
            if (!LongsOf(display_, probe, "WM_STATE", wm_state).empty()) return true;
            if (tries++ % 20 == 0) {
                XUnmapWindow(display_, probe);
                XMapWindow(display_, probe);
                XSync(display_, False);
            }
            return false;
        });
        XDestroyWindow(display_, probe);
        XSync(display_, False);
    }
    ~Xvfb() {
        End(manager_);
        if (display_) XCloseDisplay(display_);
        unsetenv("DISPLAY");
        End(pid_);
    }
    Display *display() const { return display_; }
    bool managed() const { return managed_; }

private:
    pid_t pid_ = -1, manager_ = -1;
    Display *display_ = nullptr;
    bool managed_ = false;
};

class RealWindow : public RealEngine {
protected:
    void SetUp() override {
        RealEngine::SetUp();
        unsetenv("TVX_MEDIA_CAPTURE"); // the picture goes to the display
        x_ = std::make_unique<Xvfb>(WithManager());
        if (!x_->display()) {
            if (!std::getenv("CI")) GTEST_SKIP() << "no Xvfb here";
            FAIL() << "Xvfb did not start";
        }
        if (WithManager() && !x_->managed()) {
            if (!OnPath("openbox") && !std::getenv("CI")) GTEST_SKIP() << "no openbox here";
            FAIL() << "openbox did not start";
        }
    }
    // The device closes while the server still runs.
    void TearDown() override {
        RealEngine::TearDown();
        x_.reset();
    }
    virtual bool WithManager() const { return false; }

    // The frame that fills the rectangle: at its centre and in its four
    // corners; -1 where they differ (a picture not drawn at its size).
    int FrameFilling(Window window, int left, int top, int width, int height) {
        const int frame = FrameOfColour(PixelAt(window, left + width / 2, top + height / 2));
        const int right = left + width - 3, bottom = top + height - 3;
        for (const auto &[x, y] : {std::pair{left + 2, top + 2}, {right, top + 2}, {left + 2, bottom}, {right, bottom}})
            if (FrameOfColour(PixelAt(window, x, y)) != frame) return -1;
        return frame;
    }

    Rgb PixelAt(Window window, int x, int y) {
        XSync(x_->display(), False);
        XImage *image = XGetImage(x_->display(), window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return {-1, -1, -1};
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return {static_cast<int>(pixel >> 16 & 255), static_cast<int>(pixel >> 8 & 255), static_cast<int>(pixel & 255)};
    }

    void FullScreenLastsAsLongAsThePlay();
    void ClosedFromItsFrameTheWindowHides();

    std::unique_ptr<Xvfb> x_;
};

class ManagedWindow : public RealWindow {
protected:
    bool WithManager() const override { return true; }
};

// Catches: a picture that never reaches the screen, one drawn outside the
// host's window or outside the destination rectangle, a window id that is
// not the X window drawn in, and a parent id that does not exist taking the
// process down with an X error instead of answering 347.
TEST_F(RealWindow, DrawsTheSeekedFrameInTheHostsWindow) {
    Display *display = x_->display();
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);

    EXPECT_EQ(Send("open \"" + Clip("mpeg1") + "\" type mpegvideo parent 12345 style child alias bad").code, 347u);
    TVX_OPEN_OR_SKIP(Clip("mpeg1"), " parent " + std::to_string(host) + " style child");
    const Window drawn = static_cast<Window>(Number("status m window handle"));
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, drawn, &root, &parent, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(parent, host);

    Reply("put m destination at 100 50 160 120");
    Reply("window m state show");
    Reply("set m time format frames");
    for (int frame : {30, 61}) {
        Reply("seek m to " + std::to_string(frame));
        EXPECT_EQ(FrameFilling(host, 100, 50, 160, 120), frame);
    }
    const Rgb outside = PixelAt(host, 20, 20);
    EXPECT_LT(outside.r + outside.g + outside.b, 30);
    // Video off hides the picture; on shows the same frame again.
    Reply("set m video off");
    const Rgb hidden = PixelAt(host, 180, 110);
    EXPECT_LT(hidden.r + hidden.g + hidden.b, 30);
    Reply("set m video on");
    EXPECT_EQ(FrameFilling(host, 100, 50, 160, 120), 61);
    // A larger destination holds the same frame at its size at once; a seek
    // right after the change is exact.
    Reply("put m destination at 20 10 360 280");
    EXPECT_EQ(FrameFilling(host, 20, 10, 360, 280), 61);
    EXPECT_EQ(Number("status m position"), 61);
    Reply("seek m to 75");
    EXPECT_EQ(FrameFilling(host, 20, 10, 360, 280), 75);

    EXPECT_EQ(Send("window m handle 123456").code, 346u);
    EXPECT_EQ(Number("status m window handle"), static_cast<long>(drawn));
    Reply("close m");
    XDestroyWindow(display, host);
}

// Catches: a host that destroys its window while the picture plays in it
// (ours goes with it) taking the process down: the sink's X errors about a
// window that is gone went to Xlib's default handler, which exits.
TEST_F(RealWindow, AHostWindowDestroyedUnderThePlayLeavesTheProcessRunning) {
    Display *display = x_->display();
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);
    TVX_OPEN_OR_SKIP(Clip("mpeg1"), " parent " + std::to_string(host) + " style child");
    Reply("play m");
    Sleep(0.4);
    XDestroyWindow(display, host);
    XSync(display, False);
    Sleep(0.6); // pictures drawn into the window that is gone
    EXPECT_EQ(Send("status m mode").code, 0u);
    Send("window m state show");
    Send("put m destination at 10 10 100 80");
    EXPECT_EQ(Send("close m").code, 0u);
}

struct Geometry {
    int left, top, width, height;
    bool viewable;
    bool operator==(const Geometry &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Geometry &g) {
    return out << g.left << " " << g.top << " " << g.width << " " << g.height << (g.viewable ? " shown" : " unmapped");
}

Geometry GeometryOf(Display *display, Window window) {
    XSync(display, False);
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, window, &a)) return {-1, -1, -1, -1, false};
    return {a.x, a.y, a.width, a.height, a.map_state == IsViewable};
}

std::string TitleOf(Display *display, Window window) {
    char *name = nullptr;
    XFetchName(display, window, &name);
    const std::string title = name ? name : "";
    if (name) XFree(name);
    return title;
}

Window ParentOf(Display *display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    return parent;
}

// Where a window is on the screen, whatever frame a window manager put it in.
Geometry PlaceOf(Display *display, Window window) {
    Geometry place = GeometryOf(display, window);
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.left, &place.top, &child);
    return place;
}

std::string Text(const Geometry &g) {
    return std::to_string(g.left) + " " + std::to_string(g.top) + " " + std::to_string(g.width) + " " +
           std::to_string(g.height);
}

bool HasState(Display *display, Window window, const char *state) {
    const std::vector<long> states = LongsOf(display, window, "_NET_WM_STATE", XA_ATOM);
    const long wanted = static_cast<long>(XInternAtom(display, state, False));
    return std::find(states.begin(), states.end(), wanted) != states.end();
}

// WM_STATE's state as the manager set it; -1 when it set none.
long ManagerState(Display *display, Window window) {
    const std::vector<long> state = LongsOf(display, window, "WM_STATE", XInternAtom(display, "WM_STATE", False));
    return state.empty() ? -1 : state[0];
}

// The title as the manager shows it.
std::string ShownTitle(Display *display, Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_VISIBLE_NAME", False), 0, 256, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &left,
                           &data) == Success &&
        data)
        title.assign(reinterpret_cast<const char *>(data), count);
    if (data) XFree(data);
    return title;
}

// Catches: a top-level window titled otherwise than by the alias or deaf
// to "window … text"; full screen, maximize and minimize that change
// nothing on a display without a window manager (Xvfb runs none: the
// window does it itself, maximized covering the work area the root window
// tells); a picture that does not fill the screen; restore not going back;
// a window handle that does not name the window the picture is in; a
// pause that leaves another picture on show than the position names, or
// lets the picture run on (a pause right after a play); a paused picture
// left at its old size by a change of the window; and a seek or step right
// after such a change that lands beside its frame.
TEST_F(RealWindow, OwnWindowTitleFullScreenMaximizeMinimizeAndHandle) {
    Display *display = x_->display();
    const Window root = DefaultRootWindow(display);
    // A panel of 20 pixels at the top, as a desktop would announce it.
    const long workarea[] = {0, 20, 640, 460};
    XChangeProperty(display, root, XInternAtom(display, "_NET_WORKAREA", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(workarea), 4);

    TVX_OPEN_OR_SKIP(Clip("mpeg1"));
    const Window own = static_cast<Window>(Number("status m window handle"));
    EXPECT_EQ(ParentOf(display, own), root);
    EXPECT_EQ(TitleOf(display, own), "m");
    Reply("window m text \"My film\"");
    EXPECT_EQ(TitleOf(display, own), "My film");
    EXPECT_EQ(Reply("info m window text"), "My film");
    const Geometry normal{0, 0, 160, 120, false};
    EXPECT_EQ(GeometryOf(display, own), normal);

    Reply("set m time format frames");
    Reply("play m fullscreen");
    Sleep(0.2);
    Reply("pause m");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 640, 480, true}));
    // The whole screen shows the frame the position names, from when the
    // pause returns.
    const long paused = Number("status m position");
    EXPECT_GT(paused, 0);
    EXPECT_EQ(FrameFilling(root, 0, 0, 640, 480), paused);
    // Paused again before the play has got going: it stops all the same.
    Reply("play m");
    Reply("pause m");
    const long repaused = Number("status m position");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 160, 120, true}));
    EXPECT_EQ(FrameFilling(own, 0, 0, 160, 120), repaused);
    Sleep(0.3);
    EXPECT_EQ(Number("status m position"), repaused);
    EXPECT_EQ(FrameFilling(own, 0, 0, 160, 120), repaused);

    // A change of the window redraws the frame on show at the new size at
    // once, and leaves the position where it is.
    Reply("seek m to 20");
    Reply("window m state maximize");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 20, 640, 460, true}));
    EXPECT_EQ(FrameFilling(root, 0, 20, 640, 460), 20);
    EXPECT_EQ(Number("status m position"), 20);
    Reply("seek m to 40");
    EXPECT_EQ(FrameFilling(root, 0, 20, 640, 460), 40);
    Reply("window m state restore");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 160, 120, true}));
    EXPECT_EQ(FrameFilling(own, 0, 0, 160, 120), 40);
    Reply("put m window at 30 40 200 150");
    EXPECT_EQ(FrameFilling(own, 0, 0, 200, 150), 40);
    Reply("step m by 5");
    EXPECT_EQ(FrameFilling(own, 0, 0, 200, 150), 45);
    EXPECT_EQ(Number("status m position"), 45);
    Reply("put m window at 0 0 160 120");
    Reply("window m state minimize");
    EXPECT_FALSE(GeometryOf(display, own).viewable);
    Reply("window m state restore");
    EXPECT_TRUE(GeometryOf(display, own).viewable);
    Reply("window m state hide");
    EXPECT_FALSE(GeometryOf(display, own).viewable);
    Reply("window m state show");
    EXPECT_TRUE(GeometryOf(display, own).viewable);
    Reply("put m window at 30 40 200 150");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{30, 40, 200, 150, true}));
    EXPECT_EQ(Reply("where m window"), "30 40 200 150");
    Reply("put m window at 50 60 0 0"); // a move only
    EXPECT_EQ(GeometryOf(display, own), (Geometry{50, 60, 200, 150, true}));
    Reply("put m window");
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 160, 120, true}));

    // Into a window of the host's and back: the handle names our window,
    // now a child of the host's.
    const Window host = XCreateSimpleWindow(display, root, 100, 100, 300, 200, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);
    Reply("window m handle " + std::to_string(host));
    const Window inside = static_cast<Window>(Number("status m window handle"));
    EXPECT_EQ(ParentOf(display, inside), host);
    EXPECT_EQ(GeometryOf(display, inside), (Geometry{0, 0, 300, 200, true}));
    Reply("window m handle default");
    EXPECT_EQ(ParentOf(display, static_cast<Window>(Number("status m window handle"))), root);
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 160, 120, true}));
    Reply("close m");
    XDestroyWindow(display, host);
}


// Catches: a picture on hold left at its old size when the window changes
// size. Growing shows it; shrinking needs a picture that is not one colour
// all over: a stale large picture shows only its middle (or its corner),
// where a boxed picture scaled down shows its white frame around the box.
TEST_F(RealWindow, APictureOnHoldTakesTheWindowsNewSizeBothWays) {
    TVX_OPEN_OR_SKIP(Clip("mpeg1-boxed"));
    const Window own = static_cast<Window>(Number("status m window handle"));
    // The frame's colour in the middle half, white outside it, at this size.
    auto boxed = [&](int width, int height) {
        const int frame = FrameOfColour(PixelAt(own, width / 2, height / 2));
        auto white = [&](int x, int y) {
            const Rgb c = PixelAt(own, x, y);
            return std::min({c.r, c.g, c.b}) > kBoxWhite - 25;
        };
        const bool box = FrameOfColour(PixelAt(own, width * 5 / 16, height * 5 / 16)) == frame &&
                         FrameOfColour(PixelAt(own, width * 11 / 16, height * 11 / 16)) == frame;
        const bool around = white(width / 8, height / 8) && white(width * 7 / 8, height * 7 / 8) &&
                            white(width / 8, height * 7 / 8) && white(width * 7 / 8, height / 8);
        return box && around ? frame : -1;
    };
    Reply("set m time format frames");
    Reply("window m state show");
    Reply("seek m to 30");
    EXPECT_EQ(boxed(160, 120), 30);
    Reply("put m window at 0 0 480 360");
    EXPECT_EQ(boxed(480, 360), 30);
    Reply("put m window at 0 0 200 100");
    EXPECT_EQ(boxed(200, 100), 30);
    // A play broken off at the large size, then shrunk.
    Reply("put m window at 0 0 400 300");
    Reply("play m from 40");
    Sleep(0.2);
    Reply("pause m");
    const long paused = Number("status m position");
    Reply("put m window at 0 0 160 120");
    EXPECT_EQ(boxed(160, 120), paused);
    EXPECT_EQ(Number("status m position"), paused);
    Reply("close m");
}

// Catches: a full screen that outlives its play (its end point reached on
// the engine's thread, a stop, a seek, a later play without it) or that a
// pause, which does not end the play, drops; a window not back where it
// was; and "where … window" answering other than the window's real place.
void RealWindow::FullScreenLastsAsLongAsThePlay() {
    Display *display = x_->display();
    TVX_OPEN_OR_SKIP(Clip("mpeg1"));
    const Window own = static_cast<Window>(Number("status m window handle"));
    const Geometry normal{30, 40, 160, 120, true};
    const Geometry screen{0, 0, 640, 480, true};
    auto full_screen = [&] {
        return PlaceOf(display, own) == screen &&
               (!x_->managed() || HasState(display, own, "_NET_WM_STATE_FULLSCREEN"));
    };
    auto back = [&] {
        return PlaceOf(display, own) == normal &&
               (!x_->managed() || !HasState(display, own, "_NET_WM_STATE_FULLSCREEN"));
    };
    Reply("set m time format frames");
    Reply("put m window at 30 40 160 120");

    Reply("play m from 0 to 20 fullscreen");
    EXPECT_TRUE(full_screen()) << PlaceOf(display, own);
    EXPECT_EQ(Reply("where m window"), "0 0 640 480");
    Reply("pause m");
    EXPECT_TRUE(full_screen()) << PlaceOf(display, own);
    Reply("resume m");
    EXPECT_TRUE(Within(5, [&] { return Reply("status m mode") == "stopped"; }));
    EXPECT_TRUE(back()) << PlaceOf(display, own);
    EXPECT_EQ(Reply("where m window"), Text(normal));
    Reply("pause m"); // the play is over: no full screen to come back to
    EXPECT_TRUE(back()) << PlaceOf(display, own);
    // The last picture of the play fills the window at its own size again.
    EXPECT_EQ(FrameFilling(own, 0, 0, 160, 120), Number("status m position"));

    Reply("play m from 0 fullscreen");
    EXPECT_TRUE(full_screen()) << PlaceOf(display, own);
    Reply("stop m");
    EXPECT_TRUE(back()) << "stopped: " << PlaceOf(display, own);
    Reply("play m from 0 fullscreen");
    Reply("pause m");
    Reply("seek m to 50");
    EXPECT_TRUE(back()) << "sought: " << PlaceOf(display, own);
    Reply("play m from 0 fullscreen");
    Reply("play m from 10");
    EXPECT_TRUE(back()) << "played on: " << PlaceOf(display, own);
    Reply("play m from 80 to 90 fullscreen wait");
    EXPECT_TRUE(back()) << "waited: " << PlaceOf(display, own);
    EXPECT_EQ(FrameFilling(own, 0, 0, 160, 120), 90);
    Reply("close m");
}

// Catches: a close from the manager's frame unheard until a command
// changes the window (or ever), one that stops the play or closes the
// device rather than hiding the window, "status … window visible" still
// saying true, a later command that does not show the window showing it
// all the same, "show" not bringing it back; and "where … window max"
// answering some fixed screen rather than the display's.
void RealWindow::ClosedFromItsFrameTheWindowHides() {
    Display *display = x_->display();
    TVX_OPEN_OR_SKIP(Clip("mpeg1"));
    const Window own = static_cast<Window>(Number("status m window handle"));
    EXPECT_EQ(Reply("where m window max"), "0 0 640 480");
    EXPECT_EQ(Reply("status m window visible"), "false"); // until the first play
    Reply("put m window at 30 40 160 120");
    Reply("play m");
    EXPECT_TRUE(PlaceOf(display, own).viewable);
    EXPECT_EQ(Reply("status m window visible"), "true");

    // The close box: a manager is asked as a pager asks it, and asks the
    // window in turn; without one, the window is asked as a manager would.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = own;
    close.xclient.format = 32;
    if (x_->managed()) {
        close.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
        close.xclient.data.l[1] = 2; // from a pager
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &close);
    } else {
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, own, False, NoEventMask, &close);
    }
    XSync(display, False);
    EXPECT_TRUE(Within(3, [&] { return !PlaceOf(display, own).viewable; })) << PlaceOf(display, own);
    EXPECT_EQ(Reply("status m window visible"), "false");
    EXPECT_EQ(Reply("status m mode"), "playing");
    const long playing = Number("status m position");
    EXPECT_TRUE(Within(3, [&] { return Number("status m position") > playing + 200; }));
    Reply("put m destination at 0 0 80 60");
    Reply("pause m");
    EXPECT_FALSE(PlaceOf(display, own).viewable);
    EXPECT_EQ(Reply("status m window visible"), "false");

    Reply("window m state show");
    EXPECT_EQ(PlaceOf(display, own), (Geometry{30, 40, 160, 120, true}));
    EXPECT_EQ(Reply("status m window visible"), "true");
    EXPECT_EQ(Reply("status m mode"), "paused");
    Reply("close m");
}

TEST_F(RealWindow, ClosedFromItsFrameTheWindowHides) { ClosedFromItsFrameTheWindowHides(); }
TEST_F(ManagedWindow, ClosedFromItsFrameTheWindowHides) { ClosedFromItsFrameTheWindowHides(); }

TEST_F(RealWindow, FullScreenLastsAsLongAsThePlay) { FullScreenLastsAsLongAsThePlay(); }
TEST_F(ManagedWindow, FullScreenLastsAsLongAsThePlay) { FullScreenLastsAsLongAsThePlay(); }

// Catches, under a window manager: a window placed otherwise than put (the
// frame's place taken for the window's, or the manager's own placement),
// maximize not filling the manager's work area, minimize not iconic,
// restore and show not bringing the window back, hide leaving it in the
// manager's hands, a title change the manager does not see, "where …
// window" answering a place the window is not at, and a move into a
// host's window and back that leaves the window unmanaged or framed twice.
TEST_F(ManagedWindow, StatesTitleAndPlaceAsTheManagerKeepsThem) {
    Display *display = x_->display();
    const Window root = DefaultRootWindow(display);
    // A panel that reserves the top 20 pixels, which the manager takes off its work area.
    const Window panel = XCreateSimpleWindow(display, root, 0, 0, 640, 20, 0, 0, 0);
    const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(display, panel, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&dock), 1);
    const long strut[12] = {0, 0, 20, 0, 0, 0, 0, 0, 0, 639, 0, 0};
    XChangeProperty(display, panel, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(strut), 12);
    XMapWindow(display, panel);
    const Geometry work{0, 20, 640, 460, true};
    EXPECT_TRUE(Within(5, [&] {
        std::vector<long> area = LongsOf(display, root, "_NET_WORKAREA", XA_CARDINAL);
        area.resize(4);
        return area == std::vector<long>{work.left, work.top, work.width, work.height};
    })) << "the manager took no work area off for the panel";

    TVX_OPEN_OR_SKIP(Clip("mpeg1"));
    const Window own = static_cast<Window>(Number("status m window handle"));
    const Geometry normal{30, 40, 200, 150, true};
    Reply("put m window at 30 40 200 150");
    Reply("window m state show");
    EXPECT_EQ(PlaceOf(display, own), normal);
    EXPECT_NE(ParentOf(display, own), root) << "not framed by the manager";
    EXPECT_EQ(ManagerState(display, own), NormalState);
    EXPECT_EQ(Reply("where m window"), Text(normal));
    EXPECT_TRUE(Within(2, [&] { return ShownTitle(display, own) == "m"; })) << ShownTitle(display, own);
    Reply("window m text \"My film\"");
    EXPECT_TRUE(Within(2, [&] { return ShownTitle(display, own) == "My film"; })) << ShownTitle(display, own);

    // The close box of the manager's frame, as a pager asks it: a window
    // that does not take it as a request has its connection cut, which
    // ends the process. The manager reads its requests in order, so the
    // maximize that follows, which shows the window again, is carried out
    // after it.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = own;
    close.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    close.xclient.format = 32;
    close.xclient.data.l[1] = 2; // from a pager
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &close);
    XSync(display, False);
    Reply("window m state maximize");
    EXPECT_TRUE(HasState(display, own, "_NET_WM_STATE_MAXIMIZED_VERT"));
    EXPECT_TRUE(HasState(display, own, "_NET_WM_STATE_MAXIMIZED_HORZ"));
    const Geometry maximized = PlaceOf(display, own);
    std::vector<long> frame = LongsOf(display, own, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    frame.resize(4); // left, right, top, bottom
    const Geometry framed{maximized.left - static_cast<int>(frame[0]), maximized.top - static_cast<int>(frame[2]),
                          maximized.width + static_cast<int>(frame[0] + frame[1]),
                          maximized.height + static_cast<int>(frame[2] + frame[3]), true};
    EXPECT_EQ(framed, work);
    EXPECT_NE(maximized, work) << "the frame not taken off";
    EXPECT_EQ(Reply("where m window"), Text(maximized));
    EXPECT_EQ(Reply("where m destination"), Text({0, 0, maximized.width, maximized.height, true}));
    Reply("window m state restore");
    EXPECT_EQ(PlaceOf(display, own), normal);
    EXPECT_FALSE(HasState(display, own, "_NET_WM_STATE_MAXIMIZED_VERT"));

    Reply("window m state minimize");
    EXPECT_FALSE(PlaceOf(display, own).viewable);
    EXPECT_EQ(ManagerState(display, own), IconicState);
    Reply("window m state restore");
    EXPECT_EQ(PlaceOf(display, own), normal);
    EXPECT_EQ(ManagerState(display, own), NormalState);
    Reply("window m state hide");
    EXPECT_FALSE(PlaceOf(display, own).viewable);
    EXPECT_EQ(ParentOf(display, own), root) << "still in the manager's hands";
    Reply("window m state show");
    EXPECT_EQ(PlaceOf(display, own), normal);
    EXPECT_EQ(ManagerState(display, own), NormalState);

    // Moved by the user, as a pager moves it: the window stays there
    // through a command that does not place it, and "where" tells so.
    XEvent move{};
    move.xclient.type = ClientMessage;
    move.xclient.window = own;
    move.xclient.message_type = XInternAtom(display, "_NET_MOVERESIZE_WINDOW", False);
    move.xclient.format = 32;
    move.xclient.data.l[0] = StaticGravity | 1 << 8 | 1 << 9 | 2 << 12; // x and y, from a pager
    move.xclient.data.l[1] = 90;
    move.xclient.data.l[2] = 80;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &move);
    const Geometry moved{90, 80, 200, 150, true};
    EXPECT_TRUE(Within(2, [&] { return PlaceOf(display, own) == moved; })) << PlaceOf(display, own);
    Reply("put m destination at 0 0 100 75");
    EXPECT_EQ(PlaceOf(display, own), moved);
    EXPECT_EQ(Reply("where m window"), Text(moved));
    Reply("put m window at 30 40 200 150");
    EXPECT_EQ(PlaceOf(display, own), normal);

    const Window host = XCreateSimpleWindow(display, root, 100, 100, 300, 200, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);
    Reply("window m handle " + std::to_string(host));
    EXPECT_EQ(ParentOf(display, own), host);
    EXPECT_EQ(GeometryOf(display, own), (Geometry{0, 0, 300, 200, true}));
    Reply("window m handle default");
    EXPECT_EQ(PlaceOf(display, own), normal);
    EXPECT_NE(ParentOf(display, own), root) << "not framed by the manager again";
    EXPECT_EQ(ManagerState(display, own), NormalState);
    Reply("close m");
    XDestroyWindow(display, host);
    XDestroyWindow(display, panel);
}

} // namespace
} // namespace tvx::testing
