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
    // replaces a file wait for the new one to reach the disk.
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, out_.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(temp_.c_str());
    } else if (::rename(temp_.c_str(), out_.c_str()) != 0) {
        throw CommandError{kExitFailed, "cannot write " + out_ + ": " + Reason(errno)};
    }
    committed_ = true;
    cleanup_paths.erase(std::remove(cleanup_paths.begin(), cleanup_paths.end(), temp_), cleanup_paths.end());
}

} // namespace tvx::cli
