// The shared IUnknown implementation that runtime objects and client sinks
// build on: identity, refusals and the single delete at the last release.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tarvex10/automation.hpp"

namespace {

const GUID kPrivateIid = {0x1f2e3d4c, 0x5b6a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xf0}};

class Factory final : public tvx::ComObject<Factory, IClassFactory> {
public:
    explicit Factory(int &destroyed) : destroyed_(destroyed) {}
    ~Factory() { ++destroyed_; }
    static bool AlsoAnswers(const IID &iid) { return tvx::operator==(iid, kPrivateIid); }

    HRESULT CreateInstance(IUnknown *, const IID &, void **ppv) override {
        *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    int &destroyed_;
};

TEST(ComObject, AnswersItsInterfacesWithOnePointerAndRefusesOthers) {
    int destroyed = 0;
    auto *factory = new Factory(destroyed);
    void *p = nullptr;
    for (const GUID *iid : {&IID_IUnknown, &IID_IClassFactory, &kPrivateIid}) {
        ASSERT_EQ(factory->QueryInterface(*iid, &p), S_OK);
        EXPECT_EQ(p, static_cast<IClassFactory *>(factory));
        EXPECT_EQ(factory->Release(), 1u);
    }
    p = factory;
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, ReferencesTakenOnManyThreadsBalance) {
    int destroyed = 0;
    auto *factory = new Factory(destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([factory] {
            for (int i = 0; i < 10000; ++i) {
                factory->AddRef();
                factory->Release();
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(destroyed, 0);
    factory->Release();
    EXPECT_EQ(destroyed, 1);
}

} // namespace
