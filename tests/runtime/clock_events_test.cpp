// The time-of-day clock and the per-thread event queues: the built-in clock,
// installing and removing a host's clock and dispatch pass, posting to a
// thread's queue and the order in which its pass runs the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "tarvex10/platform.h"

namespace {

// ---- clock ---------------------------------------------------------------

double LocalSecondsNow() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}

// Distance on the 24-hour circle, so a reading taken across midnight counts
// as close.
double DayDistance(double a, double b) {
    const double d = std::fabs(a - b);
    return std::fmin(d, 86400.0 - d);
}

// Catches: UTC instead of local time, milliseconds or seconds since the
// epoch instead of since midnight, or a dropped fraction.
TEST(Clock, TheBuiltInClockGivesLocalSecondsSinceMidnight) {
    const double before = LocalSecondsNow();
    const double reading = TvxTimeOfDay();
    EXPECT_GE(reading, 0.0);
    EXPECT_LT(reading, 86400.0);
    EXPECT_LT(DayDistance(reading, before), 2.0);
    // Every reading showing a whole second would mean the fraction is cut
    // off; over a few readings at least one has a fraction.
    bool fraction_seen = false;
    for (int i = 0; i < 50 && !fraction_seen; ++i) {
        const double t = TvxTimeOfDay();
        fraction_seen = t != std::floor(t);
    }
    EXPECT_TRUE(fraction_seen);
}

double FixedClock(void *context) { return *static_cast<double *>(context); }

// Catches: a hook that is not consulted, gets the wrong context, or cannot
// be removed again.
TEST(Clock, AnInstalledClockReplacesTheSystemClockUntilRemoved) {
    double now = 12345.25;
    TvxSetClock(&FixedClock, &now);
    EXPECT_EQ(TvxTimeOfDay(), 12345.25);
    now = 0.5;
    EXPECT_EQ(TvxTimeOfDay(), 0.5);
    TvxSetClock(nullptr, nullptr);
    EXPECT_LT(DayDistance(TvxTimeOfDay(), LocalSecondsNow()), 2.0);
}

// ---- thread ids and posting ------------------------------------------------------

// Catches: ids that are 0, change between calls on one thread, or repeat
// across threads.
TEST(Events, EachThreadHasItsOwnStableNonzeroId) {
    const DWORD mine = TvxCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(TvxCurrentThreadId(), mine);
    DWORD other = 0;
    std::thread([&] { other = TvxCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

void Append(void *arg) {
    auto *log = static_cast<std::vector<int> *>(arg);
    log->push_back(static_cast<int>(log->size()));
}

// Catches: posting accepted for a thread that has ended (its calls would be
// lost silently) or for an id that never existed, and a null call accepted.
TEST(Events, PostingIsRefusedForNoCallAndForThreadsThatDoNotExist) {
    std::vector<int> log;
    EXPECT_EQ(TvxPostEvent(TvxCurrentThreadId(), nullptr, &log), E_POINTER);
    DWORD ended = 0;
    std::thread([&] { ended = TvxCurrentThreadId(); }).join();
    EXPECT_EQ(TvxPostEvent(ended, &Append, &log), E_INVALIDARG);
    EXPECT_EQ(TvxPostEvent(0, &Append, &log), E_INVALIDARG);
    EXPECT_EQ(TvxPostEvent(0xFFFFFFF0u, &Append, &log), E_INVALIDARG);
    EXPECT_TRUE(log.empty());
}

struct Record {
    std::vector<std::string> *log;
    std::string name;
    DWORD ran_on = 0;
};
void Note(void *arg) {
    auto *record = static_cast<Record *>(arg);
    record->ran_on = TvxCurrentThreadId();
    record->log->push_back(record->name);
}

// Catches: calls run at posting time or on the posting thread instead of in
// the owner's pass, or run out of order.
TEST(Events, PostedCallsRunInTheOwnersPassInPostingOrder) {
    std::vector<std::string> log;
    Record first{&log, "first"}, second{&log, "second"}, from_worker{&log, "worker"};
    const DWORD owner = TvxCurrentThreadId();
    ASSERT_EQ(TvxPostEvent(owner, &Note, &first), S_OK);
    std::thread([&] { EXPECT_EQ(TvxPostEvent(owner, &Note, &from_worker), S_OK); }).join();
    ASSERT_EQ(TvxPostEvent(owner, &Note, &second), S_OK);
    EXPECT_TRUE(log.empty()) << "nothing runs before the owner dispatches";

    TvxDispatchEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"first", "worker", "second"}));
    EXPECT_EQ(from_worker.ran_on, owner);
    TvxDispatchEvents();
    EXPECT_EQ(log.size(), 3u) << "a call runs once";
}

struct Reposter {
    int runs = 0;
    int limit = 0;
};
void PostAgain(void *arg) {
    auto *self = static_cast<Reposter *>(arg);
    if (++self->runs < self->limit) TvxPostEvent(TvxCurrentThreadId(), &PostAgain, self);
}

// Catches: a pass that keeps running calls posted during the pass, which a
// call that posts itself again would turn into an endless pass.
TEST(Events, CallsPostedDuringAPassWaitForTheNextPass) {
    Reposter reposter{0, 3};
    ASSERT_EQ(TvxPostEvent(TvxCurrentThreadId(), &PostAgain, &reposter), S_OK);
    for (int pass = 1; pass <= 4; ++pass) {
        SCOPED_TRACE(pass);
        TvxDispatchEvents();
        EXPECT_EQ(reposter.runs, std::min(pass, 3));
    }
}

struct Nesting {
    std::vector<std::string> *log;
};
void NestedDispatch(void *arg) {
    auto *nesting = static_cast<Nesting *>(arg);
    nesting->log->push_back("outer");
    TvxDispatchEvents();
}

// Catches: a pass that copies its calls away before running them, so that a
// nested pass (a call that dispatches) skips them and the order is broken or
// a call runs twice.
TEST(Events, ANestedPassContinuesWithTheNextCallsInOrder) {
    std::vector<std::string> log;
    Nesting nesting{&log};
    Record a{&log, "a"}, b{&log, "b"};
    const DWORD owner = TvxCurrentThreadId();
    ASSERT_EQ(TvxPostEvent(owner, &NestedDispatch, &nesting), S_OK);
    ASSERT_EQ(TvxPostEvent(owner, &Note, &a), S_OK);
    ASSERT_EQ(TvxPostEvent(owner, &Note, &b), S_OK);
    TvxDispatchEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"outer", "a", "b"}));
}

// ---- the dispatch hook ----------------------------------------------------------------

struct HookLog {
    int passes = 0;
};
void CountPass(void *context) { ++static_cast<HookLog *>(context)->passes; }

// Catches: a hook that is not called once per pass, that still runs the
// built-in queue behind the host's back, or that cannot be removed.
TEST(Events, AnInstalledPassReplacesTheBuiltInOneUntilRemoved) {
    HookLog hook;
    std::vector<int> log;
    ASSERT_EQ(TvxPostEvent(TvxCurrentThreadId(), &Append, &log), S_OK);
    TvxSetEventDispatcher(&CountPass, &hook);
    TvxDispatchEvents();
    TvxDispatchEvents();
    EXPECT_EQ(hook.passes, 2);
    EXPECT_TRUE(log.empty()) << "the host's pass decides what runs";
    TvxSetEventDispatcher(nullptr, nullptr);
    TvxDispatchEvents();
    EXPECT_EQ(hook.passes, 2);
    EXPECT_EQ(log, std::vector<int>{0});
}

} // namespace
