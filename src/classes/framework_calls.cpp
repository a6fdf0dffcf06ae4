#include "classes/framework_calls.h"

#include "classes/thread_state.h"
#include "error/error.h"
#include "frame/late_call.h"
#include "frame/member.h"

namespace tvx {
namespace {

// An object reference passed by reference: the callee may release it and
// store another, which the variable then owns.
class ObjectByRef {
public:
    explicit ObjectByRef(ComPtr<IDispatch> &variable) : variable_(variable), slot_(variable.Detach()) {}
    ObjectByRef(const ObjectByRef &) = delete;
    ~ObjectByRef() { variable_ = ComPtr<IDispatch>::Attach(slot_); }
    VARIANT Argument() { return Variant::Ref(VT_DISPATCH, &slot_).Detach(); }

private:
    ComPtr<IDispatch> &variable_;
    IDispatch *slot_;
};

// A string passed by reference, as the BSTR the callee may replace.
class StringByRef {
public:
    explicit StringByRef(std::u16string &variable) : variable_(variable), slot_(AllocBstr(variable)) {
        if (!slot_ && !variable.empty()) throw std::bad_alloc();
    }
    StringByRef(const StringByRef &) = delete;
    ~StringByRef() {
        variable_ = std::u16string(View(slot_));
        SysFreeString(slot_);
    }
    VARIANT Argument() { return Variant::Ref(VT_BSTR, &slot_).Detach(); }

private:
    std::u16string &variable_;
    BSTR slot_;
};

VARIANT NumberByRef(int32_t &variable) { return Variant::Ref(VT_I4, &variable).Detach(); }

// The error object of a failure: its number and description.
ComPtr<IDispatch> ErrorObject(const CaughtFailure &failure) {
    Variant number = Variant::I4(failure.number);
    Variant description = Variant::Str(failure.description);
    const TVXPROPERTY properties[] = {{"Number", number}, {"Description", description}};
    ComPtr<IDispatch> object;
    Check(TvxCreatePropertyObject("ErrObject", properties, 2, object.Put()));
    return object;
}

} // namespace

Variant AppAboutKwel_Pro() {
    ComPtr<IDispatch> about, caller;
    // The handler reports the failure just raised and lets the next
    // statement run; what it raises itself is not caught again.
    auto handler = [](const CaughtFailure &failure) {
        ComPtr<IDispatch> application = ApplicationObject();
        ComPtr<IDispatch> error = ErrorObject(failure);
        std::u16string empty3, where = std::u16string(u"basKwelCommonA") + u".AppAboutKwel_Pro", empty6;
        int32_t zero5 = 0, zero7 = 0;
        ReportFrameworkError_Pro(application, error, empty3, where, zero5, empty6, zero7);
    };
    ResumeAfter(
        handler, [&] { about = CreateObjectByProgId(kAboutProgId); }, [&] { caller = about; },
        [&] {
            Variant application = Variant::Dispatch(ApplicationObject().Get());
            CallByName(caller.Get(), u"AppAboutKwel", DISPATCH_METHOD, {application});
        },
        [&] { caller = nullptr; }, [&] { about = nullptr; });
    return Variant();
}

Variant ReportFrameworkError_Pro(ComPtr<IDispatch> &application, ComPtr<IDispatch> &error, std::u16string &text3,
                                 std::u16string &where, int32_t &number5, std::u16string &text6, int32_t &number7,
                                 const Variant &optional8) {
    ComPtr<IDispatch> handler = CreateObjectByProgId(kErrorHandlerProgId);
    ComPtr<IDispatch> caller = handler;
    {
        ObjectByRef a1(application), a2(error);
        StringByRef a3(text3), a4(where), a6(text6);
        CallByName(caller.Get(), u"ErrorHandlerMessageKw", DISPATCH_METHOD,
                   {a1.Argument(), a2.Argument(), a3.Argument(), a4.Argument(), NumberByRef(number5), a6.Argument(),
                    NumberByRef(number7), optional8});
    }
    caller = nullptr;
    handler = nullptr;
    return Variant();
}

} // namespace tvx
