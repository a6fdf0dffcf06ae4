// Member bodies and the boundary around them.
//
// A member body is an ordinary C++ member function (or a function taking the
// object first) written with the body types of types.h:
//
//     Variant stepFrames(const int32_t &Value);  // by-ref int32, only read
//     Variant setPositionTo(ByRef<int32_t> Second); // by-ref int32, stored into
//     int32_t getLengthInMS();
//     void put_Error(int32_t value);
//     void FindMark(Result<int16_t> &result, ByRef<int32_t> off, ByRef<uint8_t> mark);
//
// A body reports failures by throwing RaisedError or FailedStatus (error.h).
// A body whose number result must survive a failure takes Result<T>& first
// and assigns to it as it goes; otherwise the return value is the result.
//
// From each body the templates below generate:
//   - the early-bound entry, with the interface's binary signature, which
//     checks pointers and the owner thread, converts the arguments, runs the
//     body inside the boundary and writes the result by the result rules;
//   - the late-bound entry, which takes prepared argument slots from the
//     generic Invoke (dispatch.cpp), runs the body as the early-bound entry
//     does and tells which by-ref parameters the body stored into;
//   - the parameter types for the member table and the type information.
// CallMember<&C::body>(self, args...) calls a member through its interface
// entry, as a client would, and ends the caller with the callee's failure.
#ifndef TVX_FRAME_MEMBER_H
#define TVX_FRAME_MEMBER_H

#include <array>
#include <functional>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "error/error.h"
#include "frame/object.h"
#include "frame/types.h"

namespace tvx {

// The result variable of a body that must keep what it assigned when it
// fails later.
template <class T> class Result {
public:
    Result &operator=(T value) {
        value_ = std::move(value);
        return *this;
    }
    T &Value() { return value_; }
    const T &Value() const { return value_; }

private:
    T value_{};
};

template <class A> struct Param;

// A by-ref parameter that the body may store into. It reads as the caller's
// variable and remembers whether the body assigned it: a late-bound caller
// whose argument had to be converted gets back exactly what the body stored
// (0.4 passed to an int32 that the body sets to 0 comes back as 0) and keeps
// its own value when the body stored nothing.
template <class T> class ByRef {
public:
    ByRef(T &variable, bool &stored) : variable_(&variable), stored_(&stored) {}
    ByRef(ByRef &&) = default;
    // A copy would be a second name for the caller's variable.
    ByRef(const ByRef &) = delete;

    ByRef &operator=(T value) {
        *variable_ = std::move(value);
        *stored_ = true;
        return *this;
    }
    ByRef &operator=(const ByRef &other) { return *this = T(other.Get()); }
    template <class V> ByRef &operator+=(const V &value) { return *this = *variable_ + value; }
    template <class V> ByRef &operator-=(const V &value) { return *this = *variable_ - value; }
    template <class V> ByRef &operator*=(const V &value) { return *this = *variable_ * value; }
    ByRef &operator++() { return *this = *variable_ + 1; }
    ByRef &operator--() { return *this = *variable_ - 1; }

    operator const T &() const { return *variable_; }
    const T &Get() const { return *variable_; }
    const T *operator->() const { return variable_; }

private:
    template <class> friend struct Param;
    T *variable_;
    bool *stored_;
};

// ---- the member boundary ---------------------------------------------------

// Publishes a raised error in the thread's error information and gives its
// status.
[[nodiscard]] HRESULT PublishError(const ClassInfo &info, const RaisedError &error) noexcept;
// For a failure of no known kind: publishes a description (with `what`, when
// there is one) and gives E_UNEXPECTED.
[[nodiscard]] HRESULT PublishUnexpected(const ClassInfo &info, const char *what) noexcept;
void ClearErrorInfo() noexcept;
// Ends a member that a later build fills in.
[[noreturn]] void NotImplemented();

// Runs `body`, turning what it throws into the status the caller sees.
template <class Body> HRESULT GuardMember(const ClassInfo &info, Body &&body) noexcept {
    try {
        body();
        ClearErrorInfo();
        return S_OK;
    } catch (const RaisedError &error) {
        return PublishError(info, error);
    } catch (const FailedStatus &failure) {
        return failure.Status();
    } catch (const std::bad_alloc &) {
        return PublishError(info, RaisedError(kOutOfMemory));
    } catch (const std::exception &unexpected) {
        return PublishUnexpected(info, unexpected.what());
    } catch (...) {
        return PublishUnexpected(info, nullptr);
    }
}

// ---- the two own handling modes -------------------------------------------------
// Some members handle failures themselves instead of ending at the first
// one. Both modes run a member's statements one by one:
//   SkipFailures      a failing statement is abandoned and the next one runs
//                     (skip and continue);
//   ResumeAfter       a failing statement is handed to the member's handler,
//                     which reports it; then the next statement runs. A
//                     failure that the handler itself raises is not caught
//                     again: it ends the member.
// A handler that ends the member normally instead is a plain try/catch
// around the body that calls CatchFailure().

// The failure a handler sees: its status, error number and description.
struct CaughtFailure {
    HRESULT status;
    int32_t number; // the raised error's number, or the status itself
    std::u16string description;
};

// Describes the failure being handled; call it only inside a catch block.
CaughtFailure CatchFailure();

template <class Handler, class... Statements> void ResumeAfter(Handler &&handler, Statements &&...statements) {
    auto run = [&](auto &statement) {
        CaughtFailure failure;
        try {
            statement();
            return;
        } catch (const RaisedError &) {
            failure = CatchFailure();
        } catch (const FailedStatus &) {
            failure = CatchFailure();
        } catch (const std::bad_alloc &) {
            failure = CatchFailure();
        }
        handler(failure);
    };
    (run(statements), ...);
}

template <class... Statements> void SkipFailures(Statements &&...statements) {
    ResumeAfter([](const CaughtFailure &) {}, std::forward<Statements>(statements)...);
}

// ---- parameters --------------------------------------------------------------

namespace detail {

template <class T> struct Scalar;
template <> struct Scalar<int32_t> {
    static constexpr AutoType kType = AutoType::Int32;
    using Abi = LONG;
    static Abi &Slot(VARIANT &v) { return V_I4(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_I4REF(&v); }
};
template <> struct Scalar<int16_t> {
    static constexpr AutoType kType = AutoType::Int16;
    using Abi = SHORT;
    static Abi &Slot(VARIANT &v) { return V_I2(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_I2REF(&v); }
};
template <> struct Scalar<uint8_t> {
    static constexpr AutoType kType = AutoType::Byte;
    using Abi = BYTE;
    static Abi &Slot(VARIANT &v) { return V_UI1(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_UI1REF(&v); }
};
template <> struct Scalar<double> {
    static constexpr AutoType kType = AutoType::Double;
    using Abi = double;
    static Abi &Slot(VARIANT &v) { return V_R8(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_R8REF(&v); }
};
template <> struct Scalar<Bool16> {
    static constexpr AutoType kType = AutoType::Bool16;
    using Abi = VARIANT_BOOL;
    static Abi &Slot(VARIANT &v) { return V_BOOL(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_BOOLREF(&v); }
};
template <> struct Scalar<ResourceKind> {
    static constexpr AutoType kType = AutoType::ResourceKind;
    using Abi = LONG;
    static Abi &Slot(VARIANT &v) { return V_I4(&v); }
    static Abi *&SlotRef(VARIANT &v) { return V_I4REF(&v); }
};

// A keeper holds what an argument needs while a call through an interface
// entry runs, and hands out its binary form.
template <class Abi> struct PlainKeeper {
    Abi value;
    Abi abi() const { return value; }
};

} // namespace detail

// Param<A> describes a body parameter of type A: its binary form (Abi), its
// table entry (kType), a Holder that presents the binary argument to the body
// (and writes a by-ref string back when the body ends, also on failure),
// FromSlot for late binding and Pass for calls through the interface.
//
// A by-ref parameter is `const T &` when the body only reads it and ByRef<T>
// when the body may store into it; a plain `T &` is refused, because nothing
// could tell the late-bound caller whether the body stored.

template <class T> struct Param {
    using Abi = typename detail::Scalar<T>::Abi;
    static constexpr ParamType kType{detail::Scalar<T>::kType, Passing::ByValue};
    static bool Null(Abi) { return false; }
    struct Holder {
        explicit Holder(Abi a) : value(static_cast<T>(a)) {}
        T Get() const { return value; }
        T value;
    };
    static Abi FromSlot(VARIANT &slot) { return detail::Scalar<T>::Slot(slot); }
    static detail::PlainKeeper<Abi> Pass(T value) { return {static_cast<Abi>(value)}; }
};

template <class T> struct Param<T &> {
    static_assert(sizeof(T) == 0, "a by-ref parameter is const T& (read only) or ByRef<T> (stored into)");
};

namespace detail {

// The argument of a call from a body that passes on its own ByRef parameter:
// what the callee stores, that body has stored.
template <class Abi> struct StoringKeeper {
    Abi pointer;
    bool *stored;
    Abi abi() const { return pointer; }
    void Stored() const { *stored = true; }
};

} // namespace detail

template <class T> struct Param<const T &> {
    using Abi = typename detail::Scalar<T>::Abi *;
    static constexpr ParamType kType{detail::Scalar<T>::kType, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    struct Holder {
        explicit Holder(Abi a) : pointer(a) {}
        const T &Get() const { return *reinterpret_cast<const T *>(pointer); }
        Abi pointer;
    };
    static Abi FromSlot(VARIANT &slot) { return detail::Scalar<T>::SlotRef(slot); }
    // The callee only reads through the pointer.
    static detail::PlainKeeper<Abi> Pass(const T &value) { return {reinterpret_cast<Abi>(const_cast<T *>(&value))}; }
};

template <class T> struct Param<ByRef<T>> {
    using Abi = typename detail::Scalar<T>::Abi *;
    static constexpr ParamType kType{detail::Scalar<T>::kType, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    struct Holder {
        explicit Holder(Abi a) : pointer(a) {}
        ByRef<T> Get(bool &stored) const { return ByRef<T>(*reinterpret_cast<T *>(pointer), stored); }
        Abi pointer;
    };
    static Abi FromSlot(VARIANT &slot) { return detail::Scalar<T>::SlotRef(slot); }
    static detail::PlainKeeper<Abi> Pass(T &value) { return {reinterpret_cast<Abi>(&value)}; }
    static detail::StoringKeeper<Abi> Pass(ByRef<T> &value) {
        return {reinterpret_cast<Abi>(value.variable_), value.stored_};
    }
};

template <> struct Param<std::u16string> {
    using Abi = BSTR;
    static constexpr ParamType kType{AutoType::String, Passing::ByValue};
    static bool Null(Abi) { return false; }
    struct Holder {
        explicit Holder(Abi a) : value(View(a)) {}
        std::u16string Get() const { return value; }
        std::u16string value;
    };
    static Abi FromSlot(VARIANT &slot) { return V_BSTR(&slot); }
    struct Keeper {
        Bstr text;
        BSTR abi() const { return text.Get(); }
    };
    static Keeper Pass(std::u16string_view value) { return {Bstr(value)}; }
};

template <> struct Param<const std::u16string &> {
    using Abi = BSTR *;
    static constexpr ParamType kType{AutoType::String, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    struct Holder {
        explicit Holder(Abi a) : value(View(*a)) {}
        const std::u16string &Get() const { return value; }
        std::u16string value;
    };
    static Abi FromSlot(VARIANT &slot) { return V_BSTRREF(&slot); }
    struct Keeper {
        explicit Keeper(std::u16string_view text) : slot(AllocBstr(text)) {}
        Keeper(const Keeper &) = delete;
        ~Keeper() { SysFreeString(slot); }
        BSTR *abi() { return &slot; }
        BSTR slot;
    };
    static Keeper Pass(std::u16string_view value) { return Keeper(value); }
};

template <> struct Param<ByRef<std::u16string>> {
    using Abi = BSTR *;
    static constexpr ParamType kType{AutoType::String, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    // The body works on a copy; what it stores there becomes the caller's
    // string when the body ends. An equal text leaves the caller's own
    // string in place, so that copies of its pointer stay valid.
    struct Holder {
        explicit Holder(Abi a) : pointer(a), value(View(*a)) {}
        Holder(const Holder &) = delete;
        Holder(Holder &&other) noexcept
            : pointer(std::exchange(other.pointer, nullptr)), value(std::move(other.value)), stored(other.stored) {}
        ~Holder() {
            if (pointer && stored && *stored && View(*pointer) != value) {
                SysFreeString(*pointer);
                *pointer = AllocBstr(value);
            }
        }
        ByRef<std::u16string> Get(bool &flag) {
            stored = &flag;
            return ByRef<std::u16string>(value, flag);
        }
        BSTR *pointer;
        std::u16string value;
        bool *stored = nullptr;
    };
    static Abi FromSlot(VARIANT &slot) { return V_BSTRREF(&slot); }
    // The callee may replace `slot`; what it stored there goes back to
    // `target` (and marks `outer`, another body's ByRef, as stored).
    struct RefKeeper {
        RefKeeper(std::u16string &target, bool *outer) : target(target), outer(outer), slot(AllocBstr(target)) {}
        RefKeeper(const RefKeeper &) = delete;
        ~RefKeeper() {
            if (stored) target = std::u16string(View(slot));
            SysFreeString(slot);
        }
        BSTR *abi() { return &slot; }
        void Stored() {
            stored = true;
            if (outer) *outer = true;
        }
        std::u16string &target;
        bool *outer;
        BSTR slot;
        bool stored = false;
    };
    static RefKeeper Pass(std::u16string &value) { return RefKeeper(value, nullptr); }
    static RefKeeper Pass(ByRef<std::u16string> &value) { return RefKeeper(*value.variable_, value.stored_); }
};

template <> struct Param<Variant> {
    using Abi = VARIANT;
    static constexpr ParamType kType{AutoType::Variant, Passing::ByValue};
    static bool Null(const Abi &) { return false; }
    struct Holder {
        explicit Holder(const Abi &a) : value(a) {}
        Variant Get() const { return value; }
        Variant value;
    };
    static Abi FromSlot(VARIANT &slot) { return slot; }
    static detail::PlainKeeper<VARIANT> Pass(const Variant &value) { return {static_cast<const VARIANT &>(value)}; }
};

template <> struct Param<const Variant &> {
    using Abi = VARIANT *;
    static constexpr ParamType kType{AutoType::Variant, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    struct Holder {
        explicit Holder(Abi a) : pointer(a) {}
        const Variant &Get() const { return *static_cast<const Variant *>(pointer); }
        Abi pointer;
    };
    static Abi FromSlot(VARIANT &slot) { return V_VARIANTREF(&slot); }
    // The callee only reads through the pointer.
    static detail::PlainKeeper<VARIANT *> Pass(const Variant &value) { return {const_cast<Variant *>(&value)}; }
};

template <> struct Param<ByRef<Variant>> {
    using Abi = VARIANT *;
    static constexpr ParamType kType{AutoType::Variant, Passing::ByRef};
    static bool Null(Abi p) { return p == nullptr; }
    struct Holder {
        explicit Holder(Abi a) : pointer(a) {}
        ByRef<Variant> Get(bool &stored) const { return ByRef<Variant>(*static_cast<Variant *>(pointer), stored); }
        Abi pointer;
    };
    static Abi FromSlot(VARIANT &slot) { return V_VARIANTREF(&slot); }
    static detail::PlainKeeper<VARIANT *> Pass(Variant &value) { return {&value}; }
    static detail::StoringKeeper<VARIANT *> Pass(ByRef<Variant> &value) { return {value.variable_, value.stored_}; }
};

template <> struct Param<ComPtr<IDispatch>> {
    using Abi = IDispatch *;
    static constexpr ParamType kType{AutoType::Object, Passing::ByValue};
    static bool Null(Abi) { return false; }
    struct Holder {
        explicit Holder(Abi a) : value(a) {}
        ComPtr<IDispatch> Get() const { return value; }
        ComPtr<IDispatch> value;
    };
    static Abi FromSlot(VARIANT &slot) { return V_DISPATCH(&slot); }
    static detail::PlainKeeper<IDispatch *> Pass(const ComPtr<IDispatch> &value) { return {value.Get()}; }
};

// ---- results -------------------------------------------------------------------

// ResultWord<T>: the binary form of a result (Value), how an out-parameter is
// zeroed, stored and failed, and how it becomes a Variant for late binding.
template <class T> struct ResultWord {
    using Value = typename detail::Scalar<T>::Abi;
    static constexpr AutoType kType = detail::Scalar<T>::kType;
    static void Zero(Value *out) { *out = 0; }
    static void Store(Value *out, T value) { *out = static_cast<Value>(value); }
    // A number keeps what the body had assigned.
    static void Fail(Value *out, const T &assigned) { Store(out, assigned); }
    static void ToVariant(Value value, VARIANT *result) {
        result->vt = VarTypeOf(kType);
        detail::Scalar<T>::Slot(*result) = value;
    }
    static void Discard(Value) {}
    static T Take(Value value) { return static_cast<T>(value); }
};

template <> struct ResultWord<std::u16string> {
    using Value = BSTR;
    static constexpr AutoType kType = AutoType::String;
    static void Zero(Value *out) { *out = nullptr; }
    static void Store(Value *out, const std::u16string &value) {
        *out = AllocBstr(value);
        if (!*out) throw std::bad_alloc();
    }
    static void Fail(Value *out, const std::u16string &) { *out = nullptr; }
    static void ToVariant(Value value, VARIANT *result) {
        result->vt = VT_BSTR;
        V_BSTR(result) = value;
    }
    static void Discard(Value value) { SysFreeString(value); }
    static std::u16string Take(Value value) {
        std::u16string text(View(value));
        SysFreeString(value);
        return text;
    }
};

template <> struct ResultWord<Variant> {
    using Value = VARIANT;
    static constexpr AutoType kType = AutoType::Variant;
    static void Zero(Value *out) { VariantInit(out); }
    static void Store(Value *out, Variant &value) { *out = value.Detach(); }
    static void Fail(Value *out, const Variant &) { VariantInit(out); }
    static void ToVariant(Value value, VARIANT *result) { *result = value; }
    static void Discard(Value value) { VariantClear(&value); }
    static Variant Take(Value value) {
        Variant owner;
        static_cast<VARIANT &>(owner) = value;
        return owner;
    }
};

template <class Wrapper, AutoType Word> struct ObjectResultWord {
    using Value = IDispatch *;
    static constexpr AutoType kType = Word;
    static IDispatch *Pointer(const Wrapper &w) {
        if constexpr (std::is_same_v<Wrapper, Picture>) return w.object.Get();
        else return w.Get();
    }
    static void Zero(Value *out) { *out = nullptr; }
    static void Store(Value *out, const Wrapper &value) {
        *out = Pointer(value);
        if (*out) (*out)->AddRef();
    }
    static void Fail(Value *out, const Wrapper &) { *out = nullptr; }
    static void ToVariant(Value value, VARIANT *result) {
        result->vt = VT_DISPATCH;
        V_DISPATCH(result) = value;
    }
    static void Discard(Value value) {
        if (value) value->Release();
    }
    static Wrapper Take(Value value) {
        auto pointer = ComPtr<IDispatch>::Attach(value);
        if constexpr (std::is_same_v<Wrapper, Picture>) return Picture{pointer};
        else return pointer;
    }
};
template <> struct ResultWord<ComPtr<IDispatch>> : ObjectResultWord<ComPtr<IDispatch>, AutoType::Object> {};
template <> struct ResultWord<Picture> : ObjectResultWord<Picture, AutoType::Picture> {};

// ---- generation of the entries ----------------------------------------------------

namespace detail {

template <class... T> struct TypeList {};

template <class C, class R, class... A> struct Signature {
    using Class = C;
    using Return = R;
    using Params = TypeList<A...>;
};
template <class C, class R, class... A> Signature<C, R, A...> Decompose(R (C::*)(A...));
template <class C, class R, class... A> Signature<C, R, A...> Decompose(R (*)(C &, A...));

template <class T> struct ResultParam : std::false_type {
    using Type = void;
};
template <class T> struct ResultParam<Result<T> &> : std::true_type {
    using Type = T;
};

// Separates a leading Result<T>& from the interface parameters.
template <class R, class L> struct Shape {
    using ResultType = R;
    using Params = L;
    static constexpr bool kResultFirst = false;
};
template <class R, class A0, class... A> struct Shape<R, TypeList<A0, A...>> {
    static constexpr bool kResultFirst = ResultParam<A0>::value;
    using ResultType = std::conditional_t<kResultFirst, typename ResultParam<A0>::Type, R>;
    using Params = std::conditional_t<kResultFirst, TypeList<A...>, TypeList<A0, A...>>;
};

// What a body receives from the holder of one argument; a ByRef also gets
// the flag that records whether the body stored into it.
template <class H> decltype(auto) Present(H &held, bool &stored) {
    if constexpr (requires { held.Get(stored); }) return held.Get(stored);
    else return held.Get();
}

// Tells the keeper of each argument with its bit set in `stores` that the
// callee stored into it.
template <class... K> void TellStores([[maybe_unused]] uint32_t stores, K &...keepers) {
    [[maybe_unused]] size_t index = 0;
    [[maybe_unused]] auto tell = [&](auto &keeper) {
        if constexpr (requires { keeper.Stored(); }) {
            if (stores >> index & 1) keeper.Stored();
        }
        ++index;
    };
    (tell(keepers), ...);
}

template <auto F, class C, class T, bool kResultFirst, class L> struct Entries;

template <auto F, class C, class T, bool kResultFirst, class... P>
struct Entries<F, C, T, kResultFirst, TypeList<P...>> {
    static constexpr bool kHasResult = !std::is_void_v<T>;
    using ResultValue = typename std::conditional_t<kHasResult, ResultWord<T>, ResultWord<int32_t>>::Value;
    using Out = std::conditional_t<kHasResult, ResultValue *, std::nullptr_t>;
    using Store = Result<std::conditional_t<kHasResult, T, int>>;

    static constexpr std::array<ParamType, sizeof...(P)> kParams{Param<P>::kType...};
    static constexpr AutoType kResult = [] {
        if constexpr (kHasResult) return ResultWord<T>::kType;
        else return AutoType::None;
    }();

    // Runs the body on binary arguments. Bit i of *stores is set for each
    // ByRef parameter i the body stored into, whatever its outcome: a
    // late-bound caller's converted copy goes back only then.
    static HRESULT Enter(void *iface, typename Param<P>::Abi... args, Out out, uint32_t *stores) noexcept {
        *stores = 0;
        if constexpr (kHasResult) {
            if (!out) return E_POINTER;
            ResultWord<T>::Zero(out);
        }
        ObjectBase *self = ObjectBase::FromInterface(iface);
        if (!self->OnOwnerThread()) return RPC_E_WRONG_THREAD;
        if ((Param<P>::Null(args) || ... || false)) return E_POINTER;
        C &object = static_cast<C &>(*self);
        Store result{};
        std::array<bool, sizeof...(P)> stored{};
        HRESULT status = GuardMember(self->Class(), [&] {
            {
                std::tuple<typename Param<P>::Holder...> holders{typename Param<P>::Holder(args)...};
                RunWith(object, result, holders, stored, std::index_sequence_for<P...>{});
            }
            if constexpr (kHasResult) ResultWord<T>::Store(out, result.Value());
        });
        for (size_t i = 0; i < stored.size(); ++i) *stores |= uint32_t{stored[i]} << i;
        if constexpr (kHasResult) {
            if (FAILED(status)) ResultWord<T>::Fail(out, result.Value());
        }
        return status;
    }

    // The early-bound entry with a result parameter (and without, below).
    static HRESULT Call(void *iface, typename Param<P>::Abi... args, Out out) noexcept {
        uint32_t stores;
        return Enter(iface, args..., out, &stores);
    }
    static HRESULT CallNoResult(void *iface, typename Param<P>::Abi... args) noexcept {
        return Call(iface, args..., nullptr);
    }

    template <size_t... I>
    static void RunWith(C &object, Store &result, std::tuple<typename Param<P>::Holder...> &holders,
                        [[maybe_unused]] std::array<bool, sizeof...(P)> &stored, std::index_sequence<I...>) {
        Run(object, result, Present(std::get<I>(holders), stored[I])...);
    }
    template <class... Args> static void Run(C &object, Store &result, Args &&...args) {
        if constexpr (kResultFirst) std::invoke(F, object, result, std::forward<Args>(args)...);
        else if constexpr (kHasResult) result = std::invoke(F, object, std::forward<Args>(args)...);
        else std::invoke(F, object, std::forward<Args>(args)...);
    }

    static AnyFunction Early() {
        if constexpr (kHasResult) return reinterpret_cast<AnyFunction>(&Call);
        else return reinterpret_cast<AnyFunction>(&CallNoResult);
    }

    static HRESULT Late(ObjectBase *self, VARIANT *slots, VARIANT *result, uint32_t *stores) {
        return LateWith(self, slots, result, stores, std::index_sequence_for<P...>{});
    }
    template <size_t... I>
    static HRESULT LateWith(ObjectBase *self, [[maybe_unused]] VARIANT *slots, [[maybe_unused]] VARIANT *result,
                            uint32_t *stores, std::index_sequence<I...>) {
        if constexpr (kHasResult) {
            ResultValue value;
            HRESULT status = Enter(self, Param<P>::FromSlot(slots[I])..., &value, stores);
            if (SUCCEEDED(status)) ResultWord<T>::ToVariant(value, result);
            else ResultWord<T>::Discard(value);
            return status;
        } else {
            return Enter(self, Param<P>::FromSlot(slots[I])..., nullptr, stores);
        }
    }

    // A call through the interface entry from another member of the class.
    template <class... Args> static T Forward(ObjectBase &self, Args &&...args) {
        static_assert(sizeof...(Args) == sizeof...(P), "wrong number of arguments");
        return ForwardThrough(self, Param<P>::Pass(std::forward<Args>(args))...);
    }
    // The keepers hold the binary arguments until the call has returned;
    // those of by-ref arguments learn whether the callee stored there.
    template <class... K> static T ForwardThrough(ObjectBase &self, K &&...keepers) {
        uint32_t stores = 0;
        if constexpr (kHasResult) {
            ResultValue value;
            const HRESULT status = Enter(&self, keepers.abi()..., &value, &stores);
            TellStores(stores, keepers...);
            if (FAILED(status)) {
                ResultWord<T>::Discard(value);
                throw FailedStatus(status);
            }
            return ResultWord<T>::Take(value);
        } else {
            const HRESULT status = Enter(&self, keepers.abi()..., nullptr, &stores);
            TellStores(stores, keepers...);
            Check(status);
        }
    }
};

template <auto F> struct EntriesOf {
    using Sig = decltype(Decompose(F));
    using S = Shape<typename Sig::Return, typename Sig::Params>;
    using Type = Entries<F, typename Sig::Class, typename S::ResultType, S::kResultFirst, typename S::Params>;
};

template <auto F> using EntriesFor = typename EntriesOf<F>::Type;

template <auto F> MemberInfo Row(MemberKind kind, DISPID dispid, std::u16string_view name,
                                 std::u16string_view param_names) {
    using E = EntriesFor<F>;
    static_assert(E::kParams.size() <= kMaxParams, "a member takes at most kMaxParams parameters");
    return MemberInfo{dispid, kind, name, param_names, std::span<const ParamType>(E::kParams), E::kResult,
                      E::Early(), &E::Late};
}

} // namespace detail

// ---- member table rows --------------------------------------------------------------

namespace detail {
// Not constexpr: reaching one of these while a table is compiled stops the
// build with its name in the message.
inline void ParamNamesDoNotMatchTheParameters() {}
inline void ParamNameIsEmpty() {}
} // namespace detail

// The parameter names of a row, separated by commas: exactly one for each of
// the member's N parameters, checked when the table is compiled.
template <size_t N> class ParamNames {
public:
    consteval ParamNames()
        requires(N == 0)
    {}
    consteval ParamNames(const char16_t *text) : text_(text) {
        size_t count = 0;
        for (std::u16string_view rest = text_; !rest.empty();) {
            const size_t comma = rest.find(u',');
            if (comma == 0 || comma + 1 == rest.size()) detail::ParamNameIsEmpty();
            ++count;
            rest = comma == rest.npos ? std::u16string_view() : rest.substr(comma + 1);
        }
        if (count != N) detail::ParamNamesDoNotMatchTheParameters();
    }
    constexpr std::u16string_view Text() const { return text_; }

private:
    std::u16string_view text_;
};
template <auto F> using ParamNamesOf = ParamNames<detail::EntriesFor<F>::kParams.size()>;

template <auto F> MemberInfo Method(DISPID dispid, std::u16string_view name, ParamNamesOf<F> param_names = {}) {
    return detail::Row<F>(MemberKind::Method, dispid, name, param_names.Text());
}
template <auto F> MemberInfo Get(DISPID dispid, std::u16string_view name, ParamNamesOf<F> param_names = {}) {
    static_assert(detail::EntriesFor<F>::kHasResult, "a property get needs a result");
    return detail::Row<F>(MemberKind::Get, dispid, name, param_names.Text());
}
template <auto F> MemberInfo Put(DISPID dispid, std::u16string_view name) {
    static_assert(detail::EntriesFor<F>::kParams.size() == 1 && !detail::EntriesFor<F>::kHasResult,
                  "a property put takes one value and has no result");
    return detail::Row<F>(MemberKind::Put, dispid, name, {});
}
template <auto F> MemberInfo PutRef(DISPID dispid, std::u16string_view name) {
    static_assert(detail::EntriesFor<F>::kParams.size() == 1 && !detail::EntriesFor<F>::kHasResult,
                  "a property putref takes one value and has no result");
    return detail::Row<F>(MemberKind::PutRef, dispid, name, {});
}

// A public data member exposed as a get/put pair that stores and returns the
// value unchanged.
template <auto Field> struct FieldAccess;
template <class C, class T, T C::*Field> struct FieldAccess<Field> {
    static T Read(C &object) { return object.*Field; }
    static void Write(C &object, T value) { object.*Field = std::move(value); }
};
template <auto Field> MemberInfo FieldGet(DISPID dispid, std::u16string_view name) {
    return Get<&FieldAccess<Field>::Read>(dispid, name);
}
template <auto Field> MemberInfo FieldPut(DISPID dispid, std::u16string_view name) {
    return Put<&FieldAccess<Field>::Write>(dispid, name);
}
template <auto Field> MemberInfo FieldPutRef(DISPID dispid, std::u16string_view name) {
    return PutRef<&FieldAccess<Field>::Write>(dispid, name);
}

// Calls member F of `self` through its interface entry; a failure status
// ends the calling member with the same status.
template <auto F, class... Args> auto CallMember(ObjectBase &self, Args &&...args) {
    return detail::EntriesFor<F>::Forward(self, std::forward<Args>(args)...);
}

} // namespace tvx

#endif // TVX_FRAME_MEMBER_H
