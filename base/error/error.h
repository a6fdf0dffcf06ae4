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

// Error numbers raised by members of this library, each with when it is
// raised.
enum ErrorNumber : int32_t {
    kInvalidArgument = 5,        // a text operation got a position or length outside its range
    kOverflow = 6,               // a number does not fit the type it is converted to or computed in
    kOutOfMemory = 7,            // an allocation failed inside a member
    kSubscriptOutOfRange = 9,    // an index outside an array (the cutter's frame-rate table)
    kDivisionByZero = 11,        // an integer division or remainder by zero
    kTypeMismatch = 13,          // a text that is not a number went through a strict conversion
    kBadFileNameOrNumber = 52,   // a file number that names no open file
    kFileNotFound = 53,          // a file opened for reading does not exist
    kBadFileMode = 54,           // a read from a file open for writing, or a write to one open for reading
    kFileAlreadyOpen = 55,       // an open under a file number that is in use
    kDeviceIoError = 57,         // a read or write failed in the system
    kDiskFull = 61,              // a write found no space left
    kBadRecordNumber = 63,       // a file read at a position of 0 or less
    kTooManyFiles = 67,          // no free file number from 1 to 255
    kPermissionDenied = 70,      // the system refused access to a file
    kPathFileAccessError = 75,   // a path that names a folder, or another access failure
    kPathNotFound = 76,          // a folder on the path does not exist
    kObjectNotSet = 91,          // a late-bound call on no object
    kResourceNotFound = 326,     // a resource the library looks up is missing
    kCannotCreateObject = 429,   // no registered class under a programmatic identifier, or it failed
    kMethodNotSupported = 438,   // a late-bound call names a member the object does not have
    kArgumentNotOptional = 449,  // a late-bound call leaves out a parameter that must be given
    kWrongArgumentCount = 450,   // a late-bound call passes too many or too few arguments
};

// 0x800A0000 + n: the status of an error raised inside a member.
[[nodiscard]] constexpr HRESULT MakeControlError(int32_t number) {
    return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}
// True for a status that MakeControlError gives.
[[nodiscard]] constexpr bool IsControlError(HRESULT status) {
    return (static_cast<uint32_t>(status) & 0xFFFF0000u) == 0x800A0000u;
}
// The error number of a status for which IsControlError holds.
[[nodiscard]] constexpr int32_t ControlErrorNumber(HRESULT status) {
    return static_cast<int32_t>(static_cast<uint32_t>(status) & 0xFFFFu);
}
static_assert(MakeControlError(kOverflow) == static_cast<HRESULT>(0x800A0006u));
static_assert(IsControlError(MakeControlError(kWrongArgumentCount)) && !IsControlError(E_FAIL));
static_assert(ControlErrorNumber(MakeControlError(kWrongArgumentCount)) == kWrongArgumentCount);

// The platform's wording for a raised error number.
[[nodiscard]] inline std::u16string_view StandardDescription(int32_t number) {
    switch (number) {
    case kInvalidArgument: return u"Invalid procedure call or argument";
    case kOverflow: return u"Overflow";
    case kOutOfMemory: return u"Out of memory";
    case kSubscriptOutOfRange: return u"Subscript out of range";
    case kDivisionByZero: return u"Division by zero";
    case kTypeMismatch: return u"Type mismatch";
    case kBadFileNameOrNumber: return u"Bad file name or number";
    case kFileNotFound: return u"File not found";
    case kBadFileMode: return u"Bad file mode";
    case kFileAlreadyOpen: return u"File already open";
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
    case kArgumentNotOptional: return u"Argument not optional";
    case kWrongArgumentCount: return u"Wrong number of arguments or invalid property assignment";
    default: return u"Application-defined or object-defined error";
    }
}

class RaisedError : public std::exception {
public:
    explicit RaisedError(int32_t number, std::u16string description = {}, std::u16string source = {})
        : number_(number),
          description_(description.empty() ? std::u16string(StandardDescription(number)) : std::move(description)),
          source_(std::move(source)) {}

    [[nodiscard]] int32_t Number() const { return number_; }
    [[nodiscard]] HRESULT Status() const { return MakeControlError(number_); }
    [[nodiscard]] const std::u16string &Description() const { return description_; }
    [[nodiscard]] const std::u16string &Source() const { return source_; }
    const char *what() const noexcept override { return "raised error"; }

private:
    int32_t number_;
    std::u16string description_;
    std::u16string source_;
};

class FailedStatus : public std::exception {
public:
    explicit FailedStatus(HRESULT status) : status_(status) {}
    [[nodiscard]] HRESULT Status() const { return status_; }
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
