// The modal message box: one text, a single OK button, returns when the user
// has dismissed it. The host decides how it is shown (platform.h).
#ifndef TVX_SERVICES_MESSAGE_BOX_H
#define TVX_SERVICES_MESSAGE_BOX_H

#include <optional>
#include <string_view>

namespace tvx {

// Without a title the platform's default caption stands.
void ShowMessageBox(std::u16string_view text, std::optional<std::u16string_view> title = std::nullopt);

} // namespace tvx

#endif // TVX_SERVICES_MESSAGE_BOX_H
