// The error numbers of the media control string interface. Callers compare
// them with zero and hand them to mciGetErrorStringA; the numbers themselves
// are the interface's, so clients written for it keep working.
#ifndef TVX_RUNTIME_MCI_ERRORS_H
#define TVX_RUNTIME_MCI_ERRORS_H

#include <cstdint>

namespace tvx::mci {

using Code = uint32_t;

inline constexpr Code kOk = 0;
inline constexpr Code kFirstError = 256;
inline constexpr Code kLastError = 512;

inline constexpr Code kUnrecognizedKeyword = 259;
inline constexpr Code kUnrecognizedCommand = 261;
inline constexpr Code kHardware = 262;
inline constexpr Code kInvalidDeviceName = 263;
inline constexpr Code kDeviceOpen = 265;
inline constexpr Code kCannotLoadDriver = 266;
inline constexpr Code kMissingCommandString = 267;
inline constexpr Code kParamOverflow = 268;
inline constexpr Code kMissingStringArgument = 269;
inline constexpr Code kBadInteger = 270;
inline constexpr Code kMissingParameter = 273;
inline constexpr Code kUnsupportedFunction = 274;
inline constexpr Code kFileNotFound = 275;
inline constexpr Code kDeviceNotReady = 276;
inline constexpr Code kCannotUseAll = 279;
inline constexpr Code kMultiple = 280;
inline constexpr Code kExtensionNotFound = 281;
inline constexpr Code kOutOfRange = 282;
inline constexpr Code kFlagsNotCompatible = 284;
inline constexpr Code kDuplicateAlias = 289;
inline constexpr Code kBadConstant = 290;
inline constexpr Code kMissingDeviceName = 292;
inline constexpr Code kBadTimeFormat = 293;
inline constexpr Code kNoClosingQuote = 294;
inline constexpr Code kDuplicateFlags = 295;
inline constexpr Code kInvalidFile = 296;
inline constexpr Code kNewRequiresAlias = 299;
inline constexpr Code kNotifyOnAutoOpen = 300;
inline constexpr Code kNonapplicableFunction = 302;
inline constexpr Code kExtraCharacters = 305;
inline constexpr Code kNoWindow = 346;
inline constexpr Code kCreateWindow = 347;
inline constexpr Code kFileRead = 348;

} // namespace tvx::mci

#endif // TVX_RUNTIME_MCI_ERRORS_H
