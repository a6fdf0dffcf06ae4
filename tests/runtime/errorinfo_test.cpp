// The error object and the per-thread error slot.
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tarvex10/automation.hpp"

namespace {

using tvx::Bstr;
using tvx::ComPtr;

// The reference count of `p` now, read through AddRef/Release.
ULONG References(IUnknown *p) {
    p->AddRef();
    return p->Release();
}

ComPtr<IErrorInfo> MakeError(std::u16string description) {
    ComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(create.Put()), S_OK);
    create->SetDescription(description.data());
    return create.As<IErrorInfo>();
}

// Catches: the two interfaces of one object not reaching each other, an
// IUnknown that differs depending on the path taken, fields that do not
// read back, and unset fields returned as empty strings instead of NULL.
TEST(ErrorObject, WriterAndReaderAreOneObject) {
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
    std::u16string source = u"Tarvex10.Movie";
    std::u16string description = u"Overflow";
    ASSERT_EQ(create->SetSource(source.data()), S_OK);
    ASSERT_EQ(create->SetDescription(description.data()), S_OK);
    ASSERT_EQ(create->SetGUID(IID_IDispatch), S_OK);
    ASSERT_EQ(create->SetHelpContext(42), S_OK);

    HRESULT hr = E_FAIL;
    ComPtr<IErrorInfo> info = create.As<IErrorInfo>(&hr);
    ASSERT_EQ(hr, S_OK);
    Bstr text;
    ASSERT_EQ(info->GetSource(text.Put()), S_OK);
    EXPECT_EQ(text.View(), source);
    ASSERT_EQ(info->GetDescription(text.Put()), S_OK);
    EXPECT_EQ(text.View(), description);
    ASSERT_EQ(info->GetHelpFile(text.Put()), S_OK);
    EXPECT_EQ(text.Get(), nullptr);
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_EQ(IsEqualGUID(guid, IID_IDispatch), 1);
    DWORD context = 0;
    info->GetHelpContext(&context);
    EXPECT_EQ(context, 42u);

    // Clearing a field with NULL reads back as NULL again.
    ASSERT_EQ(create->SetSource(nullptr), S_OK);
    ASSERT_EQ(info->GetSource(text.Put()), S_OK);
    EXPECT_EQ(text.Get(), nullptr);

    ComPtr<IUnknown> via_create = create.As<IUnknown>();
    ComPtr<IUnknown> via_info = info.As<IUnknown>();
    EXPECT_EQ(via_create.Get(), via_info.Get());
    EXPECT_EQ(info.As<ICreateErrorInfo>().Get(), create.Get());
    info.As<IDispatch>(&hr);
    EXPECT_EQ(hr, E_NOINTERFACE);
}

// Catches: GetErrorInfo leaving the object in the slot (a second caller
// would see a stale error), SetErrorInfo not taking its own reference or
// not releasing the one it replaces, and NULL not clearing.
TEST(ErrorSlot, HandsOutOnceAndBalancesReferences) {
    ComPtr<IErrorInfo> first = MakeError(u"first");
    ComPtr<IErrorInfo> second = MakeError(u"second");
    const ULONG baseline = References(first.Get());

    ASSERT_EQ(SetErrorInfo(0, first.Get()), S_OK);
    EXPECT_EQ(References(first.Get()), baseline + 1);
    ASSERT_EQ(SetErrorInfo(0, second.Get()), S_OK);
    EXPECT_EQ(References(first.Get()), baseline);

    ComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, taken.Put()), S_OK);
    EXPECT_EQ(taken.Get(), second.Get());
    ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.Put()), S_FALSE);
    EXPECT_EQ(again.Get(), nullptr);

    ASSERT_EQ(SetErrorInfo(0, first.Get()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(References(first.Get()), baseline);
    EXPECT_EQ(GetErrorInfo(0, again.Put()), S_FALSE);
}

// Catches: one process-wide slot instead of one per thread, and a thread
// that ends with error information in its slot leaking it.
TEST(ErrorSlot, EachThreadHasItsOwn) {
    ComPtr<IErrorInfo> mine = MakeError(u"main");
    ComPtr<IErrorInfo> theirs = MakeError(u"worker");
    const ULONG baseline = References(theirs.Get());
    ASSERT_EQ(SetErrorInfo(0, mine.Get()), S_OK);

    HRESULT seen = E_FAIL;
    IErrorInfo *found = reinterpret_cast<IErrorInfo *>(1);
    std::thread worker([&] {
        seen = GetErrorInfo(0, &found);
        SetErrorInfo(0, theirs.Get()); // left behind when the thread ends
    });
    worker.join();
    EXPECT_EQ(seen, S_FALSE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(References(theirs.Get()), baseline);

    ComPtr<IErrorInfo> taken;
    ASSERT_EQ(GetErrorInfo(0, taken.Put()), S_OK);
    EXPECT_EQ(taken.Get(), mine.Get());
}

} // namespace
