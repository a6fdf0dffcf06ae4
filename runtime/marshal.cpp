// Marshalled calls: a proxy that any thread may call, which runs each call on
// the object's owner thread through that thread's event queue; and the event
// loop for a thread that only serves.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

#include "tarvex10/automation.hpp"

namespace {

using tvx::ComPtr;
using tvx::operator==;

// The objects behind proxies may be written in C.
#define TVX_CALLS_FOREIGN_OBJECTS __attribute__((no_sanitize("vptr")))

// Answered only by our proxies, so that a proxy is never wrapped again.
constexpr GUID kProxyIid = {0x6d0c3a51, 0x7f2e, 0x4b8a, {0x9c, 0x41, 0x2e, 0x85, 0xd7, 0x13, 0x60, 0xaf}};

// How often a waiting caller checks that the owner thread still lives: a
// call queued to a thread that ends is discarded and would never finish.
constexpr std::chrono::milliseconds kOwnerCheck{100};

void Nothing(void *) {}

// One call waiting for its owner thread.
struct PendingCall {
    std::function<HRESULT()> body;
    HRESULT status = E_UNEXPECTED;
    IErrorInfo *error = nullptr; // what the call left on the owner thread
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;

    TVX_CALLS_FOREIGN_OBJECTS
    static void Run(void *arg) {
        auto *call = static_cast<PendingCall *>(arg);
        HRESULT status = call->body();
        IErrorInfo *error = nullptr;
        if (GetErrorInfo(0, &error) != S_OK) error = nullptr;
        std::lock_guard lock(call->mutex);
        call->status = status;
        call->error = error;
        call->done = true;
        call->finished.notify_one();
    }
};

TVX_CALLS_FOREIGN_OBJECTS
HRESULT RunOnOwner(DWORD owner, std::function<HRESULT()> body) {
    PendingCall call;
    call.body = std::move(body);
    if (FAILED(TvxPostEvent(owner, &PendingCall::Run, &call))) return RPC_E_DISCONNECTED;
    std::unique_lock lock(call.mutex);
    while (!call.finished.wait_for(lock, kOwnerCheck, [&] { return call.done; })) {
        if (FAILED(TvxPostEvent(owner, &Nothing, nullptr))) return RPC_E_DISCONNECTED;
    }
    // The error information travels with the call to the calling thread.
    SetErrorInfo(0, call.error);
    if (call.error) call.error->Release();
    return call.status;
}

void ReleaseObject(void *object) { static_cast<IUnknown *>(object)->Release(); }

HRESULT MakeProxy(IDispatch *object, IDispatch **proxy);

// Objects that come back from the owner thread are wrapped for the caller.
void WrapObject(IDispatch *&object) {
    if (!object) return;
    IDispatch *proxy = nullptr;
    if (SUCCEEDED(MakeProxy(object, &proxy))) {
        object->Release();
        object = proxy;
    }
}

void WrapVariant(VARIANT *v) {
    if (v && v->vt == VT_DISPATCH) WrapObject(V_DISPATCH(v));
}

class Proxy final : public IDispatch {
public:
    Proxy(IDispatch *object, DWORD owner) : object_(object), owner_(owner) { object_->AddRef(); }

    TVX_CALLS_FOREIGN_OBJECTS
    HRESULT QueryInterface(const IID &iid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kProxyIid) {
            *ppv = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    TVX_CALLS_FOREIGN_OBJECTS
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) {
            // The object is released where it lives; if its thread has ended,
            // here and now.
            if (TvxCurrentThreadId() == owner_ || FAILED(TvxPostEvent(owner_, &ReleaseObject, object_)))
                object_->Release();
            delete this;
        }
        return left;
    }

    TVX_CALLS_FOREIGN_OBJECTS
    HRESULT GetTypeInfoCount(UINT *count) override {
        return Call([=, this] { return object_->GetTypeInfoCount(count); });
    }
    TVX_CALLS_FOREIGN_OBJECTS
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo **info) override {
        // Type information describes; it is not bound to a thread.
        return Call([=, this] { return object_->GetTypeInfo(index, lcid, info); });
    }
    TVX_CALLS_FOREIGN_OBJECTS
    HRESULT GetIDsOfNames(const IID &iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override {
        const IID riid = iid;
        return Call([=, this] { return object_->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    TVX_CALLS_FOREIGN_OBJECTS
    HRESULT Invoke(DISPID id, const IID &iid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                   EXCEPINFO *excep, UINT *arg_err) override {
        if (TvxCurrentThreadId() == owner_) return object_->Invoke(id, iid, lcid, flags, params, result, excep, arg_err);
        const IID riid = iid;
        return RunOnOwner(owner_, [=, this] {
            // By-ref object arguments that the call replaces come back
            // wrapped; those it leaves alone are the caller's own.
            const UINT count = params ? params->cArgs : 0;
            std::vector<IDispatch *> before(count, nullptr);
            for (UINT i = 0; i < count && params->rgvarg; ++i) {
                VARIANT &a = params->rgvarg[i];
                if (a.vt == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(&a)) before[i] = *V_DISPATCHREF(&a);
                else if (a.vt == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&a) && V_VARIANTREF(&a)->vt == VT_DISPATCH)
                    before[i] = V_DISPATCH(V_VARIANTREF(&a));
            }
            HRESULT status = object_->Invoke(id, riid, lcid, flags, params, result, excep, arg_err);
            if (SUCCEEDED(status)) WrapVariant(result);
            for (UINT i = 0; i < count && params->rgvarg; ++i) {
                VARIANT &a = params->rgvarg[i];
                if (a.vt == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(&a) && *V_DISPATCHREF(&a) != before[i])
                    WrapObject(*V_DISPATCHREF(&a));
                else if (a.vt == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&a) &&
                         V_VARIANTREF(&a)->vt == VT_DISPATCH && V_DISPATCH(V_VARIANTREF(&a)) != before[i])
                    WrapVariant(V_VARIANTREF(&a));
            }
            return status;
        });
    }

private:
    template <class F> HRESULT Call(F body) {
        if (TvxCurrentThreadId() == owner_) return body();
        return RunOnOwner(owner_, body);
    }

    std::atomic<ULONG> references_{1};
    IDispatch *object_;
    DWORD owner_;
};

TVX_CALLS_FOREIGN_OBJECTS
HRESULT MakeProxy(IDispatch *object, IDispatch **proxy) {
    IUnknown *existing = nullptr;
    if (SUCCEEDED(object->QueryInterface(kProxyIid, reinterpret_cast<void **>(&existing))) && existing) {
        *proxy = static_cast<IDispatch *>(existing); // a proxy serves any thread already
        return S_OK;
    }
    try {
        *proxy = new Proxy(object, TvxCurrentThreadId());
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

thread_local bool quit_event_loop = false;

void Quit(void *) { quit_event_loop = true; }

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxMarshalInterface(IDispatch *object, IDispatch **proxy) {
    if (!proxy) return E_POINTER;
    *proxy = nullptr;
    if (!object) return E_INVALIDARG;
    return MakeProxy(object, proxy);
}

TVX_PLATFORM_API void TvxRunEventLoop(void) {
    const bool outer = quit_event_loop;
    quit_event_loop = false;
    while (!quit_event_loop) TvxDispatchEvents();
    quit_event_loop = outer;
}

TVX_PLATFORM_API HRESULT TvxQuitEventLoop(DWORD thread_id) { return TvxPostEvent(thread_id, &Quit, nullptr); }

} // extern "C"
