// The library's identity and the shape of every class's interface, checked
// against a listing kept here, apart from the component's own tables: class
// and interface identifiers, programmatic identifiers, the class factories,
// the type information and name lookup of each live object.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "component/registry.h"
#include "convert/convert.h"
#include "tarvex10/automation.hpp"
#include "tarvex10/tarvex10.h"

extern "C" HRESULT DllGetClassObject(const CLSID &clsid, const IID &iid, void **ppv);

namespace {

using tvx::Bstr;
using tvx::ComPtr;
using tvx::operator==;

// One "## class {clsid} {iid}" line per class, then its member rows.
constexpr const char *kListing = R"(
## clsKwvIDOTarvex10A {0f93ea12-5e5b-4e41-a0f2-f7bdc9e4a28f} {15b2cb0a-545d-4d65-97c2-e30beb1e6b1a}
| # | DispID | Kind | Name | Parameters | Result |
|---|---|---|---|---|---|
| 1 | 0x68030004 | get | `GetProStdProperties` | — | object |
| 2 | 0x68030003 | get | `GetProResStrings` | `lResId`: int32, by ref | string |
| 3 | 0x68030002 | get | `GetProResPicture` | `lResId`: int32, by ref; `lRestype`: resource-kind enum, by ref | picture |
| 4 | 0x68030001 | get | `GetProResData` | `lResId`: int32, by ref; `vRestype`: Variant, by ref | Variant |
| 5 | 0x60030006 | method | `About` | — | int32 |
| 6 | 0x68030000 | get | `BuddyObjectGlobal` | — | object |
| 7 | 0x68030000 | putref | `BuddyObjectGlobal` | new value: object, by value | — |

## clsKwVidoVfwA {0b9fb517-c7ac-45d2-a749-165c3a8060a4} {a410c1f8-a023-4da6-9ce1-adc68c1681c1}

## clsKwVidoGeneralA {bc7b8055-d640-4e33-aae7-8826f0760578} {c013968c-d554-481e-81dd-9f60ddb37898}

## clsKwVidoAdvancedA {95e8e8cd-2bb0-4b59-b00c-db5607dbd2a2} {53c3c10b-24a6-4568-9836-609cc195ed82}

## clsKwVidoMoviesA {96c1997b-9fd6-44a2-a491-27c3d03193b7} {33cafa0c-063d-4352-820c-52dcdd142de7}
| # | DispID | Kind | Name | Parameters | Result |
|---|---|---|---|---|---|
| 1 | 0x40030001 | get | `Error` | — | int32 |
| 2 | 0x40030001 | put | `Error` | new value: int32, by value | — |
| 3 | 0x40030002 | get | `filename` | — | string |
| 4 | 0x40030002 | put | `filename` | new value: string, by value | — |
| 5 | 0x60030001 | method | `stepFrames` | `Value`: int32, by ref | Variant |
| 6 | 0x60030002 | method | `restoreSizeDefault` | — | Variant |
| 7 | 0x60030003 | method | `openMovie` | — | Variant |
| 8 | 0x60030004 | method | `openMovieWindow` | `hWnd`: int32, by ref; `WindowStyle`: string, by ref | Variant |
| 9 | 0x60030005 | method | `minimizeMovie` | — | Variant |
| 10 | 0x60030006 | method | `playMovie` | — | Variant |
| 11 | 0x60030007 | method | `hideMovie` | — | Variant |
| 12 | 0x60030008 | method | `showMovie` | — | Variant |
| 13 | 0x60030009 | method | `restoreMovie` | — | Variant |
| 14 | 0x6003000a | method | `stopMovie` | — | Variant |
| 15 | 0x6003000b | method | `extractCurrentMovieSize` | `wLeft`: int32, by ref; `wTop`: int32, by ref; `wWidth`: int32, by ref; `wHeight`: int32, by ref | Variant |
| 16 | 0x6003000c | method | `extractDefaultMovieSize` | `wWidth`: int32, by ref; `wHeight`: int32, by ref | Variant |
| 17 | 0x6003000d | method | `getBitsPerPixel` | — | Variant |
| 18 | 0x6003000e | method | `getMovieInput` | — | string |
| 19 | 0x6003000f | method | `getMovieOutput` | — | string |
| 20 | 0x60030010 | method | `getAudioStatus` | — | string |
| 21 | 0x60030011 | method | `sizeLocateMovie` | `left`: int32, by ref; `top`: int32, by ref; `Width`: int32, by ref; `Height`: int32, by ref | Variant |
| 22 | 0x60030012 | method | `isMoviePlaying` | — | bool16 |
| 23 | 0x60030013 | method | `checkError` | — | string |
| 24 | 0x60030014 | method | `getDeviceName` | — | string |
| 25 | 0x60030015 | method | `getDeviceVersion` | — | string |
| 26 | 0x60030016 | method | `getNominalFrameRate` | — | int32 |
| 27 | 0x60030017 | method | `getFramePerSecRate` | — | int32 |
| 28 | 0x60030018 | method | `getCurrentSize` | — | string |
| 29 | 0x60030019 | method | `getDefaultSize` | — | string |
| 30 | 0x6003001a | method | `getLengthInFrames` | — | int32 |
| 31 | 0x6003001b | method | `getLengthInMS` | — | int32 |
| 32 | 0x6003001c | method | `playFullScreen` | — | Variant |
| 33 | 0x6003001d | method | `getLengthInSec` | — | int32 |
| 34 | 0x6003001e | method | `setVideoOff` | — | Variant |
| 35 | 0x6003001f | method | `setVideoOn` | — | Variant |
| 36 | 0x60030020 | method | `pauseMovie` | — | Variant |
| 37 | 0x60030021 | method | `resumeMovie` | — | Variant |
| 38 | 0x60030022 | method | `getPositionInMS` | — | int32 |
| 39 | 0x60030023 | method | `getRate` | — | int32 |
| 40 | 0x60030024 | method | `getPositionInFrames` | — | int32 |
| 41 | 0x60030025 | method | `getStatus` | — | string |
| 42 | 0x60030026 | method | `closeMovie` | — | Variant |
| 43 | 0x60030027 | method | `getFormatPosition` | — | string |
| 44 | 0x60030028 | method | `getFormatLength` | — | string |
| 45 | 0x6003002a | method | `getVolume` | — | int32 |
| 46 | 0x6003002b | method | `getVideoStatus` | — | string |
| 47 | 0x6003002c | method | `getTimeFormat` | — | string |
| 48 | 0x6003002d | method | `getLeftVolume` | — | int32 |
| 49 | 0x6003002e | method | `getPositionInSec` | — | int32 |
| 50 | 0x6003002f | method | `getRightVolume` | — | int32 |
| 51 | 0x60030030 | method | `setAudioOff` | — | Variant |
| 52 | 0x60030031 | method | `setAudioOn` | — | Variant |
| 53 | 0x60030032 | method | `setLeftOff` | — | Variant |
| 54 | 0x60030033 | method | `setRightOff` | — | Variant |
| 55 | 0x60030034 | method | `setLeftOn` | — | Variant |
| 56 | 0x60030035 | method | `setRightOn` | — | Variant |
| 57 | 0x60030036 | method | `setDoorOpen` | — | Variant |
| 58 | 0x60030037 | method | `setDoorClosed` | — | Variant |
| 59 | 0x60030038 | method | `setVolume` | `Value`: int32, by ref | Variant |
| 60 | 0x60030039 | method | `setPositionTo` | `Second`: int32, by ref | Variant |
| 61 | 0x6003003a | method | `restartMovie` | — | Variant |
| 62 | 0x6003003b | method | `rewindByMS` | `numMS`: int32, by ref | Variant |
| 63 | 0x6003003c | method | `rewindByFrames` | `numFrames`: int32, by ref | Variant |
| 64 | 0x6003003d | method | `rewindBySeconds` | `numSec`: int32, by ref | Variant |
| 65 | 0x6003003e | method | `forwardByFrames` | `numFrames`: int32, by ref | Variant |
| 66 | 0x6003003f | method | `forwardByMS` | `numMS`: int32, by ref | Variant |
| 67 | 0x60030040 | method | `forwardBySeconds` | `numSec`: int32, by ref | Variant |
| 68 | 0x60030041 | method | `checkDeviceReady` | — | string |
| 69 | 0x60030042 | method | `setSpeed` | `Value`: int32, by ref | Variant |
| 70 | 0x60030043 | method | `setLeftVolume` | `Value`: int32, by ref | Variant |
| 71 | 0x60030044 | method | `setRightVolume` | `Value`: int32, by ref | Variant |
| 72 | 0x60030045 | method | `timeOut` | `duration`: Variant, by ref | — |

## clsKwVidoMciApiA {51346736-94a3-4dec-ba85-a6f10a703d92} {79316c86-2115-4356-a8a1-099def31f1be}
| # | DispID | Kind | Name | Parameters | Result |
|---|---|---|---|---|---|
| 1 | 0x68030004 | get | `ErrorDescription` | — | string |
| 2 | 0x68030003 | get | `ErrorNumber` | — | int32 |
| 3 | 0x68030002 | get | `TotalTime` | — | int32 |
| 4 | 0x68030001 | get | `TotalFrames` | — | Variant |
| 5 | 0x68030000 | get | `FramesPerSec` | — | Variant |
| 6 | 0x60030006 | method | `OpenDevice` | `DeviceType`: string, by ref; `DeviceAlias`: string, by ref; `filename`: string, by ref; `ParentHWnd`: int32, by ref; `WindowStyle`: string, by ref | int32 |
| 7 | 0x60030007 | method | `CloseDevice` | `DeviceAlias`: string, by ref | int32 |
| 8 | 0x60030008 | method | `cmdPlay` | `DeviceAlias`: string, by ref; `FromPosition`: int16, by ref; `ToPosition`: int16, by ref; `Fullscreen`: bool16, by ref | int32 |
| 9 | 0x60030009 | method | `cmdStop` | `DeviceAlias`: string, by ref | int32 |
| 10 | 0x6003000a | method | `cmdPause` | `DeviceAlias`: string, by ref | int32 |
| 11 | 0x6003000b | method | `cmdChannels` | `DeviceAlias`: string, by ref; `Channel`: int16, by ref; `Value`: bool16, by ref | int32 |
| 12 | 0x6003000c | method | `cmdRate` | `DeviceAlias`: string, by ref; `Rate`: int16, by ref | int32 |
| 13 | 0x6003000d | method | `cmdTimeFormat` | `DeviceAlias`: string, by ref; `TimeFormat`: string, by ref | int32 |
| 14 | 0x6003000e | method | `cmdVideoOutput` | `DeviceAlias`: string, by ref; `VideoOutput`: bool16, by ref | int32 |
| 15 | 0x6003000f | method | `cmdConfigure` | `DeviceAlias`: string, by ref | int32 |
| 16 | 0x60030010 | method | `cmdGetCopyRight` | `DeviceAlias`: string, by ref | string |
| 17 | 0x60030011 | method | `cmdGetName` | `DeviceAlias`: string, by ref | string |
| 18 | 0x60030012 | method | `cmdGetProduct` | `DeviceAlias`: string, by ref | string |
| 19 | 0x60030013 | method | `cmdResize` | `DeviceAlias`: string, by ref; `x1`: int16, by ref; `y1`: int16, by ref; `x2`: int16, by ref; `y2`: int16, by ref | int32 |
| 20 | 0x60030014 | method | `cmdResizeClient` | `DeviceAlias`: string, by ref; `x1`: int16, by ref; `y1`: int16, by ref; `x2`: int16, by ref; `y2`: int16, by ref | Variant |
| 21 | 0x60030015 | method | `cmdToStart` | `DeviceAlias`: string, by ref | int32 |
| 22 | 0x60030016 | method | `cmdToEnd` | `DeviceAlias`: string, by ref | int32 |
| 23 | 0x60030017 | method | `cmdSeek` | `DeviceAlias`: string, by ref; `SeekTo`: int32, by ref | int32 |
| 24 | 0x60030018 | method | `cmdVolume` | `DeviceAlias`: string, by ref; `Channel`: int16, by ref; `Factor`: int16, by ref | int32 |
| 25 | 0x60030019 | method | `cmdGetVolume` | `DeviceAlias`: string, by ref; `Channel`: int16, by ref; `Volume`: int16, by ref | int32 |
| 26 | 0x6003001a | method | `cmdGetPosition` | `DeviceAlias`: string, by ref | int32 |
| 27 | 0x6003001b | method | `cmdGetFormatTag` | `DeviceAlias`: string, by ref | string |
| 28 | 0x6003001c | method | `cmdGetTimeFormat` | `DeviceAlias`: string, by ref | string |
| 29 | 0x6003001d | method | `cmdGetLength` | `DeviceAlias`: string, by ref | int32 |
| 30 | 0x6003001e | method | `cmdGetSize` | `DeviceAlias`: string, by ref | string |
| 31 | 0x6003001f | method | `cmdGetStatus` | `DeviceAlias`: string, by ref | string |

## clsKwVidoCutVideoA {c516e1c6-b5b0-4914-bfab-c26b15143db6} {4457d803-19e2-40d5-8f8c-0054ef22861c}
| # | DispID | Kind | Name | Parameters | Result |
|---|---|---|---|---|---|
| 1 | 0x40030000 | get | `FileType` | — | int16 |
| 2 | 0x40030000 | put | `FileType` | new value: int16, by value | — |
| 3 | 0x40030001 | get | `picture_rate` | — | Variant |
| 4 | 0x40030001 | put | `picture_rate` | new value: Variant, by value | — |
| 5 | 0x40030001 | putref | `picture_rate` | new value: Variant, by value | — |
| 6 | 0x40030002 | get | `startTime` | — | double |
| 7 | 0x40030002 | put | `startTime` | new value: double, by value | — |
| 8 | 0x40030003 | get | `timecorrect` | — | double |
| 9 | 0x40030003 | put | `timecorrect` | new value: double, by value | — |
| 10 | 0x40030004 | get | `confirmall` | — | int16 |
| 11 | 0x40030004 | put | `confirmall` | new value: int16, by value | — |
| 12 | 0x40030005 | get | `Buffer` | — | string |
| 13 | 0x40030005 | put | `Buffer` | new value: string, by value | — |
| 14 | 0x40030006 | get | `Byterate` | — | double |
| 15 | 0x40030006 | put | `Byterate` | new value: double, by value | — |
| 16 | 0x40030007 | get | `EoF` | — | int16 |
| 17 | 0x40030007 | put | `EoF` | new value: int16, by value | — |
| 18 | 0x40030008 | get | `VidSeqStart` | — | int32 |
| 19 | 0x40030008 | put | `VidSeqStart` | new value: int32, by value | — |
| 20 | 0x40030009 | get | `VidSeqEnd` | — | int32 |
| 21 | 0x40030009 | put | `VidSeqEnd` | new value: int32, by value | — |
| 22 | 0x4003000a | get | `startT` | — | double |
| 23 | 0x4003000a | put | `startT` | new value: double, by value | — |
| 24 | 0x4003000b | get | `startO` | — | int32 |
| 25 | 0x4003000b | put | `startO` | new value: int32, by value | — |
| 26 | 0x4003000c | get | `stopO` | — | int32 |
| 27 | 0x4003000c | put | `stopO` | new value: int32, by value | — |
| 28 | 0x4003000d | get | `stopT` | — | int32 |
| 29 | 0x4003000d | put | `stopT` | new value: int32, by value | — |
| 30 | 0x4003000e | get | `TotalTime` | — | int32 |
| 31 | 0x4003000e | put | `TotalTime` | new value: int32, by value | — |
| 32 | 0x4003000f | get | `Tmax` | — | double |
| 33 | 0x4003000f | put | `Tmax` | new value: double, by value | — |
| 34 | 0x40030010 | get | `Infd` | — | int16 |
| 35 | 0x40030010 | put | `Infd` | new value: int16, by value | — |
| 36 | 0x40030011 | get | `OutFd` | — | int16 |
| 37 | 0x40030011 | put | `OutFd` | new value: int16, by value | — |
| 38 | 0x40030012 | get | `FileSize` | — | int32 |
| 39 | 0x40030012 | put | `FileSize` | new value: int32, by value | — |
| 40 | 0x40030013 | get | `start` | — | int32 |
| 41 | 0x40030013 | put | `start` | new value: int32, by value | — |
| 42 | 0x40030014 | get | `EndO` | — | int32 |
| 43 | 0x40030014 | put | `EndO` | new value: int32, by value | — |
| 44 | 0x40030015 | get | `MinimumCut` | — | int32 |
| 45 | 0x40030015 | put | `MinimumCut` | new value: int32, by value | — |
| 46 | 0x40030016 | get | `FrameRate` | — | double |
| 47 | 0x40030016 | put | `FrameRate` | new value: double, by value | — |
| 48 | 0x40030017 | get | `Inpath` | — | string |
| 49 | 0x40030017 | put | `Inpath` | new value: string, by value | — |
| 50 | 0x60030001 | method | `FillBuffer` | `off`: int32, by value | int16 |
| 51 | 0x60030002 | method | `CutVideo` | `Inpath`: string, by value; `OutPath`: string, by value; `fromT`: int32, by value; `toT`: int32, by value; `TotalDuration`: int32, by value | int16 |
| 52 | 0x60030003 | method | `FindNextMarker` | `off`: int32, by ref; `mark`: byte, by ref | int16 |
| 53 | 0x60030004 | method | `FindNext` | `off`: int32, by ref; `mark`: byte, by value | int16 |
| 54 | 0x60030005 | method | `FindMark` | `off`: int32, by ref; `mark`: byte, by ref | int16 |
| 55 | 0x60030006 | method | `GetByte` | `off`: int32, by value | byte |
| 56 | 0x60030007 | method | `EnsureMarker` | `off`: int32, by ref; `mark`: byte, by ref | int16 |
| 57 | 0x60030008 | method | `FindVideoSeqHeader` | `off`: int32, by ref | int16 |
| 58 | 0x60030009 | method | `GetSize` | `off`: int32, by value | int32 |
| 59 | 0x6003000a | method | `ParseVidSeq` | `off`: int32, by ref | — |
| 60 | 0x6003000b | method | `BackwardFindBoundaries` | `from`: int32, by value; `packetstart`: int32, by ref; `packetend`: int32, by ref | int16 |
| 61 | 0x6003000c | method | `copy` | `Infd`: int16, by ref; `OutFd`: int16, by ref; `from`: int32, by ref; `toF`: int32, by ref | — |
| 62 | 0x6003000d | method | `ReadGOPHeader` | `off`: int32, by value; `timestamp`: double, by ref | — |
| 63 | 0x6003000e | method | `CutPart` | `begin`: int32, by value; `endT`: int32, by value; `filename`: string, by value | int16 |
| 64 | 0x6003000f | method | `ReadPacketTS` | `off`: int32, by ref; `pts`: double, by ref; `dts`: double, by ref | int16 |
| 65 | 0x60030010 | method | `ReadTimeStamp` | `off`: int32, by value; `timestamp`: double, by ref | int16 |
| 66 | 0x60030011 | method | `init` | `Inpath`: string, by value | — |
| 67 | 0x60030012 | method | `TimeToOffSets` | — | — |
| 68 | 0x60030013 | method | `Offset` | `time`: double, by value; `off`: int32, by value | — |
)";

// ---- the listing ------------------------------------------------------------------

struct ExpectedParam {
    std::string name; // empty for the value of a put or putref
    VARTYPE vt;
    bool by_ref;
};

struct ExpectedMember {
    int position;
    DISPID dispid;
    INVOKEKIND kind;
    std::string name;
    std::vector<ExpectedParam> params;
    VARTYPE result;
};

struct ExpectedClass {
    std::string name;
    GUID clsid;
    GUID iid;
    std::vector<ExpectedMember> members;
};

std::string Trim(std::string text) {
    const char *space = " \t";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string Unquote(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
    return Trim(text);
}

std::vector<std::string> Split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(Trim(part));
    return parts;
}

bool IsNone(const std::string &cell) { return cell == "—" || cell == "-"; }

VARTYPE TypeWord(const std::string &word) {
    static const std::pair<const char *, VARTYPE> kWords[] = {
        {"int32", VT_I4},           {"int16", VT_I2},        {"byte", VT_UI1},
        {"double", VT_R8},          {"bool16", VT_BOOL},     {"string", VT_BSTR},
        {"Variant", VT_VARIANT},    {"object", VT_DISPATCH}, {"picture", VT_DISPATCH},
        {"resource-kind enum", VT_I4},
    };
    if (IsNone(word)) return VT_VOID;
    for (const auto &[name, vt] : kWords) {
        if (word == name) return vt;
    }
    ADD_FAILURE() << "unknown type word in the listing: " << word;
    return VT_EMPTY;
}

INVOKEKIND KindWord(const std::string &word) {
    if (word == "method") return INVOKE_FUNC;
    if (word == "get") return INVOKE_PROPERTYGET;
    if (word == "put") return INVOKE_PROPERTYPUT;
    if (word == "putref") return INVOKE_PROPERTYPUTREF;
    ADD_FAILURE() << "unknown member kind in the listing: " << word;
    return INVOKE_FUNC;
}

GUID ParseGuid(const std::string &text) {
    GUID guid{};
    unsigned int d[11] = {};
    int read = std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4],
                           &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]);
    EXPECT_EQ(read, 11) << "malformed identifier in the listing: " << text;
    guid.Data1 = d[0];
    guid.Data2 = static_cast<uint16_t>(d[1]);
    guid.Data3 = static_cast<uint16_t>(d[2]);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(d[3 + i]);
    return guid;
}

// "`name`: type, by ref" or "new value: type, by value".
ExpectedParam ParseParam(const std::string &text) {
    size_t colon = text.find(':');
    size_t comma = text.rfind(',');
    EXPECT_TRUE(colon != std::string::npos && comma != std::string::npos && comma > colon) << text;
    std::string name = Unquote(text.substr(0, colon));
    std::string type = Trim(text.substr(colon + 1, comma - colon - 1));
    std::string passing = Trim(text.substr(comma + 1));
    EXPECT_TRUE(passing == "by ref" || passing == "by value") << text;
    return {name == "new value" ? std::string() : name, TypeWord(type), passing == "by ref"};
}

std::vector<ExpectedClass> ParseListing() {
    std::vector<ExpectedClass> classes;
    std::stringstream stream(kListing);
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind("## ", 0) == 0) {
            auto words = Split(line.substr(3), ' ');
            EXPECT_EQ(words.size(), 3u) << line;
            if (words.size() == 3) classes.push_back({words[0], ParseGuid(words[1]), ParseGuid(words[2]), {}});
            continue;
        }
        if (line.size() < 3 || line[0] != '|' || !std::isdigit(static_cast<unsigned char>(line[2]))) continue;
        auto cells = Split(line, '|'); // cells[0] is the empty text before the first bar
        EXPECT_EQ(cells.size(), 7u) << line;
        if (cells.size() != 7 || classes.empty()) continue;
        ExpectedMember member{std::stoi(cells[1]), static_cast<DISPID>(std::stoul(cells[2], nullptr, 16)),
                              KindWord(cells[3]), Unquote(cells[4]), {}, TypeWord(cells[6])};
        if (!IsNone(cells[5])) {
            for (const std::string &param : Split(cells[5], ';')) member.params.push_back(ParseParam(param));
        }
        classes.back().members.push_back(std::move(member));
    }
    return classes;
}

const std::vector<ExpectedClass> &Listing() {
    static const std::vector<ExpectedClass> classes = ParseListing();
    return classes;
}

// ---- helpers ----------------------------------------------------------------------

std::string Utf8(std::u16string_view text) { return tvx::convert::ToUtf8(text); }
std::u16string Utf16(std::string_view text) { return tvx::convert::FromUtf8(text); }

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// An object of `expected`'s class made by its factory and asked for its
// own interface, as a client would get it.
ComPtr<IDispatch> CreateThroughFactory(const ExpectedClass &expected) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(expected.clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<IDispatch> object;
    if (!factory) return object;
    EXPECT_EQ(factory->CreateInstance(nullptr, expected.iid, object.PutVoid()), S_OK);
    return object;
}

// GetIDsOfNames with UTF-8 names.
HRESULT IdsOfNames(IDispatch *object, const std::vector<std::string> &names, std::vector<DISPID> &ids) {
    std::vector<std::u16string> wide;
    for (const auto &n : names) wide.push_back(Utf16(n));
    std::vector<LPOLESTR> pointers;
    for (auto &w : wide) pointers.push_back(w.data());
    ids.assign(names.size(), 12345);
    return object->GetIDsOfNames(IID_NULL, pointers.data(), static_cast<UINT>(pointers.size()), LOCALE_USER_DEFAULT,
                                 ids.data());
}

struct FuncDescDeleter {
    ITypeInfo *info;
    void operator()(FUNCDESC *desc) const { info->ReleaseFuncDesc(desc); }
};

// ---- tests ------------------------------------------------------------------------

// Catches: a listing that lost rows or classes while being pasted, which
// would make every check below vacuous.
TEST(Listing, HoldsSevenClassesAndEveryRow) {
    const auto &classes = Listing();
    ASSERT_EQ(classes.size(), 7u);
    const std::pair<const char *, size_t> kCounts[] = {
        {"clsKwvIDOTarvex10A", 7}, {"clsKwVidoVfwA", 0},    {"clsKwVidoGeneralA", 0}, {"clsKwVidoAdvancedA", 0},
        {"clsKwVidoMoviesA", 72},  {"clsKwVidoMciApiA", 31}, {"clsKwVidoCutVideoA", 68},
    };
    for (size_t i = 0; i < classes.size(); ++i) {
        SCOPED_TRACE(classes[i].name);
        EXPECT_EQ(classes[i].name, kCounts[i].first);
        ASSERT_EQ(classes[i].members.size(), kCounts[i].second);
        for (size_t m = 0; m < classes[i].members.size(); ++m) EXPECT_EQ(classes[i].members[m].position, int(m + 1));
    }
}

// Catches: a class missing from the registry or registered under another
// class id, interface id or programmatic id; the registry order changed.
TEST(Identity, RegistryHoldsEachClassUnderItsIdentifiers) {
    auto registered = tvx::AllClasses();
    const auto &classes = Listing();
    ASSERT_EQ(registered.size(), classes.size());
    for (size_t i = 0; i < classes.size(); ++i) {
        const ExpectedClass &expected = classes[i];
        SCOPED_TRACE(expected.name);
        const tvx::ClassInfo *info = registered[i];
        EXPECT_EQ(Utf8(info->name), expected.name);
        EXPECT_EQ(Utf8(info->progid), "Tarvex10." + expected.name);
        EXPECT_TRUE(info->clsid == expected.clsid);
        EXPECT_TRUE(info->iid == expected.iid);
        EXPECT_EQ(tvx::FindClass(expected.clsid), info);
        EXPECT_EQ(info->application_object, expected.name == "clsKwvIDOTarvex10A");
    }
}

// Catches: the header that C and C++ clients compile against naming other
// identifiers than the classes have.
TEST(Identity, ClientHeaderIdentifiersMatch) {
    const std::pair<const GUID *, const GUID *> kHeader[] = {
        {&CLSID_clsKwvIDOTarvex10A, &IID__clsKwvIDOTarvex10A}, {&CLSID_clsKwVidoVfwA, &IID__clsKwVidoVfwA},
        {&CLSID_clsKwVidoGeneralA, &IID__clsKwVidoGeneralA},   {&CLSID_clsKwVidoAdvancedA, &IID__clsKwVidoAdvancedA},
        {&CLSID_clsKwVidoMoviesA, &IID__clsKwVidoMoviesA},     {&CLSID_clsKwVidoMciApiA, &IID__clsKwVidoMciApiA},
        {&CLSID_clsKwVidoCutVideoA, &IID__clsKwVidoCutVideoA},
    };
    const auto &classes = Listing();
    ASSERT_EQ(classes.size(), std::size(kHeader));
    for (size_t i = 0; i < classes.size(); ++i) {
        SCOPED_TRACE(classes[i].name);
        EXPECT_TRUE(*kHeader[i].first == classes[i].clsid);
        EXPECT_TRUE(*kHeader[i].second == classes[i].iid);
    }
}

// Catches: a factory that is missing, creates an object of another class,
// refuses the class's own interface, or accepts aggregation; a class id
// outside the table answered with a factory.
TEST(Identity, FactoriesCreateTheirClassAndNothingElse) {
    for (const ExpectedClass &expected : Listing()) {
        SCOPED_TRACE(expected.name);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(DllGetClassObject(expected.clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
        ComPtr<IDispatch> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, expected.iid, object.PutVoid()), S_OK);
        ASSERT_TRUE(object);
        EXPECT_EQ(&tvx::ObjectBase::FromInterface(object.Get())->Class(), tvx::FindClass(expected.clsid));

        ComPtr<IUnknown> outer = object.As<IUnknown>();
        void *aggregated = reinterpret_cast<void *>(1);
        EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(aggregated, nullptr);
        void *foreign = reinterpret_cast<void *>(1);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &foreign), E_NOINTERFACE);
        EXPECT_EQ(foreign, nullptr);
    }
    // An interface id is no class id.
    void *none = reinterpret_cast<void *>(1);
    EXPECT_EQ(DllGetClassObject(IID__clsKwVidoMoviesA, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
}

// Catches: an object that does not answer for its own interface, IDispatch
// or IUnknown with one identity, answers for another class's interface, or
// whose error-information support names the wrong interface.
TEST(Identity, QueryInterfaceAndErrorInfoSupport) {
    const auto &classes = Listing();
    for (const ExpectedClass &expected : classes) {
        SCOPED_TRACE(expected.name);
        ComPtr<IDispatch> object = CreateThroughFactory(expected);
        ASSERT_TRUE(object);
        ComPtr<IUnknown> identity = object.As<IUnknown>();
        ASSERT_TRUE(identity);
        for (const GUID *iid : {&IID_IUnknown, &IID_IDispatch, &expected.iid}) {
            ComPtr<IUnknown> again;
            ASSERT_EQ(object->QueryInterface(*iid, again.PutVoid()), S_OK);
            EXPECT_EQ(again.As<IUnknown>().Get(), identity.Get());
        }
        for (const ExpectedClass &other : classes) {
            if (&other == &expected) continue;
            void *wrong = reinterpret_cast<void *>(1);
            EXPECT_EQ(object->QueryInterface(other.iid, &wrong), E_NOINTERFACE) << other.name;
            EXPECT_EQ(wrong, nullptr);
        }

        HRESULT status = E_FAIL;
        ComPtr<ISupportErrorInfo> support = object.As<ISupportErrorInfo>(&status);
        ASSERT_EQ(status, S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(expected.iid), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
        EXPECT_EQ(support.As<IUnknown>().Get(), identity.Get());
    }
}

// Catches: type information that disagrees with the interface: another
// interface id or name, a missing or extra member, a wrong dispatch id,
// kind, parameter type or passing, result type, or slot offset (which
// early-bound clients that read type information rely on).
TEST(TypeInformation, DescribesEachInterfaceAsListed) {
    for (const ExpectedClass &expected : Listing()) {
        SCOPED_TRACE(expected.name);
        ComPtr<IDispatch> object = CreateThroughFactory(expected);
        ASSERT_TRUE(object);
        UINT count = 0;
        ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
        ASSERT_TRUE(info);

        TYPEATTR *attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(attr->guid == expected.iid);
        EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
        EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
        EXPECT_EQ(attr->cFuncs, expected.members.size());
        info->ReleaseTypeAttr(attr);

        Bstr interface_name;
        ASSERT_EQ(info->GetDocumentation(DISPID_UNKNOWN, interface_name.Put(), nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(Utf8(interface_name.View()), "_" + expected.name);

        for (size_t i = 0; i < expected.members.size(); ++i) {
            const ExpectedMember &m = expected.members[i];
            SCOPED_TRACE(m.name + " #" + std::to_string(m.position));
            FUNCDESC *raw = nullptr;
            ASSERT_EQ(info->GetFuncDesc(static_cast<UINT>(i), &raw), S_OK);
            std::unique_ptr<FUNCDESC, FuncDescDeleter> desc(raw, FuncDescDeleter{info.Get()});
            EXPECT_EQ(desc->memid, m.dispid);
            EXPECT_EQ(desc->invkind, m.kind);
            EXPECT_EQ(desc->oVft, (7 + m.position - 1) * 8);
            EXPECT_EQ(desc->elemdescFunc.tdesc.vt, m.result);
            ASSERT_EQ(desc->cParams, static_cast<SHORT>(m.params.size()));
            for (size_t p = 0; p < m.params.size(); ++p) {
                SCOPED_TRACE("parameter " + std::to_string(p));
                const ELEMDESC &e = desc->lprgelemdescParam[p];
                if (m.params[p].by_ref) {
                    ASSERT_EQ(e.tdesc.vt, VT_PTR);
                    ASSERT_NE(e.tdesc.u.lptdesc, nullptr);
                    EXPECT_EQ(e.tdesc.u.lptdesc->vt, m.params[p].vt);
                    EXPECT_EQ(e.u.paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
                } else {
                    EXPECT_EQ(e.tdesc.vt, m.params[p].vt);
                    EXPECT_EQ(e.u.paramdesc.wParamFlags, PARAMFLAG_FIN);
                }
            }
        }
        FUNCDESC *beyond = nullptr;
        EXPECT_EQ(info->GetFuncDesc(static_cast<UINT>(expected.members.size()), &beyond), TYPE_E_ELEMENTNOTFOUND);
    }
}

// Catches: member or parameter names lost, misspelt or out of order in the
// type information.
TEST(TypeInformation, NamesAreTheMemberThenItsParameters) {
    for (const ExpectedClass &expected : Listing()) {
        SCOPED_TRACE(expected.name);
        ComPtr<IDispatch> object = CreateThroughFactory(expected);
        ASSERT_TRUE(object);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
        for (const ExpectedMember &m : expected.members) {
            // A put shares its get's dispatch id, and its value has no name.
            if (m.kind == INVOKE_PROPERTYPUT || m.kind == INVOKE_PROPERTYPUTREF) continue;
            SCOPED_TRACE(m.name);
            BSTR names[16] = {};
            UINT got = 0;
            ASSERT_EQ(info->GetNames(m.dispid, names, 16, &got), S_OK);
            std::vector<std::string> actual;
            for (UINT n = 0; n < got; ++n) actual.push_back(Utf8(Bstr::Attach(names[n]).View()));
            std::vector<std::string> wanted{m.name};
            for (const ExpectedParam &p : m.params) wanted.push_back(p.name);
            EXPECT_EQ(actual, wanted);
        }
    }
}

// Catches: late-bound name lookup that is case-sensitive, gives another
// member's id, does not resolve parameter names to their positions, or
// does not mark unknown names with -1.
TEST(LateBinding, NamesResolveAsListed) {
    for (const ExpectedClass &expected : Listing()) {
        SCOPED_TRACE(expected.name);
        ComPtr<IDispatch> object = CreateThroughFactory(expected);
        ASSERT_TRUE(object);
        std::vector<DISPID> ids;
        for (const ExpectedMember &m : expected.members) {
            SCOPED_TRACE(m.name);
            for (const std::string &spelling : {m.name, Lower(m.name), Upper(m.name)}) {
                ASSERT_EQ(IdsOfNames(object.Get(), {spelling}, ids), S_OK) << spelling;
                EXPECT_EQ(ids[0], m.dispid) << spelling;
            }
            if (m.params.empty() || m.params[0].name.empty()) continue;
            // Named arguments in any order and any case find their positions.
            std::vector<std::string> names{Upper(m.name)};
            std::vector<DISPID> positions{m.dispid};
            for (size_t p = m.params.size(); p-- > 0;) {
                names.push_back(p % 2 ? Lower(m.params[p].name) : m.params[p].name);
                positions.push_back(static_cast<DISPID>(p));
            }
            ASSERT_EQ(IdsOfNames(object.Get(), names, ids), S_OK);
            EXPECT_EQ(ids, positions);
            ASSERT_EQ(IdsOfNames(object.Get(), {m.name, "noSuchParameter"}, ids), DISP_E_UNKNOWNNAME);
            EXPECT_EQ(ids[0], m.dispid);
            EXPECT_EQ(ids[1], DISPID_UNKNOWN);
        }
        ASSERT_EQ(IdsOfNames(object.Get(), {"noSuchMember", "Value"}, ids), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(ids[0], DISPID_UNKNOWN);
        EXPECT_EQ(ids[1], DISPID_UNKNOWN);
        // A prefix of a real name is no name.
        if (!expected.members.empty()) {
            std::string prefix = expected.members[0].name.substr(0, expected.members[0].name.size() - 1);
            ASSERT_EQ(IdsOfNames(object.Get(), {prefix}, ids), DISP_E_UNKNOWNNAME);
            EXPECT_EQ(ids[0], DISPID_UNKNOWN);
        }
    }
}

// Catches: an empty class that finds a member by some name or id, or whose
// type information is missing.
TEST(EmptyClasses, FindNoMemberButDescribeThemselves) {
    for (const ExpectedClass &expected : Listing()) {
        if (!expected.members.empty()) continue;
        SCOPED_TRACE(expected.name);
        ComPtr<IDispatch> object = CreateThroughFactory(expected);
        ASSERT_TRUE(object);
        std::vector<DISPID> ids;
        for (const char *name : {"Error", "About", "Value", "item", "BuddyObjectGlobal"}) {
            EXPECT_EQ(IdsOfNames(object.Get(), {name}, ids), DISP_E_UNKNOWNNAME) << name;
            EXPECT_EQ(ids[0], DISPID_UNKNOWN);
        }
        const std::pair<DISPID, WORD> kCalls[] = {
            {DISPID_VALUE, DISPATCH_METHOD},      {DISPID_VALUE, DISPATCH_PROPERTYGET},
            {0x40030001, DISPATCH_PROPERTYGET},   {0x60030006, DISPATCH_METHOD},
            {0x68030000, DISPATCH_PROPERTYGET},   {-4, DISPATCH_METHOD | DISPATCH_PROPERTYGET},
        };
        for (const auto &[id, flags] : kCalls) {
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            tvx::Variant result;
            EXPECT_EQ(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result, nullptr, nullptr),
                      DISP_E_MEMBERNOTFOUND)
                << id;
            EXPECT_EQ(result.Type(), VT_EMPTY);
        }
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
        TYPEATTR *attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->cFuncs, 0);
        EXPECT_TRUE(attr->guid == expected.iid);
        info->ReleaseTypeAttr(attr);
    }
}

} // namespace
