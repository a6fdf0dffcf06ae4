// The two own handling modes: skip-and-continue and a handler that reports
// a failure and resumes with the next statement.
#include <gtest/gtest.h>

#include "convert/convert.h"
#include "frame/member.h"

namespace tvx {
namespace {

class Modes;
const ClassInfo &ModesClass();

class Modes : public ObjectBase {
public:
    Modes() : ObjectBase(ModesClass()) {}

    int32_t Overflowing() { Raise(kOverflow); }

    Variant Skipping(ByRef<int32_t> first, ByRef<int32_t> second) {
        SkipFailures([&] { first = 1; },
                     [&] {
                         Raise(kInvalidArgument);
                         second = 99;
                     },
                     [&] { second = CallMember<&Modes::Overflowing>(*this); }, [&] { first = 3; });
        return {};
    }

    void Resuming(ByRef<std::u16string> log) {
        ResumeAfter(
            [&](const CaughtFailure &failure) {
                log += u"[" + convert::Decimal(failure.number) + u":" + failure.description + u"]";
            },
            [&] { log += u"a"; }, [&] { Raise(kDivisionByZero); }, [&] { CallMember<&Modes::Overflowing>(*this); },
            [&] { log += u"b"; });
    }

    // A failure inside the handler is not caught again.
    void FailingHandler(ByRef<int32_t> reached) {
        ResumeAfter([&](const CaughtFailure &) { Raise(kCannotCreateObject); }, [&] { Raise(kCannotCreateObject); },
                    [&] { reached = 1; });
    }
};

const ClassInfo &ModesClass() {
    static const MemberInfo members[] = {
        Method<&Modes::Overflowing>(1, u"Overflowing"),
        Method<&Modes::Skipping>(2, u"Skipping", u"first,second"),
        Method<&Modes::Resuming>(3, u"Resuming", u"log"),
        Method<&Modes::FailingHandler>(4, u"FailingHandler", u"reached"),
    };
    static const ClassInfo info(u"Modes", u"Test.Modes", {1, 2, 3, {4}}, {5, 6, 7, {8}}, members,
                                &CreateObject<Modes>, &DestroyObject<Modes>);
    return info;
}

struct ModesTest : ::testing::Test {
    ComPtr<IDispatch> object = ComPtr<IDispatch>::Attach(ModesClass().create()->Interface());
    template <class Fn> Fn Entry(int row) { return reinterpret_cast<Fn>(ModesClass().members[row].early); }
};

// Catches: a skipped statement ending the member, or its assignment landing.
TEST_F(ModesTest, SkipAndContinueAbandonsOnlyTheFailingStatements) {
    LONG first = 0, second = 7;
    Variant result;
    auto skipping = Entry<HRESULT (*)(IDispatch *, LONG *, LONG *, VARIANT *)>(1);
    EXPECT_EQ(skipping(object.Get(), &first, &second, result.Put()), S_OK);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 7) << "the failing assignments keep the old value";
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE) << "a member that ends normally leaves no error";
}

// Catches: the handler missing the number or text of a raised or
// propagated failure, or not resuming after it.
TEST_F(ModesTest, TheHandlerReportsEachFailureAndResumesWithTheNextStatement) {
    Bstr log;
    auto resuming = Entry<HRESULT (*)(IDispatch *, BSTR *)>(2);
    EXPECT_EQ(resuming(object.Get(), log.Put()), S_OK);
    EXPECT_EQ(log.Str(), u"a[11:Division by zero][6:Overflow]b");
}

TEST_F(ModesTest, AFailureInsideTheHandlerEndsTheMember) {
    LONG reached = 0;
    auto failing = Entry<HRESULT (*)(IDispatch *, LONG *)>(3);
    EXPECT_EQ(failing(object.Get(), &reached), MakeControlError(kCannotCreateObject));
    EXPECT_EQ(reached, 0);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    Bstr source;
    info->GetSource(source.Put());
    EXPECT_EQ(source.Str(), u"Test.Modes");
}

} // namespace
} // namespace tvx
