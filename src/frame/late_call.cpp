#include "frame/late_call.h"

#include <algorithm>
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

// Turns the exception record of a failed call into the caller's failure.
[[noreturn]] TVX_CALLS_FOREIGN_OBJECTS void RaiseFromException(EXCEPINFO &excep) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    const std::u16string source(View(excep.bstrSource)), description(View(excep.bstrDescription));
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    const HRESULT status = excep.scode ? excep.scode : MakeControlError(excep.wCode);
    if (IsControlError(status)) throw RaisedError(ControlErrorNumber(status), description, source);
    FailWith(status, source, description);
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
Variant CallByName(IDispatch *object, std::u16string_view name, WORD flags, std::initializer_list<VARIANT> args) {
    if (!object) Raise(kObjectNotSet);
    std::u16string text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (status == DISP_E_UNKNOWNNAME || status == DISP_E_MEMBERNOTFOUND) Raise(kMethodNotSupported);
    Check(status);

    // The dispatch convention takes the arguments last first.
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPID put = DISPID_PROPERTYPUT;
    const bool is_put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), is_put ? &put : nullptr,
                      static_cast<UINT>(reversed.size()), is_put ? 1u : 0u};
    Variant result;
    EXCEPINFO excep{};
    UINT arg_err = 0;
    status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(), &excep, &arg_err);
    switch (status) {
    case S_OK: return result;
    case DISP_E_EXCEPTION: RaiseFromException(excep);
    case DISP_E_MEMBERNOTFOUND: Raise(kMethodNotSupported);
    case DISP_E_TYPEMISMATCH: Raise(kTypeMismatch);
    case DISP_E_OVERFLOW: Raise(kOverflow);
    case DISP_E_BADPARAMCOUNT: Raise(kWrongArgumentCount);
    case DISP_E_PARAMNOTOPTIONAL: Raise(kArgumentNotOptional);
    default:
        if (SUCCEEDED(status)) return result;
        throw FailedStatus(status);
    }
}

} // namespace tvx
