// What the media control tests share: one command sent through the string
// interface, and a platform clock the test moves by hand.
#ifndef TVX_TESTS_MCI_CLIENT_H
#define TVX_TESTS_MCI_CLIENT_H

#include <cstring>
#include <string>

#include "tarvex10/platform.h"

namespace tvx::testing {

struct Answer {
    MCIERROR code;
    std::string reply;
};

// Sends `command` with a 256-character reply area filled with 'X' first, so
// a reply without its NUL shows as trailing X characters.
inline Answer Send(const std::string &command) {
    char reply[256];
    std::memset(reply, 'X', sizeof reply);
    const MCIERROR code = mciSendStringA(command.c_str(), reply, sizeof reply, nullptr);
    return {code, std::string(reply, strnlen(reply, sizeof reply))};
}

// The platform clock while it lives: seconds since midnight, moved by the
// test; `tick` is added after every reading (for commands that wait on the
// clock), wrapping at midnight.
class TestClock {
public:
    explicit TestClock(double start = 43200) : now(start) { TvxSetClock(&Read, this); }
    ~TestClock() { TvxSetClock(nullptr, nullptr); }
    TestClock(const TestClock &) = delete;
    void Advance(double seconds) { now += seconds; }
    double now;
    double tick = 0;

private:
    static double Read(void *context) {
        auto *self = static_cast<TestClock *>(context);
        const double reading = self->now;
        self->now += self->tick;
        if (self->now >= 86400) self->now -= 86400;
        return reading;
    }
};

} // namespace tvx::testing

#endif // TVX_TESTS_MCI_CLIENT_H
