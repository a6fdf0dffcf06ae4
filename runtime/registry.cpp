// The registry: one UTF-8 text file of keys, each holding named string values
// (the format is in registry_document.h), shared by every process of the
// user.
//
// Readers take no lock: a change never writes the file in place but renames a
// complete new file over it, so a reader sees the old registry or the new
// one. Writers take an exclusive lock on the registry file across the read,
// the change and the rename; since the rename puts a new file in place, a
// writer that waited checks that the file it locked is still the registry
// and otherwise locks the new one. Within the process a mutex serialises all
// of this.
//
// A parsed registry is kept while its file stays the same (device, inode,
// size, change and modification times); the file stays open meanwhile so
// that its inode cannot be reused by another. A file modified within a
// second of being read may have changed again within the same timestamp, so
// it is read again until it is older.
//
// Only regular files are read, never more than kMaxBytes, and none that
// others than the user could have written (see trust.h); the reason for a
// refusal goes to the diagnostics channel.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "diagnostics.h"
#include "registry_document.h"
#include "tarvex10/platform.h"
#include "trust.h"

namespace {

using tvx::runtime::Diagnose;
using tvx::runtime::RegistryDocument;

constexpr off_t kMaxBytes = off_t{4} << 20;
constexpr auto kLockPatience = std::chrono::seconds(10);

// ---- paths ----

std::string DefaultPath() {
    const char *explicit_path = std::getenv("TVX_REGISTRY");
    if (explicit_path && *explicit_path) return explicit_path;
    const char *data_home = std::getenv("XDG_DATA_HOME");
    if (data_home && *data_home) return std::string(data_home) + "/tarvex10/registry";
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/tarvex10/registry";
}

std::string Folder(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a change replaces: `path` with its symbolic links followed, so
// that the links stay. Empty when the links go round in a circle.
std::string FinalTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) return {};
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : Folder(path) + "/" + target;
    }
    return {};
}

// Like mkdir -p for the folder part of `path`.
bool MakeParents(const std::string &path) {
    const std::string dir = Folder(path);
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        if (::mkdir(dir.substr(0, pos).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// ---- reading ----

bool SameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Why the file that `info` describes cannot be a registry, or empty.
std::string WhyNotARegistry(const std::string &path, const struct stat &info) {
    if (!S_ISREG(info.st_mode)) return path + " is not a regular file";
    if (info.st_size > kMaxBytes) return path + " is larger than " + std::to_string(kMaxBytes >> 20) + " MB";
    return {};
}

// The whole file, read to its end but never beyond kMaxBytes.
bool ReadAll(int fd, const std::string &path, std::string &contents) {
    contents.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (contents.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxBytes)) {
            Diagnose("registry " + path + " is larger than " + std::to_string(kMaxBytes >> 20) + " MB");
            return false;
        }
        contents.append(chunk, static_cast<size_t>(n));
    }
}

double Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The last registry parsed, with its file held open.
struct Snapshot {
    int fd = -1;
    struct stat info {};
    double read_at = 0;
    RegistryDocument document;

    bool Matches(const struct stat &now) const {
        const double modified =
            static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) * 1e-9;
        return fd >= 0 && SameFile(info, now) && modified + 1.0 < read_at;
    }
    void Reset(int new_fd, const struct stat &new_info, RegistryDocument new_document) {
        if (fd >= 0) ::close(fd);
        fd = new_fd;
        info = new_info;
        read_at = Now();
        document = std::move(new_document);
    }
    void Forget() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        document = RegistryDocument();
    }
};

// Serialises every access within the process; guards the state below.
std::mutex registry_mutex;
std::optional<std::string> path_override;
Snapshot snapshot;

std::string CurrentPath() { return path_override ? *path_override : DefaultPath(); }

enum class Outcome { ok, missing, failed, untrusted };

// The parsed registry of the open file `fd`, from the snapshot when it is
// the same file.
Outcome Load(int fd, const std::string &path, const RegistryDocument *&document) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return Outcome::failed;
    if (std::string why = WhyNotARegistry(path, info); !why.empty()) {
        Diagnose("registry " + why);
        return Outcome::failed;
    }
    if (std::string why = tvx::runtime::WhyUntrustedFile(path, info); !why.empty()) {
        Diagnose("refusing the registry " + path + ": " + why);
        return Outcome::untrusted;
    }
    if (!snapshot.Matches(info)) {
        std::string contents;
        if (!ReadAll(fd, path, contents)) return Outcome::failed;
        const int kept = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (kept < 0) return Outcome::failed;
        snapshot.Reset(kept, info, RegistryDocument::Parse(contents));
    }
    document = &snapshot.document;
    return Outcome::ok;
}

int OpenForReading(const std::string &path, int flags = 0) {
    // Non-blocking: a pipe or a device must not hold the open.
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags, 0644);
}

Outcome ReadRegistry(const std::string &path, const RegistryDocument *&document) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? Outcome::missing : Outcome::failed;
    if (std::string why = WhyNotARegistry(path, info); !why.empty()) {
        Diagnose("registry " + why);
        return Outcome::failed;
    }
    if (std::string why = tvx::runtime::WhyUntrusted(path); !why.empty()) {
        Diagnose("refusing the registry " + path + ": " + why);
        return Outcome::untrusted;
    }
    if (snapshot.Matches(info)) {
        document = &snapshot.document;
        return Outcome::ok;
    }
    const int fd = OpenForReading(path);
    if (fd < 0) return errno == ENOENT ? Outcome::missing : Outcome::failed;
    const Outcome outcome = Load(fd, path, document);
    ::close(fd);
    return outcome;
}

// ---- writing ----

// Holds the registry file locked against other writers.
class WriteLock {
public:
    ~WriteLock() {
        if (fd_ < 0) return;
        // Explicitly: the snapshot may hold a duplicate of this descriptor,
        // which would keep the lock.
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    // Locks `target` (made empty when missing and `create`); `missing` when
    // it is missing and may stay so.
    Outcome Take(const std::string &target, bool create) {
        const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
        auto pause = std::chrono::microseconds(100);
        for (;;) {
            // The mode asks for no more than the owner may write; the umask
            // takes away what the user wants taken.
            // `target` is no link: should one be put there meanwhile, it fails.
            fd_ = OpenForReading(target, O_NOFOLLOW | (create ? O_CREAT : 0));
            if (fd_ < 0) return errno == ENOENT && !create ? Outcome::missing : Outcome::failed;
            struct stat locked {};
            if (::fstat(fd_, &locked) != 0) return Outcome::failed;
            if (std::string why = WhyNotARegistry(target, locked); !why.empty()) {
                Diagnose("registry " + why);
                return Outcome::failed;
            }
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                // A writer before us may have replaced the file while we waited.
                struct stat current {};
                if (::stat(target.c_str(), &current) == 0 && current.st_dev == locked.st_dev &&
                    current.st_ino == locked.st_ino)
                    return Outcome::ok;
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                return Outcome::failed;
            } else if (std::chrono::steady_clock::now() > deadline) {
                Diagnose("registry " + target + " stayed locked by another process");
                return Outcome::failed;
            } else {
                std::this_thread::sleep_for(pause);
                pause = std::min(pause * 2, std::chrono::microseconds(5000));
            }
            ::close(fd_);
            fd_ = -1;
        }
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// ".registry.XXXXXX": the names temporary files beside `target` get.
std::string TemporaryPrefix(const std::string &target) { return Folder(target) + "/." + BaseName(target) + "."; }

bool IsTemporaryName(std::string_view name, std::string_view base) {
    if (name.size() != base.size() + 8 || name[0] != '.' || name.substr(1, base.size()) != base ||
        name[base.size() + 1] != '.')
        return false;
    return std::all_of(name.end() - 6, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Removes the temporary files that writers which died before their rename
// left; under the lock nobody else is writing one.
void SweepTemporaries(const std::string &target) {
    DIR *dir = ::opendir(Folder(target).c_str());
    if (!dir) return;
    const std::string base = BaseName(target);
    while (const dirent *entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name, base)) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string TemporaryName(const std::string &target) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::string name = TemporaryPrefix(target);
    for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
    return name;
}

// Writes `contents` into a new file beside `target` with `mode` and renames
// it over `target`. The file is made without a name where the file system
// allows, so a writer that dies leaves nothing; it gets its name only just
// before the rename. Gives the new file, open, or -1.
int Replace(const std::string &target, std::string_view contents, mode_t mode) {
    int fd = ::open(Folder(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    const bool unnamed = fd >= 0;
    if (!unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
    std::string temporary;
    for (int attempt = 0; !unnamed && fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(target);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return -1;
    }
    if (fd < 0) return -1;
    // The mode of a file being replaced is kept exactly, whatever the umask.
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
    if (ok && unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = false;
        for (int attempt = 0; !ok && attempt < 100; ++attempt) {
            temporary = TemporaryName(target);
            ok = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!ok && errno != EEXIST) break;
        }
        if (!ok) temporary.clear();
    }
    if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        if (!temporary.empty()) ::unlink(temporary.c_str());
        ::close(fd);
        return -1;
    }
    // Makes the rename itself durable; failing here no longer endangers the data.
    if (int dir_fd = ::open(Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return fd;
}

bool ValidEntries(const TVXREGVALUE *values, size_t count, bool need_data) {
    if (count == 0) return true;
    if (!values) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!values[i].key || !*values[i].key) return false;
        if (need_data && !values[i].value) return false;
    }
    return true;
}

// Applies `values` (set, or removed when `remove`) to the registry file
// under the lock.
HRESULT Change(const TVXREGVALUE *values, size_t count, bool remove) {
    std::lock_guard lock(registry_mutex);
    const std::string path = CurrentPath();
    const std::string target = FinalTarget(path);
    if (target.empty()) return REGDB_E_WRITEREGDB;
    struct stat existing {};
    if (remove && ::stat(target.c_str(), &existing) != 0 && errno == ENOENT) return S_OK; // nothing to remove
    if (!remove && !MakeParents(target)) return REGDB_E_WRITEREGDB;
    for (const std::string &place : {target, path}) {
        if (std::string why = tvx::runtime::WhyUntrustedFolders(place); !why.empty()) {
            Diagnose("refusing the registry " + path + ": " + why);
            return E_ACCESSDENIED;
        }
        if (place == path) break;
    }

    WriteLock file;
    switch (file.Take(target, !remove)) {
    case Outcome::ok: break;
    case Outcome::missing: return S_OK;
    default: return REGDB_E_WRITEREGDB;
    }
    const RegistryDocument *current = nullptr;
    if (const Outcome loaded = Load(file.fd(), target, current); loaded != Outcome::ok)
        return loaded == Outcome::untrusted ? E_ACCESSDENIED : REGDB_E_WRITEREGDB;
    RegistryDocument changed = *current;
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
        const char *key = values[i].key, *name = values[i].name ? values[i].name : "";
        if (remove) {
            any |= changed.Remove(key, name);
        } else if (const std::string *data = changed.Find(key, name); !data || *data != values[i].value) {
            changed.Set(key, name, values[i].value);
            any = true;
        }
    }
    if (!any) return S_OK;
    const std::string text = changed.Format();
    if (text.size() > static_cast<size_t>(kMaxBytes)) {
        Diagnose("registry " + target + " would grow larger than " + std::to_string(kMaxBytes >> 20) + " MB");
        return REGDB_E_WRITEREGDB;
    }
    struct stat locked {};
    ::fstat(file.fd(), &locked);
    SweepTemporaries(target);
    const int fresh = Replace(target, text, locked.st_mode & 07777);
    if (fresh < 0) return REGDB_E_WRITEREGDB;
    struct stat written {};
    if (::fstat(fresh, &written) == 0)
        snapshot.Reset(fresh, written, RegistryDocument::Parse(text));
    else
        ::close(fresh);
    return S_OK;
}

} // namespace

extern "C" {

TVX_PLATFORM_API HRESULT TvxRegistrySetPath(const char *path) {
    if (path && !*path) return E_INVALIDARG;
    std::lock_guard lock(registry_mutex);
    if (path)
        path_override = path;
    else
        path_override.reset();
    snapshot.Forget();
    return S_OK;
}

TVX_PLATFORM_API size_t TvxRegistryGetPath(char *buffer, size_t capacity) {
    std::string path;
    {
        std::lock_guard lock(registry_mutex);
        path = CurrentPath();
    }
    if (buffer && capacity > 0) {
        size_t n = std::min(path.size(), capacity - 1);
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
    }
    return path.size();
}

TVX_PLATFORM_API HRESULT TvxRegistryWrite(const TVXREGVALUE *values, size_t count) {
    if (!ValidEntries(values, count, true)) return E_INVALIDARG;
    if (count == 0) return S_OK;
    return Change(values, count, false);
}

TVX_PLATFORM_API HRESULT TvxRegistryRemove(const TVXREGVALUE *values, size_t count) {
    if (!ValidEntries(values, count, false)) return E_INVALIDARG;
    if (count == 0) return S_OK;
    return Change(values, count, true);
}

TVX_PLATFORM_API HRESULT TvxRegistryRead(const char *key, const char *name, char *buffer, size_t capacity) {
    if (!key) return E_INVALIDARG;
    std::lock_guard lock(registry_mutex);
    const RegistryDocument *document = nullptr;
    switch (ReadRegistry(CurrentPath(), document)) {
    case Outcome::missing: return S_FALSE;
    case Outcome::failed: return REGDB_E_READREGDB;
    case Outcome::untrusted: return E_ACCESSDENIED;
    case Outcome::ok: break;
    }
    const std::string *found = document->Find(key, name ? name : "");
    if (!found) return S_FALSE;
    if (buffer && capacity > 0) {
        size_t n = std::min(found->size(), capacity - 1);
        std::memcpy(buffer, found->data(), n);
        buffer[n] = '\0';
    }
    return S_OK;
}

} // extern "C"
