// Per-thread queues of posted calls and the pass that runs them.
//
// A thread gets its id and its queue on first use. Any thread may post to a
// living thread's queue; the owner runs the calls from TvxDispatchEvents, one
// at a time, in the order they were posted. A call may itself dispatch (a
// nested pass takes the next calls from the same queue, so the order holds).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "hook.h"
#include "tarvex10/platform.h"

namespace {

struct Queue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<TVXEVENTPROC, void *>> calls;
};

// The queues of the living threads by id. Never destroyed: threads may end
// (and unregister) while the process is already running its exit handlers.
struct Registry {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<Queue>> queues;
};
Registry &Threads() {
    static Registry *registry = new Registry;
    return *registry;
}

std::atomic<DWORD> next_thread_id{1};

DWORD NewThreadId() {
    DWORD id = next_thread_id.fetch_add(1);
    while (id == 0) id = next_thread_id.fetch_add(1); // 0 stays "no thread"
    return id;
}

struct ThreadSlot {
    ThreadSlot() : id(NewThreadId()), queue(std::make_shared<Queue>()) {
        Registry &threads = Threads();
        std::lock_guard lock(threads.mutex);
        threads.queues.emplace(id, queue);
    }
    ~ThreadSlot() {
        Registry &threads = Threads();
        std::lock_guard lock(threads.mutex);
        threads.queues.erase(id);
    }
    ThreadSlot(const ThreadSlot &) = delete;
    ThreadSlot &operator=(const ThreadSlot &) = delete;

    DWORD id;
    std::shared_ptr<Queue> queue;
};

ThreadSlot &CurrentThread() {
    thread_local ThreadSlot slot;
    return slot;
}

// Waiting a little when nothing is queued keeps a loop of passes from
// spinning a core, and is short enough not to delay the loop's own checks.
constexpr std::chrono::milliseconds kIdleWait{1};

void BuiltinDispatch(void *) {
    Queue &queue = *CurrentThread().queue;
    size_t pending;
    {
        std::unique_lock lock(queue.mutex);
        if (queue.calls.empty()) queue.arrived.wait_for(lock, kIdleWait, [&] { return !queue.calls.empty(); });
        pending = queue.calls.size();
    }
    // Only the calls queued now: calls they post run in the next pass, so a
    // call that posts itself again cannot hold the pass forever.
    for (; pending > 0; --pending) {
        std::pair<TVXEVENTPROC, void *> call;
        {
            std::lock_guard lock(queue.mutex);
            if (queue.calls.empty()) break; // a nested pass ran them
            call = queue.calls.front();
            queue.calls.pop_front();
        }
        call.first(call.second);
    }
}

struct Dispatcher {
    TVXDISPATCHPROC proc;
    void *context;
};

constinit tvx::runtime::Hook<Dispatcher> dispatcher_hook(Dispatcher{BuiltinDispatch, nullptr});

} // namespace

extern "C" {

TVX_PLATFORM_API void TvxDispatchEvents(void) {
    const Dispatcher dispatcher = dispatcher_hook.Get();
    dispatcher.proc(dispatcher.context);
}

TVX_PLATFORM_API void TvxSetEventDispatcher(TVXDISPATCHPROC dispatch, void *context) {
    dispatcher_hook.Exchange(dispatch ? Dispatcher{dispatch, context} : Dispatcher{BuiltinDispatch, nullptr});
}

TVX_PLATFORM_API DWORD TvxCurrentThreadId(void) { return CurrentThread().id; }

TVX_PLATFORM_API HRESULT TvxPostEvent(DWORD thread_id, TVXEVENTPROC fn, void *arg) {
    if (!fn) return E_POINTER;
    std::shared_ptr<Queue> queue;
    {
        Registry &threads = Threads();
        std::lock_guard lock(threads.mutex);
        auto it = threads.queues.find(thread_id);
        if (it == threads.queues.end()) return E_INVALIDARG;
        queue = it->second;
    }
    {
        std::lock_guard lock(queue->mutex);
        queue->calls.emplace_back(fn, arg);
    }
    queue->arrived.notify_one();
    return S_OK;
}

} // extern "C"
