// The library's module-level state, kept separately for each thread: the
// buddy object slot and the application object. A thread never sees another
// thread's copy; each copy lives as long as its thread.
#ifndef TVX_CLASSES_THREAD_STATE_H
#define TVX_CLASSES_THREAD_STATE_H

#include "tarvex10/automation.hpp"

namespace tvx {

struct ThreadState {
    ComPtr<IDispatch> buddy;       // empty until a client stores an object
    ComPtr<IDispatch> application; // created on first use by the descriptor class
};

// The calling thread's state, created on its first use.
ThreadState &CurrentThreadState();

// The calling thread's application object: the runtime's object that
// describes this library, made on the thread's first use and then reused.
ComPtr<IDispatch> ApplicationObject();

} // namespace tvx

#endif // TVX_CLASSES_THREAD_STATE_H
