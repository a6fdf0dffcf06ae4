// The error model shared by every layer: the error numbers, the status of a
// raised error, and the two exceptions that carry a failure.
//
// A member body (or a conversion it calls) reports a failure by throwing one
// of two types, and the member boundary (GuardMember in the frame's
// member.h) turns it into the status the caller sees:
//   RaisedError   an error raised inside the member, with an error number
//                 below 65536; the status is 0x800A0000 + number, and the
//                 number, description and source go to the thread's error
//                 information.
//   FailedStatus  a failure status that an inner call returned; it travels
//                 on unchanged, with the error information the inner call
//                 left.
#ifndef TVX_BASE_ERROR_H
#define TVX_BASE_ERROR_H

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "tarvex10/automation.h"

namespace tvx {

// Error numbers raised by members of this library.
enum ErrorNumber : int32_t {
    kInvalidArgument = 5,       // a text operation got a position or length outside its range
    kOverflow = 6,              // a number does not fit the type it is converted to or computed in
    kOutOfMemory = 7,
    kDivisionByZero = 11,
    kTypeMismatch = 13,         // a text that is not a number went through a strict conversion
    kBadFileNameOrNumber = 52,  // a file number that names no open file
    kFileNotFound = 53,
    kBadFileMode = 54,
    kDeviceIoError = 57,
    kDiskFull = 61,
    kBadRecordNumber = 63,      // a file read at a position of 0 or less
    kTooManyFiles = 67,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kResourceNotFound = 326,
    kCannotCreateObject = 429,
    kMethodNotSupported = 438,
};

// 0x800A0000 + n: the status of an error raised inside a member.
constexpr HRESULT MakeControlError(int32_t number) {
    return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}
static_assert(MakeControlError(kOverflow) == static_cast<HRESULT>(0x800A0006u));

// The platform's wording for a raised error number.
inline std::u16string_view StandardDescription(int32_t number) {
    switch (number) {
    case kInvalidArgument: return u"Invalid procedure call or argument";
    case kOverflow: return u"Overflow";
    case kOutOfMemory: return u"Out of memory";
    case kDivisionByZero: return u"Division by zero";
    case kTypeMismatch: return u"Type mismatch";
    case kBadFileNameOrNumber: return u"Bad file name or number";
    case kFileNotFound: return u"File not found";
    case kBadFileMode: return u"Bad file mode";
    case kDeviceIoError: return u"Device I/O error";
    case kDiskFull: return u"Disk full";
    case kBadRecordNumber: return u"Bad record number";
    case kTooManyFiles: return u"Too many files";
    case kPermissionDenied: return u"Permission denied";
    case kPathFileAccessError: return u"Path/File access error";
    case kPathNotFound: return u"Path not found";
    case kObjectNotSet: return u"Object variable not set";
    case kResourceNotFound: return u"Resource not found";
    case kCannotCreateObject: return u"Component can't create object";
    case kMethodNotSupported: return u"Object doesn't support this property or method";
    default: return u"Application-defined or object-defined error";
    }
}

class RaisedError : public std::exception {
public:
    explicit RaisedError(int32_t number, std::u16string description = {}, std::u16string source = {})
        : number_(number),
          description_(description.empty() ? std::u16string(StandardDescription(number)) : std::move(description)),
          source_(std::move(source)) {}

    int32_t Number() const { return number_; }
    HRESULT Status() const { return MakeControlError(number_); }
    const std::u16string &Description() const { return description_; }
    const std::u16string &Source() const { return source_; }
    const char *what() const noexcept override { return "raised error"; }

private:
    int32_t number_;
    std::u16string description_;
    std::u16string source_;
};

class FailedStatus : public std::exception {
public:
    explicit FailedStatus(HRESULT status) : status_(status) {}
    HRESULT Status() const { return status_; }
    const char *what() const noexcept override { return "failed status"; }

private:
    HRESULT status_;
};

[[noreturn]] inline void Raise(int32_t number) { throw RaisedError(number); }
[[noreturn]] inline void Raise(int32_t number, std::u16string description) {
    throw RaisedError(number, std::move(description));
}

// Ends the calling member with `status` when it is a failure.
inline HRESULT Check(HRESULT status) {
    if (FAILED(status)) throw FailedStatus(status);
    return status;
}

} // namespace tvx

#endif // TVX_BASE_ERROR_H
