// A few members reached by late binding: names looked up, arguments passed
// as Variants (by-ref ones written back), results and failures returned the
// way a dispatch client sees them.
#include "movies/player_fixture.h"

namespace tvx::testing {
namespace {

class LateBound : public PlayerTest {
protected:
    IDispatch *Object() { return movie_; }

    DISPID IdOf(const char16_t *name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(Object()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        return id;
    }
    // `reversed` holds the arguments last first, as dispatch passes them.
    HRESULT Invoke(const char16_t *name, std::vector<VARIANT> reversed, VARIANT *result, EXCEPINFO *excep = nullptr) {
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                          0};
        return Object()->Invoke(IdOf(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, excep,
                                nullptr);
    }
};

// Catches: a by-ref argument handed over as a copy, so that the product
// never reaches the caller's variable.
TEST_F(LateBound, SetPositionWritesTheProductBackIntoTheCallersVariable) {
    channel_.On("status movie mode", 0, "playing");
    LONG second = 5;
    Variant result = Variant::I4(1);
    ASSERT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_I4, &second)}, result.Put()), S_OK);
    EXPECT_EQ(second, 5000);
    EXPECT_EQ(result.Type(), VT_EMPTY);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"status movie mode", "play movie from 5000"}));

    // A variable of another integer type is converted and written back in
    // its own type.
    short small = 7;
    ASSERT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_I2, &small)}, result.Put()), S_OK);
    EXPECT_EQ(small, 7000);
    EXPECT_EQ(Commands().back(), "play movie from 7000");
}

// Catches: an overflow that comes back as success or as a bare status
// instead of an exception with the error's code and text, or a variable
// changed by the failed member.
TEST_F(LateBound, AnOverflowComesBackAsAnExceptionWithItsCode) {
    LONG second = 2147484;
    Variant result;
    EXCEPINFO excep{};
    EXPECT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_I4, &second)}, result.Put(), &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, kOverflowStatus);
    Bstr description = Bstr::Attach(excep.bstrDescription);
    Bstr source = Bstr::Attach(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    EXPECT_EQ(description.Str(), u"Overflow");
    EXPECT_EQ(source.Str(), u"Tarvex10.clsKwVidoMoviesA");
    EXPECT_EQ(second, 2147484);
    EXPECT_TRUE(Commands().empty());

    channel_.On("status movie right volume", 0, "500 x");
    excep = EXCEPINFO{};
    EXPECT_EQ(Invoke(u"getRightVolume", {}, result.Put(), &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, kTypeMismatchStatus);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
}

// Catches: results of the wrong Variant type, or the four by-ref size
// arguments mixed up in their reversed order.
TEST_F(LateBound, ResultsAndByRefSizesArriveInTheirTypes) {
    channel_.On("status movie length", 0, "95000");
    Variant result;
    ASSERT_EQ(Invoke(u"getLengthInMS", {}, result.Put()), S_OK);
    ASSERT_EQ(result.Type(), VT_I4);
    EXPECT_EQ(V_I4(&result), 95000);
    ASSERT_EQ(Invoke(u"getFormatLength", {}, result.Put()), S_OK);
    ASSERT_EQ(result.Type(), VT_BSTR);
    EXPECT_EQ(result.StrView(), u"1:35");

    channel_.On("where movie destination max", 0, "0 0 640 480");
    LONG left = 7, top = 9, width = 0, height = 0;
    ASSERT_EQ(Invoke(u"extractCurrentMovieSize",
                     {Variant::Ref(VT_I4, &height), Variant::Ref(VT_I4, &width), Variant::Ref(VT_I4, &top),
                      Variant::Ref(VT_I4, &left)},
                     result.Put()),
              S_OK);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(left, 7);
    EXPECT_EQ(top, 9);
}

} // namespace
} // namespace tvx::testing
