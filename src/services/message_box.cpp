#include "services/message_box.h"

#include <string>

#include "convert/convert.h"
#include "tarvex10/platform.h"

namespace tvx {

void ShowMessageBox(std::u16string_view text, std::optional<std::u16string_view> title) {
    const std::string body = convert::ToUtf8(text);
    if (title) {
        const std::string caption = convert::ToUtf8(*title);
        TvxMessageBox(body.c_str(), caption.c_str());
    } else {
        TvxMessageBox(body.c_str(), nullptr);
    }
}

} // namespace tvx
