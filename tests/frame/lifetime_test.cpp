// When the library may be unloaded: live objects, factory references and
// factory locks all keep it loaded, and nothing the library holds on a
// client's behalf (the buddy slot) outlives what the client asked for.
#include <gtest/gtest.h>

#include "component/registry.h"
#include "convert/convert.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/tarvex10.h"

extern "C" HRESULT DllCanUnloadNow();
extern "C" HRESULT DllGetClassObject(const CLSID &clsid, const IID &iid, void **ppv);

namespace {

using tvx::ComPtr;

ComPtr<IClassFactory> Factory(const CLSID &clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
}

class Lifetime : public ::testing::Test {
protected:
    // Every test starts from an unloadable library; a failure here means an
    // earlier test (or the library) leaked an object or a lock.
    void SetUp() override { ASSERT_EQ(DllCanUnloadNow(), S_OK); }
    void TearDown() override { EXPECT_EQ(DllCanUnloadNow(), S_OK); }
};

// Catches: an object of some class that does not count as alive, or whose
// release does not bring the count back; a reference count that is off.
TEST_F(Lifetime, EachLiveObjectKeepsTheLibraryLoaded) {
    for (const tvx::ClassInfo *info : tvx::AllClasses()) {
        SCOPED_TRACE(tvx::convert::ToUtf8(info->name));
        ComPtr<IClassFactory> factory = Factory(info->clsid);
        ASSERT_TRUE(factory);
        IDispatch *object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void **>(&object)), S_OK);
        factory.Reset();
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
        EXPECT_EQ(object->Release(), 0u);
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    // Objects made without a factory count the same.
    tvx::ObjectBase *movie = tvx::MoviesClass().create();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    movie->Release();
}

// Catches: a factory reference that does not count as live, or a
// QueryInterface on the factory that takes no reference.
TEST_F(Lifetime, FactoryReferencesCountAsLive) {
    ComPtr<IClassFactory> factory = Factory(CLSID_clsKwVidoCutVideoA);
    ASSERT_TRUE(factory);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ComPtr<IUnknown> second = factory.As<IUnknown>();
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    second.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Catches: locks that are not counted, counted only once, released by
// dropping the factory reference that took them, or an unlock without a lock
// driving the count below zero.
TEST_F(Lifetime, LockServerCountsEachLock) {
    ComPtr<IClassFactory> factory = Factory(CLSID_clsKwVidoMoviesA);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

    factory = Factory(CLSID_clsKwVidoVfwA); // a lock is the library's, not one class's
    ASSERT_EQ(factory->LockServer(0), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

    factory = Factory(CLSID_clsKwVidoMoviesA);
    ASSERT_EQ(factory->LockServer(0), S_OK);
    ASSERT_EQ(factory->LockServer(0), S_OK) << "one unlock too many";
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    // The extra unlock was not banked against the next lock.
    factory = Factory(CLSID_clsKwVidoMoviesA);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory = Factory(CLSID_clsKwVidoMoviesA);
    ASSERT_EQ(factory->LockServer(0), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Catches: an object whose last release does not end it while another
// object of the class lives on, and a factory that hands out shared objects.
TEST_F(Lifetime, ObjectsEndOneByOne) {
    ComPtr<IClassFactory> factory = Factory(CLSID_clsKwVidoMoviesA);
    ComPtr<IDispatch> first, second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, first.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, second.PutVoid()), S_OK);
    factory.Reset();
    EXPECT_NE(first.Get(), second.Get());
    first.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    second.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Catches: a buddy slot that reads back another object than was stored,
// keeps no reference (the object would end while stored), or keeps one
// after NULL is stored in its place.
TEST_F(Lifetime, BuddySlotHoldsTheStoredObjectUntilEmptied) {
    auto descriptor = ComPtr<_clsKwvIDOTarvex10A>::Attach(
        reinterpret_cast<_clsKwvIDOTarvex10A *>(tvx::DescriptorClass().create()));
    IDispatch *buddy = tvx::CutVideoClass().create()->Interface();

    IDispatch *read = reinterpret_cast<IDispatch *>(uintptr_t{0x10});
    ASSERT_EQ(descriptor->get_BuddyObjectGlobal(&read), S_OK);
    EXPECT_EQ(read, nullptr);

    ASSERT_EQ(descriptor->putref_BuddyObjectGlobal(buddy), S_OK);
    EXPECT_EQ(buddy->Release(), 1u); // the slot's reference is what remains
    ASSERT_EQ(descriptor->get_BuddyObjectGlobal(&read), S_OK);
    EXPECT_EQ(read, buddy);
    EXPECT_EQ(read->Release(), 1u);

    // The slot belongs to the thread, not to the descriptor object.
    descriptor.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    descriptor = ComPtr<_clsKwvIDOTarvex10A>::Attach(
        reinterpret_cast<_clsKwvIDOTarvex10A *>(tvx::DescriptorClass().create()));
    tvx::Variant late;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(descriptor->Invoke(0x68030000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, late.Put(),
                                 nullptr, nullptr),
              S_OK);
    ASSERT_EQ(late.Type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&late), buddy);
    late.Clear();

    ASSERT_EQ(descriptor->putref_BuddyObjectGlobal(nullptr), S_OK);
    ASSERT_EQ(descriptor->get_BuddyObjectGlobal(&read), S_OK);
    EXPECT_EQ(read, nullptr);
    descriptor.Reset();
    // TearDown sees the buddy gone.
}

} // namespace
