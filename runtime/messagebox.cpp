// The message box: a host installs its own way of showing a message; without
// one the message goes to standard error, one line per message:
//
//   <title>: <text>      or, without a title,      <text>
//
// Line breaks inside the text are written as " / " so that each message stays
// on one line of a log.
#include <cstdio>
#include <string>

#include "hook.h"
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

constinit tvx::runtime::Hook<Handler> handler_hook(Handler{BuiltinMessageBox, nullptr});

} // namespace

extern "C" {

TVX_PLATFORM_API void TvxMessageBox(const char *text, const char *title) {
    const Handler handler = handler_hook.Get();
    handler.proc(handler.context, text, title);
}

TVX_PLATFORM_API void TvxSetMessageBoxHandler(TVXMESSAGEBOXPROC handler, void *context) {
    handler_hook.Exchange(handler ? Handler{handler, context} : Handler{BuiltinMessageBox, nullptr});
}

} // extern "C"
