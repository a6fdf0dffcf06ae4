// Under ThreadSanitizer: GStreamer, GLib, PulseAudio, Xlib and the codec
// libraries are not built with it, so it sees neither their locks nor their
// atomic operations, and takes the memory they hand between their own
// threads (through its interceptors: memcpy, free, ...) for races. What those
// libraries do among themselves is not ours to check; every access made by
// our own code still is, the pad probes that run on GStreamer's threads
// included. Each name must match one library only. Read by the sanitizer
// runtime at start; only this test program carries them.
extern "C" __attribute__((visibility("default"))) const char *__tsan_default_suppressions() {
    return
           "called_from_lib:libglib-2.0.so\n"
           "called_from_lib:libgobject-2.0.so\n"
           "called_from_lib:libgio-2.0.so\n"
           "called_from_lib:libgmodule-2.0.so\n"
           "called_from_lib:libgstreamer-1.0.so\n"
           "called_from_lib:libgstbase-1.0.so\n"
           "called_from_lib:libgstaudio-1.0.so\n"
           "called_from_lib:libgstvideo-1.0.so\n"
           "called_from_lib:libgstpbutils-1.0.so\n"
           "called_from_lib:libgsttag-1.0.so\n"
           "called_from_lib:libgstriff-1.0.so\n"
           "called_from_lib:libgstcodecparsers-1.0.so\n"
           "called_from_lib:libgstrtp-1.0.so\n"
           "called_from_lib:/libgstaudioconvert.so\n"
           "called_from_lib:/libgstaudioparsers.so\n"
           "called_from_lib:/libgstaudioresample.so\n"
           "called_from_lib:/libgstcoreelements.so\n"
           "called_from_lib:/libgstdeinterlace.so\n"
           "called_from_lib:/libgstisomp4.so\n"
           "called_from_lib:/libgstlibav.so\n"
           "called_from_lib:/libgstmpegpsdemux.so\n"
           "called_from_lib:/libgstplayback.so\n"
           "called_from_lib:/libgstpulseaudio.so\n"
           "called_from_lib:/libgsttypefindfunctions.so\n"
           "called_from_lib:/libgstvideoconvertscale.so\n"
           "called_from_lib:/libgstvideofilter.so\n"
           "called_from_lib:/libgstvideoparsersbad.so\n"
           "called_from_lib:/libgstvolume.so\n"
           "called_from_lib:/libgstmpeg2dec.so\n"
           "called_from_lib:/libgstximagesink.so\n"
           "called_from_lib:/libgstxvimagesink.so\n"
           "called_from_lib:/libgstmpg123.so\n"
           "called_from_lib:libpulse.so\n"
           "called_from_lib:libpulsecommon-\n"
           "called_from_lib:libX11.so\n"
           "called_from_lib:libxcb.so\n"
           "called_from_lib:libXext.so\n"
           "called_from_lib:libX11-xcb.so\n"
           "called_from_lib:libXv.so\n"
           "called_from_lib:libXi.so\n"
           "called_from_lib:libXfixes.so\n"
           "called_from_lib:libXrender.so\n"
           "called_from_lib:liborc-0.4.so\n"
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n"
           "called_from_lib:libavformat.so\n"
           "called_from_lib:libswresample.so\n"
           "called_from_lib:libswscale.so\n"
           "called_from_lib:libmpg123.so\n"
           "called_from_lib:libmpeg2.so\n"
           "called_from_lib:libfaad.so\n"
           "called_from_lib:/libgstfaad.so\n";
}
