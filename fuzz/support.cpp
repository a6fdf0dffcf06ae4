#include "support.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "services/binary_file.h"
#include "tarvex10/platform.h"

namespace tvx::fuzz {

namespace fs = std::filesystem;

namespace {

std::string *work_dir = nullptr;

void RemoveWorkDir() {
    if (!work_dir) return;
    std::error_code ignored;
    fs::remove_all(*work_dir, ignored);
}

IoCounters counters;

ssize_t CountingRead(int fd, void *buffer, size_t count, off_t offset) {
    ++counters.read_calls;
    counters.read_bytes += count;
    const bool over_budget =
        counters.read_budget >= 0 && counters.read_bytes > static_cast<uint64_t>(counters.read_budget);
    if (over_budget || (counters.fail_reads_from != 0 && counters.read_calls >= counters.fail_reads_from)) {
        counters.read_failed = true;
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buffer, count, offset);
}

ssize_t CountingWrite(int fd, const void *bytes, size_t count) {
    if (counters.write_budget >= 0) {
        // The disk takes write_budget bytes: a write that does not fit is cut
        // short, the next one fails, as write(2) does on a full disk.
        const auto budget = static_cast<uint64_t>(counters.write_budget);
        if (counters.write_bytes >= budget) {
            counters.write_failed = true;
            errno = ENOSPC;
            return -1;
        }
        count = std::min<uint64_t>(count, budget - counters.write_bytes);
    }
    const ssize_t n = ::write(fd, bytes, count);
    if (n > 0) counters.write_bytes += static_cast<uint64_t>(n);
    return n;
}

void NoMessageBox(void *, const char *, const char *) {}

} // namespace

const std::string &WorkDir() {
    if (!work_dir) {
        char pattern[] = "/tmp/tvx_fuzz_XXXXXX";
        if (!mkdtemp(pattern)) Fail("mkdtemp");
        work_dir = new std::string(pattern);
        std::atexit(RemoveWorkDir);
    }
    return *work_dir;
}

std::string TargetDir(const char *name) {
    const std::string dir = WorkDir() + "/" + name;
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    return dir;
}

void ClearDir(const std::string &dir, std::initializer_list<std::string_view> keep) {
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(dir, ignored)) {
        const std::string name = entry.path().filename();
        bool kept = false;
        for (std::string_view k : keep) kept = kept || name == k;
        if (!kept) fs::remove_all(entry.path(), ignored);
    }
}

void WriteFile(const std::string &path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("cannot write a fuzz input file", path);
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void QuietMessageBoxes() { TvxSetMessageBoxHandler(&NoMessageBox, nullptr); }

IoCounters &Io() { return counters; }

void ResetIo() {
    static const bool installed = [] {
        files::SetIo({&CountingRead, &CountingWrite});
        return true;
    }();
    (void)installed;
    counters = IoCounters{};
}

void CloseAllFileNumbers() {
    for (int16_t number = 1; number <= files::kMaxFileNumber; ++number) files::Close(number);
}

void Fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "\n*** fuzz check failed: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace tvx::fuzz
