#include "notice.h"

#include <mutex>
#include <unordered_map>

#include "hook.h"
#include "tarvex10/platform.h"

namespace tvx::mci {
namespace {

struct Handler {
    TVXMCINOTIFYPROC proc;
    void *context;
};
constinit runtime::Hook<Handler> handler_hook(Handler{nullptr, nullptr});

// The notifications on their way, by a number that the posted call carries:
// a call still queued when its thread ends is dropped without running, so
// the call owns nothing. Never destroyed: posts may come while the process
// winds down.
struct InFlight {
    std::mutex mutex;
    uintptr_t next = 1;
    std::unordered_map<uintptr_t, std::pair<Notice, NoticeFlag>> posted;
};
InFlight &Posted() {
    static InFlight *in_flight = new InFlight;
    return *in_flight;
}

void Deliver(void *arg) {
    InFlight &in_flight = Posted();
    std::pair<Notice, NoticeFlag> what;
    {
        std::lock_guard lock(in_flight.mutex);
        const auto found = in_flight.posted.find(reinterpret_cast<uintptr_t>(arg));
        if (found == in_flight.posted.end()) return;
        what = found->second;
        in_flight.posted.erase(found);
    }
    const Handler handler = handler_hook.Get();
    if (handler.proc)
        handler.proc(handler.context, static_cast<HWND>(what.first.callback), MM_MCINOTIFY, what.second,
                     what.first.device);
}

} // namespace

void Post(const Notice &notice, NoticeFlag flag) {
    InFlight &in_flight = Posted();
    uintptr_t number;
    {
        std::lock_guard lock(in_flight.mutex);
        number = in_flight.next++;
        in_flight.posted.emplace(number, std::make_pair(notice, flag));
    }
    if (TvxPostEvent(notice.thread, &Deliver, reinterpret_cast<void *>(number)) != S_OK) {
        std::lock_guard lock(in_flight.mutex);
        in_flight.posted.erase(number); // the sender is gone
    }
}

} // namespace tvx::mci

extern "C" TVX_PLATFORM_API void TvxSetMciNotifyHandler(TVXMCINOTIFYPROC handler, void *context) {
    tvx::mci::handler_hook.Exchange({handler, context});
}
