#include "frame/late_call.h"

#include <string>
#include <vector>

#include "error/error.h"

// Outside objects may be written in C: their tables of functions carry no
// run-time type information for the sanitizer's dynamic-type check.
#define TVX_CALLS_FOREIGN_OBJECTS __attribute__((no_sanitize("vptr")))

namespace tvx {
namespace {

// Publishes `description` as the thread's error information and ends the
// caller with `status`, for a failure that is not a raised error number.
[[noreturn]] void FailWith(HRESULT status, const std::u16string &source, const std::u16string &description) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
        std::u16string s(source), d(description); // the setters take NUL-terminated texts
        create->SetSource(s.data());
        create->SetDescription(d.data());
        if (auto info = create.As<IErrorInfo>()) SetErrorInfo(0, info.Get());
    }
    throw FailedStatus(status);
}

// Ends the caller with the failure that the member raised inside.
[[noreturn]] void RaiseMemberFailure(const NamedCallOutcome &outcome) {
    if (IsControlError(outcome.status))
        throw RaisedError(ControlErrorNumber(outcome.status), outcome.description, outcome.source);
    FailWith(outcome.status, outcome.source, outcome.description);
}

} // namespace

TVX_CALLS_FOREIGN_OBJECTS
ComPtr<IDispatch> CreateObjectByProgId(std::u16string_view progid) {
    const std::u16string name(progid);
    CLSID clsid{};
    ComPtr<IDispatch> object;
    if (FAILED(CLSIDFromProgID(name.c_str(), &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid())) || !object)
        Raise(kCannotCreateObject);
    return object;
}

TVX_CALLS_FOREIGN_OBJECTS
NamedCallOutcome InvokeByName(IDispatch *object, std::u16string_view name, WORD flags,
                              std::span<const VARIANT> args, VARIANT *result) noexcept {
    NamedCallOutcome outcome;
    try {
        std::u16string text(name);
        LPOLESTR names[] = {text.data()};
        DISPID id = DISPID_UNKNOWN;
        outcome.status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(outcome.status)) {
            outcome.name_found = false;
            return outcome;
        }
        // The dispatch convention takes the arguments last first.
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID put = DISPID_PROPERTYPUT;
        const bool is_put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), is_put ? &put : nullptr,
                          static_cast<UINT>(reversed.size()), is_put ? 1u : 0u};
        EXCEPINFO excep{};
        UINT arg_err = UINT(-1);
        outcome.status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &arg_err);
        if (outcome.status == DISP_E_EXCEPTION) {
            if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
            outcome.member_failed = true;
            outcome.status = excep.scode ? excep.scode : MakeControlError(excep.wCode);
            outcome.source = View(excep.bstrSource);
            outcome.description = View(excep.bstrDescription);
            SysFreeString(excep.bstrSource);
            SysFreeString(excep.bstrDescription);
            SysFreeString(excep.bstrHelpFile);
        } else if (FAILED(outcome.status) && arg_err < reversed.size()) {
            outcome.argument = static_cast<int>(reversed.size() - 1 - arg_err);
        }
    } catch (const std::bad_alloc &) {
        outcome.status = E_OUTOFMEMORY;
    }
    return outcome;
}

TVX_CALLS_FOREIGN_OBJECTS
Variant CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::initializer_list<VARIANT> args) {
    if (!object) Raise(kObjectNotSet);
    Variant result;
    const NamedCallOutcome outcome =
        InvokeByName(object, name, flags, std::span<const VARIANT>(args.begin(), args.size()), result.Put());
    if (!outcome.name_found) {
        if (outcome.status == DISP_E_UNKNOWNNAME || outcome.status == DISP_E_MEMBERNOTFOUND)
            Raise(kMethodNotSupported);
        throw FailedStatus(outcome.status);
    }
    if (outcome.member_failed) RaiseMemberFailure(outcome);
    switch (outcome.status) {
    case DISP_E_MEMBERNOTFOUND: Raise(kMethodNotSupported);
    case DISP_E_TYPEMISMATCH: Raise(kTypeMismatch);
    case DISP_E_OVERFLOW: Raise(kOverflow);
    case DISP_E_BADPARAMCOUNT: Raise(kWrongArgumentCount);
    case DISP_E_PARAMNOTOPTIONAL: Raise(kArgumentNotOptional);
    default:
        if (FAILED(outcome.status)) throw FailedStatus(outcome.status);
        return result;
    }
}

} // namespace tvx
