// Per-thread error information and the error object that carries it.
#include <atomic>
#include <new>
#include <string>

#include "tarvex10/platform.h"

namespace {

// One object serves both the writer's and the reader's interface, so a
// client can fill it in and hand it straight to SetErrorInfo.
class ErrorObject final : public ICreateErrorInfo, public IErrorInfo {
public:
    // ---- IUnknown (shared by both bases) ----
    HRESULT QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IErrorInfo)) {
            *ppv = static_cast<IErrorInfo *>(this);
        } else if (IsEqualGUID(riid, IID_ICreateErrorInfo)) {
            *ppv = static_cast<ICreateErrorInfo *>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // ---- ICreateErrorInfo ----
    HRESULT SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR text) override { return Set(source_, text); }
    HRESULT SetDescription(LPOLESTR text) override { return Set(description_, text); }
    HRESULT SetHelpFile(LPOLESTR text) override { return Set(help_file_, text); }
    HRESULT SetHelpContext(DWORD context) override {
        help_context_ = context;
        return S_OK;
    }

    // ---- IErrorInfo ----
    HRESULT GetGUID(GUID *guid) override {
        if (!guid) return E_INVALIDARG;
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR *text) override { return Get(source_, text); }
    HRESULT GetDescription(BSTR *text) override { return Get(description_, text); }
    HRESULT GetHelpFile(BSTR *text) override { return Get(help_file_, text); }
    HRESULT GetHelpContext(DWORD *context) override {
        if (!context) return E_INVALIDARG;
        *context = help_context_;
        return S_OK;
    }

private:
    // A field that was never set, or set to NULL, reads back as a NULL BSTR.
    struct Field {
        bool present = false;
        std::u16string text;
    };

    static HRESULT Set(Field &field, LPOLESTR text) {
        try {
            field.present = text != nullptr;
            field.text = text ? std::u16string(text) : std::u16string();
        } catch (const std::bad_alloc &) {
            field = Field{};
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    static HRESULT Get(const Field &field, BSTR *text) {
        if (!text) return E_INVALIDARG;
        *text = nullptr;
        if (!field.present) return S_OK;
        *text = SysAllocStringLen(field.text.data(), static_cast<UINT>(field.text.size()));
        return *text ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> references_{1};
    GUID guid_ = IID_NULL;
    Field source_, description_, help_file_;
    DWORD help_context_ = 0;
};

// The thread's slot; a reference still held when the thread ends is released.
struct ErrorSlot {
    IErrorInfo *info = nullptr;
    ~ErrorSlot() {
        if (info) info->Release();
    }
};
thread_local ErrorSlot slot;

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo *info) {
    if (reserved != 0) return E_INVALIDARG;
    if (info) info->AddRef();
    IErrorInfo *old = slot.info;
    slot.info = info;
    // Released last: the old object's destructor may itself touch the slot.
    if (old) old->Release();
    return S_OK;
}

TVX_PLATFORM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo **info) {
    if (reserved != 0 || !info) return E_INVALIDARG;
    *info = slot.info;
    slot.info = nullptr;
    return *info ? S_OK : S_FALSE;
}

TVX_PLATFORM_API HRESULT CreateErrorInfo(ICreateErrorInfo **info) {
    if (!info) return E_INVALIDARG;
    *info = new (std::nothrow) ErrorObject;
    return *info ? S_OK : E_OUTOFMEMORY;
}

} // extern "C"
