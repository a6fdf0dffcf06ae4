// The seven standard entries of every interface, and late binding: one
// generic Invoke that works from the class's member table.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "frame/member.h"
#include "frame/object.h"
#include "frame/type_info.h"
#include "variant/value_size.h"

namespace tvx {

// ---- error information -------------------------------------------------------

namespace {

// The setters take NUL-terminated texts, hence the copies.
void Publish(const ClassInfo &info, std::u16string source, std::u16string description) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
        create->SetGUID(info.iid);
        create->SetSource(source.data());
        create->SetDescription(description.data());
        if (auto published = create.As<IErrorInfo>()) SetErrorInfo(0, published.Get());
    }
}

} // namespace

HRESULT PublishError(const ClassInfo &info, const RaisedError &error) noexcept {
    try {
        Publish(info, error.Source().empty() ? std::u16string(info.progid) : error.Source(), error.Description());
    } catch (const std::bad_alloc &) {
        // The status alone still tells the caller what happened.
    }
    return error.Status();
}

HRESULT PublishUnexpected(const ClassInfo &info, const char *what) noexcept {
    try {
        std::u16string description = u"Unexpected failure";
        if (what && *what) description += u": " + convert::FromUtf8(what);
        Publish(info, std::u16string(info.progid), std::move(description));
    } catch (const std::bad_alloc &) {
    }
    return E_UNEXPECTED;
}

void ClearErrorInfo() noexcept { SetErrorInfo(0, nullptr); }

void NotImplemented() {
    ClearErrorInfo();
    throw FailedStatus(E_NOTIMPL);
}

CaughtFailure CatchFailure() {
    try {
        throw;
    } catch (const RaisedError &error) {
        return {error.Status(), error.Number(), error.Description()};
    } catch (const FailedStatus &failure) {
        // The inner call left its description in the error information.
        std::u16string description;
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.Put()) == S_OK && info) {
            Bstr text;
            info->GetDescription(text.Put());
            description = text.Str();
            SetErrorInfo(0, info.Get());
        }
        const HRESULT status = failure.Status();
        return {status, IsControlError(status) ? ControlErrorNumber(status) : status, description};
    } catch (const std::bad_alloc &) {
        return {MakeControlError(kOutOfMemory), kOutOfMemory, std::u16string(StandardDescription(kOutOfMemory))};
    }
}

// ---- the standard entries -------------------------------------------------------------

HRESULT ObjectVtable::QueryInterface(void *self, const IID &iid, void **ppv) {
    return ObjectBase::FromInterface(self)->QueryInterface(iid, ppv);
}

ULONG ObjectVtable::AddRef(void *self) { return ObjectBase::FromInterface(self)->AddRef(); }

ULONG ObjectVtable::Release(void *self) { return ObjectBase::FromInterface(self)->Release(); }

HRESULT ObjectVtable::GetTypeInfoCount(void *self, UINT *count) {
    if (!count) return E_POINTER;
    *count = 0;
    if (!ObjectBase::FromInterface(self)->OnOwnerThread()) return RPC_E_WRONG_THREAD;
    *count = 1;
    return S_OK;
}

HRESULT ObjectVtable::GetTypeInfo(void *self, UINT index, LCID, ITypeInfo **info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ObjectBase *object = ObjectBase::FromInterface(self);
    if (!object->OnOwnerThread()) return RPC_E_WRONG_THREAD;
    if (index != 0) return DISP_E_BADINDEX;
    return CreateClassTypeInfo(object->Class(), info);
}

namespace {

// The position of `wanted` among the parameters of `member`.
DISPID FindParamName(const MemberInfo &member, std::u16string_view wanted) {
    for (size_t i = 0; i < member.params.size(); ++i) {
        if (ascii::EqualFolded(member.ParamName(i), wanted)) return static_cast<DISPID>(i);
    }
    return DISPID_UNKNOWN;
}

std::u16string_view NulTerminated(const OLECHAR *text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

} // namespace

HRESULT ObjectVtable::GetIDsOfNames(void *self, const IID &iid, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
    if (!names || !ids) return E_POINTER;
    ObjectBase *object = ObjectBase::FromInterface(self);
    if (!object->OnOwnerThread()) return RPC_E_WRONG_THREAD;
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    const ClassInfo &info = object->Class();
    HRESULT status = S_OK;
    ids[0] = info.FindByName(NulTerminated(names[0]));
    if (ids[0] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
    // Parameter names resolve to positions among the member's parameters.
    const int row = count > 1 ? info.FirstRow(ids[0]) : -1;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = row < 0 ? DISPID_UNKNOWN : FindParamName(info.members[row], NulTerminated(names[i]));
        if (ids[i] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
    }
    return status;
}

namespace {

// The arguments of one late-bound call, converted to the member's parameter
// types. Each slot holds the exact type the member expects (VT_BYREF|type
// for by-ref parameters); where the caller's argument had another type, the
// slot refers to a converted copy, which goes back to the caller's variable
// after the call when the member stored into it, even a value equal to the
// conversion, and not at all when the member stored nothing.
class PreparedArguments {
public:
    explicit PreparedArguments(size_t count) : count_(count) {}
    PreparedArguments(const PreparedArguments &) = delete;
    ~PreparedArguments() {
        for (size_t i = 0; i < count_; ++i) {
            if (used_ & (1u << i)) VariantClear(&temps_[i]);
        }
    }

    VARIANT *Slots() { return slots_.data(); }

    // Prepares slot `index` for a parameter of type `param` from `argument`.
    [[nodiscard]] HRESULT Prepare(size_t index, const ParamType &param, VARIANT *argument) {
        // The argument as a value: a Variant by reference is undone once.
        VARIANT *value = argument;
        if (argument->vt == (VT_BYREF | VT_VARIANT)) {
            if (!V_VARIANTREF(argument)) return E_POINTER;
            value = V_VARIANTREF(argument);
        }
        if (V_ISBYREF(value) && !V_BYREF(value)) return E_POINTER;
        const bool missing = value->vt == VT_ERROR && V_ERROR(value) == DISP_E_PARAMNOTFOUND;
        if (missing && param.type != AutoType::Variant) return DISP_E_PARAMNOTOPTIONAL;
        if (param.passing == Passing::ByValue) return PrepareByValue(index, param.type, value);
        if (param.type == AutoType::Variant) return PrepareVariantByRef(index, argument);
        return PrepareByRef(index, VarTypeOf(param.type), argument, value);
    }

    // The copies the member stored into (bit i of `stores`) go back to the
    // caller's variables in the caller's types; a Variant variable that
    // cannot take the value in its old type takes it in the parameter's
    // type. What the member left alone stays the caller's value, not its
    // conversion (2.5 passed to an integer parameter stays 2.5). Called once
    // the member has run, whatever its outcome. Gives the first parameter
    // whose typed variable cannot hold what the member stored (40000 for an
    // int16), or -1; the others are written.
    [[nodiscard]] int WriteBack(uint32_t stores) {
        int unwritten = -1;
        for (size_t i = 0; i < count_; ++i) {
            VARIANT *target = targets_[i];
            if (!target || !(stores >> i & 1)) continue;
            VARIANT &value = temps_[i];
            if (target->vt == (VT_BYREF | VT_VARIANT)) {
                StoreIntoVariant(V_VARIANTREF(target), value);
                continue;
            }
            Variant converted;
            if (FAILED(VariantChangeType(&converted, &value, 0, static_cast<VARTYPE>(target->vt & ~VT_BYREF)))) {
                if (unwritten < 0) unwritten = static_cast<int>(i);
                continue;
            }
            StoreThrough(target, converted);
        }
        return unwritten;
    }

private:
    // A by-value parameter: the caller's value when it has the parameter's
    // type (a Variant parameter takes any value), else a converted copy.
    HRESULT PrepareByValue(size_t index, AutoType type, VARIANT *value) {
        VARIANT *slot = &slots_[index];
        if (type == AutoType::Variant) {
            if (!V_ISBYREF(value)) {
                *slot = *value; // read only by the member, which copies it
                return S_OK;
            }
            if (FAILED(VariantCopyInd(Temp(index), value))) return DISP_E_TYPEMISMATCH;
        } else if (value->vt == VarTypeOf(type)) {
            *slot = *value;
            return S_OK;
        } else if (HRESULT status = VariantChangeType(Temp(index), value, 0, VarTypeOf(type)); FAILED(status)) {
            return status;
        }
        *slot = temps_[index];
        return S_OK;
    }

    // A by-ref Variant parameter: the caller's Variant itself, or a copy of
    // a typed argument that goes back to the caller's variable.
    HRESULT PrepareVariantByRef(size_t index, VARIANT *argument) {
        VARIANT *slot = &slots_[index];
        if (argument->vt == (VT_BYREF | VT_VARIANT)) {
            *slot = *argument;
            return S_OK;
        }
        if (HRESULT status = VariantCopyInd(Temp(index), argument); FAILED(status)) return status;
        if (V_ISBYREF(argument)) targets_[index] = argument;
        slot->vt = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(slot) = &temps_[index];
        return S_OK;
    }

    // A typed by-ref parameter: the caller's own variable when the types
    // agree, else a converted copy that goes back to it.
    HRESULT PrepareByRef(size_t index, VARTYPE vt, VARIANT *argument, VARIANT *value) {
        VARIANT *slot = &slots_[index];
        if (argument->vt == (VT_BYREF | vt)) {
            *slot = *argument;
            return S_OK;
        }
        if (value != argument && value->vt == vt) {
            slot->vt = VT_BYREF | vt;
            V_BYREF(slot) = &value->u;
            return S_OK;
        }
        if (HRESULT status = VariantChangeType(Temp(index), value, 0, vt); FAILED(status)) return status;
        if (V_ISBYREF(argument)) targets_[index] = argument;
        slot->vt = VT_BYREF | vt;
        V_BYREF(slot) = &temps_[index].u;
        return S_OK;
    }

    VARIANT *Temp(size_t index) {
        used_ |= 1u << index;
        VariantInit(&temps_[index]);
        return &temps_[index];
    }

    // A Variant variable keeps its type when the value converts to it.
    static void StoreIntoVariant(VARIANT *inner, const VARIANT &value) {
        Variant converted;
        const VARIANT *next = &value;
        if (inner->vt != VT_EMPTY && SUCCEEDED(VariantChangeType(&converted, &value, 0, inner->vt)))
            next = &converted;
        if (!SameText(*inner, *next)) VariantCopy(inner, next);
    }

    // A string the member left as it was stays the caller's own string, so
    // that copies of the caller's pointer are not left dangling.
    static bool SameText(const VARIANT &current, const VARIANT &next) {
        return current.vt == VT_BSTR && next.vt == VT_BSTR && View(V_BSTR(&current)) == View(V_BSTR(&next));
    }

    // Stores `value` (of the target's type) into the variable a typed
    // by-ref argument refers to; strings and objects change hands.
    static void StoreThrough(VARIANT *target, Variant &value) {
        const VARTYPE type = static_cast<VARTYPE>(target->vt & ~VT_BYREF);
        switch (type) {
        case VT_BSTR:
            if (View(*V_BSTRREF(target)) == View(V_BSTR(&value))) return;
            SysFreeString(*V_BSTRREF(target));
            *V_BSTRREF(target) = V_BSTR(&value);
            V_BSTR(&value) = nullptr;
            value.vt = VT_EMPTY;
            return;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (*V_UNKNOWNREF(target)) (*V_UNKNOWNREF(target))->Release();
            *V_UNKNOWNREF(target) = V_UNKNOWN(&value);
            value.vt = VT_EMPTY;
            return;
        case VT_VARIANT: VariantCopy(V_VARIANTREF(target), &value); return;
        default:
            // Numbers, dates and the like: the value's bytes.
            if (const size_t size = ValueSize(type); size != 0 && size <= sizeof(value.u))
                std::memcpy(V_BYREF(target), &value.u, size);
            return;
        }
    }

    // Only the first count_ entries are used; they are set as they are
    // prepared, so nothing is initialised for parameters a member lacks.
    size_t count_;
    std::array<VARIANT, kMaxParams> slots_;
    std::array<VARIANT, kMaxParams> temps_;
    std::array<VARIANT *, kMaxParams> targets_{};
    uint32_t used_ = 0;
};

// Fills the caller's exception record from the thread's error information,
// which stays in place for callers that read it instead.
void FillExceptionInfo(EXCEPINFO *excep, HRESULT status) {
    *excep = EXCEPINFO{};
    excep->scode = status;
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Put()) == S_OK && error) {
        error->GetSource(&excep->bstrSource);
        error->GetDescription(&excep->bstrDescription);
        error->GetHelpFile(&excep->bstrHelpFile);
        error->GetHelpContext(&excep->dwHelpContext);
        SetErrorInfo(0, error.Get());
    }
}

} // namespace

HRESULT ObjectVtable::Invoke(void *self, DISPID id, const IID &iid, LCID, WORD flags, DISPPARAMS *params,
                             VARIANT *result, EXCEPINFO *excep, UINT *arg_err) {
    ObjectBase *object = ObjectBase::FromInterface(self);
    if (!object->OnOwnerThread()) return RPC_E_WRONG_THREAD;
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_POINTER;
    if ((params->cArgs && !params->rgvarg) || (params->cNamedArgs && !params->rgdispidNamedArgs) ||
        params->cNamedArgs > params->cArgs)
        return E_INVALIDARG;

    const ClassInfo &info = object->Class();
    int row = info.FindByDispid(id, flags);
    if (row < 0) return DISP_E_MEMBERNOTFOUND;
    const MemberInfo &member = info.members[row];
    const size_t count = member.params.size();
    if (params->cArgs != count) return DISP_E_BADPARAMCOUNT;

    // Which argument feeds which parameter: named ones by position (the
    // value of a put by DISPID_PROPERTYPUT), the rest in order, reversed.
    std::array<int, kMaxParams> source;
    source.fill(-1);
    const bool is_put = member.kind == MemberKind::Put || member.kind == MemberKind::PutRef;
    for (UINT j = 0; j < params->cNamedArgs; ++j) {
        DISPID named = params->rgdispidNamedArgs[j];
        size_t position = (is_put && named == DISPID_PROPERTYPUT) ? count - 1 : static_cast<size_t>(named);
        if (named < 0 && !(is_put && named == DISPID_PROPERTYPUT)) position = kMaxParams;
        if (position >= count || source[position] != -1) {
            if (arg_err) *arg_err = j;
            return DISP_E_PARAMNOTFOUND;
        }
        source[position] = static_cast<int>(j);
    }
    size_t positional = params->cArgs - params->cNamedArgs;
    for (size_t k = 0; k < positional; ++k) {
        if (source[k] != -1) return DISP_E_BADPARAMCOUNT;
        source[k] = static_cast<int>(params->cArgs - 1 - k);
    }

    PreparedArguments arguments(count);
    for (size_t i = 0; i < count; ++i) {
        HRESULT status = arguments.Prepare(i, member.params[i], &params->rgvarg[source[i]]);
        if (FAILED(status)) {
            if (arg_err) *arg_err = static_cast<UINT>(source[i]);
            return status;
        }
    }

    // The result goes straight to the caller's variable; without one, to a
    // scratch Variant that is cleared here.
    Variant scratch;
    VARIANT *target = result ? result : &scratch;
    VariantInit(target);
    uint32_t stores = 0;
    HRESULT status = member.late(object, arguments.Slots(), target, &stores);
    const int unwritten = arguments.WriteBack(stores);
    if (FAILED(status)) {
        if (excep) FillExceptionInfo(excep, status);
        return DISP_E_EXCEPTION;
    }
    if (unwritten >= 0) {
        // The member ran, but what it stored cannot reach the caller: the
        // call fails as a conversion of that argument does.
        if (arg_err) *arg_err = static_cast<UINT>(source[unwritten]);
        VariantClear(target);
        return DISP_E_OVERFLOW;
    }
    return S_OK;
}

} // namespace tvx
