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
    HRESULT Invoke(const char16_t *name, std::vector<VARIANT> reversed, VARIANT *result, EXCEPINFO *excep = nullptr,
                   UINT *arg_err = nullptr) {
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                          0};
        return Object()->Invoke(IdOf(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, excep,
                                arg_err);
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

// Catches: a converted argument written back only when the stored value
// differs from the conversion, so that 0.4, converted to 0 and stored as
// 0 * 1000, stays 0.4 although the member assigned it.
TEST_F(LateBound, AStoreEqualToTheConversionStillReachesTheCaller) {
    channel_.On("status movie mode", 0, "stopped");
    double second = 0.4;
    Variant result;
    ASSERT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_R8, &second)}, result.Put()), S_OK);
    EXPECT_EQ(second, 0.0);
    EXPECT_EQ(Commands().back(), "seek movie to 0");

    // A Variant variable takes the stored value in the type it had.
    Variant held = Variant::R8(0.4);
    ASSERT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_VARIANT, &held)}, result.Put()), S_OK);
    ASSERT_EQ(held.Type(), VT_R8);
    EXPECT_EQ(V_R8(&held), 0.0);
}

// Catches: a by-ref argument replaced by its conversion although the member
// never stored into it.
TEST_F(LateBound, AnArgumentTheMemberOnlyReadKeepsTheCallersValue) {
    double frames = 2.5;
    Variant held = Variant::R8(-1.5);
    Variant result;
    ASSERT_EQ(Invoke(u"stepFrames", {Variant::Ref(VT_R8, &frames)}, result.Put()), S_OK);
    ASSERT_EQ(Invoke(u"stepFrames", {Variant::Ref(VT_VARIANT, &held)}, result.Put()), S_OK);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"step movie by 2", "step movie by -2"}));
    EXPECT_EQ(frames, 2.5);
    ASSERT_EQ(held.Type(), VT_R8);
    EXPECT_EQ(V_R8(&held), -1.5);

    // Of four size arguments only what the member stores changes: without a
    // blank after the third number the width reads as 0 and the height's
    // statement fails and is skipped.
    channel_.On("where movie destination max", 0, "0 0 640");
    double left = 1.5, top = 2.5, width = 3.5, height = 4.5;
    ASSERT_EQ(Invoke(u"extractCurrentMovieSize",
                     {Variant::Ref(VT_R8, &height), Variant::Ref(VT_R8, &width), Variant::Ref(VT_R8, &top),
                      Variant::Ref(VT_R8, &left)},
                     result.Put()),
              S_OK);
    EXPECT_EQ(width, 0.0);
    EXPECT_EQ(left, 1.5);
    EXPECT_EQ(top, 2.5);
    EXPECT_EQ(height, 4.5);
}

// Catches: a stored value that the caller's int16 cannot hold dropped with
// success reported; a Variant variable instead changes type to hold it.
TEST_F(LateBound, AStoreTheCallersTypeCannotHoldFailsTheCall) {
    channel_.On("status movie mode", 0, "stopped");
    short second = 40;
    Variant result;
    UINT bad = 99;
    EXPECT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_I2, &second)}, result.Put(), nullptr, &bad),
              DISP_E_OVERFLOW);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(second, 40);
    EXPECT_EQ(Commands().back(), "seek movie to 40000") << "the member ran";

    Variant held = Variant::I2(40);
    ASSERT_EQ(Invoke(u"setPositionTo", {Variant::Ref(VT_VARIANT, &held)}, result.Put()), S_OK);
    ASSERT_EQ(held.Type(), VT_I4);
    EXPECT_EQ(V_I4(&held), 40000);
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
