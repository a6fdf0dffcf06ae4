// Objects of the library and the tables that describe their classes.
//
// Every class is described by a ClassInfo: its identity and a table of
// MemberInfo rows, one per interface member in interface order. The object's
// interface pointer is the object itself: its first field points at a table
// of functions laid out as the class's dual interface (IUnknown's three,
// IDispatch's four, then one entry per row). The rows' entries are generated
// from the member bodies (member.h), so the table is the one source of the
// early-bound layout, the late-bound dispatch and the type information.
//
// The frame, generic over the component it is built into (tvx_frame):
//   types.h        the body types (Variant, Bool16, ...) and type codes
//   object.h/.cpp  ClassInfo, MemberInfo, ObjectBase and its identity
//   member.h       the member boundary and the templates that make the
//                  entries and table rows from member bodies
//   dispatch.cpp   the standard entries and the generic late-bound Invoke
//   type_info.h/.cpp  the interface description built from a member table
//   late_call.h/.cpp  creating outside objects and calling them by name
//   library.h      what a component tells the frame (ThisLibrary)
//   exports.cpp    the four exports, exports.map keeps them the only ones
#ifndef TVX_FRAME_OBJECT_H
#define TVX_FRAME_OBJECT_H

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "frame/types.h"

namespace tvx {

class ObjectBase;

struct ParamType {
    AutoType type;
    Passing passing;
};

// A type-erased function pointer: the vtable entry of a member.
using AnyFunction = void (*)();
// The late-bound entry: `slots` holds one prepared argument per parameter,
// in parameter order, each of the parameter's exact type (VT_BYREF|type for
// by-ref parameters); the result comes back in `result`, and bit i of
// `stores` tells whether the member stored into by-ref parameter i.
using LateFunction = HRESULT (*)(ObjectBase *self, VARIANT *slots, VARIANT *result, uint32_t *stores);

// The most parameters a member may have: a late-bound call prepares its
// arguments in arrays of this size. The member rows check it when the table
// is compiled (member.h).
inline constexpr size_t kMaxParams = 8;

struct MemberInfo {
    DISPID dispid;
    MemberKind kind;
    std::u16string_view name;
    // One name for each parameter, separated by commas; empty for puts,
    // whose one parameter is the unnamed value.
    std::u16string_view param_names;
    std::span<const ParamType> params;
    AutoType result;
    AnyFunction early;
    LateFunction late;

    // The name of parameter `index`; empty when the row names none.
    std::u16string_view ParamName(size_t index) const;
};

class ClassInfo {
public:
    ClassInfo(std::u16string_view name, std::u16string_view progid, const CLSID &clsid, const IID &iid,
              std::span<const MemberInfo> members, ObjectBase *(*create)(), void (*destroy)(ObjectBase *),
              bool application_object = false);
    ClassInfo(const ClassInfo &) = delete;
    ClassInfo &operator=(const ClassInfo &) = delete;

    std::u16string_view name;   // clsKwVidoMoviesA
    std::u16string_view progid; // Tarvex10.clsKwVidoMoviesA
    CLSID clsid;
    IID iid;
    std::span<const MemberInfo> members;
    ObjectBase *(*create)();
    void (*destroy)(ObjectBase *);
    // The descriptor class is the library's application object.
    bool application_object;

    std::u16string InterfaceName() const { return u"_" + std::u16string(name); }
    // The interface's function table: the seven standard entries, then one
    // per member row.
    const void *const *Vtable() const { return vtable_.data(); }
    // The row that serves `dispid` for the kinds of call in `flags`, or -1.
    int FindByDispid(DISPID dispid, WORD flags) const;
    // Case-insensitive; DISPID_UNKNOWN when there is no such member.
    DISPID FindByName(std::u16string_view name) const;
    // The first row with this dispatch identifier, or -1.
    int FirstRow(DISPID dispid) const;

private:
    std::vector<const void *> vtable_;
    std::vector<std::pair<DISPID, int>> by_dispid_;             // sorted by dispid
    std::vector<std::pair<std::u16string, DISPID>> by_name_; // folded to lower case, sorted
};

// Counts the library's live objects and class factory locks for
// DllCanUnloadNow.
struct ModuleCounts {
    static inline std::atomic<long> objects{0};
    static inline std::atomic<long> locks{0};
};

// The state every object of the library carries before its own fields.
class ObjectBase {
public:
    explicit ObjectBase(const ClassInfo &info);
    ObjectBase(const ObjectBase &) = delete;
    ObjectBase &operator=(const ObjectBase &) = delete;
    ~ObjectBase();

    IDispatch *Interface() { return reinterpret_cast<IDispatch *>(this); }
    static ObjectBase *FromInterface(void *iface) { return reinterpret_cast<ObjectBase *>(iface); }

    const ClassInfo &Class() const { return *class_; }
    // Apartment rule: only the creating thread may enter the object's members.
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

    ULONG AddRef() { return ++references_; }
    ULONG Release();
    HRESULT QueryInterface(const IID &iid, void **ppv);

private:
    friend struct ObjectVtable;
    // Must stay the first field: the interface pointer is the object.
    const void *const *vtable_;
    // The object's ISupportErrorInfo, a second small interface that leads
    // back to the object.
    struct SupportErrorInfo {
        const void *const *vtable;
        ObjectBase *owner;
    } support_error_info_;
    std::atomic<ULONG> references_{1};
    std::thread::id owner_;
    const ClassInfo *class_;
};

// The seven standard entries at the front of every class's vtable.
struct ObjectVtable {
    static HRESULT QueryInterface(void *self, const IID &iid, void **ppv);
    static ULONG AddRef(void *self);
    static ULONG Release(void *self);
    static HRESULT GetTypeInfoCount(void *self, UINT *count);
    static HRESULT GetTypeInfo(void *self, UINT index, LCID lcid, ITypeInfo **info);
    static HRESULT GetIDsOfNames(void *self, const IID &iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids);
    static HRESULT Invoke(void *self, DISPID id, const IID &iid, LCID lcid, WORD flags, DISPPARAMS *params,
                          VARIANT *result, EXCEPINFO *excep, UINT *arg_err);
};
constexpr int kStandardEntries = 7;

// Helper for ClassInfo::create/destroy.
template <class C> ObjectBase *CreateObject() { return new C(); }
template <class C> void DestroyObject(ObjectBase *object) { delete static_cast<C *>(object); }

} // namespace tvx

#endif // TVX_FRAME_OBJECT_H
