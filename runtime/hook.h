// A host hook: what the runtime calls for a service that a host (or a test)
// may replace: the clock, the event-dispatch pass, the message box, the media
// control handler. The value is a small struct of function pointers and
// their context. Callers take a copy under the lock and call it outside, so
// that a hook may itself install another one and a slow one (a message box
// waiting for the user, a long media command) holds up no other thread.
#ifndef TVX_RUNTIME_HOOK_H
#define TVX_RUNTIME_HOOK_H

#include <mutex>
#include <utility>

namespace tvx::runtime {

template <class T> class Hook {
public:
    // Constant-initialised, so a hook works from the first call of any
    // static initialiser.
    explicit constexpr Hook(T initial) : value_(initial) {}

    [[nodiscard]] T Get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    // Installs `next` and gives the hook it replaces.
    T Exchange(T next) {
        std::lock_guard lock(mutex_);
        return std::exchange(value_, next);
    }

private:
    mutable std::mutex mutex_;
    T value_;
};

} // namespace tvx::runtime

#endif // TVX_RUNTIME_HOOK_H
