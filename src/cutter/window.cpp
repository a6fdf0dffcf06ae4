// The read window and the start-code scanners.
//
// Every byte the cutter looks at comes through one 16384-byte window. The
// scanners give exactly the results of a byte-by-byte walk through GetByte
// (member values, EoF, and the window as the walk's last refill leaves it)
// but search inside the window with vector compares (start_codes.h). A
// window whose members a client has changed (start, EndO, Buffer) is walked
// byte by byte.
//
// The walk refills at every 16369th position. Once two windows in a row held
// no code, the code is likely far: the search goes on in large spans of the
// input, and of the walk's refills only the last one, the only one that can
// be seen afterwards, is made.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "convert/convert.h"
#include "cutter/cutter.h"
#include "cutter/start_codes.h"
#include "mpeg1/mpeg1.h"
#include "services/binary_file.h"

namespace tvx {

using convert::CheckedAdd;
using convert::CheckedSub;

void Cutter::FreeWindow::operator()(uint8_t *p) const { std::free(p); }

// Page-aligned: reads into an unaligned buffer were measured several times
// slower.
void Cutter::Allocate(WindowBytes &window, size_t size) {
    if (window) return;
    void *p = std::aligned_alloc(4096, size);
    if (!p) throw std::bad_alloc();
    window.reset(static_cast<uint8_t *>(p));
}

uint8_t *Cutter::Window() {
    Allocate(window_, kWindowSize);
    return window_.get();
}

int32_t Cutter::WindowEnd(int32_t start) {
    return static_cast<int32_t>(std::min<int64_t>(int64_t{start} + kWindowSize, std::numeric_limits<int32_t>::max()));
}

bool Cutter::WindowIsPlain() const { return !window_is_text_ && EndO == WindowEnd(start); }

std::u16string Cutter::get_Buffer() {
    if (window_is_text_) return buffer_text_;
    const uint8_t *w = Window();
    return std::u16string(w, w + kWindowSize);
}

void Cutter::put_Buffer(std::u16string value) {
    buffer_text_ = std::move(value);
    window_is_text_ = true;
}

size_t Cutter::Refill(int32_t off) {
    // Read into the spare window and swap, so that a read failing part-way
    // leaves the window's bytes as they were.
    Allocate(spare_, kWindowSize);
    const size_t got = files::ReadAt(Infd, int64_t{off} + 1, spare_.get(), kWindowSize);
    std::swap(window_, spare_);
    window_is_text_ = false;
    buffer_text_.clear();
    start = off;
    EndO = WindowEnd(off);
    return got;
}

uint8_t Cutter::ByteAt(int32_t off) {
    if (start <= off && off < EndO) {
        const int32_t k = CheckedSub(off, start);
        if (window_is_text_) {
            // A text that a client stored: a character past its end is an
            // invalid argument, one above 0xFF reads as '?'.
            if (static_cast<size_t>(k) >= buffer_text_.size()) Raise(kInvalidArgument);
            const char16_t c = buffer_text_[static_cast<size_t>(k)];
            return c <= 0xFF ? static_cast<uint8_t>(c) : uint8_t{'?'};
        }
        if (k >= kWindowSize) Raise(kInvalidArgument);
        return Window()[k];
    }
    Refill(off);
    return Window()[0];
}

bool Cutter::StepRefills(int32_t off) const { return !(start <= off && off < EndO); }

int16_t Cutter::FillBuffer(int32_t off) {
    Refill(off);
    return 1;
}

uint8_t Cutter::GetByte(int32_t off) { return ByteAt(off); }

int32_t Cutter::GetSize(int32_t off) {
    const int32_t high = CallMember<&Cutter::GetByte>(*this, off);
    const int32_t low = CallMember<&Cutter::GetByte>(*this, CheckedAdd(off, 1));
    return 256 * high + low;
}

namespace {

bool IsPackOrSequence(uint8_t code) {
    return code == mpeg1::kPackStartCode || code == mpeg1::kSequenceHeaderCode;
}

// The distance between two refills of a forward walk.
constexpr int32_t kStep = Cutter::kScanMargin + 1;

} // namespace

int16_t Cutter::ScanForward(ByRef<int32_t> &off, Scan kind, uint8_t code, ByRef<uint8_t> *mark) {
    int32_t i = off;
    const int32_t limit = CheckedSub(FileSize, 3);
    if (i >= limit) {
        EoF = 1;
        return 0;
    }
    const start_codes::Test test = kind == Scan::OneCode  ? start_codes::Test::Equals
                                   : kind == Scan::AnyCode ? start_codes::Test::Any
                                                           : start_codes::Test::PackOrSequence;
    // Windows searched whole without a code, and whether the input can be
    // read ahead of the window.
    int empty_windows = 0;
    bool read_ahead = true;
    bool found = false;
    while (!found) {
        if (CheckedSub(i, start) > kScanMargin) {
            // A code in the next window or two is common; a span read for it
            // would cost more than the refills.
            if (empty_windows >= 2 && read_ahead) {
                const std::optional<int32_t> last = LastRefillAhead(i, limit, test, code);
                read_ahead = last.has_value();
                i = last.value_or(i);
            }
            Refill(i);
        }
        if (WindowIsPlain() && i >= start) {
            // Positions i to `last` and the three bytes after each are in the
            // window, so the walk would make no refill before `last` + 1.
            const auto last = static_cast<int32_t>(std::min<int64_t>(int64_t{start} + kScanMargin, limit - 1));
            const uint8_t *w = Window();
            const uint8_t *p = start_codes::Find(w + (i - start), w + (last - start), test, code);
            if (p) {
                i = start + static_cast<int32_t>(p - w);
                found = true;
            } else {
                i = last + 1;
                ++empty_windows;
            }
        } else {
            const uint8_t b0 = ByteAt(i);
            const uint8_t b1 = ByteAt(CheckedAdd(i, 1));
            const uint8_t b2 = ByteAt(CheckedAdd(i, 2));
            const uint8_t b3 = kind == Scan::AnyCode ? 0 : ByteAt(CheckedAdd(i, 3));
            if (b0 == 0 && b1 == 0 && b2 == 1) {
                found = kind == Scan::AnyCode || (kind == Scan::OneCode ? b3 == code : IsPackOrSequence(b3));
            }
            if (!found) i = i + 1;
        }
        if (!found && i >= limit) {
            EoF = 1;
            return 0;
        }
    }
    switch (kind) {
    case Scan::AnyCode:
        *mark = ByteAt(i + 3);
        off = i + 4;
        break;
    case Scan::OneCode: off = i + 4; break;
    case Scan::PackOrSequence:
        *mark = ByteAt(i + 3);
        off = i;
        break;
    }
    return 1;
}

// The window at the returned refill is searched again from its start: it
// holds the input as it is now, which decides, should the input have changed
// since its span was read.
std::optional<int32_t> Cutter::LastRefillAhead(int32_t next, int32_t limit, start_codes::Test test, uint8_t code) {
    std::optional<int32_t> code_at;
    try {
        code_at = SearchSpans(next, limit - 1, test, code);
    } catch (const RaisedError &) {
        // The walk, refill by refill, fails where it meets the fault.
        return std::nullopt;
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
    const int32_t reached = code_at.value_or(limit - 1);
    return next + (reached - next) / kStep * kStep;
}

uint8_t *Cutter::SpanBuffer() {
    Allocate(spans_, kPage + kCopySpan);
    return spans_.get() + kPage;
}

std::optional<int32_t> Cutter::SearchSpans(int32_t from, int32_t last, start_codes::Test test, uint8_t code) {
    // Spans start at page boundaries of the input and land on a page of the
    // buffer, the fastest reads; the last three bytes of a span go in front
    // of the next one, for the codes that begin in one and end in the next.
    // Growing spans read at most about twice the bytes up to the code.
    uint8_t *const bytes = SpanBuffer();
    int64_t span = kFirstScanSpan;
    for (int64_t at = int64_t{from} / kPage * kPage;; at += span, span = std::min<int64_t>(2 * span, kCopySpan)) {
        const size_t got = files::ReadAt(Infd, at + 1, bytes, static_cast<size_t>(span));
        const int64_t first = std::max<int64_t>(from, at - 3);
        const int64_t high = std::min<int64_t>(last, at + span - 4);
        if (first <= high) {
            const uint8_t *p = start_codes::Find(bytes + (first - at), bytes + (high - at), test, code);
            if (p) return static_cast<int32_t>(at + (p - bytes));
        }
        // A span that ends short of FileSize ends the input as read: only
        // 0x00 bytes follow, and no code begins in them.
        const bool input_ended = static_cast<int64_t>(got) < std::min<int64_t>(span, int64_t{FileSize} - at);
        if (high == last || input_ended) return std::nullopt;
        std::memcpy(bytes - 3, bytes + span - 3, 3);
    }
}

int16_t Cutter::FindNextMarker(ByRef<int32_t> off, ByRef<uint8_t> mark) {
    return ScanForward(off, Scan::AnyCode, 0, &mark);
}

int16_t Cutter::FindNext(ByRef<int32_t> off, uint8_t mark) { return ScanForward(off, Scan::OneCode, mark, nullptr); }

int16_t Cutter::FindMark(ByRef<int32_t> off, ByRef<uint8_t> mark) {
    return ScanForward(off, Scan::PackOrSequence, 0, &mark);
}

int16_t Cutter::EnsureMarker(ByRef<int32_t> off, ByRef<uint8_t> mark) {
    const uint8_t b0 = ByteAt(off);
    const uint8_t b1 = ByteAt(CheckedAdd(off, 1));
    const uint8_t b2 = ByteAt(CheckedAdd(off, 2));
    if (b0 != 0 || b1 != 0 || b2 != 1) return 0;
    mark = ByteAt(CheckedAdd(off, 3));
    off = CheckedAdd(off, 4);
    return 1;
}

std::optional<int32_t> Cutter::SearchBackward(int32_t from, int32_t lowest, uint8_t code) {
    int32_t high = from;
    while (high >= lowest) {
        // One block tests the positions b to high, each with its three
        // following bytes inside the block.
        const int32_t b = std::max(lowest, high - (kWindowSize - 4));
        Refill(b);
        const uint8_t *w = Window();
        const uint8_t *end = w + (high - b) + 4;
        while (end > w + 3) {
            const auto *q = static_cast<const uint8_t *>(memrchr(w + 3, code, static_cast<size_t>(end - (w + 3))));
            if (!q) break;
            if (q[-1] == 1 && q[-2] == 0 && q[-3] == 0) return b + static_cast<int32_t>(q - 3 - w);
            end = q;
        }
        if (b == lowest) break;
        high = b - 1;
    }
    return std::nullopt;
}

} // namespace tvx
