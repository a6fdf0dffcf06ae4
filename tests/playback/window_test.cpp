// The picture on a real X display: an Xvfb server that the test starts and
// stops itself, a host window of the test's, and the pixels read back.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine_fixture.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its names.
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
    if (!x_.display()) {
        if (!std::getenv("CI")) GTEST_SKIP() << "no Xvfb here";
        FAIL() << "Xvfb did not start";
    }
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
        Sleep(0.3);
        EXPECT_EQ(FrameOfColour(PixelAt(host, 180, 110)), frame);
    }
    const Rgb outside = PixelAt(host, 20, 20);
    EXPECT_LT(outside.r + outside.g + outside.b, 30);
    // Video off hides the picture; on shows the same frame again.
    Reply("set m video off");
    const Rgb hidden = PixelAt(host, 180, 110);
    EXPECT_LT(hidden.r + hidden.g + hidden.b, 30);
    Reply("set m video on");
    Sleep(0.3);
    EXPECT_EQ(FrameOfColour(PixelAt(host, 180, 110)), 61);

    EXPECT_EQ(Send("window m handle 123456").code, 347u);
    EXPECT_EQ(Number("status m window handle"), static_cast<long>(drawn));
    Reply("close m");
    XDestroyWindow(display, host);
}

} // namespace
} // namespace tvx::testing
