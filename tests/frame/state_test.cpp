// Object state: what a new object holds, data members that store and return
// their values unchanged through both kinds of binding (each through its own
// slot and name), strings with embedded NULs, Variant members holding
// arrays, independence of two objects, and an unassigned Variant result of
// a real member.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "component/registry.h"
#include "convert/convert.h"
#include "support/scripted_channel.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/tarvex10.h"

namespace {

using namespace std::string_literals;
using tvx::Bstr;
using tvx::ComPtr;
using tvx::Variant;
using Cut = _clsKwVidoCutVideoA;
using Movie = _clsKwVidoMoviesA;

// A readable form of a value, so that comparisons show what differed.
std::string Show(const VARIANT &v) {
    switch (v.vt) {
    case VT_EMPTY: return "Empty";
    case VT_I2: return "I2:" + std::to_string(V_I2(&v));
    case VT_I4: return "I4:" + std::to_string(V_I4(&v));
    case VT_R8: return "R8:" + std::to_string(V_R8(&v));
    case VT_BSTR: {
        std::string text = tvx::convert::ToUtf8(tvx::View(V_BSTR(&v)));
        std::string shown;
        for (char c : text) shown += c ? std::string(1, c) : std::string("\\0");
        return "BSTR:\"" + shown + "\"";
    }
    default: return "vt " + std::to_string(v.vt);
    }
}

// The binary word of each field type: how an early call takes and gives it.
template <class T> struct Word;
template <> struct Word<SHORT> {
    static SHORT In(const VARIANT &v) { return V_I2(&v); }
    static Variant Out(SHORT x) { return Variant::I2(x); }
};
template <> struct Word<LONG> {
    static LONG In(const VARIANT &v) { return V_I4(&v); }
    static Variant Out(LONG x) { return Variant::I4(x); }
};
template <> struct Word<double> {
    static double In(const VARIANT &v) { return V_R8(&v); }
    static Variant Out(double x) { return Variant::R8(x); }
};
template <> struct Word<BSTR> {
    static BSTR In(const VARIANT &v) { return V_BSTR(&v); } // borrowed: a by-value string stays the caller's
    static Variant Out(BSTR x) { return Variant::Str(Bstr::Attach(x).View()); }
};
template <> struct Word<VARIANT> {
    static VARIANT In(const VARIANT &v) { return v; } // borrowed likewise
    static Variant Out(VARIANT x) {
        Variant owner;
        static_cast<VARIANT &>(owner) = x;
        return owner;
    }
};

// One data member, reached through the cutter's early-bound interface.
struct Field {
    std::u16string name;
    VARTYPE vt;
    std::function<HRESULT(Cut *, const VARIANT &)> put;
    std::function<HRESULT(Cut *, Variant &)> get;
};

template <class T> Field MakeField(std::u16string name, VARTYPE vt, HRESULT (Cut::*put)(T), HRESULT (Cut::*get)(T *)) {
    return Field{std::move(name), vt, [put](Cut *c, const VARIANT &v) { return (c->*put)(Word<T>::In(v)); },
                 [get](Cut *c, Variant &out) {
                     T value{};
                     HRESULT status = (c->*get)(&value);
                     out = SUCCEEDED(status) ? Word<T>::Out(value) : Variant();
                     return status;
                 }};
}

const std::vector<Field> &CutterFields() {
    static const std::vector<Field> fields = {
        MakeField(u"FileType", VT_I2, &Cut::put_FileType, &Cut::get_FileType),
        MakeField(u"picture_rate", VT_EMPTY, &Cut::put_picture_rate, &Cut::get_picture_rate),
        MakeField(u"startTime", VT_R8, &Cut::put_startTime, &Cut::get_startTime),
        MakeField(u"timecorrect", VT_R8, &Cut::put_timecorrect, &Cut::get_timecorrect),
        MakeField(u"confirmall", VT_I2, &Cut::put_confirmall, &Cut::get_confirmall),
        MakeField(u"Buffer", VT_BSTR, &Cut::put_Buffer, &Cut::get_Buffer),
        MakeField(u"Byterate", VT_R8, &Cut::put_Byterate, &Cut::get_Byterate),
        MakeField(u"EoF", VT_I2, &Cut::put_EoF, &Cut::get_EoF),
        MakeField(u"VidSeqStart", VT_I4, &Cut::put_VidSeqStart, &Cut::get_VidSeqStart),
        MakeField(u"VidSeqEnd", VT_I4, &Cut::put_VidSeqEnd, &Cut::get_VidSeqEnd),
        MakeField(u"startT", VT_R8, &Cut::put_startT, &Cut::get_startT),
        MakeField(u"startO", VT_I4, &Cut::put_startO, &Cut::get_startO),
        MakeField(u"stopO", VT_I4, &Cut::put_stopO, &Cut::get_stopO),
        MakeField(u"stopT", VT_I4, &Cut::put_stopT, &Cut::get_stopT),
        MakeField(u"TotalTime", VT_I4, &Cut::put_TotalTime, &Cut::get_TotalTime),
        MakeField(u"Tmax", VT_R8, &Cut::put_Tmax, &Cut::get_Tmax),
        MakeField(u"Infd", VT_I2, &Cut::put_Infd, &Cut::get_Infd),
        MakeField(u"OutFd", VT_I2, &Cut::put_OutFd, &Cut::get_OutFd),
        MakeField(u"FileSize", VT_I4, &Cut::put_FileSize, &Cut::get_FileSize),
        MakeField(u"start", VT_I4, &Cut::put_start, &Cut::get_start),
        MakeField(u"EndO", VT_I4, &Cut::put_EndO, &Cut::get_EndO),
        MakeField(u"MinimumCut", VT_I4, &Cut::put_MinimumCut, &Cut::get_MinimumCut),
        MakeField(u"FrameRate", VT_R8, &Cut::put_FrameRate, &Cut::get_FrameRate),
        MakeField(u"Inpath", VT_BSTR, &Cut::put_Inpath, &Cut::get_Inpath),
    };
    return fields;
}

// Two distinct non-zero values of a field's type.
std::pair<Variant, Variant> Samples(VARTYPE vt) {
    switch (vt) {
    case VT_I2: return {Variant::I2(1234), Variant::I2(-321)};
    case VT_I4: return {Variant::I4(123456789), Variant::I4(-7)};
    case VT_R8: return {Variant::R8(2.75), Variant::R8(-1e10)};
    case VT_BSTR: return {Variant::Str(u"x\0y"s), Variant::Str(u"\0lead"s)};
    default: return {Variant::I4(5), Variant::Str(u"five")}; // the Variant member takes anything
    }
}

// The value of a new object's field of this type.
Variant Zero(VARTYPE vt) {
    switch (vt) {
    case VT_I2: return Variant::I2(0);
    case VT_I4: return Variant::I4(0);
    case VT_R8: return Variant::R8(0);
    case VT_BSTR: return Variant::Str(u"");
    default: return Variant();
    }
}

DISPID IdOf(IDispatch *object, std::u16string name) {
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK)
        << tvx::convert::ToUtf8(name);
    return id;
}

Variant LateGet(IDispatch *object, const std::u16string &name) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    EXPECT_EQ(object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             result.Put(), nullptr, nullptr),
              S_OK)
        << tvx::convert::ToUtf8(name);
    return result;
}

HRESULT LatePut(IDispatch *object, const std::u16string &name, const VARIANT &value,
                WORD flags = DISPATCH_PROPERTYPUT) {
    VARIANT argument = value; // Invoke only reads it
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    return object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr,
                          nullptr);
}

template <class I> ComPtr<I> Create(const tvx::ClassInfo &info) {
    return ComPtr<I>::Attach(reinterpret_cast<I *>(info.create()));
}

IDispatch *AsDispatch(Cut *c) { return c; }
IDispatch *AsDispatch(Movie *m) { return m; }

// Catches: a data member that does not start at its zero value (0, empty
// string, Empty), early or late.
TEST(CutterState, NewObjectHoldsZeroValues) {
    auto cutter = Create<Cut>(tvx::CutVideoClass());
    for (const Field &f : CutterFields()) {
        SCOPED_TRACE(tvx::convert::ToUtf8(f.name));
        Variant early;
        ASSERT_EQ(f.get(cutter.Get(), early), S_OK);
        EXPECT_EQ(Show(early), Show(Zero(f.vt)));
        EXPECT_EQ(Show(LateGet(AsDispatch(cutter.Get()), f.name)), Show(Zero(f.vt)));
    }
}

// Catches: a slot or dispatch id that reaches another data member than its
// name says, a put that changes a neighbour, a value altered on the way
// (strings cut at NULs, numbers narrowed).
TEST(CutterState, EachDataMemberStoresThroughItsOwnSlotAndName) {
    const auto &fields = CutterFields();
    for (const Field &f : fields) {
        SCOPED_TRACE(tvx::convert::ToUtf8(f.name));
        auto cutter = Create<Cut>(tvx::CutVideoClass());
        IDispatch *object = AsDispatch(cutter.Get());
        auto [first, second] = Samples(f.vt);

        ASSERT_EQ(f.put(cutter.Get(), first), S_OK);
        EXPECT_EQ(Show(LateGet(object, f.name)), Show(first));
        for (const Field &other : fields) {
            if (&other == &f) continue;
            EXPECT_EQ(Show(LateGet(object, other.name)), Show(Zero(other.vt))) << tvx::convert::ToUtf8(other.name);
        }

        ASSERT_EQ(LatePut(object, f.name, second), S_OK);
        Variant early;
        ASSERT_EQ(f.get(cutter.Get(), early), S_OK);
        EXPECT_EQ(Show(early), Show(second));
    }
}

SAFEARRAY *LongArray(std::initializer_list<LONG> values) {
    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
    LONG i = 0;
    for (LONG v : values) {
        SafeArrayPutElement(array, &i, &v);
        ++i;
    }
    return array;
}

std::vector<std::string> Elements(const VARIANT &v) {
    std::vector<std::string> shown;
    if (!(v.vt & VT_ARRAY) || !V_ARRAY(&v)) return shown;
    VARTYPE element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(V_ARRAY(&v), 1, &low);
    SafeArrayGetUBound(V_ARRAY(&v), 1, &high);
    for (LONG i = low; i <= high; ++i) {
        Variant item;
        item.vt = element;
        SafeArrayGetElement(V_ARRAY(&v), &i, &item.u); // the copy of a BSTR element is the item's own
        shown.push_back(Show(item));
    }
    return shown;
}

// Catches: a Variant data member that refuses an array, stores the
// caller's array instead of a copy (the caller frees its own), or loses
// elements; a putref that does not reach the same member.
TEST(CutterState, PictureRateTakesArraysByPutAndPutRef) {
    auto cutter = Create<Cut>(tvx::CutVideoClass());
    {
        Variant numbers;
        numbers.vt = VT_ARRAY | VT_I4;
        V_ARRAY(&numbers) = LongArray({10, 20, 30});
        ASSERT_EQ(cutter->put_picture_rate(numbers), S_OK);
        Variant back;
        ASSERT_EQ(cutter->get_picture_rate(back.Put()), S_OK);
        ASSERT_EQ(back.Type(), VT_ARRAY | VT_I4);
        EXPECT_NE(V_ARRAY(&back), V_ARRAY(&numbers));
        EXPECT_EQ(Elements(back), (std::vector<std::string>{"I4:10", "I4:20", "I4:30"}));
    } // the caller's array is gone; the member's copy must still read back
    Variant kept;
    ASSERT_EQ(cutter->get_picture_rate(kept.Put()), S_OK);
    EXPECT_EQ(Elements(kept), (std::vector<std::string>{"I4:10", "I4:20", "I4:30"}));

    Variant texts;
    texts.vt = VT_ARRAY | VT_BSTR;
    V_ARRAY(&texts) = SafeArrayCreateVector(VT_BSTR, 0, 2);
    Bstr a(u"a\0b"s), c(u"c");
    LONG i = 0;
    SafeArrayPutElement(V_ARRAY(&texts), &i, a.Get());
    i = 1;
    SafeArrayPutElement(V_ARRAY(&texts), &i, c.Get());
    ASSERT_EQ(LatePut(AsDispatch(cutter.Get()), u"picture_rate", texts, DISPATCH_PROPERTYPUTREF), S_OK);
    EXPECT_EQ(Elements(LateGet(AsDispatch(cutter.Get()), u"picture_rate")),
              (std::vector<std::string>{"BSTR:\"a\\0b\"", "BSTR:\"c\""}));

    ASSERT_EQ(cutter->putref_picture_rate(Variant::R8(29.97)), S_OK);
    EXPECT_EQ(Show(LateGet(AsDispatch(cutter.Get()), u"picture_rate")), "R8:29.970000");
}

// Catches: movie state shared between objects (class-wide storage), or a
// new movie that does not start with Error 0 and an empty name.
TEST(MovieState, TwoObjectsAreIndependent) {
    auto first = Create<Movie>(tvx::MoviesClass());
    auto second = Create<Movie>(tvx::MoviesClass());
    ASSERT_EQ(first->put_Error(5), S_OK);
    Bstr name(u"one.mpg");
    ASSERT_EQ(first->put_filename(name.Get()), S_OK);

    LONG error = -1;
    ASSERT_EQ(second->get_Error(&error), S_OK);
    EXPECT_EQ(error, 0);
    Bstr other;
    ASSERT_EQ(second->get_filename(other.Put()), S_OK);
    EXPECT_EQ(other.View(), u"");
    ASSERT_EQ(first->get_Error(&error), S_OK);
    EXPECT_EQ(error, 5);
    EXPECT_EQ(Show(LateGet(AsDispatch(second.Get()), u"Error")), "I4:0");
    EXPECT_EQ(Show(LateGet(AsDispatch(first.Get()), u"ERROR")), "I4:5");
}

// Catches: a file name cut at an embedded NUL on its way in or out, early
// or late.
TEST(MovieState, FilenameKeepsEmbeddedNuls) {
    auto movie = Create<Movie>(tvx::MoviesClass());
    const std::u16string name = u"dir\0sub/clip\0.mpg"s;
    Bstr value(name);
    ASSERT_EQ(movie->put_filename(value.Get()), S_OK);
    Bstr early;
    ASSERT_EQ(movie->get_filename(early.Put()), S_OK);
    EXPECT_EQ(early.View(), name);
    Variant late = LateGet(AsDispatch(movie.Get()), u"filename");
    ASSERT_EQ(late.Type(), VT_BSTR);
    EXPECT_EQ(late.StrView(), name);

    Variant again = Variant::Str(u"\0x\0"s);
    ASSERT_EQ(LatePut(AsDispatch(movie.Get()), u"filename", again), S_OK);
    ASSERT_EQ(movie->get_filename(early.Put()), S_OK);
    EXPECT_EQ(early.View(), u"\0x\0"s);
}

// Catches: a real member that never assigns its Variant result handing back
// something other than Empty, or a status other than success.
TEST(MovieState, OpenMovieGivesAnEmptyResult) {
    tvx::testing::ScriptedChannel channel;
    auto movie = Create<Movie>(tvx::MoviesClass());
    VARIANT early;
    early.vt = VT_I4;
    V_I4(&early) = 7;
    ASSERT_EQ(movie->openMovie(&early), S_OK);
    EXPECT_EQ(early.vt, VT_EMPTY);

    Variant late = Variant::I4(7);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(movie->Invoke(IdOf(AsDispatch(movie.Get()), u"openmovie"), IID_NULL, LOCALE_USER_DEFAULT,
                            DISPATCH_METHOD, &none, late.Put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(late.Type(), VT_EMPTY);
    EXPECT_FALSE(channel.Calls().empty()); // the commands went to the scripted channel
}

} // namespace
