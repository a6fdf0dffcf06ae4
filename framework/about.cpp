// clsKwBasalt10A: the About box of a component library, built from the
// library's application object.
#include "classes.h"
#include "convert/convert.h"
#include "frame/member.h"

namespace kwbasalt10 {
namespace {

class About : public tvx::ObjectBase {
public:
    About() : ObjectBase(AboutClass()) {}

    void AppAboutKwel(tvx::ComPtr<IDispatch> application) {
        IDispatch *app = application.Get();
        if (!app) tvx::Raise(tvx::kObjectNotSet);
        const std::u16string title = PropertyText(app, u"Title");
        std::u16string text = PropertyText(app, u"ProductName") + u" " + PropertyText(app, u"Major") + u"." +
                              PropertyText(app, u"Minor") + u"." + PropertyText(app, u"Revision");
        for (std::u16string_view line : {u"FileDescription", u"Comments", u"LegalCopyright"}) {
            const std::u16string value = PropertyText(app, line);
            if (!value.empty()) text += u"\n" + value;
        }
        text += u"\n" + PropertyText(app, u"Path") + u"/" + PropertyText(app, u"EXEName");
        TvxMessageBox(tvx::convert::ToUtf8(text).c_str(), tvx::convert::ToUtf8(u"About " + title).c_str());
    }
};

} // namespace

const tvx::ClassInfo &AboutClass() {
    static const tvx::MemberInfo members[] = {
        tvx::Method<&About::AppAboutKwel>(0x60030000, u"AppAboutKwel", u"App"),
    };
    static const tvx::ClassInfo info(
        u"clsKwBasalt10A", u"KwBasalt10.clsKwBasalt10A",
        {0x0c96873f, 0xd2b1, 0x4f91, {0x8f, 0xac, 0x14, 0x85, 0x91, 0xdd, 0x40, 0x7f}},
        {0xf7106d07, 0x4100, 0x4d4d, {0xab, 0x7c, 0xed, 0xca, 0xbf, 0x8c, 0x12, 0xfc}}, members,
        &tvx::CreateObject<About>, &tvx::DestroyObject<About>);
    return info;
}

} // namespace kwbasalt10
