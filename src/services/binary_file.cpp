#include "services/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "convert/convert.h"
#include "error/error.h"

namespace tvx::files {
namespace {

enum class Mode { Read, Write };

// One open file. The descriptor closes when the last user lets go, so a
// read on one thread never meets a descriptor that another thread closed
// and reused.
struct OpenFile {
    int fd;
    Mode mode;
    const void *owner;
    ~OpenFile() { ::close(fd); }
};

std::mutex table_mutex;
std::array<std::shared_ptr<OpenFile>, kMaxFileNumber + 1> table; // index 0 unused

// FreeFile's answer stays the asking thread's until it opens that number or
// asks again, so that two threads between FreeFile and Open are not handed
// the same number. Guarded by table_mutex.
std::array<std::thread::id, kMaxFileNumber + 1> reserved_by;

struct Reservation {
    int16_t number = 0;
    // Under table_mutex.
    void Release() {
        if (number != 0 && reserved_by[number] == std::this_thread::get_id()) reserved_by[number] = {};
        number = 0;
    }
    ~Reservation() {
        std::lock_guard lock(table_mutex);
        Release();
    }
};
thread_local Reservation reservation;

std::atomic<decltype(Io::pread)> io_pread{&::pread};
std::atomic<decltype(Io::write)> io_write{&::write};

std::shared_ptr<OpenFile> Lookup(int16_t number) {
    if (number < 1 || number > kMaxFileNumber) Raise(kBadFileNameOrNumber);
    std::lock_guard lock(table_mutex);
    std::shared_ptr<OpenFile> file = table[number];
    if (!file) Raise(kBadFileNameOrNumber);
    return file;
}

// A path as the system takes it; a NUL inside cannot name a file.
std::string SystemPath(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) Raise(kBadFileNameOrNumber);
    return convert::ToUtf8(path);
}

[[noreturn]] void RaiseOpenError(int error, Mode mode) {
    switch (error) {
    case ENOENT: Raise(mode == Mode::Read ? kFileNotFound : kPathNotFound);
    case ENOTDIR: Raise(kPathNotFound);
    case EMFILE:
    case ENFILE: Raise(kTooManyFiles);
    case ENOSPC:
    case EDQUOT: Raise(kDiskFull);
    case ETXTBSY:
    case EBUSY: Raise(kPermissionDenied);
    default: Raise(kPathFileAccessError); // EACCES, EPERM, EROFS, EISDIR, ELOOP, ...
    }
}

void Open(int16_t number, std::u16string_view path, Mode mode, const void *owner) {
    if (number < 1 || number > kMaxFileNumber) Raise(kBadFileNameOrNumber);
    const std::string name = SystemPath(path);
    {
        std::lock_guard lock(table_mutex);
        if (table[number]) Raise(kFileAlreadyOpen);
    }
    // Non-blocking so that a FIFO named as input cannot stall the open; only
    // regular files are kept.
    const int flags = mode == Mode::Read ? O_RDONLY | O_NONBLOCK : O_WRONLY | O_CREAT | O_NONBLOCK;
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) RaiseOpenError(errno, mode);
    std::shared_ptr<OpenFile> file(new OpenFile{fd, mode, owner});
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) Raise(kPathFileAccessError);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::lock_guard lock(table_mutex);
    if (table[number]) Raise(kFileAlreadyOpen);
    table[number] = std::move(file);
    if (reservation.number == number) reservation.Release();
}

} // namespace

int16_t FreeFile() {
    std::lock_guard lock(table_mutex);
    reservation.Release();
    for (int16_t number = 1; number <= kMaxFileNumber; ++number) {
        if (!table[number] && reserved_by[number] == std::thread::id()) {
            reserved_by[number] = std::this_thread::get_id();
            reservation.number = number;
            return number;
        }
    }
    Raise(kTooManyFiles);
}

int32_t FileLength(std::u16string_view path) {
    const std::string name = SystemPath(path);
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) RaiseOpenError(errno, Mode::Read);
    if (!S_ISREG(info.st_mode)) Raise(kPathFileAccessError);
    if (info.st_size > std::numeric_limits<int32_t>::max()) Raise(kOverflow);
    return static_cast<int32_t>(info.st_size);
}

void OpenForRead(int16_t number, std::u16string_view path, const void *owner) {
    Open(number, path, Mode::Read, owner);
}

void OpenForWrite(int16_t number, std::u16string_view path, const void *owner) {
    Open(number, path, Mode::Write, owner);
}

size_t ReadAt(int16_t number, int64_t position, uint8_t *buffer, size_t count) {
    const std::shared_ptr<OpenFile> file = Lookup(number);
    if (file->mode != Mode::Read) Raise(kBadFileMode);
    if (position <= 0) Raise(kBadRecordNumber);
    const auto read = io_pread.load(std::memory_order_relaxed);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = read(file->fd, buffer + done, count - done, static_cast<off_t>(position - 1 + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Raise(kDeviceIoError);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (done < count) std::memset(buffer + done, 0, count - done);
    return done;
}

void Write(int16_t number, const uint8_t *bytes, size_t count) {
    const std::shared_ptr<OpenFile> file = Lookup(number);
    if (file->mode != Mode::Write) Raise(kBadFileMode);
    const auto write = io_write.load(std::memory_order_relaxed);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(file->fd, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Raise(errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? kDiskFull : kDeviceIoError);
        }
        if (n == 0) Raise(kDiskFull);
        done += static_cast<size_t>(n);
    }
}

void Truncate(int16_t number) {
    const std::shared_ptr<OpenFile> file = Lookup(number);
    if (file->mode != Mode::Write) Raise(kBadFileMode);
    // An empty file is left alone: on some file systems a truncation, even
    // to the same size, makes the final close wait until all that was
    // written since has reached the disk.
    struct stat info {};
    if (::fstat(file->fd, &info) != 0) Raise(kDeviceIoError);
    if (info.st_size != 0 && ::ftruncate(file->fd, 0) != 0) Raise(kDeviceIoError);
    if (::lseek(file->fd, 0, SEEK_SET) != 0) Raise(kDeviceIoError);
}

void Close(int16_t number) {
    if (number < 1 || number > kMaxFileNumber) return;
    std::shared_ptr<OpenFile> file;
    std::lock_guard lock(table_mutex);
    file = std::move(table[number]);
}

void CloseOwned(int16_t number, const void *owner) {
    if (number < 1 || number > kMaxFileNumber) return;
    std::shared_ptr<OpenFile> file;
    std::lock_guard lock(table_mutex);
    if (table[number] && table[number]->owner == owner) file = std::move(table[number]);
}

bool IsOpen(int16_t number) {
    if (number < 1 || number > kMaxFileNumber) return false;
    std::lock_guard lock(table_mutex);
    return table[number] != nullptr;
}

bool SameFile(int16_t a, int16_t b) {
    if (a < 1 || a > kMaxFileNumber || b < 1 || b > kMaxFileNumber) return false;
    std::shared_ptr<OpenFile> first, second;
    {
        std::lock_guard lock(table_mutex);
        first = table[a];
        second = table[b];
    }
    if (!first || !second) return false;
    struct stat first_info {}, second_info {};
    if (::fstat(first->fd, &first_info) != 0 || ::fstat(second->fd, &second_info) != 0) return false;
    return first_info.st_dev == second_info.st_dev && first_info.st_ino == second_info.st_ino;
}

Io SetIo(Io io) {
    Io previous{io_pread.exchange(io.pread ? io.pread : &::pread),
                io_write.exchange(io.write ? io.write : &::write)};
    return previous;
}

} // namespace tvx::files
