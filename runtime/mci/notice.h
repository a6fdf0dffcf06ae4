// Notifications of how a command ended (MM_MCINOTIFY), posted to the event
// queue of the thread that sent the command and handed to the host's
// notification handler when that thread dispatches events.
#ifndef TVX_RUNTIME_MCI_NOTICE_H
#define TVX_RUNTIME_MCI_NOTICE_H

#include <cstdint>

namespace tvx::mci {

// Where a notification goes.
struct Notice {
    void *callback;  // the caller's handle, never 0
    uint32_t thread; // the sender's thread id
    uint32_t device; // the device's number
};

enum NoticeFlag : uint32_t { kSuccessful = 1, kSuperseded = 2, kAborted = 4, kFailure = 8 };

void Post(const Notice &notice, NoticeFlag flag);

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_NOTICE_H
