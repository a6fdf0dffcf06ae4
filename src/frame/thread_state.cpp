#include "frame/thread_state.h"

namespace tvx {

ThreadState &CurrentThreadState() {
    thread_local ThreadState state;
    return state;
}

} // namespace tvx
