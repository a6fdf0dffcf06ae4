// Marshalled calls: a client on another thread calls an object through the
// runtime's proxy; the call runs on the owner thread when that thread
// dispatches events, one call at a time, and its results and errors come
// back to the client.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/registry.h"
#include "frame/member.h"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace tvx {
namespace {

HRESULT CallByName(IDispatch *object, std::u16string name, WORD flags, std::vector<Variant> args, VARIANT *result,
                   EXCEPINFO *excep = nullptr) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status)) return status;
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.empty() ? nullptr : static_cast<VARIANT *>(args.data()), nullptr,
                      static_cast<UINT>(args.size()), 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, nullptr);
}

// Records every media command with the thread it came from and whether the
// owner was inside its wait at the time.
struct CommandLog {
    struct Entry {
        std::string command;
        DWORD thread;
        bool waiting;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    std::atomic<bool> waiting{false};

    static MCIERROR Send(void *context, const char *command, char *reply, UINT capacity, HWND) {
        auto *log = static_cast<CommandLog *>(context);
        std::lock_guard lock(log->mutex);
        log->entries.push_back({command, TvxCurrentThreadId(), log->waiting.load()});
        if (reply && capacity) reply[0] = '\0';
        return 0;
    }
};

// A clock that stands still until the client has finished, then jumps on.
struct ClientClock {
    std::atomic<bool> client_done{false};
    static double Read(void *context) { return static_cast<ClientClock *>(context)->client_done ? 1000.0 : 500.0; }
};

// Catches: a marshalled call that runs on the calling thread, runs outside
// the owner's event dispatch, is never served while the owner waits in
// timeOut, or a raw pointer that another thread may use after all.
TEST(MarshalledCalls, ServedWhileTheOwnerWaitsInTimeOut) {
    CommandLog log;
    TVXMCIHANDLER handler{&CommandLog::Send, nullptr, &log}, previous{};
    TvxSetMciHandler(&handler, &previous);
    ClientClock clock;
    TvxSetClock(&ClientClock::Read, &clock);

    auto movie = ComPtr<_clsKwVidoMoviesA>::Attach(reinterpret_cast<_clsKwVidoMoviesA *>(MoviesClass().create()));
    ComPtr<IDispatch> proxy;
    ASSERT_EQ(TvxMarshalInterface(reinterpret_cast<IDispatch *>(movie.Get()), proxy.Put()), S_OK);
    const DWORD owner = TvxCurrentThreadId();

    HRESULT raw = S_OK, marshalled = E_FAIL;
    VARTYPE result_type = 0xFFFF;
    std::thread client([&] {
        Variant result;
        raw = CallByName(reinterpret_cast<IDispatch *>(movie.Get()), u"playMovie", DISPATCH_METHOD, {}, result.Put());
        marshalled = CallByName(proxy.Get(), u"playMovie", DISPATCH_METHOD, {}, result.Put());
        result_type = result.vt;
        clock.client_done = true;
    });
    log.waiting = true;
    Variant duration = Variant::I4(1);
    EXPECT_EQ(movie->timeOut(&duration), S_OK);
    log.waiting = false;
    client.join();

    EXPECT_EQ(raw, RPC_E_WRONG_THREAD);
    EXPECT_EQ(marshalled, S_OK);
    EXPECT_EQ(result_type, VT_EMPTY);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].command, "play movie");
    EXPECT_EQ(log.entries[0].thread, owner);
    EXPECT_TRUE(log.entries[0].waiting);

    proxy.Reset();
    TvxSetClock(nullptr, nullptr);
    TvxSetMciHandler(&previous, nullptr);
}

// Records the order of its calls and whether two ever overlapped.
class Journal;
const ClassInfo &JournalClass();
constexpr GUID kJournalClsid = {0x7a11c0de, 0x1234, 0x4bcd, {0x9e, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
constexpr GUID kJournalIid = {0x7a11c0df, 0x1234, 0x4bcd, {0x9e, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};

class Journal : public ObjectBase {
public:
    Journal() : ObjectBase(JournalClass()) {}
    void Note(ByRef<int32_t> tag) {
        if (inside_.exchange(true)) overlapped = true;
        entries.push_back({tag, TvxCurrentThreadId()});
        std::this_thread::yield(); // gives an overlapping call its chance
        tag = -tag;
        inside_ = false;
    }
    std::vector<std::pair<int32_t, DWORD>> entries;
    bool overlapped = false;

private:
    std::atomic<bool> inside_{false};
};

const ClassInfo &JournalClass() {
    static const MemberInfo members[] = {Method<&Journal::Note>(1, u"Note", u"tag")};
    static const ClassInfo info(u"clsJournal", u"TvxTests.clsJournal", kJournalClsid, kJournalIid, members,
                                &CreateObject<Journal>, &DestroyObject<Journal>);
    return info;
}

// Catches: calls from several clients run concurrently or on their own
// threads, lost, reordered for one client, by-ref results not written back,
// or a serving loop that does not end when asked.
TEST(MarshalledCalls, AServingThreadRunsCallsOneAtATime) {
    std::promise<std::pair<IDispatch *, Journal *>> made;
    std::promise<DWORD> owner_id;
    std::thread owner([&] {
        auto *journal = static_cast<Journal *>(JournalClass().create());
        IDispatch *proxy = nullptr;
        ASSERT_EQ(TvxMarshalInterface(journal->Interface(), &proxy), S_OK);
        owner_id.set_value(TvxCurrentThreadId());
        made.set_value({proxy, journal});
        TvxRunEventLoop();
        // The clients' proxy has let go: the journal goes on its own thread.
        journal->Release();
    });
    auto [proxy, journal] = made.get_future().get();
    const DWORD owner_thread = owner_id.get_future().get();
    journal->AddRef(); // kept for reading after the clients

    constexpr int kCalls = 40;
    auto client = [&, proxy = proxy](int first_tag) {
        for (int i = 0; i < kCalls; ++i) {
            LONG tag = first_tag + i;
            Variant by_ref = Variant::Ref(VT_I4, &tag);
            DISPPARAMS params{&by_ref, nullptr, 1, 0};
            EXPECT_EQ(proxy->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                    nullptr),
                      S_OK);
            EXPECT_EQ(tag, -(first_tag + i));
        }
    };
    std::thread a(client, 1000), b(client, 2000);
    a.join();
    b.join();
    proxy->Release();
    ASSERT_EQ(TvxQuitEventLoop(owner_thread), S_OK);
    owner.join();

    EXPECT_FALSE(journal->overlapped);
    ASSERT_EQ(journal->entries.size(), 2u * kCalls);
    std::vector<int32_t> from_a, from_b;
    for (const auto &[tag, thread] : journal->entries) {
        EXPECT_EQ(thread, owner_thread);
        (tag < 2000 ? from_a : from_b).push_back(tag);
    }
    ASSERT_EQ(from_a.size(), size_t{kCalls});
    ASSERT_EQ(from_b.size(), size_t{kCalls});
    for (int i = 0; i < kCalls; ++i) {
        EXPECT_EQ(from_a[i], 1000 + i);
        EXPECT_EQ(from_b[i], 2000 + i);
    }
    journal->Release();
}

// Catches: objects that a marshalled call returns handed back raw (the
// client could not use them), error information left on the owner thread
// instead of reaching the client, and per-thread state read from the
// client's thread instead of the owner's.
TEST(MarshalledCalls, ResultsComeBackUsableAndErrorsTravel) {
    std::promise<IDispatch *> made;
    std::promise<DWORD> owner_id;
    std::thread owner([&] {
        ObjectBase *descriptor = DescriptorClass().create();
        IDispatch *proxy = nullptr;
        ASSERT_EQ(TvxMarshalInterface(descriptor->Interface(), &proxy), S_OK);
        descriptor->Release(); // the proxy keeps it
        owner_id.set_value(TvxCurrentThreadId());
        made.set_value(proxy);
        TvxRunEventLoop();
    });
    IDispatch *proxy = made.get_future().get();
    const DWORD owner_thread = owner_id.get_future().get();

    Variant app;
    ASSERT_EQ(CallByName(proxy, u"GetProStdProperties", DISPATCH_PROPERTYGET, {}, app.Put()), S_OK);
    ASSERT_EQ(app.vt, VT_DISPATCH);
    Variant thread;
    ASSERT_EQ(CallByName(V_DISPATCH(&app), u"ThreadID", DISPATCH_PROPERTYGET, {}, thread.Put()), S_OK);
    EXPECT_EQ(V_I4(&thread), static_cast<LONG>(owner_thread));
    EXPECT_NE(V_I4(&thread), static_cast<LONG>(TvxCurrentThreadId()));

    Variant data;
    EXCEPINFO excep{};
    EXPECT_EQ(CallByName(proxy, u"GetProResData", DISPATCH_PROPERTYGET, {Variant::I4(2), Variant::Str(u"TYPELIB")},
                         data.Put(), &excep),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, static_cast<HRESULT>(0x800A0146));
    EXPECT_EQ(Bstr::Attach(excep.bstrDescription).View(), u"Resource not found");
    SysFreeString(excep.bstrSource);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Put()), S_OK);
    Bstr description;
    error->GetDescription(description.Put());
    EXPECT_EQ(description.View(), u"Resource not found");

    // An object stored through the proxy sits in the owner thread's slot.
    ComPtr<IDispatch> stored = app.vt == VT_DISPATCH ? ComPtr<IDispatch>(V_DISPATCH(&app)) : nullptr;
    Variant value = Variant::Dispatch(stored.Get());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &put, 1, 1};
    ASSERT_EQ(proxy->Invoke(0x68030000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &params, nullptr,
                            nullptr, nullptr),
              S_OK);
    auto local = ComPtr<_clsKwvIDOTarvex10A>::Attach(
        reinterpret_cast<_clsKwvIDOTarvex10A *>(DescriptorClass().create()));
    IDispatch *mine = reinterpret_cast<IDispatch *>(1);
    ASSERT_EQ(local->get_BuddyObjectGlobal(&mine), S_OK);
    EXPECT_EQ(mine, nullptr);
    Variant theirs;
    ASSERT_EQ(CallByName(proxy, u"BuddyObjectGlobal", DISPATCH_PROPERTYGET, {}, theirs.Put()), S_OK);
    EXPECT_EQ(theirs.vt, VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(&theirs), stored.Get()); // a proxy comes back as itself
    value = Variant::Dispatch(nullptr);
    ASSERT_EQ(proxy->Invoke(0x68030000, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &params, nullptr,
                            nullptr, nullptr),
              S_OK);

    theirs.Clear();
    value.Clear();
    stored.Reset();
    app.Clear();
    proxy->Release();
    ASSERT_EQ(TvxQuitEventLoop(owner_thread), S_OK);
    owner.join();
}

// Catches: a proxy that waits for events on its own owner thread (which
// would never come), a proxy wrapped again in a proxy, and a call to an
// ended owner thread that hangs or runs anyway.
TEST(MarshalledCalls, OwnerThreadCallsDirectlyAndAnEndedOwnerDisconnects) {
    auto movie = ComPtr<IDispatch>::Attach(MoviesClass().create()->Interface());
    ComPtr<IDispatch> proxy, again;
    ASSERT_EQ(TvxMarshalInterface(movie.Get(), proxy.Put()), S_OK);
    ASSERT_EQ(TvxMarshalInterface(proxy.Get(), again.Put()), S_OK);
    EXPECT_EQ(again.Get(), proxy.Get());
    Variant error;
    ASSERT_EQ(CallByName(proxy.Get(), u"Error", DISPATCH_PROPERTYGET, {}, error.Put()), S_OK);
    EXPECT_EQ(V_I4(&error), 0);
    again.Reset();
    proxy.Reset();

    const long objects_before = ModuleCounts::objects;
    IDispatch *orphan = nullptr;
    std::thread([&] {
        auto object = ComPtr<IDispatch>::Attach(MoviesClass().create()->Interface());
        ASSERT_EQ(TvxMarshalInterface(object.Get(), &orphan), S_OK);
    }).join();
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(ModuleCounts::objects, objects_before + 1);
    Variant result;
    EXPECT_EQ(CallByName(orphan, u"Error", DISPATCH_PROPERTYGET, {}, result.Put()), RPC_E_DISCONNECTED);
    orphan->Release();
    EXPECT_EQ(ModuleCounts::objects, objects_before);
}

} // namespace
} // namespace tvx
