// The media control string interface: a process-wide handler that a host
// (or a test) may replace, and the built-in one used otherwise, which is the
// interpreter of runtime/mci/.
#include <cstdio>
#include <cstring>
#include <string>

#include "hook.h"
#include "mci/errors.h"
#include "mci/interpreter.h"
#include "tarvex10/platform.h"

namespace {

using tvx::mci::kFirstError;
using tvx::mci::kLastError;

struct ErrorText {
    MCIERROR code;
    const char *text;
};

// Sorted by code.
constexpr ErrorText kErrorTexts[] = {
    {257, "The device ID is not valid."},
    {259, "The command contains a keyword that is not recognised."},
    {261, "The command is not recognised."},
    {262, "The media device reported a hardware error."},
    {263, "The device is not open or is not known."},
    {264, "There is not enough memory to carry out the command."},
    {265, "That name already belongs to a device that was opened automatically."},
    {266, "The device could not be started: its driver or its hardware is missing."},
    {267, "No command was given."},
    {268, "The reply is longer than the buffer provided for it."},
    {269, "The command needs a text argument."},
    {270, "An integer in the command is malformed or missing."},
    {271, "The device driver returned a reply of an unknown type."},
    {272, "The device driver has an installation or internal problem."},
    {273, "The command needs a parameter that was not given."},
    {274, "The device does not support this command or item."},
    {275, "The file was not found."},
    {276, "The device is not ready."},
    {277, "The media control interface could not be initialised."},
    {278, "The device driver could not open the device."},
    {279, "The device name \"all\" cannot be used with this command."},
    {280, "Errors occurred in more than one device."},
    {281, "The device type cannot be worked out from the file name extension."},
    {282, "A parameter is outside its allowed range."},
    {284, "These parameters cannot be used together."},
    {286, "The file could not be saved."},
    {287, "A device type is required."},
    {288, "The device is busy."},
    {289, "The alias is already in use by another open device."},
    {290, "A parameter value is not valid for this command."},
    {291, "The device must be opened as shareable."},
    {292, "The command needs a device name."},
    {293, "The time format is not valid."},
    {294, "A quoted text is missing its closing quote."},
    {295, "A parameter was given more than once."},
    {296, "This device cannot play the file."},
    {297, "The parameter block is missing."},
    {298, "Sound in this format cannot be saved."},
    {299, "This command needs an alias."},
    {300, "Notification cannot be requested when the device is opened automatically."},
    {301, "A channel must be given; use \"all\" for every channel."},
    {302, "The command cannot be carried out in the device's current state."},
    {305, "There is unexpected text after a quoted text."},
    {306, "The device is not installed."},
    {307, "The file cannot be accessed."},
    {308, "The device cannot be opened."},
    {309, "The device does not support the time format that was set."},
    {310, "The file cannot be loaded."},
    {311, "No output device is available."},
    {312, "The parameter must be an integer."},
    {346, "There is no window to display in."},
    {347, "The display window could not be created or used."},
    {348, "The file cannot be read."},
    {349, "The file cannot be written."},
    {350, "The media has no identity."},
};

const char *FindErrorText(MCIERROR code) {
    for (const auto &entry : kErrorTexts)
        if (entry.code == code) return entry.text;
    return nullptr;
}

// Writes at most capacity - 1 characters and a NUL, nothing past the NUL.
void CopyCut(const char *text, size_t length, char *buffer, UINT capacity) {
    if (!buffer || capacity == 0) return;
    size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

MCIERROR BuiltinSend(void *, const char *command, char *reply, UINT capacity, HWND callback) {
    // The reply starts out empty, and stays so on an error.
    const bool has_reply = reply && capacity > 0;
    if (has_reply) reply[0] = '\0';
    if (!command) return tvx::mci::kMissingCommandString;
    thread_local std::string text;
    MCIERROR code = tvx::mci::Interpreter::Instance().Send(command, text, has_reply ? capacity - 1 : SIZE_MAX, callback);
    if (code != 0 || !has_reply) return code;
    // A reply cut short would read as a different answer ("0 0 35" for
    // "0 0 352 288"), so one that does not fit is refused as a whole.
    if (text.size() >= capacity) return tvx::mci::kParamOverflow;
    CopyCut(text.data(), text.size(), reply, capacity);
    return 0;
}

BOOL BuiltinGetErrorString(void *, MCIERROR code, char *text, UINT capacity) {
    if (code < kFirstError || code > kLastError) return 0;
    if (const char *known = FindErrorText(code)) {
        CopyCut(known, std::strlen(known), text, capacity);
    } else {
        char generic[64];
        int length = std::snprintf(generic, sizeof generic, "Unknown media control error %u.",
                                   static_cast<unsigned>(code));
        CopyCut(generic, static_cast<size_t>(length), text, capacity);
    }
    return 1;
}

constexpr TVXMCIHANDLER kBuiltin = {BuiltinSend, BuiltinGetErrorString, nullptr};

constinit tvx::runtime::Hook<TVXMCIHANDLER> handler_hook(kBuiltin);

} // namespace

extern "C" {

TVX_PLATFORM_API MCIERROR mciSendStringA(const char *command, char *reply, UINT capacity, HWND callback) {
    const TVXMCIHANDLER handler = handler_hook.Get();
    return handler.send(handler.context, command, reply, capacity, callback);
}

TVX_PLATFORM_API BOOL mciGetErrorStringA(MCIERROR code, char *text, UINT capacity) {
    const TVXMCIHANDLER handler = handler_hook.Get();
    return handler.get_error_string(handler.context, code, text, capacity);
}

TVX_PLATFORM_API void TvxSetMciHandler(const TVXMCIHANDLER *handler, TVXMCIHANDLER *previous) {
    TVXMCIHANDLER next = handler ? *handler : kBuiltin;
    // A handler that leaves a function out gets the built-in one for it.
    if (!next.send) next.send = BuiltinSend;
    if (!next.get_error_string) next.get_error_string = BuiltinGetErrorString;
    const TVXMCIHANDLER old = handler_hook.Exchange(next);
    if (previous) *previous = old;
}

} // extern "C"
