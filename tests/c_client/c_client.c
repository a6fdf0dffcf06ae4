/*
 * A client written in plain C, as programs in other languages reach the
 * component: it loads the library by path, takes the class objects from its
 * export, and drives the objects only through the C function tables of the
 * public headers. It catches layout or calling differences between the C
 * declarations and the C++ implementation that C++ tests cannot see.
 *
 * Usage: tvx_c_client /path/to/libtarvex10.so
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "tarvex10/automation.h"
#include "tarvex10/platform.h"
#include "tarvex10/tarvex10.h"

static int passed;
static int failed;

static void check(int ok, const char *what, int line) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED (line %d): %s\n", line, what);
    }
}
#define CHECK(cond) check((cond) ? 1 : 0, #cond, __LINE__)
#define CHECK_HR(expr, expected)                                                                   \
    do {                                                                                           \
        HRESULT hr_ = (expr);                                                                      \
        check(hr_ == (expected), #expr " == " #expected, __LINE__);                                \
        if (hr_ != (expected)) printf("    got 0x%08x\n", (unsigned)hr_);                          \
    } while (0)

/* ---- a media control interface that records what it is sent -------------- */

#define MAX_COMMANDS 8
#define COMMAND_LENGTH 256

typedef struct Recorder {
    int count;
    char commands[MAX_COMMANDS][COMMAND_LENGTH];
} Recorder;

/* Codes chosen so that "close" and "open" can be told apart in Error. */
#define CLOSE_CODE 263u
#define OPEN_CODE 277u

static MCIERROR record_send(void *context, const char *command, char *reply, UINT capacity, HWND callback) {
    Recorder *recorder = (Recorder *)context;
    (void)callback;
    if (recorder->count < MAX_COMMANDS) {
        snprintf(recorder->commands[recorder->count], COMMAND_LENGTH, "%s", command);
    }
    ++recorder->count;
    if (reply && capacity > 0) reply[0] = '\0';
    return strncmp(command, "open ", 5) == 0 ? OPEN_CODE : CLOSE_CODE;
}

/* ---- helpers ---------------------------------------------------------------- */

/* The layouts that every language binding depends on. */
_Static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes");
_Static_assert(offsetof(VARIANT, u) == 8, "the VARIANT value follows four 16-bit words");
_Static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
_Static_assert(sizeof(DISPPARAMS) == 24, "DISPPARAMS is two pointers and two counts");

/* dlsym's object pointer as a function pointer, without a cast that ISO C
 * leaves undefined. */
typedef void (*AnyFunction)(void);
static AnyFunction symbol(void *library, const char *name) {
    void *address = dlsym(library, name);
    AnyFunction function = NULL;
    memcpy(&function, &address, sizeof function);
    return function;
}

static int same_text(BSTR text, const OLECHAR *expected) {
    size_t length = 0;
    while (expected[length]) ++length;
    return text && SysStringLen(text) == length && memcmp(text, expected, length * sizeof(OLECHAR)) == 0;
}

static HRESULT invoke(IDispatch *object, DISPID id, WORD flags, VARIANT *args, UINT count, DISPID *named,
                      UINT named_count, VARIANT *result) {
    DISPPARAMS params;
    EXCEPINFO excep;
    UINT arg_err = 0;
    params.rgvarg = args;
    params.rgdispidNamedArgs = named;
    params.cArgs = count;
    params.cNamedArgs = named_count;
    memset(&excep, 0, sizeof excep);
    HRESULT hr = object->lpVtbl->Invoke(object, id, &IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep,
                                        &arg_err);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return hr;
}

/* ---- the classes --------------------------------------------------------------- */

typedef struct ClassCase {
    const char *name;
    const CLSID *clsid;
    const IID *iid;
    WORD functions; /* members of its interface beyond the seven standard ones */
} ClassCase;

static const ClassCase classes[] = {
    {"clsKwvIDOTarvex10A", &CLSID_clsKwvIDOTarvex10A, &IID__clsKwvIDOTarvex10A, 7},
    {"clsKwVidoVfwA", &CLSID_clsKwVidoVfwA, &IID__clsKwVidoVfwA, 0},
    {"clsKwVidoGeneralA", &CLSID_clsKwVidoGeneralA, &IID__clsKwVidoGeneralA, 0},
    {"clsKwVidoAdvancedA", &CLSID_clsKwVidoAdvancedA, &IID__clsKwVidoAdvancedA, 0},
    {"clsKwVidoMoviesA", &CLSID_clsKwVidoMoviesA, &IID__clsKwVidoMoviesA, 72},
    {"clsKwVidoMciApiA", &CLSID_clsKwVidoMciApiA, &IID__clsKwVidoMciApiA, 31},
    {"clsKwVidoCutVideoA", &CLSID_clsKwVidoCutVideoA, &IID__clsKwVidoCutVideoA, 68},
};
#define CLASS_COUNT (sizeof classes / sizeof classes[0])
#define MOVIES_INDEX 4

static IDispatch *create(LPFNGETCLASSOBJECT get_class_object, const ClassCase *c) {
    IClassFactory *factory = NULL;
    IDispatch *object = NULL;
    HRESULT hr = get_class_object(c->clsid, &IID_IClassFactory, (void **)&factory);
    check(hr == S_OK && factory != NULL, c->name, __LINE__);
    if (!factory) return NULL;
    /* The class object refuses aggregation, which it does not support. */
    {
        void *refused = &refused;
        CHECK_HR(factory->lpVtbl->CreateInstance(factory, (IUnknown *)factory, &IID_IDispatch, &refused),
                 CLASS_E_NOAGGREGATION);
        CHECK(refused == NULL);
    }
    hr = factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, (void **)&object);
    check(hr == S_OK && object != NULL, c->name, __LINE__);
    factory->lpVtbl->Release(factory);
    return object;
}

/* Type information: one description, of the class's own interface, with
 * exactly its members. */
static void check_type_info(IDispatch *object, const ClassCase *c) {
    UINT count = 99;
    ITypeInfo *info = NULL;
    TYPEATTR *attr = NULL;
    CHECK_HR(object->lpVtbl->GetTypeInfoCount(object, &count), S_OK);
    CHECK(count == 1);
    CHECK_HR(object->lpVtbl->GetTypeInfo(object, 1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
    CHECK_HR(object->lpVtbl->GetTypeInfo(object, 0, LOCALE_USER_DEFAULT, &info), S_OK);
    if (!info) return;
    CHECK_HR(info->lpVtbl->GetTypeAttr(info, &attr), S_OK);
    if (attr) {
        check(attr->cFuncs == c->functions, c->name, __LINE__);
        if (attr->cFuncs != c->functions) printf("    %s: cFuncs %u\n", c->name, (unsigned)attr->cFuncs);
        CHECK(memcmp(&attr->guid, c->iid, sizeof(GUID)) == 0);
        CHECK(attr->typekind == TKIND_DISPATCH);
        info->lpVtbl->ReleaseTypeAttr(info, attr);
    }
    info->lpVtbl->Release(info);
}

/* Every class answers for IUnknown, IDispatch and its own interface, and the
 * three are one object. */
static void check_identity(IDispatch *object, const ClassCase *c) {
    IUnknown *unknown = NULL;
    IDispatch *own = NULL;
    void *none = &none;
    CHECK_HR(object->lpVtbl->QueryInterface(object, &IID_IUnknown, (void **)&unknown), S_OK);
    CHECK_HR(object->lpVtbl->QueryInterface(object, c->iid, (void **)&own), S_OK);
    CHECK((void *)unknown == (void *)object);
    CHECK((void *)own == (void *)object);
    CHECK_HR(object->lpVtbl->QueryInterface(object, &IID_IClassFactory, &none), E_NOINTERFACE);
    CHECK(none == NULL);
    if (unknown) unknown->lpVtbl->Release(unknown);
    if (own) own->lpVtbl->Release(own);
}

static void check_empty_class(IDispatch *object) {
    VARIANT result;
    OLECHAR name[] = u"Error";
    LPOLESTR names[1];
    DISPID id = 0;
    names[0] = name;
    VariantInit(&result);
    CHECK_HR(invoke(object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, NULL, 0, NULL, 0, &result),
             DISP_E_MEMBERNOTFOUND);
    CHECK_HR(invoke(object, 0x60030001, DISPATCH_METHOD, NULL, 0, NULL, 0, &result), DISP_E_MEMBERNOTFOUND);
    CHECK(result.vt == VT_EMPTY);
    CHECK_HR(object->lpVtbl->GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
             DISP_E_UNKNOWNNAME);
    CHECK(id == DISPID_UNKNOWN);
}

/* ---- the movie player ------------------------------------------------------------- */

#define DISPID_ERROR 0x40030001
#define DISPID_OPEN_MOVIE 0x60030003

static void early_binding(_clsKwVidoMoviesA *movies) {
    LONG error = -1;
    OLECHAR text[] = u"my movie.mpg";
    BSTR name = SysAllocString(text);
    BSTR back = NULL;

    CHECK_HR(movies->lpVtbl->put_Error(movies, 5), S_OK);
    CHECK_HR(movies->lpVtbl->get_Error(movies, &error), S_OK);
    CHECK(error == 5);
    CHECK_HR(movies->lpVtbl->get_Error(movies, NULL), E_POINTER);

    CHECK_HR(movies->lpVtbl->put_filename(movies, name), S_OK);
    CHECK_HR(movies->lpVtbl->get_filename(movies, &back), S_OK);
    CHECK(same_text(back, text));
    /* The object keeps its own copy: the caller's string stays the caller's. */
    CHECK(back != name);
    SysFreeString(back);
    SysFreeString(name);
}

static void late_binding(IDispatch *object, _clsKwVidoMoviesA *movies) {
    OLECHAR upper[] = u"ERROR";
    OLECHAR mixed[] = u"eRRor";
    OLECHAR unknown[] = u"noSuchMember";
    LPOLESTR names[1];
    DISPID id = 0;
    VARIANT arg;
    VARIANT result;
    DISPID put_name = DISPID_PROPERTYPUT;
    LONG error = 0;

    names[0] = upper;
    CHECK_HR(object->lpVtbl->GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    CHECK(id == DISPID_ERROR);
    names[0] = mixed;
    id = 0;
    CHECK_HR(object->lpVtbl->GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    CHECK(id == DISPID_ERROR);
    names[0] = unknown;
    CHECK_HR(object->lpVtbl->GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
             DISP_E_UNKNOWNNAME);
    CHECK(id == DISPID_UNKNOWN);

    /* A put carries its value as the named argument DISPID_PROPERTYPUT. */
    VariantInit(&arg);
    arg.vt = VT_I4;
    V_I4(&arg) = 7;
    CHECK_HR(invoke(object, DISPID_ERROR, DISPATCH_PROPERTYPUT, &arg, 1, &put_name, 1, NULL), S_OK);
    VariantInit(&result);
    CHECK_HR(invoke(object, DISPID_ERROR, DISPATCH_PROPERTYGET, NULL, 0, NULL, 0, &result), S_OK);
    CHECK(result.vt == VT_I4);
    CHECK(V_I4(&result) == 7);
    VariantClear(&result);
    /* Both bindings reach the same field. */
    CHECK_HR(movies->lpVtbl->get_Error(movies, &error), S_OK);
    CHECK(error == 7);

    /* A put value of another type is converted to the property's type. */
    VariantInit(&arg);
    arg.vt = VT_R8;
    V_R8(&arg) = 41.5; /* rounds half to even */
    CHECK_HR(invoke(object, DISPID_ERROR, DISPATCH_PROPERTYPUT, &arg, 1, &put_name, 1, NULL), S_OK);
    CHECK_HR(movies->lpVtbl->get_Error(movies, &error), S_OK);
    CHECK(error == 42);

    /* Failures of the call itself. */
    VariantInit(&result);
    CHECK_HR(invoke(object, 0x7fff1234, DISPATCH_METHOD, NULL, 0, NULL, 0, &result), DISP_E_MEMBERNOTFOUND);
    arg.vt = VT_I4;
    V_I4(&arg) = 1;
    CHECK_HR(invoke(object, DISPID_ERROR, DISPATCH_PROPERTYGET, &arg, 1, NULL, 0, &result), DISP_E_BADPARAMCOUNT);
    CHECK_HR(invoke(object, DISPID_OPEN_MOVIE, DISPATCH_METHOD, &arg, 1, NULL, 0, &result), DISP_E_BADPARAMCOUNT);
    CHECK(result.vt == VT_EMPTY);
    {
        DISPPARAMS params = {NULL, NULL, 0, 0};
        CHECK_HR(object->lpVtbl->Invoke(object, DISPID_ERROR, &IID_IDispatch, LOCALE_USER_DEFAULT,
                                        DISPATCH_PROPERTYGET, &params, &result, NULL, NULL),
                 DISP_E_UNKNOWNINTERFACE);
    }
}

static void open_movie(IDispatch *object, _clsKwVidoMoviesA *movies) {
    Recorder recorder;
    TVXMCIHANDLER handler;
    TVXMCIHANDLER previous;
    VARIANT result;
    LONG error = 0;
    OLECHAR text[] = u"my movie.mpg";
    OLECHAR quoted[] = u"\"my movie.mpg\"";
    BSTR name = SysAllocString(text);
    BSTR back = NULL;

    memset(&recorder, 0, sizeof recorder);
    handler.send = record_send;
    handler.get_error_string = NULL;
    handler.context = &recorder;
    TvxSetMciHandler(&handler, &previous);

    CHECK_HR(movies->lpVtbl->put_filename(movies, name), S_OK);
    VariantInit(&result);
    CHECK_HR(invoke(object, DISPID_OPEN_MOVIE, DISPATCH_METHOD, NULL, 0, NULL, 0, &result), S_OK);
    CHECK(result.vt == VT_EMPTY);

    CHECK(recorder.count == 2);
    CHECK(strcmp(recorder.commands[0], "close movie") == 0);
    CHECK(strcmp(recorder.commands[1], "open \"my movie.mpg\" type mpegvideo alias movie") == 0);
    if (recorder.count >= 2) printf("    sent: [%s] [%s]\n", recorder.commands[0], recorder.commands[1]);
    CHECK_HR(movies->lpVtbl->get_Error(movies, &error), S_OK);
    CHECK(error == (LONG)OPEN_CODE);
    /* Opening leaves the quoted name behind. */
    CHECK_HR(movies->lpVtbl->get_filename(movies, &back), S_OK);
    CHECK(same_text(back, quoted));
    SysFreeString(back);

    /* The same member through its early-bound entry. */
    recorder.count = 0;
    error = 0;
    VariantInit(&result);
    CHECK_HR(movies->lpVtbl->closeMovie(movies, &result), S_OK);
    CHECK(recorder.count == 1);
    CHECK(strcmp(recorder.commands[0], "close all") == 0);
    CHECK_HR(movies->lpVtbl->get_Error(movies, &error), S_OK);
    CHECK(error == (LONG)CLOSE_CODE);

    TvxSetMciHandler(&previous, NULL);
    SysFreeString(name);
}

static void movie_player(IDispatch *object) {
    _clsKwVidoMoviesA *movies = NULL;
    CHECK_HR(object->lpVtbl->QueryInterface(object, &IID__clsKwVidoMoviesA, (void **)&movies), S_OK);
    if (!movies) return;
    early_binding(movies);
    late_binding(object, movies);
    open_movie(object, movies);
    movies->lpVtbl->Release(movies);
}

int main(int argc, char **argv) {
    void *library;
    LPFNGETCLASSOBJECT get_class_object;
    LPFNCANUNLOADNOW can_unload_now;
    IDispatch *objects[CLASS_COUNT];
    size_t i;

    if (argc != 2) {
        fprintf(stderr, "usage: %s COMPONENT\n", argv[0]);
        return 2;
    }
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        printf("cannot load %s: %s\n0 passed, 1 failed\n", argv[1], dlerror());
        return 1;
    }
    get_class_object = (LPFNGETCLASSOBJECT)symbol(library, "DllGetClassObject");
    can_unload_now = (LPFNCANUNLOADNOW)symbol(library, "DllCanUnloadNow");
    CHECK(get_class_object != NULL);
    CHECK(can_unload_now != NULL);
    if (!get_class_object || !can_unload_now) {
        printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }

    {
        void *none = &none;
        CHECK_HR(get_class_object(&IID_IDispatch, &IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
        CHECK(none == NULL);
    }
    CHECK_HR(can_unload_now(), S_OK);

    for (i = 0; i < CLASS_COUNT; ++i) {
        objects[i] = create(get_class_object, &classes[i]);
        if (!objects[i]) continue;
        check_identity(objects[i], &classes[i]);
        check_type_info(objects[i], &classes[i]);
        if (classes[i].functions == 0) check_empty_class(objects[i]);
    }
    /* Live objects keep the library loaded. */
    CHECK_HR(can_unload_now(), S_FALSE);

    if (objects[MOVIES_INDEX]) movie_player(objects[MOVIES_INDEX]);

    for (i = 0; i < CLASS_COUNT; ++i) {
        if (objects[i]) CHECK(objects[i]->lpVtbl->Release(objects[i]) == 0);
    }
    CHECK_HR(can_unload_now(), S_OK);
    dlclose(library);

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
