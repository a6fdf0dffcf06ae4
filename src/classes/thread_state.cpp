#include "classes/thread_state.h"

#include "component/resources.h"
#include "error/error.h"

namespace tvx {

ThreadState &CurrentThreadState() {
    thread_local ThreadState state;
    return state;
}

ComPtr<IDispatch> ApplicationObject() {
    ThreadState &state = CurrentThreadState();
    if (!state.application) {
        // The runtime reads the library's version record from its resources.
        PublishLibraryResources();
        ComPtr<IDispatch> made;
        Check(TvxCreateAppObject(ModulePath().c_str(), made.Put()));
        state.application = std::move(made);
    }
    return state.application;
}

} // namespace tvx
