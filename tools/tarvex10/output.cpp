#include "output.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "host.h"

namespace tvx::cli {

namespace fs = std::filesystem;

namespace {

std::mutex cleanup_mutex;
std::vector<std::string> cleanup_paths;

sigset_t InterruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

void TakeInterrupts() {
    const sigset_t set = InterruptSignals();
    int signal_number = 0;
    while (sigwait(&set, &signal_number) != 0) {
    }
    // Holding the lock to the end: a commit under way finishes first, and
    // none starts after.
    std::lock_guard lock(cleanup_mutex);
    for (const std::string &path : cleanup_paths) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    _exit(128 + signal_number);
}

std::string Reason(int error) { return std::strerror(error); }

// Lets go of the open file `fd`, whose name is gone, in a child process that
// closes it once this process has ended: the last close frees the file's
// blocks or pages, which for a large file takes a while (ext4 frees block by
// block in its journal, tmpfs page by page), after the command's result is
// out rather than before. The child keeps nothing else open, so that no
// reader of this process's output waits for it. Where no child can be made,
// the file is let go here.
void ReleaseAfterExit(int fd) {
    int ended[2];
    if (::pipe2(ended, O_CLOEXEC) != 0) {
        ::close(fd);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls here: the parent has other threads.
        if (::dup2(fd, 0) < 0 || ::dup2(ended[0], 1) < 0) _exit(1);
        ::close_range(2, ~0u, 0);
        char byte;
        while (::read(1, &byte, 1) < 0 && errno == EINTR) {
        }
        _exit(0); // the last close, of the file at 0, is the exit's
    }
    // The write end stays open until this process ends, which the child
    // reads as the end of the pipe.
    ::close(ended[0]);
    ::close(fd);
    if (child < 0) ::close(ended[1]);
}

} // namespace

void InstallInterruptCleanup() {
    const sigset_t set = InterruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(TakeInterrupts).detach();
}

void RemoveOnInterrupt(const std::string &path) {
    std::lock_guard lock(cleanup_mutex);
    cleanup_paths.push_back(path);
}

void KeepOnInterrupt(const std::string &path) {
    std::lock_guard lock(cleanup_mutex);
    cleanup_paths.erase(std::remove(cleanup_paths.begin(), cleanup_paths.end(), path), cleanup_paths.end());
}

void CheckOutputPath(const std::string &in, const std::string &out, Overwrite overwrite) {
    struct stat in_info {}, out_info {};
    if (::stat(in.c_str(), &in_info) != 0) throw CommandError{kExitFailed, "cannot open " + in + ": " + Reason(errno)};
    if (::stat(out.c_str(), &out_info) != 0) {
        if (errno == ENOENT) return; // a dangling link is replaced, not followed
        throw CommandError{kExitFailed, "cannot write " + out + ": " + Reason(errno)};
    }
    if (out_info.st_dev == in_info.st_dev && out_info.st_ino == in_info.st_ino)
        throw CommandError{kExitFailed, "cannot write " + out + ": it is the input file " + in};
    if (S_ISDIR(out_info.st_mode)) throw CommandError{kExitFailed, "cannot write " + out + ": " + Reason(EISDIR)};
    if (overwrite == Overwrite::Never)
        throw CommandError{kExitFailed, out + " exists; not overwritten (-n)"};
    if (overwrite == Overwrite::Refuse)
        throw CommandError{kExitFailed, out + " exists; give -y to overwrite it"};
}

PendingOutput::PendingOutput(std::string out) : out_(std::move(out)) {
    const fs::path path(out_);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".tarvex10-XXXXXX")).string();
    // The name is registered before it exists, so that an interrupt between
    // the two cannot leave it behind.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw CommandError{kExitFailed, "cannot write " + out_ + ": " + Reason(errno)};
    temp_ = pattern;
    RemoveOnInterrupt(temp_);
    ::close(fd);
}

PendingOutput::~PendingOutput() {
    if (committed_) return;
    ::unlink(temp_.c_str());
    KeepOnInterrupt(temp_);
}

void PendingOutput::Commit() {
    std::lock_guard lock(cleanup_mutex);
    // mkstemp made the file for its owner alone; an output gets what any new
    // file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp_.c_str(), 0666 & ~mask);
    // Over an existing output the two names swap, and the old file goes
    // under the temporary name: some file systems (ext4) make a rename that
    // replaces a file wait for the new one to reach the disk. The old file
    // loses its name at once and its blocks after the command.
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, out_.c_str(), RENAME_EXCHANGE) == 0) {
        const int old = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        ::unlink(temp_.c_str());
        if (old >= 0) ReleaseAfterExit(old);
    } else if (::rename(temp_.c_str(), out_.c_str()) != 0) {
        throw CommandError{kExitFailed, "cannot write " + out_ + ": " + Reason(errno)};
    }
    committed_ = true;
    cleanup_paths.erase(std::remove(cleanup_paths.begin(), cleanup_paths.end(), temp_), cleanup_paths.end());
}

} // namespace tvx::cli
