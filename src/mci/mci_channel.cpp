#include "mci/mci_channel.h"

#include <algorithm>

#include "convert/convert.h"
#include "tarvex10/platform.h"

namespace tvx {
namespace {

// The reply area as bytes: the caller's characters, and room for the whole
// capacity even when the caller's buffer is shorter, so the interface can
// never write past it.
std::string ReplyArea(const std::u16string &buffer, uint32_t capacity) {
    std::string area = convert::ToAnsi(buffer);
    if (area.size() < capacity) area.resize(capacity, '\0');
    return area;
}

// Takes back exactly the caller's number of characters.
void TakeBack(std::u16string &buffer, const std::string &area) {
    std::u16string back = convert::FromAnsi(std::string_view(area).substr(0, buffer.size()));
    buffer = std::move(back);
}

} // namespace

uint32_t MciChannel::SendString(std::u16string_view command, std::u16string *reply, uint32_t capacity) {
    // The interface reads the command up to its first NUL, so a command with
    // a NUL inside would go out cut short: an alias or a file name could
    // lose its tail and name some other device. Such a command is refused
    // as an invalid parameter value and never sent.
    if (command.find(u'\0') != command.npos) return kInvalidParameterValue;
    const std::string text = convert::ToUtf8(command);
    if (!reply) return mciSendStringA(text.c_str(), nullptr, capacity, nullptr);
    std::string area = ReplyArea(*reply, capacity);
    uint32_t code = mciSendStringA(text.c_str(), area.data(), capacity, nullptr);
    TakeBack(*reply, area);
    return code;
}

void MciChannel::GetErrorString(uint32_t code, std::u16string &text, uint32_t capacity) {
    std::string area = ReplyArea(text, capacity);
    mciGetErrorStringA(code, area.data(), capacity);
    TakeBack(text, area);
}

} // namespace tvx
