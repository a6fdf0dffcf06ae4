// MciChannel: the one way the library reaches a media device. It carries the
// platform's two string-interface operations with their buffer contract:
//
//   - the command goes out as 8-bit text (UTF-8, the system's code page
//     here), NUL-terminated;
//   - the reply area goes out as the caller's whole buffer, one byte per
//     character; the interface writes at most capacity - 1 characters and a
//     NUL from its start and leaves the rest as it was; capacity 0 leaves it
//     untouched;
//   - the whole buffer, all of its characters, comes back as wide text, so
//     its length never changes.
#ifndef TVX_MCI_MCI_CHANNEL_H
#define TVX_MCI_MCI_CHANNEL_H

#include <cstdint>
#include <string>
#include <string_view>

namespace tvx {

class MciChannel {
public:
    // The interface's code for a parameter value that a command cannot take;
    // also the answer to a command with a NUL inside, which is not sent.
    static constexpr uint32_t kInvalidParameterValue = 290;

    // mciSendStringA: sends `command` with `reply` (may be null) as the reply
    // area of `capacity` characters and no callback window; returns the code.
    static uint32_t SendString(std::u16string_view command, std::u16string *reply, uint32_t capacity);
    // mciGetErrorStringA: writes the description of `code` into `text`.
    static void GetErrorString(uint32_t code, std::u16string &text, uint32_t capacity);
};

} // namespace tvx

#endif // TVX_MCI_MCI_CHANNEL_H
