// The cutter's texts for the user, shown through the message box.
#ifndef TVX_CUTTER_MESSAGES_H
#define TVX_CUTTER_MESSAGES_H

#include <string_view>

namespace tvx::cutter_text {

inline constexpr std::u16string_view kInputMissing = u"input file does not exist";
inline constexpr std::u16string_view kUnknownFormat = u"Unknown file format";
inline constexpr std::u16string_view kNoVideoHeader = u"sorry no mpeg header found";
inline constexpr std::u16string_view kFatal = u"fatal error";
inline constexpr std::u16string_view kStartBeyondEnd = u"fatal error! start beyond EOF";
inline constexpr std::u16string_view kFinished = u"Cutting finished";

} // namespace tvx::cutter_text

#endif // TVX_CUTTER_MESSAGES_H
