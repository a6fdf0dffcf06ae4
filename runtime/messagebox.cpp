// The message box: a host installs its own way of showing a message; without
// one the message goes to standard error, one line per message:
//
//   <title>: <text>      or, without a title,      <text>
//
// Line breaks inside the text are written as " / " so that each message stays
// on one line of a log.
#include <cstdio>
#include <mutex>
#include <string>

#include "tarvex10/platform.h"

namespace {

void BuiltinMessageBox(void *, const char *text, const char *title) {
    std::string line;
    if (title) {
        line += title;
        line += ": ";
    }
    for (const char *p = text ? text : ""; *p; ++p) {
        if (*p == '\r' && p[1] == '\n') continue; // the '\n' that follows stands for the pair
        if (*p == '\n' || *p == '\r')
            line += " / ";
        else
            line += *p;
    }
    line += '\n';
    // One write, so that messages from several threads do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

struct Handler {
    TVXMESSAGEBOXPROC proc;
    void *context;
};

std::mutex handler_mutex;
Handler current_handler = {BuiltinMessageBox, nullptr};

} // namespace

extern "C" {

TVX_PLATFORM_API void TvxMessageBox(const char *text, const char *title) {
    Handler handler;
    {
        std::lock_guard lock(handler_mutex);
        handler = current_handler;
    }
    // Called outside the lock: a message box waits for the user, and other
    // threads must still be able to show theirs or change the handler.
    handler.proc(handler.context, text, title);
}

TVX_PLATFORM_API void TvxSetMessageBoxHandler(TVXMESSAGEBOXPROC handler, void *context) {
    std::lock_guard lock(handler_mutex);
    current_handler = handler ? Handler{handler, context} : Handler{BuiltinMessageBox, nullptr};
}

} // extern "C"
