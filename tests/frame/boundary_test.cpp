// The member boundary: statuses, results after a failure, raised errors in
// the thread's error information, inner failures travelling through an
// outer member, and pointer checks before a member is entered. A small class
// of this file's own exercises each rule through its early-bound entries and
// through Invoke.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frame/member.h"
#include "support/early_slot.h"

namespace tvx {
namespace {

using namespace std::string_literals;

// The number of AddRefs held on `p` now.
ULONG References(IUnknown *p) {
    p->AddRef();
    return p->Release();
}

class Probe;
const ClassInfo &ProbeClass();

constexpr GUID kProbeClsid = {0x7d1c0a52, 0x3b4e, 0x4f10, {0x9a, 0x61, 0x20, 0x5e, 0x11, 0x8c, 0x42, 0x07}};
constexpr GUID kProbeIid = {0x7d1c0a53, 0x3b4e, 0x4f10, {0x9a, 0x61, 0x20, 0x5e, 0x11, 0x8c, 0x42, 0x07}};

class Probe : public ObjectBase {
public:
    Probe() : ObjectBase(ProbeClass()) {}

    int entries = 0;

    void AssignThenOverflow(Result<int32_t> &result) {
        ++entries;
        result = 41;
        result = 42;
        Raise(kOverflow);
    }
    int32_t OverflowAtOnce() {
        ++entries;
        Raise(kOverflow);
    }
    void ShortThenMismatch(Result<int16_t> &result) {
        ++entries;
        result = -7;
        Raise(kTypeMismatch, u"not a number here");
    }
    void DoubleThenFail(Result<double> &result) {
        ++entries;
        result = 2.5;
        throw RaisedError(1000, u"own failure", u"Probe.Source");
    }
    void StringThenFail(Result<std::u16string> &result) {
        ++entries;
        result = u"partial";
        Raise(kOverflow);
    }
    void VariantThenFail(Result<Variant> &result) {
        ++entries;
        result = Variant::Str(u"partial");
        Raise(kOverflow);
    }
    void ObjectThenFail(Result<ComPtr<IDispatch>> &result) {
        ++entries;
        result = ComPtr<IDispatch>(Interface());
        Raise(kObjectNotSet);
    }
    Variant NeverAssigns() {
        ++entries;
        return {};
    }
    int32_t Unbuilt() {
        ++entries;
        NotImplemented();
    }
    // Outer members that call the ones above through their entries.
    void OuterOfOverflow(Result<int32_t> &result) {
        ++entries;
        result = 7;
        result = CallMember<&Probe::AssignThenOverflow>(*this);
    }
    std::u16string OuterOfUnbuilt() {
        ++entries;
        CallMember<&Probe::Unbuilt>(*this);
        return u"unreached";
    }
    int32_t OuterOfSuccess(ByRef<int32_t> value) {
        ++entries;
        return CallMember<&Probe::Increment>(*this, value) * 10;
    }
    int32_t Increment(ByRef<int32_t> value) {
        ++entries;
        return ++value;
    }
    std::u16string Echo(const std::u16string &text) {
        ++entries;
        return text;
    }
    // Failures of no kind the boundary knows.
    int32_t ThrowsLibraryException() {
        ++entries;
        throw std::runtime_error("disk on fire");
    }
    void ThrowsNumber() {
        ++entries;
        throw 42;
    }
};

const ClassInfo &ProbeClass() {
    static const MemberInfo members[] = {
        Method<&Probe::AssignThenOverflow>(0x100, u"AssignThenOverflow"),
        Method<&Probe::OverflowAtOnce>(0x101, u"OverflowAtOnce"),
        Method<&Probe::ShortThenMismatch>(0x102, u"ShortThenMismatch"),
        Method<&Probe::DoubleThenFail>(0x103, u"DoubleThenFail"),
        Method<&Probe::StringThenFail>(0x104, u"StringThenFail"),
        Method<&Probe::VariantThenFail>(0x105, u"VariantThenFail"),
        Method<&Probe::ObjectThenFail>(0x106, u"ObjectThenFail"),
        Method<&Probe::NeverAssigns>(0x107, u"NeverAssigns"),
        Method<&Probe::Unbuilt>(0x108, u"Unbuilt"),
        Method<&Probe::OuterOfOverflow>(0x109, u"OuterOfOverflow"),
        Method<&Probe::OuterOfUnbuilt>(0x10a, u"OuterOfUnbuilt"),
        Method<&Probe::OuterOfSuccess>(0x10b, u"OuterOfSuccess", u"value"),
        Method<&Probe::Increment>(0x10c, u"Increment", u"value"),
        Method<&Probe::Echo>(0x10d, u"Echo", u"text"),
        Method<&Probe::ThrowsLibraryException>(0x10e, u"ThrowsLibraryException"),
        Method<&Probe::ThrowsNumber>(0x10f, u"ThrowsNumber"),
    };
    static const ClassInfo info(u"clsBoundaryProbe", u"TvxTests.clsBoundaryProbe", kProbeClsid, kProbeIid, members,
                                &CreateObject<Probe>, &DestroyObject<Probe>);
    return info;
}

// Slot positions, 1-based after the seven standard entries.
enum Slot {
    kAssignThenOverflow = 1,
    kOverflowAtOnce,
    kShortThenMismatch,
    kDoubleThenFail,
    kStringThenFail,
    kVariantThenFail,
    kObjectThenFail,
    kNeverAssigns,
    kUnbuilt,
    kOuterOfOverflow,
    kOuterOfUnbuilt,
    kOuterOfSuccess,
    kIncrement,
    kEcho,
};

using tvx::testing::CallSlot;

// The thread's error information, taken (and so cleared) for inspection.
struct TakenError {
    bool present = false;
    GUID guid{};
    std::u16string source, description;
};
TakenError TakeErrorInfo() {
    TakenError taken;
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Put()) != S_OK || !error) return taken;
    taken.present = true;
    error->GetGUID(&taken.guid);
    Bstr source, description;
    error->GetSource(source.Put());
    error->GetDescription(description.Put());
    taken.source = source.Str();
    taken.description = description.Str();
    return taken;
}

class BoundaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe_ = static_cast<Probe *>(ProbeClass().create());
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override {
        SetErrorInfo(0, nullptr);
        probe_->Release();
    }
    IDispatch *Object() { return probe_->Interface(); }

    HRESULT Invoke(DISPID id, std::vector<VARIANT> reversed, VARIANT *result, EXCEPINFO *excep) {
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return Object()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, excep, nullptr);
    }

    Probe *probe_ = nullptr;
};

// Catches: a number result reset to 0 (or left at the caller's value) when
// the member fails after assigning it; a wrong status for a raised number;
// a raise that does not reach the thread's error information, or reaches it
// with another interface, source or description.
TEST_F(BoundaryTest, NumberResultKeepsWhatWasAssignedBeforeTheFailure) {
    struct Case {
        const char *fault;
        int slot;
        HRESULT status;
        double kept; // the number the caller finds after the failure
        std::u16string source, description;
    };
    const Case cases[] = {
        {"int32 assigned twice then raise 6", kAssignThenOverflow, static_cast<HRESULT>(0x800A0006), 42,
         u"TvxTests.clsBoundaryProbe", u"Overflow"},
        {"raise before any assignment", kOverflowAtOnce, static_cast<HRESULT>(0x800A0006), 0,
         u"TvxTests.clsBoundaryProbe", u"Overflow"},
        {"int16 negative then raise 13 with own text", kShortThenMismatch, static_cast<HRESULT>(0x800A000D), -7,
         u"TvxTests.clsBoundaryProbe", u"not a number here"},
        {"double then raise 1000 with own source", kDoubleThenFail, static_cast<HRESULT>(0x800A03E8), 2.5,
         u"Probe.Source", u"own failure"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        HRESULT status = S_OK;
        double kept = 0;
        if (c.slot == kShortThenMismatch) {
            SHORT out = 99;
            status = CallSlot(Object(), c.slot, &out);
            kept = out;
        } else if (c.slot == kDoubleThenFail) {
            double out = 99;
            status = CallSlot(Object(), c.slot, &out);
            kept = out;
        } else {
            LONG out = 99;
            status = CallSlot(Object(), c.slot, &out);
            kept = out;
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(kept, c.kept);
        TakenError error = TakeErrorInfo();
        ASSERT_TRUE(error.present);
        EXPECT_TRUE(error.guid == kProbeIid);
        EXPECT_EQ(error.source, c.source);
        EXPECT_EQ(error.description, c.description);
    }
}

// Catches: a string, Variant or object result handed to the caller after a
// failure (or leaked: the object's reference count must come back), and a
// caller's stale out value left in place.
TEST_F(BoundaryTest, OtherResultsAreZeroAfterAFailure) {
    BSTR text = reinterpret_cast<BSTR>(uintptr_t{0x10}); // a stale value the member must not read or free
    EXPECT_EQ(CallSlot(Object(), kStringThenFail, &text), static_cast<HRESULT>(0x800A0006));
    EXPECT_EQ(text, nullptr);

    VARIANT value;
    value.vt = VT_I4;
    V_I4(&value) = 5;
    EXPECT_EQ(CallSlot(Object(), kVariantThenFail, &value), static_cast<HRESULT>(0x800A0006));
    EXPECT_EQ(value.vt, VT_EMPTY);

    ULONG before = References(reinterpret_cast<IUnknown *>(Object()));
    IDispatch *object = reinterpret_cast<IDispatch *>(uintptr_t{0x10});
    EXPECT_EQ(CallSlot(Object(), kObjectThenFail, &object), static_cast<HRESULT>(0x800A005B));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(References(reinterpret_cast<IUnknown *>(Object())), before);
    EXPECT_EQ(probe_->entries, 3);
}

// Catches: a Variant result that is not Empty when the member never assigns
// it (e.g. the caller's old value surviving), early or late.
TEST_F(BoundaryTest, UnassignedVariantResultIsEmpty) {
    VARIANT value;
    value.vt = VT_R8;
    V_R8(&value) = 3.5;
    ASSERT_EQ(CallSlot(Object(), kNeverAssigns, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);

    Variant late = Variant::I4(9);
    ASSERT_EQ(Invoke(0x107, {}, late.Put(), nullptr), S_OK);
    EXPECT_EQ(late.Type(), VT_EMPTY);
}

// Catches: a member not built yet that answers anything but E_NOTIMPL, or
// that leaves a previous error's information behind for the caller.
TEST_F(BoundaryTest, UnbuiltMemberAnswersNotImplemented) {
    LONG out = 5;
    ASSERT_EQ(CallSlot(Object(), kAssignThenOverflow, &out), static_cast<HRESULT>(0x800A0006));
    EXPECT_EQ(CallSlot(Object(), kUnbuilt, &out), E_NOTIMPL);
    EXPECT_EQ(out, 0);
    EXPECT_FALSE(TakeErrorInfo().present);
}

// Catches: an outer member that replaces an inner member's status with its
// own, loses the inner raise's error information, drops the number it had
// assigned before the inner call, or carries on after the inner failure.
TEST_F(BoundaryTest, InnerFailureTravelsUnchangedThroughTheOuterMember) {
    LONG number = 99;
    EXPECT_EQ(CallSlot(Object(), kOuterOfOverflow, &number), static_cast<HRESULT>(0x800A0006));
    EXPECT_EQ(number, 7);
    TakenError error = TakeErrorInfo();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.description, u"Overflow");
    EXPECT_EQ(error.source, u"TvxTests.clsBoundaryProbe");
    EXPECT_EQ(probe_->entries, 2); // outer and inner

    BSTR text = nullptr;
    EXPECT_EQ(CallSlot(Object(), kOuterOfUnbuilt, &text), E_NOTIMPL);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(probe_->entries, 4);
}

// Catches: an inner call whose result or by-ref write does not reach the
// outer member, or whose success leaves the outer member failing.
TEST_F(BoundaryTest, InnerSuccessHandsBackResultAndByRefWrites) {
    LONG value = 4;
    LONG result = 0;
    ASSERT_EQ(CallSlot(Object(), kOuterOfSuccess, &value, &result), S_OK);
    EXPECT_EQ(result, 50);
    EXPECT_EQ(value, 5);
}

// Catches: a member entered (or a result written through a null pointer)
// when the result pointer or a by-ref pointer is null, early or late.
TEST_F(BoundaryTest, NullPointersAreRefusedBeforeTheMember) {
    LONG value = 1;
    LONG result = 0;
    EXPECT_EQ(CallSlot(Object(), kIncrement, &value, static_cast<LONG *>(nullptr)), E_POINTER);
    EXPECT_EQ(CallSlot(Object(), kIncrement, static_cast<LONG *>(nullptr), &result), E_POINTER);
    EXPECT_EQ(CallSlot(Object(), kAssignThenOverflow, static_cast<LONG *>(nullptr)), E_POINTER);
    BSTR text = nullptr;
    EXPECT_EQ(CallSlot(Object(), kEcho, static_cast<BSTR *>(nullptr), &text), E_POINTER);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(probe_->entries, 0);

    VARIANT null_ref;
    null_ref.vt = VT_BYREF | VT_I4;
    V_I4REF(&null_ref) = nullptr;
    Variant late;
    EXPECT_EQ(Invoke(0x10c, {null_ref}, late.Put(), nullptr), E_POINTER);
    EXPECT_EQ(probe_->entries, 0);
}

// Catches: a late-bound failure that is not DISP_E_EXCEPTION, an exception
// record without the member's status, source or description (also for an
// exception the boundary does not know), or a result written despite the
// failure.
TEST_F(BoundaryTest, LateBoundFailureFillsTheExceptionRecord) {
    struct Case {
        const char *fault;
        DISPID id;
        HRESULT scode;
        std::u16string source, description;
    };
    const Case cases[] = {
        {"raised with standard text", 0x100, static_cast<HRESULT>(0x800A0006), u"TvxTests.clsBoundaryProbe",
         u"Overflow"},
        {"raised with own source", 0x103, static_cast<HRESULT>(0x800A03E8), u"Probe.Source", u"own failure"},
        {"inner raise through an outer member", 0x109, static_cast<HRESULT>(0x800A0006), u"TvxTests.clsBoundaryProbe",
         u"Overflow"},
        {"not built", 0x108, E_NOTIMPL, u"", u""},
        {"library exception", 0x10e, E_UNEXPECTED, u"TvxTests.clsBoundaryProbe", u"Unexpected failure: disk on fire"},
        {"exception of no known type", 0x10f, E_UNEXPECTED, u"TvxTests.clsBoundaryProbe", u"Unexpected failure"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        Variant result;
        EXCEPINFO excep{};
        EXPECT_EQ(Invoke(c.id, {}, result.Put(), &excep), DISP_E_EXCEPTION);
        EXPECT_EQ(excep.scode, c.scode);
        Bstr source = Bstr::Attach(excep.bstrSource);
        Bstr description = Bstr::Attach(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        EXPECT_EQ(source.View(), c.source);
        EXPECT_EQ(description.View(), c.description);
        EXPECT_EQ(result.Type(), VT_EMPTY);
        SetErrorInfo(0, nullptr);
    }
}

// Catches: strings cut at an embedded NUL on their way in or out.
TEST_F(BoundaryTest, EmbeddedNulsSurviveArgumentAndResult) {
    const std::u16string text = u"a\0b\0\0c"s;
    Bstr argument(text);
    BSTR in = argument.Get();
    BSTR out = nullptr;
    ASSERT_EQ(CallSlot(Object(), kEcho, &in, &out), S_OK);
    EXPECT_EQ(Bstr::Attach(out).View(), text);
}

} // namespace
} // namespace tvx
