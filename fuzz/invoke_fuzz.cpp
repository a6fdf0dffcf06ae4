// Late-bound Invoke on every class with arbitrary argument counts, types and
// by-ref shapes. The first byte picks the class; then each call picks a
// member row (or any dispatch identifier), the kinds of call, the arguments
// (scalars, text, Null, Empty, missing, objects, arrays; by value, by
// reference, by reference through a Variant, or a null reference) and named
// arguments.
//
// The media channel is a scripted one, answering from a pool of codes and
// replies that the input draws, so no device state grows from input to
// input. The clock jumps ahead once a member reads it again and again, so a
// wait ends; a wait longer than 10^7 seconds is not asked for. File names
// lose their slashes, so the cutter only ever opens names in our own folder,
// and the disk there takes a few megabytes per input.
//
// Checked: no crash, no leak, and a status from the documented set.
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "support.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace tvx::fuzz {
namespace {

constexpr size_t kMaxArgs = 9;
constexpr int kMaxCalls = 24;

// ---- the scripted channel ----------------------------------------------------------

struct Answer {
    MCIERROR code;
    std::string reply;
};
std::vector<Answer> answers;
size_t next_answer = 0;

MCIERROR ScriptedSend(void *, const char *, char *reply, UINT capacity, HWND) {
    const Answer &a = answers.empty() ? Answer{0, ""} : answers[next_answer++ % answers.size()];
    if (reply && capacity > 0) {
        const size_t n = std::min<size_t>(a.reply.size(), capacity - 1);
        std::memcpy(reply, a.reply.data(), n);
        reply[n] = '\0';
    }
    return a.code;
}

BOOL ScriptedError(void *, MCIERROR code, char *text, UINT capacity) {
    if (code == 0 || !text || capacity == 0) return 0;
    const std::string description = "error " + std::to_string(code);
    const size_t n = std::min<size_t>(description.size(), capacity - 1);
    std::memcpy(text, description.data(), n);
    text[n] = '\0';
    return 1;
}

int clock_readings = 0;
double clock_now = 3600;
double JumpingClock(void *) {
    clock_now += ++clock_readings > 4 ? 40000.0 : 0.5;
    if (clock_now >= 86400.0) clock_now -= 86400.0;
    return clock_now;
}

const std::string &Dir() {
    static const std::string dir = [] {
        const std::string made = TargetDir("invoke"), data = std::string(TVX_SOURCE_DIR) + "/tests/data/";
        WriteFile(made + "/a.mpg", ReadWholeFile(data + "system_ffmpeg.mpg").substr(0, 200000));
        return made;
    }();
    return dir;
}

void DrawAnswers(Reader &r) {
    static const char *const kReplies[] = {"",        "0",       "1",        "1500",       "-3",   "stopped",
                                           "playing", "paused",  "true",     "false",      "on",   "off",
                                           "frames",  "milliseconds", "0 0 352 288", "25000", "4294967295",
                                           "1e308",   "&H7FFF",  "12,5",     " 7 ",        "x"};
    static constexpr MCIERROR kCodes[] = {0, 0, 0, 0, 263, 275, 282, 346, 512, 1};
    answers.clear();
    next_answer = 0;
    const size_t n = 1 + r.Byte() % 6;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = r.Byte();
        std::string reply = b < 230 ? kReplies[b % (sizeof kReplies / sizeof *kReplies)] : r.Text(24);
        answers.push_back({kCodes[r.Byte() % (sizeof kCodes / sizeof *kCodes)], std::move(reply)});
    }
}

// ---- arguments -----------------------------------------------------------------------

// One argument and whatever it refers to; the argument owns what it holds.
struct Argument {
    VARIANT arg{};       // what goes into rgvarg
    VARIANT inner{};     // the variable behind VT_BYREF|VT_VARIANT
    VARIANT storage{};   // the variable behind VT_BYREF|type
    bool by_ref = false;

    Argument() {
        VariantInit(&arg);
        VariantInit(&inner);
        VariantInit(&storage);
    }
    Argument(const Argument &) = delete;
    Argument &operator=(const Argument &) = delete;
    ~Argument() {
        if (!(arg.vt & VT_BYREF)) VariantClear(&arg);
        VariantClear(&inner);
        VariantClear(&storage);
    }
};

std::u16string FileSafeText(Reader &r) {
    std::u16string text = convert::FromUtf8(r.Text(24));
    for (char16_t &c : text)
        if (c == u'/') c = u'_';
    return text;
}

// A value of a drawn type into `v`.
void DrawValue(Reader &r, VARIANT &v, IDispatch *other) {
    VariantInit(&v);
    switch (r.Byte() % 18) {
    case 0: v.vt = VT_EMPTY; break;
    case 1: v.vt = VT_NULL; break;
    case 2: v.vt = VT_I2; V_I2(&v) = static_cast<SHORT>(r.U16()); break;
    case 3: v.vt = VT_I4; V_I4(&v) = r.I32(); break;
    case 4: v.vt = VT_I4; V_I4(&v) = static_cast<LONG>(r.Byte()) - 8; break;
    case 5: v.vt = VT_R8; V_R8(&v) = r.Double(); break;
    case 6: v.vt = VT_R8; V_R8(&v) = static_cast<double>(r.Byte()) / 4 - 2; break;
    case 7: {
        v.vt = VT_R4;
        const uint32_t bits = r.U32();
        std::memcpy(&V_R4(&v), &bits, 4);
        break;
    }
    case 8:
    case 9: {
        const std::u16string text = FileSafeText(r);
        v.vt = VT_BSTR;
        V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        break;
    }
    case 10: v.vt = VT_BOOL; V_BOOL(&v) = r.Bool() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case 11: v.vt = VT_UI1; V_UI1(&v) = r.Byte(); break;
    case 12: v.vt = VT_ERROR; V_ERROR(&v) = r.Bool() ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(r.U32()); break;
    case 13:
        v.vt = VT_DISPATCH;
        V_DISPATCH(&v) = r.Bool() ? other : nullptr;
        if (V_DISPATCH(&v)) V_DISPATCH(&v)->AddRef();
        break;
    case 14: v.vt = VT_DATE; V_DATE(&v) = r.Double(); break;
    case 15: v.vt = VT_CY; v.u.cyVal.int64 = static_cast<int64_t>(r.U64()); break;
    case 16: {
        // An array of numbers or of Variants.
        const VARTYPE type = r.Bool() ? VT_VARIANT : (r.Bool() ? VT_I2 : VT_R8);
        const ULONG count = r.Byte() % 12;
        SAFEARRAY *array = SafeArrayCreateVector(type, static_cast<LONG>(r.Byte() % 3), count);
        if (!array) break;
        for (ULONG i = 0; i < count; ++i) {
            LONG index = static_cast<LONG>(i) + array->rgsabound[0].lLbound;
            if (type == VT_VARIANT) {
                Variant element = Variant::I4(static_cast<LONG>(r.Byte()));
                SafeArrayPutElement(array, &index, &element);
            } else if (type == VT_I2) {
                SHORT element = static_cast<SHORT>(r.U16());
                SafeArrayPutElement(array, &index, &element);
            } else {
                double element = static_cast<double>(r.Byte());
                SafeArrayPutElement(array, &index, &element);
            }
        }
        v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
        V_ARRAY(&v) = array;
        break;
    }
    case 17: v.vt = VT_I8; v.u.llVal = static_cast<int64_t>(r.U64()); break;
    }
}

void DrawArgument(Reader &r, Argument &a, IDispatch *other) {
    const uint8_t shape = r.Byte() % 8;
    if (shape < 4) {
        DrawValue(r, a.arg, other); // by value
    } else if (shape < 6) {
        // By reference to a variable of the value's type.
        DrawValue(r, a.storage, other);
        if (a.storage.vt == VT_EMPTY || a.storage.vt == VT_NULL) {
            a.arg = a.storage;
            VariantInit(&a.storage);
            return;
        }
        a.arg.vt = static_cast<VARTYPE>(VT_BYREF | a.storage.vt);
        V_BYREF(&a.arg) = &a.storage.u;
    } else if (shape == 6) {
        // By reference to a Variant.
        DrawValue(r, a.inner, other);
        a.arg.vt = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&a.arg) = &a.inner;
    } else {
        // A reference that refers to nothing.
        static constexpr VARTYPE kTypes[] = {VT_I4, VT_I2, VT_BSTR, VT_R8, VT_VARIANT, VT_UI1, VT_DISPATCH};
        a.arg.vt = static_cast<VARTYPE>(VT_BYREF | kTypes[r.Byte() % 7]);
        V_BYREF(&a.arg) = nullptr;
    }
}

// ---- calls ----------------------------------------------------------------------------

bool IsWait(const MemberInfo &member) { return member.name == u"timeOut"; }

// A wait must end: its argument as seconds, when it can be read as that.
bool WaitTooLong(Argument &a) {
    Variant seconds;
    VARIANT *value = a.arg.vt == (VT_BYREF | VT_VARIANT) ? &a.inner : &a.arg;
    if (V_ISBYREF(value) && !V_BYREF(value)) return false;
    if (FAILED(VariantChangeType(seconds.Put(), value, 0, VT_R8))) return false;
    return std::isfinite(V_R8(&seconds)) && V_R8(&seconds) > 1e7;
}

bool KnownStatus(HRESULT status) {
    switch (status) {
    case S_OK:
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTFOUND:
    case DISP_E_PARAMNOTOPTIONAL:
    case DISP_E_TYPEMISMATCH:
    case DISP_E_OVERFLOW:
    case DISP_E_EXCEPTION:
    case DISP_E_BADVARTYPE:
    case E_POINTER:
    case E_INVALIDARG:
    case E_OUTOFMEMORY: return true;
    default: return false;
    }
}

void CallOnce(Reader &r, IDispatch *object, const ClassInfo &info, IDispatch *other) {
    const uint8_t how = r.Byte();
    DISPID id = DISPID_VALUE;
    WORD flags = DISPATCH_METHOD;
    size_t count = 0;
    const MemberInfo *member = nullptr;
    if (how < 240 && !info.members.empty()) {
        member = &info.members[r.Byte() % info.members.size()];
        id = member->dispid;
        switch (member->kind) {
        case MemberKind::Method: flags = DISPATCH_METHOD | (r.Bool() ? DISPATCH_PROPERTYGET : 0); break;
        case MemberKind::Get: flags = DISPATCH_PROPERTYGET | (r.Bool() ? DISPATCH_METHOD : 0); break;
        case MemberKind::Put: flags = DISPATCH_PROPERTYPUT; break;
        case MemberKind::PutRef: flags = DISPATCH_PROPERTYPUTREF; break;
        }
        count = how < 220 ? member->params.size() : r.Byte() % kMaxArgs;
    } else {
        id = r.Bool() ? r.I32() : static_cast<DISPID>(r.Byte()) - 8;
        flags = static_cast<WORD>(r.Byte() % 16);
        count = r.Byte() % kMaxArgs;
    }
    std::vector<std::unique_ptr<Argument>> arguments;
    std::vector<VARIANT> rgvarg(count);
    for (size_t i = 0; i < count; ++i) {
        arguments.push_back(std::make_unique<Argument>());
        DrawArgument(r, *arguments.back(), other);
        rgvarg[i] = arguments.back()->arg;
    }
    if (member && IsWait(*member) && count == 1 && WaitTooLong(*arguments[0])) return;
    // Named arguments: the put's value by DISPID_PROPERTYPUT, or positions.
    std::vector<DISPID> named;
    const uint8_t naming = r.Byte();
    if (count > 0 && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && naming < 200) {
        named.push_back(DISPID_PROPERTYPUT);
    } else if (count > 0 && naming >= 230) {
        const size_t n = 1 + r.Byte() % count;
        for (size_t i = 0; i < n; ++i) named.push_back(static_cast<DISPID>(r.Byte() % 10) - 1);
    }
    DISPPARAMS params{count ? rgvarg.data() : nullptr, named.empty() ? nullptr : named.data(),
                      static_cast<UINT>(count), static_cast<UINT>(named.size())};
    Variant result;
    EXCEPINFO excep{};
    UINT arg_err = 0;
    clock_readings = 0;
    const bool want_result = r.Byte() < 220;
    const HRESULT status = object->Invoke(id, IID_NULL, 0x0409, flags, &params, want_result ? result.Put() : nullptr,
                                          &excep, &arg_err);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    TVX_FUZZ_CHECK(KnownStatus(status), "Invoke gave " + std::to_string(static_cast<uint32_t>(status)) + " for " +
                                            convert::ToUtf8(member ? member->name : u"an arbitrary identifier"));
    // A by-ref text or object that the member replaced is in the argument's
    // storage now, and goes with it.
}

} // namespace

int FuzzInvoke(const uint8_t *data, size_t size) {
    if (::chdir(Dir().c_str()) != 0) Fail("chdir");
    // Every time: another target may have run in this process before.
    QuietMessageBoxes();
    const TVXMCIHANDLER handler{&ScriptedSend, &ScriptedError, nullptr};
    TvxSetMciHandler(&handler, nullptr);
    TvxSetClock(&JumpingClock, nullptr);
    Reader r(data, size);
    ResetIo();
    Io().read_budget = 64 << 20;
    Io().write_budget = 4 << 20;
    DrawAnswers(r);
    const auto classes = AllClasses();
    const ClassInfo &info = *classes[r.Byte() % classes.size()];
    ObjectBase *object = info.create();
    // An object to pass where members take one.
    ObjectBase *other = VfwClass().create();
    for (int call = 0; call < kMaxCalls && r.Remaining() > 0; ++call)
        CallOnce(r, object->Interface(), info, other->Interface());
    object->Release();
    other->Release();
    CloseAllFileNumbers();
    ClearDir(Dir(), {"a.mpg"});
    return 0;
}

} // namespace tvx::fuzz
