// Faults injected through the platform seams: a disk that fills up, reads
// that start failing, writes and reads cut short or interrupted, a registry
// whose replacement cannot be written, and a media file that vanishes or
// changes under an open device.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "services/binary_file.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

namespace tvx::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr HRESULT Status(int number) { return static_cast<HRESULT>(0x800A0000u | static_cast<uint32_t>(number)); }
constexpr HRESULT kDiskFull = Status(61), kDeviceIoError = Status(57);

Bytes ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const fs::path &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
std::string Source(const char *name) { return std::string(TVX_SOURCE_DIR) + "/tests/data/" + name; }

// What the injected system calls do, shared with the plain functions below.
struct Faults {
    int64_t disk_left = -1;     // bytes the disk still takes; negative: no limit
    int64_t reads_left = -1;    // reads that still succeed; negative: no limit
    size_t largest_write = 0;   // a write gets at most this many bytes; 0: all
    size_t largest_read = 0;    // a read gets at most this many bytes; 0: all
    bool interrupt_next = false; // every other call fails with EINTR first
    int reads = 0, writes = 0;
};
Faults faults;

ssize_t FaultyRead(int fd, void *buffer, size_t count, off_t offset) {
    if (faults.interrupt_next) {
        faults.interrupt_next = false;
        errno = EINTR;
        return -1;
    }
    faults.interrupt_next = faults.largest_read != 0;
    ++faults.reads;
    if (faults.reads_left == 0) {
        errno = EIO;
        return -1;
    }
    if (faults.reads_left > 0) --faults.reads_left;
    if (faults.largest_read) count = std::min(count, faults.largest_read);
    return ::pread(fd, buffer, count, offset);
}

ssize_t FaultyWrite(int fd, const void *bytes, size_t count) {
    if (faults.interrupt_next) {
        faults.interrupt_next = false;
        errno = EINTR;
        return -1;
    }
    faults.interrupt_next = faults.largest_write != 0;
    ++faults.writes;
    if (faults.largest_write) count = std::min(count, faults.largest_write);
    if (faults.disk_left >= 0) {
        if (faults.disk_left == 0) {
            errno = ENOSPC;
            return -1;
        }
        count = std::min<size_t>(count, static_cast<size_t>(faults.disk_left));
    }
    const ssize_t n = ::write(fd, bytes, count);
    if (n > 0 && faults.disk_left > 0) faults.disk_left -= n;
    return n;
}

void Quiet(void *, const char *, const char *) {}

class CutterFaults : public ::testing::Test {
protected:
    CutterFaults() {
        char pattern[] = "/tmp/tvx_reliability_XXXXXX";
        dir_ = mkdtemp(pattern);
        TvxSetMessageBoxHandler(&Quiet, nullptr);
        previous_ = files::SetIo({&FaultyRead, &FaultyWrite});
        faults = Faults{};
    }
    ~CutterFaults() override {
        files::SetIo(previous_);
        // A failed cut leaves its two file numbers open; they are ours to close.
        for (int16_t number = 1; number <= files::kMaxFileNumber; ++number) files::Close(number);
        TvxSetMessageBoxHandler(nullptr, nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    ComPtr<_clsKwVidoCutVideoA> NewCutter() {
        return ComPtr<_clsKwVidoCutVideoA>::Attach(reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
    }
    HRESULT Cut(const fs::path &in, const fs::path &out, LONG from, LONG to, LONG total) {
        auto cutter = NewCutter();
        Bstr a(convert::FromUtf8(in.string())), b(convert::FromUtf8(out.string()));
        SHORT result = -1;
        return cutter->CutVideo(a.Get(), b.Get(), from, to, total, &result);
    }
    // A copy of a sample file in our folder, and its modification time.
    fs::path Input(const char *sample) {
        const fs::path path = dir_ / sample;
        fs::copy_file(Source(sample), path, fs::copy_options::overwrite_existing);
        return path;
    }

    fs::path dir_;
    files::Io previous_{};
};

struct Sample {
    const char *name;
    LONG from, to, total;
};
constexpr Sample kSamples[] = {{"system_ffmpeg.mpg", 1, 4, 6}, {"elementary_ffmpeg.m1v", 1, 3, 5}};

// Catches: a full disk at any point of a cut reported as success or as
// another error, or a failed cut touching its input.
TEST_F(CutterFaults, DiskFullAnywhereEndsTheCutAndLeavesTheInput) {
    for (const Sample &s : kSamples) {
        SCOPED_TRACE(s.name);
        const fs::path in = Input(s.name);
        const Bytes original = ReadFile(in);
        const auto stamp = fs::last_write_time(in);
        ASSERT_EQ(Cut(in, dir_ / "whole", s.from, s.to, s.total), S_OK);
        const Bytes whole = ReadFile(dir_ / "whole");
        ASSERT_GT(whole.size(), 20000u);
        for (const size_t room : {size_t{0}, size_t{1}, size_t{11}, size_t{12}, whole.size() / 2, whole.size() - 1}) {
            SCOPED_TRACE(room);
            faults = Faults{};
            faults.disk_left = static_cast<int64_t>(room);
            EXPECT_EQ(Cut(in, dir_ / "out", s.from, s.to, s.total), kDiskFull);
            faults = Faults{};
            EXPECT_EQ(ReadFile(in), original);
            EXPECT_EQ(fs::last_write_time(in), stamp);
            // What did reach the disk is the head of the whole cut.
            const Bytes partial = ReadFile(dir_ / "out");
            EXPECT_EQ(partial.size(), room);
            EXPECT_TRUE(std::equal(partial.begin(), partial.end(), whole.begin()));
        }
        // Exactly enough room is no failure.
        faults.disk_left = static_cast<int64_t>(whole.size());
        EXPECT_EQ(Cut(in, dir_ / "out", s.from, s.to, s.total), S_OK);
        faults = Faults{};
        EXPECT_EQ(ReadFile(dir_ / "out"), whole);
    }
}

// Catches: reads that start failing part-way through a cut ending in
// anything but the device error (or, when init met the failure, its
// message and an ordinary end), or touching the input.
TEST_F(CutterFaults, FailingReadsEndTheCutWithTheirStatus) {
    for (const Sample &s : kSamples) {
        SCOPED_TRACE(s.name);
        const fs::path in = Input(s.name);
        const Bytes original = ReadFile(in);
        ASSERT_EQ(Cut(in, dir_ / "whole", s.from, s.to, s.total), S_OK);
        const int reads = faults.reads;
        ASSERT_GT(reads, 4);
        int failed = 0;
        for (int good = 0; good < reads; ++good) {
            SCOPED_TRACE(good);
            faults = Faults{};
            faults.reads_left = good;
            const HRESULT status = Cut(in, dir_ / "out", s.from, s.to, s.total);
            faults = Faults{};
            EXPECT_TRUE(status == kDeviceIoError || status == S_OK) << std::hex << status;
            failed += status == kDeviceIoError;
            EXPECT_EQ(ReadFile(in), original);
        }
        EXPECT_GT(failed, reads / 2) << "most failed reads end the cut";
    }
}

// Catches: a scanner or header reader that swallows a failed read, or
// reports it as anything but the device error.
TEST_F(CutterFaults, EveryReadingMemberEndsWithTheReadStatus) {
    const fs::path in = Input("system_ffmpeg.mpg");
    auto cutter = NewCutter();
    Bstr path(convert::FromUtf8(in.string()));
    ASSERT_EQ(cutter->init(path.Get()), S_OK);
    faults.reads_left = 0;
    // Offsets far from the window, so that each member must read.
    constexpr LONG kFar = 300000;
    LONG off = kFar, a = 0, b = 0;
    BYTE mark = 0;
    SHORT found = 0;
    double x = 0, y = 0;
    const std::vector<std::pair<const char *, HRESULT>> statuses = {
        {"FillBuffer", cutter->FillBuffer(kFar, &found)},
        {"GetByte", cutter->GetByte(kFar, &mark)},
        {"GetSize", cutter->GetSize(kFar, &a)},
        {"FindNextMarker", (off = kFar, cutter->FindNextMarker(&off, &mark, &found))},
        {"FindNext", (off = kFar, cutter->FindNext(&off, 0xB8, &found))},
        {"FindMark", (off = kFar, cutter->FindMark(&off, &mark, &found))},
        {"EnsureMarker", (off = kFar, cutter->EnsureMarker(&off, &mark, &found))},
        {"FindVideoSeqHeader", (off = kFar, cutter->FindVideoSeqHeader(&off, &found))},
        {"BackwardFindBoundaries", cutter->BackwardFindBoundaries(kFar, &a, &b, &found)},
        {"ReadPacketTS", (off = kFar, cutter->ReadPacketTS(&off, &x, &y, &found))},
        {"ReadTimeStamp", cutter->ReadTimeStamp(kFar, &x, &found)},
        {"ReadGOPHeader", cutter->ReadGOPHeader(kFar, &x)},
        {"ParseVidSeq", (off = kFar, cutter->ParseVidSeq(&off))},
    };
    for (const auto &[name, status] : statuses) EXPECT_EQ(status, kDeviceIoError) << name;
    faults = Faults{};
    EXPECT_EQ(cutter->FillBuffer(kFar, &found), S_OK) << "the object works on once reads work";
}

// Catches: writes or reads cut short, or interrupted by a signal, taken for
// failures or losing bytes: the cut must come out the same.
TEST_F(CutterFaults, ShortAndInterruptedCallsChangeNothing) {
    for (const Sample &s : kSamples) {
        SCOPED_TRACE(s.name);
        const fs::path in = Input(s.name);
        ASSERT_EQ(Cut(in, dir_ / "whole", s.from, s.to, s.total), S_OK);
        const Bytes whole = ReadFile(dir_ / "whole");
        faults.largest_write = 1000;
        faults.largest_read = 777;
        faults.interrupt_next = true;
        EXPECT_EQ(Cut(in, dir_ / "out", s.from, s.to, s.total), S_OK);
        faults = Faults{};
        EXPECT_EQ(ReadFile(dir_ / "out"), whole);
    }
}

// ---- the registry -------------------------------------------------------------------------

// Holds the process's file size limit at `bytes` while it lives; a write past
// it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_handler_);
    }

private:
    rlimit saved_{};
    void (*previous_handler_)(int) = nullptr;
};

// Catches: a registry change whose write fails part-way damaging or
// replacing the registry that was there, or leaving its temporary file.
TEST(RegistryFaults, FailedWriteKeepsThePreviousFileWhole) {
    char pattern[] = "/tmp/tvx_registry_XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const fs::path path = dir / "registry";
    ASSERT_EQ(TvxRegistrySetPath(path.c_str()), S_OK);
    const std::string big(3000, 'v');
    const TVXREGVALUE first[] = {{"CLSID\\{1}", "", "one"}, {"CLSID\\{1}\\InprocServer32", "", big.c_str()}};
    ASSERT_EQ(TvxRegistryWrite(first, 2), S_OK);
    const Bytes before = ReadFile(path);
    ASSERT_GT(before.size(), 3000u);

    const std::string bigger(20000, 'w');
    const TVXREGVALUE second[] = {{"CLSID\\{2}", "", bigger.c_str()}};
    const TVXREGVALUE removal[] = {{"CLSID\\{1}", "", nullptr}};
    {
        // The new file cannot reach its full size: the write fails midway.
        FileSizeLimit limit(before.size() + 100);
        EXPECT_EQ(TvxRegistryWrite(second, 1), REGDB_E_WRITEREGDB);
    }
    EXPECT_EQ(ReadFile(path), before);
    {
        // Not a byte can be written: even a smaller file cannot replace it.
        FileSizeLimit limit(0);
        EXPECT_EQ(TvxRegistryRemove(removal, 1), REGDB_E_WRITEREGDB);
    }
    EXPECT_EQ(ReadFile(path), before);
    char value[16] = {};
    EXPECT_EQ(TvxRegistryRead("CLSID\\{1}", "", value, sizeof value), S_OK);
    EXPECT_STREQ(value, "one");
    size_t entries = 0;
    for (const auto &entry : fs::directory_iterator(dir)) entries += entry.path() != path;
    EXPECT_EQ(entries, 0u) << "a temporary file was left behind";
    TvxRegistrySetPath(nullptr);
    fs::remove_all(dir);
}

// ---- the media control interpreter ------------------------------------------------------

std::string Send(const std::string &command, MCIERROR *code = nullptr) {
    char reply[256] = {};
    const MCIERROR result = mciSendStringA(command.c_str(), reply, sizeof reply, nullptr);
    if (code) *code = result;
    return reply;
}

// Catches: a device that reads its file after open crashing, or answering
// with garbage, once the file is gone, emptied or replaced by a directory;
// and a reopen that finds the vanished file.
TEST(InterpreterFaults, DeviceSurvivesItsFileVanishing) {
    char pattern[] = "/tmp/tvx_vanish_XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    TvxSetMciHandler(nullptr, nullptr);
    const std::vector<std::string> commands = {
        "status v length", "status v position", "status v mode", "set v time format frames", "status v length",
        "play v from 0 to 10", "pause v", "resume v", "stop v", "seek v to end", "step v by -2",
        "seek v to start", "where v source", "where v destination", "put v window at 1 2 300 200",
        "window v state hide", "info v file", "capability v can play", "set v speed 500", "setaudio v volume to 10",
        "status v frame rate", "sysinfo v installname"};
    struct Change {
        const char *name;
        void (*apply)(const fs::path &);
    } const changes[] = {
        {"removed", [](const fs::path &file) { fs::remove(file); }},
        {"emptied", [](const fs::path &file) { fs::resize_file(file, 0); }},
        {"replaced by a directory", [](const fs::path &file) {
             fs::remove(file);
             fs::create_directory(file);
         }},
        {"replaced by other bytes", [](const fs::path &file) { WriteFile(file, Bytes(5000, 0xFF)); }},
        {"folder removed", [](const fs::path &file) { fs::remove_all(file.parent_path()); }},
    };
    for (const Change &change : changes) {
        SCOPED_TRACE(change.name);
        const fs::path sub = dir / "sub";
        fs::create_directories(sub);
        const fs::path file = sub / "clip.mpg";
        fs::copy_file(Source("system_ffmpeg.mpg"), file, fs::copy_options::overwrite_existing);
        MCIERROR code = 1;
        Send("open \"" + file.string() + "\" type mpegvideo alias v", &code);
        ASSERT_EQ(code, 0u);
        const std::string length = Send("status v length");
        change.apply(file);
        for (const std::string &command : commands) {
            Send(command, &code);
            EXPECT_EQ(code, 0u) << command;
        }
        EXPECT_EQ(Send("set v time format milliseconds"), "");
        EXPECT_EQ(Send("status v length"), length) << "the device keeps what it measured at open";
        Send("close v", &code);
        EXPECT_EQ(code, 0u);
        Send("open \"" + file.string() + "\" type mpegvideo alias v", &code);
        EXPECT_NE(code, 0u) << "the changed file opens again";
        Send("close all");
        std::error_code ignored;
        fs::remove_all(sub, ignored);
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace tvx::testing
