// Test doubles for outside objects: a dispatch object whose members are
// scripted by the test and whose calls are recorded, and a class object that
// makes them, registered in-process under a programmatic identifier.
#ifndef TVX_TESTS_DESCRIPTOR_DOUBLES_H
#define TVX_TESTS_DESCRIPTOR_DOUBLES_H

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ascii/ascii.h"
#include "tarvex10/automation.hpp"

namespace doubles {

using tvx::ComPtr;
using tvx::Variant;
using tvx::operator==;

// One recorded call: the arguments as they arrived, last first.
struct Call {
    std::u16string member;
    WORD flags;
    std::vector<VARIANT> raw; // as passed; by-ref ones still point at the caller's variables during the call
};

// What a scripted member does with a call: its status and, for
// DISP_E_EXCEPTION, the exception record.
using MemberBody = std::function<HRESULT(DISPPARAMS &params, VARIANT *result, EXCEPINFO *excep)>;

class ScriptedObject final : public tvx::ComObject<ScriptedObject, IDispatch> {
public:
    explicit ScriptedObject(std::map<std::u16string, MemberBody> members, std::atomic<int> *alive = nullptr)
        : members_(std::move(members)), alive_(alive) {
        if (alive_) ++*alive_;
    }
    ~ScriptedObject() {
        if (alive_) --*alive_;
    }

    std::vector<Call> calls;

    HRESULT GetTypeInfoCount(UINT *count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **info) override {
        *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(const IID &, LPOLESTR *names, UINT count, LCID, DISPID *ids) override {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        DISPID id = 1;
        for (const auto &[name, body] : members_) {
            if (tvx::ascii::EqualFolded(std::u16string_view(name), std::u16string_view(names[0]))) {
                ids[0] = id;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
            ++id;
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, const IID &, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *excep,
                   UINT *) override {
        auto it = members_.begin();
        for (DISPID i = 1; i < id && it != members_.end(); ++i) ++it;
        if (id < 1 || it == members_.end()) return DISP_E_MEMBERNOTFOUND;
        calls.push_back({it->first, flags, std::vector<VARIANT>(params->rgvarg, params->rgvarg + params->cArgs)});
        return it->second(*params, result, excep);
    }

private:
    std::map<std::u16string, MemberBody> members_;
    std::atomic<int> *alive_;
};

// Makes a new scripted object for each creation and remembers them all.
class ScriptedFactory final : public tvx::ComObject<ScriptedFactory, IClassFactory> {
public:
    explicit ScriptedFactory(std::function<ScriptedObject *()> make) : make_(std::move(make)) {}

    std::vector<ScriptedObject *> made; // identities only; the objects may be gone

    HRESULT CreateInstance(IUnknown *, const IID &iid, void **ppv) override {
        ScriptedObject *object = make_();
        made.push_back(object);
        HRESULT status = object->QueryInterface(iid, ppv);
        object->Release();
        return status;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    std::function<ScriptedObject *()> make_;
};

// An exception record as a member of an outside object fills it.
inline HRESULT RaiseFrom(EXCEPINFO *excep, HRESULT scode, std::u16string_view description) {
    if (excep) {
        *excep = EXCEPINFO{};
        excep->scode = scode;
        excep->bstrSource = tvx::Bstr(u"Scripted").Detach();
        excep->bstrDescription = tvx::Bstr(description).Detach();
    }
    return DISP_E_EXCEPTION;
}

inline HRESULT Succeed(DISPPARAMS &, VARIANT *, EXCEPINFO *) { return S_OK; }

} // namespace doubles

#endif // TVX_TESTS_DESCRIPTOR_DOUBLES_H
