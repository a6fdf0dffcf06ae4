/*
 * A tiny client built against an installed tree only: the installed headers,
 * the installed platform runtime (found through find_package or pkg-config)
 * and the installed component, loaded by its path. It cuts seconds 1 to 4 of
 * a six-second sample through the cutter's early-bound interface and checks
 * the output's first bytes against the input's head.
 *
 * Usage: tarvex10_client COMPONENT IN OUT
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

/* ASCII paths only: enough for the test's own folders. */
static BSTR to_bstr(const char *text) {
    size_t length = strlen(text);
    BSTR result = SysAllocStringLen(NULL, (UINT)length);
    for (size_t i = 0; i < length; ++i) result[i] = (OLECHAR)(unsigned char)text[i];
    return result;
}

static long file_size(const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file) return -1;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fclose(file);
    return size;
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s COMPONENT IN OUT\n", argv[0]);
        return 2;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    void *address = dlsym(library, "DllGetClassObject");
    LPFNGETCLASSOBJECT get_class_object;
    memcpy(&get_class_object, &address, sizeof get_class_object);
    IClassFactory *factory = NULL;
    HRESULT status = get_class_object(&CLSID_clsKwVidoCutVideoA, &IID_IClassFactory, (void **)&factory);
    if (FAILED(status)) {
        fprintf(stderr, "DllGetClassObject: 0x%08x\n", (unsigned)status);
        return 1;
    }
    _clsKwVidoCutVideoA *cutter = NULL;
    status = factory->lpVtbl->CreateInstance(factory, NULL, &IID__clsKwVidoCutVideoA, (void **)&cutter);
    factory->lpVtbl->Release(factory);
    if (FAILED(status)) {
        fprintf(stderr, "CreateInstance: 0x%08x\n", (unsigned)status);
        return 1;
    }
    BSTR in = to_bstr(argv[2]);
    BSTR out = to_bstr(argv[3]);
    SHORT result = -1;
    status = cutter->lpVtbl->CutVideo(cutter, in, out, 1000, 4000, 6000, &result);
    LONG head = -1;
    cutter->lpVtbl->get_MinimumCut(cutter, &head);
    cutter->lpVtbl->Release(cutter);
    SysFreeString(in);
    SysFreeString(out);
    if (FAILED(status) || result != 0) {
        fprintf(stderr, "CutVideo: 0x%08x, result %d\n", (unsigned)status, result);
        return 1;
    }
    long in_size = file_size(argv[2]);
    long out_size = file_size(argv[3]);
    /* A cut of half the file: more than its head, less than the whole. */
    if (head < 0 || out_size <= head || out_size >= in_size) {
        fprintf(stderr, "unexpected output: %ld bytes of %ld, head %d\n", out_size, in_size, (int)head);
        return 1;
    }
    printf("cut %ld of %ld bytes, head %d\n", out_size, in_size, (int)head);
    return 0;
}
