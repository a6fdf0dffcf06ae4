// C++ owners for the automation types of automation.h: a smart interface
// pointer, a BSTR owner and a Variant owner, so that ownership is visible in
// code that uses the component from C++. They add no data to the types they
// own, so a Variant can stand wherever a VARIANT is expected.
#ifndef TARVEX10_AUTOMATION_HPP
#define TARVEX10_AUTOMATION_HPP

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "automation.h"
#include "platform.h"

namespace tvx {

// Maps an interface type to its identifier; specialised for every interface
// that ComPtr is used with.
template <class T> struct InterfaceId;
template <> struct InterfaceId<IUnknown> { static constexpr const GUID &value = IID_IUnknown; };
template <> struct InterfaceId<IDispatch> { static constexpr const GUID &value = IID_IDispatch; };
template <> struct InterfaceId<IClassFactory> { static constexpr const GUID &value = IID_IClassFactory; };
template <> struct InterfaceId<ITypeInfo> { static constexpr const GUID &value = IID_ITypeInfo; };
template <> struct InterfaceId<IErrorInfo> { static constexpr const GUID &value = IID_IErrorInfo; };
template <> struct InterfaceId<ICreateErrorInfo> { static constexpr const GUID &value = IID_ICreateErrorInfo; };
template <> struct InterfaceId<ISupportErrorInfo> { static constexpr const GUID &value = IID_ISupportErrorInfo; };

inline bool operator==(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// Holds one reference to an interface.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to `p`.
    explicit ComPtr(T *p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr &other) : ComPtr(other.p_) {}
    ComPtr(ComPtr &&other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr &operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    // Adopts a reference that the caller already owns.
    static ComPtr Attach(T *p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    T *Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (auto *old = std::exchange(p_, nullptr)) old->Release();
    }
    // For out-parameters: releases what is held and hands out the slot.
    T **Put() {
        Reset();
        return &p_;
    }
    void **PutVoid() { return reinterpret_cast<void **>(Put()); }

    T *Get() const { return p_; }
    T *operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    template <class U> ComPtr<U> As(HRESULT *status = nullptr) const {
        ComPtr<U> result;
        HRESULT hr = p_ ? p_->QueryInterface(InterfaceId<U>::value, result.PutVoid()) : E_POINTER;
        if (status) *status = hr;
        return result;
    }

private:
    T *p_ = nullptr;
};

// The IUnknown part of an object that implements one interface, for callbacks,
// sinks and test doubles written in C++: QueryInterface answers IUnknown and
// Interface (and any id Derived::AlsoAnswers accepts) with the same pointer.
// A new object holds one reference; the last Release deletes it as Derived.
template <class Derived, class Interface> class ComObject : public Interface {
public:
    HRESULT QueryInterface(const IID &iid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == InterfaceId<Interface>::value || Derived::AlsoAnswers(iid)) {
            *ppv = static_cast<Interface *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete static_cast<Derived *>(this);
        return left;
    }

    static bool AlsoAnswers(const IID &) { return false; }

protected:
    ComObject() = default;
    ~ComObject() = default;

private:
    std::atomic<ULONG> references_{1};
};

// Owns one BSTR. A null BSTR is the empty string.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : p_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr &other) : Bstr(other.View()) {}
    Bstr(Bstr &&other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~Bstr() { SysFreeString(p_); }
    Bstr &operator=(Bstr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    static Bstr Attach(BSTR p) {
        Bstr result;
        result.p_ = p;
        return result;
    }
    BSTR Detach() { return std::exchange(p_, nullptr); }
    BSTR *Put() {
        SysFreeString(std::exchange(p_, nullptr));
        return &p_;
    }
    BSTR Get() const { return p_; }
    UINT Length() const { return SysStringLen(p_); }
    std::u16string_view View() const { return {p_ ? p_ : u"", Length()}; }
    std::u16string Str() const { return std::u16string(View()); }

private:
    BSTR p_ = nullptr;
};

// Owns one VARIANT; layout-identical to it.
class Variant : public VARIANT {
public:
    // An empty Variant needs no call into the runtime, neither to make nor
    // to destroy.
    Variant() { vt = VT_EMPTY; }
    Variant(const Variant &other) : Variant() { VariantCopy(this, &other); }
    Variant(Variant &&other) noexcept : VARIANT(other) { other.vt = VT_EMPTY; }
    explicit Variant(const VARIANT &other) : Variant() { VariantCopy(this, &other); }
    ~Variant() {
        if (vt != VT_EMPTY) VariantClear(this);
    }
    Variant &operator=(Variant other) noexcept {
        std::swap(static_cast<VARIANT &>(*this), static_cast<VARIANT &>(other));
        return *this;
    }

    static Variant I2(int16_t v) { return Scalar(VT_I2, [&](VARIANT &x) { V_I2(&x) = v; }); }
    static Variant I4(int32_t v) { return Scalar(VT_I4, [&](VARIANT &x) { V_I4(&x) = v; }); }
    static Variant UI1(uint8_t v) { return Scalar(VT_UI1, [&](VARIANT &x) { V_UI1(&x) = v; }); }
    static Variant R8(double v) { return Scalar(VT_R8, [&](VARIANT &x) { V_R8(&x) = v; }); }
    static Variant Bool(bool v) {
        return Scalar(VT_BOOL, [&](VARIANT &x) { V_BOOL(&x) = v ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    static Variant Str(std::u16string_view v) {
        return Scalar(VT_BSTR, [&](VARIANT &x) { V_BSTR(&x) = Bstr(v).Detach(); });
    }
    // Takes a new reference to `p`.
    static Variant Dispatch(IDispatch *p) {
        if (p) p->AddRef();
        return Scalar(VT_DISPATCH, [&](VARIANT &x) { V_DISPATCH(&x) = p; });
    }
    // A by-ref argument that refers to the caller's own variable.
    static Variant Ref(VARTYPE vt, void *target) {
        return Scalar(static_cast<VARTYPE>(vt | VT_BYREF), [&](VARIANT &x) { V_BYREF(&x) = target; });
    }
    // The "missing argument" marker.
    static Variant Missing() { return Scalar(VT_ERROR, [](VARIANT &x) { V_ERROR(&x) = DISP_E_PARAMNOTFOUND; }); }

    VARTYPE Type() const { return vt; }
    void Clear() { VariantClear(this); }
    VARIANT *Put() {
        VariantClear(this);
        return this;
    }
    VARIANT Detach() {
        VARIANT out = *this;
        VariantInit(this);
        return out;
    }
    std::u16string_view StrView() const {
        return {V_BSTR(this) ? V_BSTR(this) : u"", SysStringLen(V_BSTR(this))};
    }

private:
    template <class F> static Variant Scalar(VARTYPE type, F &&fill) {
        Variant v;
        v.vt = type;
        fill(static_cast<VARIANT &>(v));
        return v;
    }
};
static_assert(sizeof(Variant) == sizeof(VARIANT));
static_assert(sizeof(VARIANT) == 24);

} // namespace tvx

#endif // TARVEX10_AUTOMATION_HPP
