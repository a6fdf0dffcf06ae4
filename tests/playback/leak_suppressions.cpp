// Under LeakSanitizer: GLib's and GStreamer's own allocations that live for
// the process (type registrations, the plug-in registry, element factories,
// thread pools) are not leaks of ours. Read by the sanitizer runtime at
// start; only this test program carries them.
extern "C" __attribute__((visibility("default"))) const char *__lsan_default_suppressions() {
    return "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgstreamer-1.0.so\n"
           "leak:libgstbase-1.0.so\n"
           "leak:libgstpbutils-1.0.so\n"
           "leak:libgstvideo-1.0.so\n"
           "leak:libgstaudio-1.0.so\n"
           "leak:/gstreamer-1.0/\n";
}
