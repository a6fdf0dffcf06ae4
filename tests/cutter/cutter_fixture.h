// What the cutter's tests share: a cutter driven through its early-bound
// interface, a private folder for files, the message boxes it showed, a
// count of the reads it made, and builders of MPEG-1 byte fixtures.
#ifndef TVX_TESTS_CUTTER_FIXTURE_H
#define TVX_TESTS_CUTTER_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/registry.h"
#include "convert/convert.h"
#include "cutter/cutter.h"
#include "services/binary_file.h"
#include "tarvex10/tarvex10.h"

namespace tvx::testing {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

inline Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes Fill(size_t n, uint8_t value = 0x55) { return Bytes(n, value); }
inline Bytes Code(uint8_t code) { return {0, 0, 1, code}; }
// A 12-byte MPEG-1 pack header.
inline Bytes Pack() { return Code(0xBA) + Bytes{0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91}; }
// A 12-byte sequence header with frame-rate code `rate` (352x288).
inline Bytes Sequence(uint8_t rate = 3) { return Code(0xB3) + Bytes{0x16, 0x01, 0x20, uint8_t(0x10 | rate), 0xFF, 0xFF, 0xE0, 0x18}; }
// A GOP header with time-code bytes b0..b3.
inline Bytes Gop(Bytes time = {0x00, 0x08, 0x00, 0x40}) { return Code(0xB8) + time; }
// A PTS (prefix 0010) of `ticks` 90 kHz ticks.
inline Bytes Pts(uint64_t t, uint8_t prefix = 0x20) {
    return {uint8_t(prefix | ((t >> 29) & 0x0E) | 1), uint8_t(t >> 22), uint8_t(((t >> 14) & 0xFE) | 1), uint8_t(t >> 7),
            uint8_t(((t << 1) & 0xFE) | 1)};
}
// A video packet: start code, length, then `header` (stuffing, buffer size,
// time stamps or 0x0F) and `payload`.
inline Bytes VideoPacket(const Bytes &header, const Bytes &payload) {
    const size_t n = header.size() + payload.size();
    return Code(0xE0) + Bytes{uint8_t(n >> 8), uint8_t(n)} + header + payload;
}

inline std::u16string U16(const std::string &s) { return convert::FromUtf8(s); }

inline Bytes ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline Bytes Slice(const Bytes &b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

class CutterTest : public ::testing::Test {
protected:
    CutterTest() {
        char pattern[] = "/tmp/tvx_cutter_XXXXXX";
        dir_ = mkdtemp(pattern);
        TvxSetMessageBoxHandler(&Capture, this);
        previous_io_ = files::SetIo({&CountedRead, nullptr});
        reads_ = 0;
        NewCutter();
    }
    ~CutterTest() override {
        files::SetIo(previous_io_);
        TvxSetMessageBoxHandler(nullptr, nullptr);
        cut_ = nullptr;
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void NewCutter() {
        cut_ = ComPtr<_clsKwVidoCutVideoA>::Attach(reinterpret_cast<_clsKwVidoCutVideoA *>(CutVideoClass().create()));
    }
    _clsKwVidoCutVideoA *Cut() { return cut_.Get(); }

    std::string Path(const std::string &name) const { return dir_ + "/" + name; }
    std::string Write(const std::string &name, const Bytes &bytes) {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    // Opens `bytes` as the cutter's input without parsing it: FileSize, Infd
    // and a first window as init leaves them.
    void OpenInput(const Bytes &bytes) {
        const std::string path = Write("input.bin", bytes);
        const int16_t fd = files::FreeFile();
        files::OpenForRead(fd, U16(path));
        opened_.push_back(fd);
        ASSERT_EQ(Cut()->put_FileSize(static_cast<LONG>(bytes.size())), S_OK);
        ASSERT_EQ(Cut()->put_Infd(fd), S_OK);
    }
    void CloseInputs() {
        for (int16_t fd : opened_) files::Close(fd);
        opened_.clear();
    }

    template <class T, class Getter> T Get(Getter getter) {
        T value{};
        EXPECT_EQ((Cut()->*getter)(&value), S_OK);
        return value;
    }
    LONG Long(HRESULT (_clsKwVidoCutVideoA::*getter)(LONG *)) { return Get<LONG>(getter); }
    SHORT Short(HRESULT (_clsKwVidoCutVideoA::*getter)(SHORT *)) { return Get<SHORT>(getter); }
    double Real(HRESULT (_clsKwVidoCutVideoA::*getter)(double *)) { return Get<double>(getter); }

    HRESULT CutVideo(const std::string &in, const std::string &out, LONG from, LONG to, LONG total) {
        Bstr a(U16(in)), b(U16(out));
        SHORT result = -1;
        const HRESULT status = Cut()->CutVideo(a.Get(), b.Get(), from, to, total, &result);
        EXPECT_EQ(result, 0);
        return status;
    }
    void Init(const std::string &path) {
        Bstr a(U16(path));
        EXPECT_EQ(Cut()->init(a.Get()), S_OK);
    }

    std::vector<std::string> messages_;
    std::vector<std::string> titles_;
    static inline int reads_ = 0;

private:
    static void Capture(void *context, const char *text, const char *title) {
        auto *self = static_cast<CutterTest *>(context);
        self->messages_.push_back(text);
        self->titles_.push_back(title ? title : "<default>");
    }
    static ssize_t CountedRead(int fd, void *buffer, size_t count, off_t offset) {
        static_assert(Cutter::kFirstScanSpan > 16384, "a span's read would count as a refill");
        if (count == 16384) ++reads_; // the first read of each refill
        return ::pread(fd, buffer, count, offset);
    }

    std::string dir_;
    ComPtr<_clsKwVidoCutVideoA> cut_;
    std::vector<int16_t> opened_;
    files::Io previous_io_{};
};

// Truncates the input once a read reaches `at`, as another process might.
struct Shrinker {
    static inline std::string path;
    static inline off_t at = 0, to = 0;
    static inline bool done = false;
    static ssize_t Read(int fd, void *buffer, size_t count, off_t offset) {
        if (!done && offset >= at) {
            done = true;
            if (::truncate(path.c_str(), to) != 0) return -1;
        }
        return ::pread(fd, buffer, count, offset);
    }
};

constexpr HRESULT Status(int number) { return static_cast<HRESULT>(0x800A0000u | static_cast<uint32_t>(number)); }

} // namespace tvx::testing

#endif // TVX_TESTS_CUTTER_FIXTURE_H
