// What the fuzz entry points share: a reader that draws values from the
// input, a private working folder, quiet message boxes, counters on the
// binary-file seam, and a failure that stops the run loudly.
//
// The entry points are plain functions so that the ordinary build can replay
// saved inputs through them (tests/fuzz); fuzz/libfuzzer_main.cpp turns each
// into a libFuzzer target.
#ifndef TVX_FUZZ_SUPPORT_H
#define TVX_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tvx::fuzz {

// Hands out the input's bytes front to back; past the end everything reads
// as zero, so every draw is defined for every input.
class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    size_t Remaining() const { return size_ - pos_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool Bool() { return Byte() & 1; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint64_t U64() { return U32() | static_cast<uint64_t>(U32()) << 32; }
    double Double() {
        const uint64_t bits = U64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A number below `bound` (bound > 0).
    uint32_t Below(uint32_t bound) { return U32() % bound; }
    // Up to `max` bytes, ended early by a 0 byte (which is consumed).
    std::string Text(size_t max) {
        std::string text;
        while (text.size() < max && pos_ < size_) {
            const char c = static_cast<char>(data_[pos_++]);
            if (c == '\0') break;
            text.push_back(c);
        }
        return text;
    }
    std::string_view Rest() {
        std::string_view rest(reinterpret_cast<const char *>(data_) + pos_, size_ - pos_);
        pos_ = size_;
        return rest;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// A folder of our own, made on first use and removed when the process ends;
// fuzzed file names are kept inside it, one subfolder per target.
const std::string &WorkDir();
// WorkDir()/name, made when missing.
std::string TargetDir(const char *name);
// Removes everything in `dir` except the names listed.
void ClearDir(const std::string &dir, std::initializer_list<std::string_view> keep = {});
void WriteFile(const std::string &path, std::string_view bytes);
std::string ReadWholeFile(const std::string &path);

// Message boxes go nowhere.
void QuietMessageBoxes();

// Counts what goes through the binary-file seam, and can make reads fail
// (from the n-th call on, or once a number of bytes was asked for) or the
// disk fill up after a number of bytes.
struct IoCounters {
    uint64_t read_calls = 0;
    uint64_t read_bytes = 0;
    uint64_t write_bytes = 0;
    uint64_t fail_reads_from = 0; // the call that fails first; 0: none
    int64_t read_budget = -1;     // bytes; negative: unlimited
    int64_t write_budget = -1;    // bytes the disk takes; negative: unlimited
    bool read_failed = false;
    bool write_failed = false;
};
IoCounters &Io();
// Installs the counting seam (once) and zeroes the counters.
void ResetIo();

// Closes every file number the process holds.
void CloseAllFileNumbers();

[[noreturn]] void Fail(const char *what, const std::string &detail = {});
#define TVX_FUZZ_CHECK(condition, detail)                                                                      \
    do {                                                                                                       \
        if (!(condition)) ::tvx::fuzz::Fail(#condition, detail);                                               \
    } while (0)

// The entry points, one per target: 0 always (libFuzzer's convention).
int FuzzCutter(const uint8_t *data, size_t size);
int FuzzMci(const uint8_t *data, size_t size);
int FuzzInvoke(const uint8_t *data, size_t size);
int FuzzConvert(const uint8_t *data, size_t size);

} // namespace tvx::fuzz

#endif // TVX_FUZZ_SUPPORT_H
