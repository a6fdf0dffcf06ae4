// The picture on a real X display: an Xvfb server that the test starts and
// stops itself, a host window of the test's, and the pixels read back.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <utility>

#include "engine_fixture.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tvx::testing {
namespace {

// An X server of our own for the test's lifetime.
class Xvfb {
public:
    Xvfb() {
        // The server picks a free display and tells its number on a pipe.
        int told[2];
        if (pipe(told) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // Gone with the test, even one that crashed, and off its output.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            close(told[0]);
            const std::string fd = std::to_string(told[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        close(told[1]);
        std::string number;
        pollfd in{told[0], POLLIN, 0};
        char c = 0;
        while (poll(&in, 1, 10000) > 0 && read(told[0], &c, 1) == 1 && c != '\n') number += c;
        close(told[0]);
        if (number.empty()) return;
        const std::string name = ":" + number;
        display_ = XOpenDisplay(name.c_str());
        if (display_) setenv("DISPLAY", name.c_str(), 1);
    }
    ~Xvfb() {
        if (display_) XCloseDisplay(display_);
        unsetenv("DISPLAY");
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Display *display() const { return display_; }

private:
    pid_t pid_ = -1;
    Display *display_ = nullptr;
};

class RealWindow : public RealEngine {
protected:
    void SetUp() override {
        RealEngine::SetUp();
        unsetenv("TVX_MEDIA_CAPTURE"); // the picture goes to the display
        if (!x_.display()) {
            if (!std::getenv("CI")) GTEST_SKIP() << "no Xvfb here";
            FAIL() << "Xvfb did not start";
        }
    }

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
        XSync(x_.display(), False);
        XImage *image = XGetImage(x_.display(), window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return {-1, -1, -1};
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return {static_cast<int>(pixel >> 16 & 255), static_cast<int>(pixel >> 8 & 255), static_cast<int>(pixel & 255)};
    }

    Xvfb x_;
};

// Catches: a picture that never reaches the screen, one drawn outside the
// host's window or outside the destination rectangle, a window id that is
// not the X window drawn in, and a parent id that does not exist taking the
// process down with an X error instead of answering 347.
TEST_F(RealWindow, DrawsTheSeekedFrameInTheHostsWindow) {
    Display *display = x_.display();
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

    EXPECT_EQ(Send("window m handle 123456").code, 347u);
    EXPECT_EQ(Number("status m window handle"), static_cast<long>(drawn));
    Reply("close m");
    XDestroyWindow(display, host);
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
    Display *display = x_.display();
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

} // namespace
} // namespace tvx::testing
