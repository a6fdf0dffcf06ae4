// The host hooks: the media control interface's built-in handler and its
// buffer contract, installing and removing a host's handler, and the message
// box handler. (What the built-in interpreter answers is tested in the other
// mci_*_test.cpp files.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tarvex10/platform.h"

namespace {

constexpr MCIERROR kUnrecognizedCommand = 261;
constexpr MCIERROR kInvalidDeviceName = 263;
constexpr MCIERROR kMissingCommandString = 267;

// Catches: a reply buffer left holding stale text after an error, written
// past its first byte, or touched at capacity 0.
TEST(MciBuiltin, ErrorsLeaveAnEmptyReplyAndTouchNothingElse) {
    struct Case {
        const char *command;
        MCIERROR code;
    } cases[] = {
        {"frobnicate movie from 1 to 2", kUnrecognizedCommand},
        {"status nosuchdevice mode", kInvalidDeviceName},
        {"", kMissingCommandString},
        {" \t ", kMissingCommandString},
        {nullptr, kMissingCommandString},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command ? c.command : "(null)");
        char reply[8];
        std::memset(reply, 'X', sizeof reply);
        EXPECT_EQ(mciSendStringA(c.command, reply, sizeof reply, nullptr), c.code);
        EXPECT_EQ(std::string(reply, sizeof reply), std::string("\0XXXXXXX", 8));
        std::memset(reply, 'X', sizeof reply);
        EXPECT_EQ(mciSendStringA(c.command, reply, 0, nullptr), c.code);
        EXPECT_EQ(std::string(reply, sizeof reply), std::string(8, 'X'));
        EXPECT_EQ(mciSendStringA(c.command, nullptr, 16, nullptr), c.code);
    }
}

std::string ErrorText(MCIERROR code) {
    char text[256];
    return mciGetErrorStringA(code, text, sizeof text) ? text : "";
}

// Catches: codes of the range without a text, texts too long for the usual
// 128-byte buffers, and one text pasted for two different errors.
TEST(MciErrorText, EveryCodeInTheRangeHasAShortDistinctText) {
    std::set<std::string> seen;
    std::string generic_prefix = ErrorText(511).substr(0, 10); // 511 has no text of its own
    for (MCIERROR code = 256; code <= 512; ++code) {
        SCOPED_TRACE(code);
        std::string text = ErrorText(code);
        EXPECT_FALSE(text.empty());
        EXPECT_LT(text.size(), 128u);
        EXPECT_TRUE(seen.insert(text).second) << "repeated: " << text;
        if (code == kUnrecognizedCommand || code == kMissingCommandString || code == 350) {
            EXPECT_NE(text.substr(0, 10), generic_prefix) << "a listed code fell back to the generic text";
        }
    }
}

// Catches: TRUE or writes for codes that are not media control errors.
TEST(MciErrorText, CodesOutsideTheRangeAreFalseAndWriteNothing) {
    for (MCIERROR code : {0u, 1u, 255u, 513u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(code);
        char text[16];
        std::memset(text, 'X', sizeof text);
        EXPECT_EQ(mciGetErrorStringA(code, text, sizeof text), 0);
        EXPECT_EQ(std::string(text, sizeof text), std::string(16, 'X'));
    }
}

// Catches: a description that overruns its buffer, lacks the NUL, or
// touches bytes after the NUL.
TEST(MciErrorText, CutsToTheBufferAndKeepsTheBytesAfterIt) {
    const std::string full = ErrorText(kUnrecognizedCommand);
    ASSERT_GT(full.size(), 5u);
    for (UINT capacity : {1u, 2u, 5u, static_cast<UINT>(full.size()), static_cast<UINT>(full.size() + 1)}) {
        SCOPED_TRACE(capacity);
        std::vector<char> text(full.size() + 4, 'X');
        EXPECT_EQ(mciGetErrorStringA(kUnrecognizedCommand, text.data(), capacity), 1);
        std::string expected = full.substr(0, capacity - 1) + '\0';
        expected.resize(text.size(), 'X');
        EXPECT_EQ(std::string(text.begin(), text.end()), expected);
    }
    char untouched[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(mciGetErrorStringA(kUnrecognizedCommand, untouched, 0), 1);
    EXPECT_EQ(std::string(untouched, 4), "XXXX");
    EXPECT_EQ(mciGetErrorStringA(kUnrecognizedCommand, nullptr, 64), 1);
}

// A host handler that records what reached it.
struct Recorder {
    std::string command;
    UINT capacity = 0;
    HWND callback = nullptr;
    MCIERROR asked_code = 0;

    static MCIERROR Send(void *self, const char *command, char *reply, UINT capacity, HWND callback) {
        auto *r = static_cast<Recorder *>(self);
        r->command = command;
        r->capacity = capacity;
        r->callback = callback;
        if (reply && capacity > 0) std::snprintf(reply, capacity, "handled");
        return 0;
    }
    static BOOL ErrorString(void *self, MCIERROR code, char *text, UINT capacity) {
        static_cast<Recorder *>(self)->asked_code = code;
        if (text && capacity > 0) std::snprintf(text, capacity, "host text");
        return 1;
    }
};

// Catches: a handler that is not called with its context and the caller's
// arguments, a "previous" that cannot be reinstalled, and a removal that
// does not bring back the built-in behaviour.
TEST(MciHook, InstalledHandlerServesUntilRemoved) {
    Recorder recorder;
    const TVXMCIHANDLER mine = {Recorder::Send, Recorder::ErrorString, &recorder};
    TVXMCIHANDLER builtin{};
    TvxSetMciHandler(&mine, &builtin);
    ASSERT_NE(builtin.send, nullptr);
    ASSERT_NE(builtin.get_error_string, nullptr);

    char reply[32];
    int window = 0;
    EXPECT_EQ(mciSendStringA("open x alias y", reply, sizeof reply, &window), 0u);
    EXPECT_EQ(recorder.command, "open x alias y");
    EXPECT_EQ(recorder.capacity, sizeof reply);
    EXPECT_EQ(recorder.callback, &window);
    EXPECT_STREQ(reply, "handled");
    EXPECT_EQ(mciGetErrorStringA(600, reply, sizeof reply), 1);
    EXPECT_EQ(recorder.asked_code, 600u);
    EXPECT_STREQ(reply, "host text");

    // Reinstalling the reported built-in restores it, and reports ours.
    TVXMCIHANDLER replaced{};
    TvxSetMciHandler(&builtin, &replaced);
    EXPECT_EQ(replaced.send, mine.send);
    EXPECT_EQ(replaced.context, &recorder);
    EXPECT_EQ(mciSendStringA("frobnicate y", reply, sizeof reply, nullptr), kUnrecognizedCommand);

    // So does NULL.
    TvxSetMciHandler(&mine, nullptr);
    TvxSetMciHandler(nullptr, nullptr);
    EXPECT_EQ(mciSendStringA("close y", reply, sizeof reply, nullptr), kInvalidDeviceName);
    EXPECT_EQ(recorder.command, "open x alias y");
}

// Catches: a handler with a function left out crashing the caller.
TEST(MciHook, MissingFunctionsFallBackToTheBuiltIn) {
    Recorder recorder;
    const TVXMCIHANDLER partial = {Recorder::Send, nullptr, &recorder};
    TvxSetMciHandler(&partial, nullptr);
    char text[128];
    EXPECT_EQ(mciGetErrorStringA(kUnrecognizedCommand, text, sizeof text), 1);
    EXPECT_NE(std::string(text), "host text");
    TvxSetMciHandler(nullptr, nullptr);
}

// Two handlers that each check they were called with their own context: a
// call that saw half of one installation and half of another would mix them.
int context_a, context_b;
std::atomic<int> mixed{0};
MCIERROR SendA(void *context, const char *, char *, UINT, HWND) {
    if (context != &context_a) ++mixed;
    return 1000;
}
MCIERROR SendB(void *context, const char *, char *, UINT, HWND) {
    if (context != &context_b) ++mixed;
    return 2000;
}

// Catches: torn reads of the handler while another thread installs one.
TEST(MciHook, CallsDuringInstallationSeeWholeHandlers) {
    const TVXMCIHANDLER a = {SendA, nullptr, &context_a}, b = {SendB, nullptr, &context_b};
    std::atomic<bool> done{false};
    std::thread installer([&] {
        for (int i = 0; i < 2000; ++i) TvxSetMciHandler(i % 2 ? &a : &b, nullptr);
        done = true;
    });
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t)
        callers.emplace_back([&] {
            while (!done) {
                MCIERROR code = mciSendStringA("frobnicate", nullptr, 0, nullptr);
                if (code != 1000 && code != 2000 && code != kUnrecognizedCommand) ++mixed;
            }
        });
    installer.join();
    for (auto &caller : callers) caller.join();
    TvxSetMciHandler(nullptr, nullptr);
    EXPECT_EQ(mixed, 0);
}

struct Shown {
    std::string text;
    std::optional<std::string> title;
    void *context = nullptr;
};

void Capture(void *context, const char *text, const char *title) {
    auto *shown = static_cast<std::vector<Shown> *>(context);
    shown->push_back({text, title ? std::optional<std::string>(title) : std::nullopt, context});
}

// Catches: the handler not called, called with altered texts, a NULL title
// turned into some text, or the context lost.
TEST(MessageBox, HandlerReceivesTextAndTitleAsGiven) {
    std::vector<Shown> shown;
    TvxSetMessageBoxHandler(Capture, &shown);
    TvxMessageBox("Line one\nline two", "Caption");
    TvxMessageBox("No caption", nullptr);
    TvxMessageBox("", "");
    TvxSetMessageBoxHandler(nullptr, nullptr);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Line one\nline two");
    EXPECT_EQ(shown[0].title, "Caption");
    EXPECT_EQ(shown[0].context, &shown);
    EXPECT_EQ(shown[1].text, "No caption");
    EXPECT_EQ(shown[1].title, std::nullopt);
    EXPECT_EQ(shown[2].text, "");
    EXPECT_EQ(shown[2].title, "");
}

// Catches: the built-in not restored, or writing something other than one
// line per message to standard error.
TEST(MessageBox, BuiltInWritesOneLineToStandardError) {
    std::vector<Shown> shown;
    TvxSetMessageBoxHandler(Capture, &shown);
    TvxSetMessageBoxHandler(nullptr, nullptr);
    testing::internal::CaptureStderr();
    TvxMessageBox("Cannot open the file.", "Tarvex10");
    TvxMessageBox("No title", nullptr);
    TvxMessageBox("two\r\nlines\nhere", "T");
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(output, "Tarvex10: Cannot open the file.\nNo title\nT: two / lines / here\n");
}

} // namespace
