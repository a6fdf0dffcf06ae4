/* The Tarvex10 component's classes and interfaces, for C and C++ clients.
 * Generated from the component's member tables by tools/gen_interfaces;
 * the build checks that this file is current. */
#ifndef TARVEX10_TARVEX10_H
#define TARVEX10_TARVEX10_H

#include "automation.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Type library Tarvex10 1.0 */
TVX_DEFINE_GUID(LIBID_Tarvex10, 0xddcb89d3, 0xa05b, 0x44c8, 0x8d, 0x3b, 0x61, 0x9f, 0x8d, 0x74, 0x4a, 0x8b);

/* Tarvex10.clsKwvIDOTarvex10A */
TVX_DEFINE_GUID(CLSID_clsKwvIDOTarvex10A, 0x0f93ea12, 0x5e5b, 0x4e41, 0xa0, 0xf2, 0xf7, 0xbd, 0xc9, 0xe4, 0xa2, 0x8f);
TVX_DEFINE_GUID(IID__clsKwvIDOTarvex10A, 0x15b2cb0a, 0x545d, 0x4d65, 0x97, 0xc2, 0xe3, 0x0b, 0xeb, 0x1e, 0x6b, 0x1a);
/* Tarvex10.clsKwVidoVfwA */
TVX_DEFINE_GUID(CLSID_clsKwVidoVfwA, 0x0b9fb517, 0xc7ac, 0x45d2, 0xa7, 0x49, 0x16, 0x5c, 0x3a, 0x80, 0x60, 0xa4);
TVX_DEFINE_GUID(IID__clsKwVidoVfwA, 0xa410c1f8, 0xa023, 0x4da6, 0x9c, 0xe1, 0xad, 0xc6, 0x8c, 0x16, 0x81, 0xc1);
/* Tarvex10.clsKwVidoGeneralA */
TVX_DEFINE_GUID(CLSID_clsKwVidoGeneralA, 0xbc7b8055, 0xd640, 0x4e33, 0xaa, 0xe7, 0x88, 0x26, 0xf0, 0x76, 0x05, 0x78);
TVX_DEFINE_GUID(IID__clsKwVidoGeneralA, 0xc013968c, 0xd554, 0x481e, 0x81, 0xdd, 0x9f, 0x60, 0xdd, 0xb3, 0x78, 0x98);
/* Tarvex10.clsKwVidoAdvancedA */
TVX_DEFINE_GUID(CLSID_clsKwVidoAdvancedA, 0x95e8e8cd, 0x2bb0, 0x4b59, 0xb0, 0x0c, 0xdb, 0x56, 0x07, 0xdb, 0xd2, 0xa2);
TVX_DEFINE_GUID(IID__clsKwVidoAdvancedA, 0x53c3c10b, 0x24a6, 0x4568, 0x98, 0x36, 0x60, 0x9c, 0xc1, 0x95, 0xed, 0x82);
/* Tarvex10.clsKwVidoMoviesA */
TVX_DEFINE_GUID(CLSID_clsKwVidoMoviesA, 0x96c1997b, 0x9fd6, 0x44a2, 0xa4, 0x91, 0x27, 0xc3, 0xd0, 0x31, 0x93, 0xb7);
TVX_DEFINE_GUID(IID__clsKwVidoMoviesA, 0x33cafa0c, 0x063d, 0x4352, 0x82, 0x0c, 0x52, 0xdc, 0xdd, 0x14, 0x2d, 0xe7);
/* Tarvex10.clsKwVidoMciApiA */
TVX_DEFINE_GUID(CLSID_clsKwVidoMciApiA, 0x51346736, 0x94a3, 0x4dec, 0xba, 0x85, 0xa6, 0xf1, 0x0a, 0x70, 0x3d, 0x92);
TVX_DEFINE_GUID(IID__clsKwVidoMciApiA, 0x79316c86, 0x2115, 0x4356, 0xa8, 0xa1, 0x09, 0x9d, 0xef, 0x31, 0xf1, 0xbe);
/* Tarvex10.clsKwVidoCutVideoA */
TVX_DEFINE_GUID(CLSID_clsKwVidoCutVideoA, 0xc516e1c6, 0xb5b0, 0x4914, 0xbf, 0xab, 0xc2, 0x6b, 0x15, 0x14, 0x3d, 0xb6);
TVX_DEFINE_GUID(IID__clsKwVidoCutVideoA, 0x4457d803, 0x19e2, 0x40d5, 0x8f, 0x8c, 0x00, 0x54, 0xef, 0x22, 0x86, 0x1c);

#undef INTERFACE
#define INTERFACE _clsKwvIDOTarvex10A
TVX_DECLARE_INTERFACE_(_clsKwvIDOTarvex10A, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
    TVX_STDMETHOD(get_GetProStdProperties)(TVX_THIS_ IDispatch **pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_GetProResStrings)(TVX_THIS_ LONG *lResId, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_GetProResPicture)(TVX_THIS_ LONG *lResId, LONG *lRestype, IDispatch **pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_GetProResData)(TVX_THIS_ LONG *lResId, VARIANT *vRestype, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(About)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_BuddyObjectGlobal)(TVX_THIS_ IDispatch **pRetVal) TVX_PURE;
    TVX_STDMETHOD(putref_BuddyObjectGlobal)(TVX_THIS_ IDispatch *value) TVX_PURE;
} TVX_END_INTERFACE(_clsKwvIDOTarvex10A)

#undef INTERFACE
#define INTERFACE _clsKwVidoVfwA
TVX_DECLARE_INTERFACE_(_clsKwVidoVfwA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
} TVX_END_INTERFACE(_clsKwVidoVfwA)

#undef INTERFACE
#define INTERFACE _clsKwVidoGeneralA
TVX_DECLARE_INTERFACE_(_clsKwVidoGeneralA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
} TVX_END_INTERFACE(_clsKwVidoGeneralA)

#undef INTERFACE
#define INTERFACE _clsKwVidoAdvancedA
TVX_DECLARE_INTERFACE_(_clsKwVidoAdvancedA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
} TVX_END_INTERFACE(_clsKwVidoAdvancedA)

#undef INTERFACE
#define INTERFACE _clsKwVidoMoviesA
TVX_DECLARE_INTERFACE_(_clsKwVidoMoviesA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
    TVX_STDMETHOD(get_Error)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Error)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_filename)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_filename)(TVX_THIS_ BSTR value) TVX_PURE;
    TVX_STDMETHOD(stepFrames)(TVX_THIS_ LONG *Value, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(restoreSizeDefault)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(openMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(openMovieWindow)(TVX_THIS_ LONG *hWnd, BSTR *WindowStyle, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(minimizeMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(playMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(hideMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(showMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(restoreMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(stopMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(extractCurrentMovieSize)(TVX_THIS_ LONG *wLeft, LONG *wTop, LONG *wWidth, LONG *wHeight, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(extractDefaultMovieSize)(TVX_THIS_ LONG *wWidth, LONG *wHeight, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getBitsPerPixel)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getMovieInput)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getMovieOutput)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getAudioStatus)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(sizeLocateMovie)(TVX_THIS_ LONG *left, LONG *top, LONG *Width, LONG *Height, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(isMoviePlaying)(TVX_THIS_ VARIANT_BOOL *pRetVal) TVX_PURE;
    TVX_STDMETHOD(checkError)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getDeviceName)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getDeviceVersion)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getNominalFrameRate)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getFramePerSecRate)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getCurrentSize)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getDefaultSize)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getLengthInFrames)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getLengthInMS)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(playFullScreen)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getLengthInSec)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setVideoOff)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setVideoOn)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(pauseMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(resumeMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getPositionInMS)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getRate)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getPositionInFrames)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getStatus)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(closeMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getFormatPosition)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getFormatLength)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getVolume)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getVideoStatus)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getTimeFormat)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getLeftVolume)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getPositionInSec)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(getRightVolume)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setAudioOff)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setAudioOn)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setLeftOff)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setRightOff)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setLeftOn)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setRightOn)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setDoorOpen)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setDoorClosed)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setVolume)(TVX_THIS_ LONG *Value, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setPositionTo)(TVX_THIS_ LONG *Second, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(restartMovie)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(rewindByMS)(TVX_THIS_ LONG *numMS, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(rewindByFrames)(TVX_THIS_ LONG *numFrames, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(rewindBySeconds)(TVX_THIS_ LONG *numSec, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(forwardByFrames)(TVX_THIS_ LONG *numFrames, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(forwardByMS)(TVX_THIS_ LONG *numMS, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(forwardBySeconds)(TVX_THIS_ LONG *numSec, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(checkDeviceReady)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setSpeed)(TVX_THIS_ LONG *Value, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setLeftVolume)(TVX_THIS_ LONG *Value, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(setRightVolume)(TVX_THIS_ LONG *Value, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(timeOut)(TVX_THIS_ VARIANT *duration) TVX_PURE;
} TVX_END_INTERFACE(_clsKwVidoMoviesA)

#undef INTERFACE
#define INTERFACE _clsKwVidoMciApiA
TVX_DECLARE_INTERFACE_(_clsKwVidoMciApiA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
    TVX_STDMETHOD(get_ErrorDescription)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_ErrorNumber)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_TotalTime)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_TotalFrames)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(get_FramesPerSec)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(OpenDevice)(TVX_THIS_ BSTR *DeviceType, BSTR *DeviceAlias, BSTR *filename, LONG *ParentHWnd, BSTR *WindowStyle, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(CloseDevice)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdPlay)(TVX_THIS_ BSTR *DeviceAlias, SHORT *FromPosition, SHORT *ToPosition, VARIANT_BOOL *Fullscreen, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdStop)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdPause)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdChannels)(TVX_THIS_ BSTR *DeviceAlias, SHORT *Channel, VARIANT_BOOL *Value, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdRate)(TVX_THIS_ BSTR *DeviceAlias, SHORT *Rate, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdTimeFormat)(TVX_THIS_ BSTR *DeviceAlias, BSTR *TimeFormat, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdVideoOutput)(TVX_THIS_ BSTR *DeviceAlias, VARIANT_BOOL *VideoOutput, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdConfigure)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetCopyRight)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetName)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetProduct)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdResize)(TVX_THIS_ BSTR *DeviceAlias, SHORT *x1, SHORT *y1, SHORT *x2, SHORT *y2, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdResizeClient)(TVX_THIS_ BSTR *DeviceAlias, SHORT *x1, SHORT *y1, SHORT *x2, SHORT *y2, VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdToStart)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdToEnd)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdSeek)(TVX_THIS_ BSTR *DeviceAlias, LONG *SeekTo, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdVolume)(TVX_THIS_ BSTR *DeviceAlias, SHORT *Channel, SHORT *Factor, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetVolume)(TVX_THIS_ BSTR *DeviceAlias, SHORT *Channel, SHORT *Volume, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetPosition)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetFormatTag)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetTimeFormat)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetLength)(TVX_THIS_ BSTR *DeviceAlias, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetSize)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(cmdGetStatus)(TVX_THIS_ BSTR *DeviceAlias, BSTR *pRetVal) TVX_PURE;
} TVX_END_INTERFACE(_clsKwVidoMciApiA)

#undef INTERFACE
#define INTERFACE _clsKwVidoCutVideoA
TVX_DECLARE_INTERFACE_(_clsKwVidoCutVideoA, IDispatch) {
    TVX_IUNKNOWN_METHODS
    TVX_IDISPATCH_METHODS
    TVX_STDMETHOD(get_FileType)(TVX_THIS_ SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_FileType)(TVX_THIS_ SHORT value) TVX_PURE;
    TVX_STDMETHOD(get_picture_rate)(TVX_THIS_ VARIANT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_picture_rate)(TVX_THIS_ VARIANT value) TVX_PURE;
    TVX_STDMETHOD(putref_picture_rate)(TVX_THIS_ VARIANT value) TVX_PURE;
    TVX_STDMETHOD(get_startTime)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_startTime)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_timecorrect)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_timecorrect)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_confirmall)(TVX_THIS_ SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_confirmall)(TVX_THIS_ SHORT value) TVX_PURE;
    TVX_STDMETHOD(get_Buffer)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Buffer)(TVX_THIS_ BSTR value) TVX_PURE;
    TVX_STDMETHOD(get_Byterate)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Byterate)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_EoF)(TVX_THIS_ SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_EoF)(TVX_THIS_ SHORT value) TVX_PURE;
    TVX_STDMETHOD(get_VidSeqStart)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_VidSeqStart)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_VidSeqEnd)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_VidSeqEnd)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_startT)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_startT)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_startO)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_startO)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_stopO)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_stopO)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_stopT)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_stopT)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_TotalTime)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_TotalTime)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_Tmax)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Tmax)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_Infd)(TVX_THIS_ SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Infd)(TVX_THIS_ SHORT value) TVX_PURE;
    TVX_STDMETHOD(get_OutFd)(TVX_THIS_ SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_OutFd)(TVX_THIS_ SHORT value) TVX_PURE;
    TVX_STDMETHOD(get_FileSize)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_FileSize)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_start)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_start)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_EndO)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_EndO)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_MinimumCut)(TVX_THIS_ LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_MinimumCut)(TVX_THIS_ LONG value) TVX_PURE;
    TVX_STDMETHOD(get_FrameRate)(TVX_THIS_ double *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_FrameRate)(TVX_THIS_ double value) TVX_PURE;
    TVX_STDMETHOD(get_Inpath)(TVX_THIS_ BSTR *pRetVal) TVX_PURE;
    TVX_STDMETHOD(put_Inpath)(TVX_THIS_ BSTR value) TVX_PURE;
    TVX_STDMETHOD(FillBuffer)(TVX_THIS_ LONG off, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(CutVideo)(TVX_THIS_ BSTR Inpath, BSTR OutPath, LONG fromT, LONG toT, LONG TotalDuration, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(FindNextMarker)(TVX_THIS_ LONG *off, BYTE *mark, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(FindNext)(TVX_THIS_ LONG *off, BYTE mark, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(FindMark)(TVX_THIS_ LONG *off, BYTE *mark, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(GetByte)(TVX_THIS_ LONG off, BYTE *pRetVal) TVX_PURE;
    TVX_STDMETHOD(EnsureMarker)(TVX_THIS_ LONG *off, BYTE *mark, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(FindVideoSeqHeader)(TVX_THIS_ LONG *off, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(GetSize)(TVX_THIS_ LONG off, LONG *pRetVal) TVX_PURE;
    TVX_STDMETHOD(ParseVidSeq)(TVX_THIS_ LONG *off) TVX_PURE;
    TVX_STDMETHOD(BackwardFindBoundaries)(TVX_THIS_ LONG from, LONG *packetstart, LONG *packetend, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(copy)(TVX_THIS_ SHORT *Infd, SHORT *OutFd, LONG *from, LONG *toF) TVX_PURE;
    TVX_STDMETHOD(ReadGOPHeader)(TVX_THIS_ LONG off, double *timestamp) TVX_PURE;
    TVX_STDMETHOD(CutPart)(TVX_THIS_ LONG begin, LONG endT, BSTR filename, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(ReadPacketTS)(TVX_THIS_ LONG *off, double *pts, double *dts, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(ReadTimeStamp)(TVX_THIS_ LONG off, double *timestamp, SHORT *pRetVal) TVX_PURE;
    TVX_STDMETHOD(init)(TVX_THIS_ BSTR Inpath) TVX_PURE;
    TVX_STDMETHOD(TimeToOffSets)(TVX_THIS) TVX_PURE;
    TVX_STDMETHOD(Offset)(TVX_THIS_ double time, LONG off) TVX_PURE;
} TVX_END_INTERFACE(_clsKwVidoCutVideoA)
#undef INTERFACE

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TARVEX10_TARVEX10_H */
