// The component's services, its wrappers over the runtime and the system:
//   binary_file.h/.cpp  binary files under file numbers (below)
//   message_box.h/.cpp  the modal message box, through the runtime's hook
//   clock.h/.cpp        time of day and the event-dispatch pass, likewise
//
// Binary files under file numbers: the component's thin seam over POSIX
// descriptors. A file number is a small integer from 1 to 255 that names one
// open file in the process's table; FreeFile gives the lowest number not in
// use (nor just given to another thread that has yet to open it). Positions are
// 1-based. Failures raise the component's file errors
// (error/error.h): 52 number not open, 53 file not found, 54 wrong mode,
// 55 number already open, 57 device I/O, 61 disk full, 63 position <= 0,
// 67 no free number, 70 permission denied, 75 path/file access, 76 path not
// found, 6 a length that does not fit 32 bits.
#ifndef TVX_SERVICES_BINARY_FILE_H
#define TVX_SERVICES_BINARY_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tvx::files {

inline constexpr int16_t kMaxFileNumber = 255;

// The lowest file number from 1 to 255 not in use; error 67 when all are.
// The number stays the calling thread's until it opens it or asks again.
int16_t FreeFile();
// Size in bytes of the regular file at `path` (links followed).
int32_t FileLength(std::u16string_view path);
// `owner` tags the entry, so that CloseOwned can tell whose file it is.
void OpenForRead(int16_t number, std::u16string_view path, const void *owner = nullptr);
// Creates the file when it does not exist; writing starts at its first byte
// and does not shorten it.
void OpenForWrite(int16_t number, std::u16string_view path, const void *owner = nullptr);
// Reads up to `count` bytes at 1-based `position` into `buffer`. Bytes past
// the end of the file read as 0x00; the result is the number of file bytes.
size_t ReadAt(int16_t number, int64_t position, uint8_t *buffer, size_t count);
// Appends at the file's current position.
void Write(int16_t number, const uint8_t *bytes, size_t count);
// Shortens a file open for writing to nothing and writes on from its start.
void Truncate(int16_t number);
// Closing a number that is not open does nothing.
void Close(int16_t number);
// Closes `number` only when `owner` opened it.
void CloseOwned(int16_t number, const void *owner);
bool IsOpen(int16_t number);
// True when the two numbers have one file open (same device and inode),
// however each was named; false when either is not open. Comparing open
// files, not paths, leaves no moment in which a link swapped at a path
// could change the answer.
bool SameFile(int16_t a, int16_t b);

// The system calls behind reads and writes, replaceable so that tests can
// count reads and make a read or a write fail. Both follow pread(2) and
// write(2): -1 and errno on failure.
struct Io {
    ssize_t (*pread)(int fd, void *buffer, size_t count, off_t offset);
    ssize_t (*write)(int fd, const void *bytes, size_t count);
};
// Installs `io` (null members restore the system's) and returns the previous.
Io SetIo(Io io);

} // namespace tvx::files

#endif // TVX_SERVICES_BINARY_FILE_H
