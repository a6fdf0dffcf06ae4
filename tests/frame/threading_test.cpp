// Apartments: an object answers only on the thread that created it, and the
// library's per-thread state (the buddy slot) is each thread's own.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "component/registry.h"
#include "convert/convert.h"
#include "frame/member.h"
#include "tarvex10/tarvex10.h"
#include "support/early_slot.h"

namespace tvx {
namespace {

class Counter;
const ClassInfo &CounterClass();

constexpr GUID kCounterClsid = {0x2e6f9b04, 0x51c7, 0x4a3d, {0x8e, 0x22, 0x6b, 0x90, 0x1f, 0xc3, 0x57, 0x1d}};
constexpr GUID kCounterIid = {0x2e6f9b05, 0x51c7, 0x4a3d, {0x8e, 0x22, 0x6b, 0x90, 0x1f, 0xc3, 0x57, 0x1d}};

// Counts every entry into its members.
class Counter : public ObjectBase {
public:
    Counter() : ObjectBase(CounterClass()) {}
    int entries = 0;
    int32_t Touch() { return ++entries; }
    void Add(ByRef<int32_t> value) {
        ++entries;
        value += 1;
    }
    void put_Label(std::u16string value) {
        ++entries;
        label = std::move(value);
    }
    std::u16string label;
};

const ClassInfo &CounterClass() {
    static const MemberInfo members[] = {
        Method<&Counter::Touch>(1, u"Touch"),
        Method<&Counter::Add>(2, u"Add", u"value"),
        Put<&Counter::put_Label>(3, u"Label"),
    };
    static const ClassInfo info(u"clsThreadProbe", u"TvxTests.clsThreadProbe", kCounterClsid, kCounterIid, members,
                                &CreateObject<Counter>, &DestroyObject<Counter>);
    return info;
}

using tvx::testing::CallSlot;

// Runs `body` on a thread of its own and waits for it.
template <class F> void OnOtherThread(F body) { std::thread(body).join(); }

// The statuses that the calls of a client on a foreign thread receive.
std::vector<std::pair<std::string, HRESULT>> ForeignCalls(IDispatch *object, DISPID any_member) {
    std::vector<std::pair<std::string, HRESULT>> statuses;
    UINT count = 0;
    statuses.emplace_back("GetTypeInfoCount", object->GetTypeInfoCount(&count));
    ComPtr<ITypeInfo> info;
    statuses.emplace_back("GetTypeInfo", object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()));
    std::u16string name = u"Touch";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    statuses.emplace_back("GetIDsOfNames", object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    statuses.emplace_back("Invoke", object->Invoke(any_member, IID_NULL, LOCALE_USER_DEFAULT,
                                                   DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, result.Put(),
                                                   nullptr, nullptr));
    return statuses;
}

// Catches: a member, Invoke, GetIDsOfNames or GetTypeInfo that serves a
// thread other than the object's own, or enters the member before refusing.
TEST(Apartments, ForeignThreadIsRefusedWithoutEnteringTheMember) {
    Counter *counter = static_cast<Counter *>(CounterClass().create());
    IDispatch *object = counter->Interface();
    OnOtherThread([&] {
        LONG touched = 0;
        EXPECT_EQ(CallSlot(object, 1, &touched), RPC_E_WRONG_THREAD);
        LONG value = 1;
        EXPECT_EQ(CallSlot(object, 2, &value), RPC_E_WRONG_THREAD);
        EXPECT_EQ(value, 1);
        Bstr label(u"foreign");
        EXPECT_EQ(CallSlot(object, 3, label.Get()), RPC_E_WRONG_THREAD);
        for (const auto &[call, status] : ForeignCalls(object, 1)) EXPECT_EQ(status, RPC_E_WRONG_THREAD) << call;

        LONG by_ref = 1;
        VARIANT argument;
        argument.vt = VT_BYREF | VT_I4;
        V_I4REF(&argument) = &by_ref;
        DISPPARAMS params{&argument, nullptr, 1, 0};
        EXPECT_EQ(object->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                 nullptr),
                  RPC_E_WRONG_THREAD);
        EXPECT_EQ(by_ref, 1);
    });
    EXPECT_EQ(counter->entries, 0);
    EXPECT_EQ(counter->label, u"");
    // The owner is still served.
    LONG touched = 0;
    EXPECT_EQ(CallSlot(object, 1, &touched), S_OK);
    EXPECT_EQ(touched, 1);
    counter->Release();
}

// Catches: the library's own classes answering a foreign thread, through
// their early entries or late binding.
TEST(Apartments, LibraryClassesRefuseForeignThreads) {
    for (const ClassInfo *info : AllClasses()) {
        SCOPED_TRACE(convert::ToUtf8(info->name));
        ObjectBase *object = info->create();
        DISPID member = info->members.empty() ? DISPID_VALUE : info->members[0].dispid;
        OnOtherThread([&] {
            for (const auto &[call, status] : ForeignCalls(object->Interface(), member)) {
                EXPECT_EQ(status, RPC_E_WRONG_THREAD) << call;
            }
        });
        object->Release();
    }

    auto movie = ComPtr<_clsKwVidoMoviesA>::Attach(reinterpret_cast<_clsKwVidoMoviesA *>(MoviesClass().create()));
    auto cutter = ComPtr<_clsKwVidoCutVideoA>::Attach(reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
    OnOtherThread([&] {
        EXPECT_EQ(movie->put_Error(9), RPC_E_WRONG_THREAD);
        Bstr name(u"x.mpg");
        EXPECT_EQ(movie->put_filename(name.Get()), RPC_E_WRONG_THREAD);
        LONG error = -1;
        EXPECT_EQ(movie->get_Error(&error), RPC_E_WRONG_THREAD);
        EXPECT_EQ(cutter->put_Buffer(name.Get()), RPC_E_WRONG_THREAD);
        EXPECT_EQ(cutter->put_startO(4), RPC_E_WRONG_THREAD);
    });
    LONG error = -1;
    ASSERT_EQ(movie->get_Error(&error), S_OK);
    EXPECT_EQ(error, 0);
    Bstr name;
    ASSERT_EQ(movie->get_filename(name.Put()), S_OK);
    EXPECT_EQ(name.View(), u"");
    LONG start = -1;
    ASSERT_EQ(cutter->get_startO(&start), S_OK);
    EXPECT_EQ(start, 0);
}

// Catches: an object bound to the thread that loaded the library, or to
// the first thread that used the class, instead of its creating thread.
TEST(Apartments, AnObjectBelongsToTheThreadThatCreatedIt) {
    ObjectBase *made = nullptr;
    OnOtherThread([&] {
        made = CounterClass().create();
        LONG touched = 0;
        EXPECT_EQ(CallSlot(made->Interface(), 1, &touched), S_OK);
        EXPECT_EQ(touched, 1);
    });
    LONG touched = 0;
    EXPECT_EQ(CallSlot(made->Interface(), 1, &touched), RPC_E_WRONG_THREAD);
    EXPECT_EQ(static_cast<Counter *>(made)->entries, 1);
    made->Release();
}

using Descriptor = _clsKwvIDOTarvex10A;

ComPtr<Descriptor> NewDescriptor() {
    return ComPtr<Descriptor>::Attach(reinterpret_cast<Descriptor *>(DescriptorClass().create()));
}

IDispatch *ReadBuddy(Descriptor *descriptor) {
    IDispatch *read = nullptr;
    EXPECT_EQ(descriptor->get_BuddyObjectGlobal(&read), S_OK);
    if (read) read->Release(); // only its identity is compared
    return read;
}

ULONG References(IUnknown *p) {
    p->AddRef();
    return p->Release();
}

// Catches: a buddy slot shared between threads (one thread's object seen,
// replaced or emptied by another), and a thread's slot that keeps its
// object after the thread ends.
TEST(PerThreadState, BuddySlotIsEachThreadsOwn) {
    auto descriptor = NewDescriptor();
    auto mine = ComPtr<IDispatch>::Attach(CutVideoClass().create()->Interface());
    auto theirs = ComPtr<IDispatch>::Attach(MoviesClass().create()->Interface());
    const ULONG theirs_before = References(theirs.Get());

    ASSERT_EQ(descriptor->putref_BuddyObjectGlobal(mine.Get()), S_OK);
    EXPECT_EQ(ReadBuddy(descriptor.Get()), mine.Get());

    OnOtherThread([&] {
        auto local = NewDescriptor();
        EXPECT_EQ(ReadBuddy(local.Get()), nullptr);
        ASSERT_EQ(local->putref_BuddyObjectGlobal(theirs.Get()), S_OK);
        EXPECT_EQ(ReadBuddy(local.Get()), theirs.Get());
        ASSERT_EQ(local->putref_BuddyObjectGlobal(nullptr), S_OK);
        EXPECT_EQ(ReadBuddy(local.Get()), nullptr);
        // Left stored when the thread ends.
        ASSERT_EQ(local->putref_BuddyObjectGlobal(theirs.Get()), S_OK);
    });
    EXPECT_EQ(ReadBuddy(descriptor.Get()), mine.Get());
    EXPECT_EQ(References(theirs.Get()), theirs_before);

    ASSERT_EQ(descriptor->putref_BuddyObjectGlobal(nullptr), S_OK);
    EXPECT_EQ(ReadBuddy(descriptor.Get()), nullptr);
}

} // namespace
} // namespace tvx
