// clsKwelErrorHandlerA: shows an error that a component library reports,
// with the place where it happened.
#include "classes.h"
#include "convert/convert.h"
#include "frame/member.h"

namespace kwbasalt10 {
namespace {

class ErrorHandler : public tvx::ObjectBase {
public:
    ErrorHandler() : ObjectBase(ErrorHandlerClass()) {}

    // The callers pass the first seven by reference; reading them is all
    // this handler does, so it takes copies. The eighth may be left out.
    void ErrorHandlerMessageKw(tvx::ComPtr<IDispatch> application, tvx::ComPtr<IDispatch> error, std::u16string,
                               std::u16string where, int32_t, std::u16string, int32_t, tvx::Variant) {
        std::u16string text = u"Error";
        if (error) text += u" " + PropertyText(error.Get(), u"Number");
        if (!where.empty()) text += u" in " + where;
        if (error) text += u":\n" + PropertyText(error.Get(), u"Description");
        std::u16string title = PropertyText(application.Get(), u"Title");
        title += title.empty() ? u"Error" : u" - Error";
        TvxMessageBox(tvx::convert::ToUtf8(text).c_str(), tvx::convert::ToUtf8(title).c_str());
    }
};

} // namespace

const tvx::ClassInfo &ErrorHandlerClass() {
    static const tvx::MemberInfo members[] = {
        tvx::Method<&ErrorHandler::ErrorHandlerMessageKw>(
            0x60030000, u"ErrorHandlerMessageKw",
            u"App,ErrObject,ErrText,ErrPlace,ErrLine,ErrExtra,ErrFlags,vOptional"),
    };
    static const tvx::ClassInfo info(
        u"clsKwelErrorHandlerA", u"KwBasalt10.clsKwelErrorHandlerA",
        {0x1e48f5e0, 0xe1f4, 0x4b9f, {0xb3, 0xa8, 0x05, 0xda, 0x9d, 0xc5, 0xd5, 0x1b}},
        {0xe736365e, 0xf033, 0x442d, {0x80, 0xef, 0xee, 0x29, 0xc8, 0xe4, 0x0c, 0xf7}}, members,
        &tvx::CreateObject<ErrorHandler>, &tvx::DestroyObject<ErrorHandler>);
    return info;
}

} // namespace kwbasalt10
