/*
 * The platform runtime: the services that the component and its clients take
 * from the operating system on the component's home platform, provided here
 * by libtvxplatform.so.
 *
 *   strings        SysAllocString, SysAllocStringLen, SysFreeString, ...
 *   variants       VariantInit, VariantClear, VariantCopy, VariantChangeType
 *   arrays         SafeArrayCreate, SafeArrayAccessData, ...
 *   errors         SetErrorInfo, GetErrorInfo, CreateErrorInfo (per thread)
 *   creation       CLSIDFromProgID, CoCreateInstance, CoGetClassObject,
 *                  CoRegisterClassObject (in-process class objects)
 *   registry       a file of keys and values, replaced atomically
 *   type info      TvxCreateTypeInfo builds ITypeInfo from a plain description
 *   media control  mciSendStringA, mciGetErrorStringA
 *   host hooks     a host program or a test installs its own media control
 *                  handler and message box
 *   resources      a module's resources, its application object, the
 *                  binary type-library form, marshalled calls
 *
 * All functions are callable from C.
 */
#ifndef TARVEX10_PLATFORM_H
#define TARVEX10_PLATFORM_H

#include "automation.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TVX_BUILDING_PLATFORM)
#define TVX_PLATFORM_API __attribute__((visibility("default")))
#else
#define TVX_PLATFORM_API
#endif

/* ---- strings ------------------------------------------------------------ */

TVX_PLATFORM_API BSTR SysAllocString(const OLECHAR *text);
/* `text` may be NULL: the string then holds `length` NUL characters. */
TVX_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR *text, UINT length);
TVX_PLATFORM_API BSTR SysAllocStringByteLen(const char *bytes, UINT length);
TVX_PLATFORM_API int SysReAllocStringLen(BSTR *target, const OLECHAR *text, UINT length);
TVX_PLATFORM_API void SysFreeString(BSTR text);
/* Length in characters; 0 for NULL, which stands for the empty string. */
TVX_PLATFORM_API UINT SysStringLen(BSTR text);
TVX_PLATFORM_API UINT SysStringByteLen(BSTR text);

/* ---- variants ----------------------------------------------------------- */

TVX_PLATFORM_API void VariantInit(VARIANT *v);
TVX_PLATFORM_API HRESULT VariantClear(VARIANT *v);
TVX_PLATFORM_API HRESULT VariantCopy(VARIANT *dest, const VARIANT *src);
/* Like VariantCopy, but a by-ref source is copied as the value it refers to. */
TVX_PLATFORM_API HRESULT VariantCopyInd(VARIANT *dest, const VARIANT *src);
/* Coerces with the automation rules: integers round half to even,
 * DISP_E_OVERFLOW outside the target range, DISP_E_TYPEMISMATCH when no
 * conversion exists; text is read in the current locale's notation. */
TVX_PLATFORM_API HRESULT VariantChangeType(VARIANT *dest, const VARIANT *src, USHORT flags, VARTYPE vt);

/* ---- arrays ------------------------------------------------------------- */

/* `bounds` lists the dimensions first to last; the array stores them last
 * dimension first. */
TVX_PLATFORM_API SAFEARRAY *SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND *bounds);
TVX_PLATFORM_API SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements);
TVX_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY *array);
TVX_PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY *src, SAFEARRAY **dest);
TVX_PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY *array);
TVX_PLATFORM_API UINT SafeArrayGetElemsize(SAFEARRAY *array);
TVX_PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY *array, VARTYPE *vt);
TVX_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY *array, UINT dim, LONG *lower_bound);
TVX_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY *array, UINT dim, LONG *upper_bound);
TVX_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY *array, void **data);
TVX_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY *array);
/* `indices` lists one index per dimension, first dimension first. Get copies
 * the element out through `value`; Put takes a BSTR or interface element as
 * the pointer itself (not a pointer to it) and copies it in. */
TVX_PLATFORM_API HRESULT SafeArrayGetElement(SAFEARRAY *array, const LONG *indices, void *value);
TVX_PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY *array, const LONG *indices, const void *value);

/* ---- per-thread error information ---------------------------------------- */

TVX_PLATFORM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo *info);
/* Hands the thread's error object to the caller and clears the slot;
 * S_FALSE and NULL when there is none. */
TVX_PLATFORM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo **info);
TVX_PLATFORM_API HRESULT CreateErrorInfo(ICreateErrorInfo **info);

/* ---- identifiers ---------------------------------------------------------- */

/* "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with braces, 38 characters. */
TVX_PLATFORM_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID *clsid);
/* Writes 39 characters including the NUL; returns the count or 0. */
TVX_PLATFORM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity);
TVX_PLATFORM_API int IsEqualGUID(REFGUID a, REFGUID b);

/* ---- registry ------------------------------------------------------------
 * The registry is one text file of keys, each holding named string values.
 * Every change reads the file, applies the change and replaces the file with
 * a new one in a single rename, so a failed write never damages it.
 * Its path is TVX_REGISTRY when that environment variable is set, otherwise
 * $XDG_DATA_HOME/tarvex10/registry (or ~/.local/share/tarvex10/registry).
 */
typedef struct TVXREGVALUE {
    const char *key;   /* e.g. "CLSID\\{...}\\InprocServer32" */
    const char *name;  /* "" for the key's default value */
    const char *value; /* ignored by TvxRegistryRemove */
} TVXREGVALUE;

/* Sets the path for this process; NULL returns to the default. */
TVX_PLATFORM_API HRESULT TvxRegistrySetPath(const char *path);
/* Copies the path in use into `buffer`; returns its length. */
TVX_PLATFORM_API size_t TvxRegistryGetPath(char *buffer, size_t capacity);
TVX_PLATFORM_API HRESULT TvxRegistryWrite(const TVXREGVALUE *values, size_t count);
/* Removes exactly these values; a key left without values goes too. */
TVX_PLATFORM_API HRESULT TvxRegistryRemove(const TVXREGVALUE *values, size_t count);
/* S_OK and the value, or REGDB_E_READREGDB when the file cannot be read,
 * or S_FALSE when the value does not exist. The value is cut to fit. */
TVX_PLATFORM_API HRESULT TvxRegistryRead(const char *key, const char *name, char *buffer, size_t capacity);

/* ---- creation ------------------------------------------------------------ */

TVX_PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID *clsid);
TVX_PLATFORM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR *progid); /* free with SysFreeString */
/* Class objects registered in this process come first; otherwise the class's
 * in-process server is loaded from the path that the registry names. */
TVX_PLATFORM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void *reserved, REFIID riid, void **ppv);
TVX_PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID riid,
                                          void **ppv);
TVX_PLATFORM_API HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown *factory, DWORD context, DWORD flags,
                                               DWORD *cookie);
TVX_PLATFORM_API HRESULT CoRevokeClassObject(DWORD cookie);
/* Unloads every loaded server whose DllCanUnloadNow answers S_OK. */
TVX_PLATFORM_API void CoFreeUnusedLibraries(void);

/* ---- type information ------------------------------------------------------
 * TvxCreateTypeInfo turns a plain description of a dual interface into an
 * ITypeInfo that reports it as a dispatch interface. The description is
 * copied; the caller may free it afterwards.
 */
typedef struct TVXPARAMINFO {
    const char *name; /* NULL for the unnamed value of a put or putref */
    VARTYPE vt;       /* VT_I4, VT_BSTR, VT_VARIANT, VT_DISPATCH, ... */
    USHORT flags;     /* PARAMFLAG_FIN, plus PARAMFLAG_FOUT when by ref */
} TVXPARAMINFO;

typedef struct TVXMEMBERINFO {
    const char *name;
    DISPID dispid;
    INVOKEKIND kind;
    SHORT vtable_offset; /* byte offset of the member's slot */
    VARTYPE result;      /* VT_VOID for none */
    USHORT param_count;
    const TVXPARAMINFO *params;
} TVXMEMBERINFO;

typedef struct TVXINTERFACEINFO {
    const char *name;
    GUID iid;
    WORD type_flags; /* TYPEFLAG_* */
    WORD major_version;
    WORD minor_version;
    USHORT member_count;
    const TVXMEMBERINFO *members;
} TVXINTERFACEINFO;

TVX_PLATFORM_API HRESULT TvxCreateTypeInfo(const TVXINTERFACEINFO *info, ITypeInfo **type_info);

/* ---- media control string interface ----------------------------------------
 * mciSendStringA writes at most capacity - 1 characters of reply and a NUL
 * into `reply`, leaving the characters after that NUL as they were; with
 * capacity 0 (or no buffer) it does not touch the buffer. On an error the
 * reply is the empty text.
 */
typedef DWORD MCIERROR;

TVX_PLATFORM_API MCIERROR mciSendStringA(const char *command, char *reply, UINT capacity, HWND callback);
TVX_PLATFORM_API BOOL mciGetErrorStringA(MCIERROR code, char *text, UINT capacity);

/* A host's own media control interface; both functions follow the contract
 * above. */
typedef struct TVXMCIHANDLER {
    MCIERROR (*send)(void *context, const char *command, char *reply, UINT capacity, HWND callback);
    BOOL (*get_error_string)(void *context, MCIERROR code, char *text, UINT capacity);
    void *context;
} TVXMCIHANDLER;

/* Installs `handler` for the whole process (NULL restores the built-in
 * interface); the previous one is copied to `previous` when not NULL. */
TVX_PLATFORM_API void TvxSetMciHandler(const TVXMCIHANDLER *handler, TVXMCIHANDLER *previous);

/* A command sent with the flag "notify" and a callback handle other than 0
 * tells how it ended with MM_MCINOTIFY: SUCCESSFUL when it is done (a play:
 * when it has reached its end point), SUPERSEDED when a later command to the
 * device asks for a notification of its own while a play's is pending,
 * ABORTED when a command (play, stop, pause, seek, step) or a close cuts the
 * play short, FAILURE when the play stops on an error (the file went away, a
 * picture could not be decoded). A device keeps one pending notification; a
 * command that fails posts none. The notification is posted to the event
 * queue of the thread that sent the command and handed, when that thread
 * dispatches events, to the handler installed with TvxSetMciNotifyHandler
 * (NULL: none, and notifications are dropped). `device_id` is the number
 * that the device's open replied. */
#define MM_MCINOTIFY 0x03B9
#define MCI_NOTIFY_SUCCESSFUL 0x0001
#define MCI_NOTIFY_SUPERSEDED 0x0002
#define MCI_NOTIFY_ABORTED 0x0004
#define MCI_NOTIFY_FAILURE 0x0008

typedef void (*TVXMCINOTIFYPROC)(void *context, HWND callback, UINT message, UINT flags, UINT device_id);

TVX_PLATFORM_API void TvxSetMciNotifyHandler(TVXMCINOTIFYPROC handler, void *context);

/* ---- message box -------------------------------------------------------------
 * Shows `text` with a single OK button and returns when it is dismissed. The
 * built-in handler writes the title (when given) and the text to standard
 * error. Texts are UTF-8; `title` NULL means the platform's default caption.
 */
typedef void (*TVXMESSAGEBOXPROC)(void *context, const char *text, const char *title);

TVX_PLATFORM_API void TvxMessageBox(const char *text, const char *title);
TVX_PLATFORM_API void TvxSetMessageBoxHandler(TVXMESSAGEBOXPROC handler, void *context);

/* ---- time of day -------------------------------------------------------------
 * TvxTimeOfDay gives the local time of day in seconds since midnight, with
 * its fraction (0 <= t < 86400 for the built-in clock, which reads the system
 * clock in local time). A host or a test installs its own clock with
 * TvxSetClock; NULL restores the built-in one.
 */
typedef double (*TVXCLOCKPROC)(void *context);

TVX_PLATFORM_API double TvxTimeOfDay(void);
TVX_PLATFORM_API void TvxSetClock(TVXCLOCKPROC clock, void *context);

/* ---- event dispatch -----------------------------------------------------------
 * Every thread that uses the runtime has a queue of posted calls. Any thread
 * may post to it by the thread's id; only the owning thread runs them, from
 * TvxDispatchEvents.
 *
 * TvxDispatchEvents runs one pass of the calling thread's pending events and
 * returns. The built-in pass runs the calls that were queued when it started
 * (calls they post in turn wait for the next pass); when none are queued it
 * waits at most about a millisecond for one to arrive, so that a loop of
 * passes does not keep a core busy. A host or a test installs its own pass
 * with TvxSetEventDispatcher; NULL restores the built-in one.
 *
 * TvxCurrentThreadId gives the calling thread's id, never 0. TvxPostEvent
 * queues fn(arg) for the thread `thread_id`: S_OK, E_POINTER without `fn`,
 * E_INVALIDARG for an id that names no living thread. Calls still queued when
 * their thread ends are discarded without being run.
 */
typedef void (*TVXEVENTPROC)(void *arg);
typedef void (*TVXDISPATCHPROC)(void *context);

TVX_PLATFORM_API void TvxDispatchEvents(void);
TVX_PLATFORM_API void TvxSetEventDispatcher(TVXDISPATCHPROC dispatch, void *context);
TVX_PLATFORM_API DWORD TvxCurrentThreadId(void);
TVX_PLATFORM_API HRESULT TvxPostEvent(DWORD thread_id, TVXEVENTPROC fn, void *arg);

/* ---- resources ----------------------------------------------------------------
 * A module (a component library, or a program that carries classes of its
 * own) hands its resources to the runtime with TvxRegisterModuleResources,
 * usually once, on the first use that needs them. The runtime copies them, so
 * the module's table need not outlive the call and the copies stay valid if
 * the module is unloaded; registering again replaces the module's resources.
 * A module is named by its file's absolute path, the same path that the
 * registry gives as a class's in-process server; TvxGetModuleFileName finds
 * it from any address inside the module.
 *
 * A resource is found by its type and its id. The type is a name (matched
 * without regard to case, e.g. "TYPELIB") or a standard type number; a name
 * written "#16" stands for the number 16. Texts are UTF-8.
 *
 * Look-ups fail with TVX_E_RESOURCENOTFOUND when the module has no such
 * resource (or has registered none).
 */
#define TVX_RT_CURSOR 1
#define TVX_RT_BITMAP 2
#define TVX_RT_ICON 3
#define TVX_RT_STRING 6
#define TVX_RT_GROUP_CURSOR 12
#define TVX_RT_GROUP_ICON 14
#define TVX_RT_VERSION 16

/* The picture kinds of TvxLoadResourcePicture. */
#define TVX_PICTURE_BITMAP 0
#define TVX_PICTURE_ICON 1
#define TVX_PICTURE_CURSOR 2

#define TVX_E_RESOURCENOTFOUND ((HRESULT)0x80070716)
#ifndef E_NOT_SUFFICIENT_BUFFER
#define E_NOT_SUFFICIENT_BUFFER ((HRESULT)0x8007007A)
#endif

typedef struct TVXRESOURCE {
    const char *type_name; /* NULL for a standard type */
    WORD type_id;          /* the standard type when type_name is NULL */
    WORD id;
    const BYTE *data;
    DWORD size;
} TVXRESOURCE;

TVX_PLATFORM_API HRESULT TvxRegisterModuleResources(const char *module_path, const TVXRESOURCE *resources,
                                                    size_t count);
/* The absolute path (symbolic links resolved) of the module that holds
 * `address`; returns its length, 0 when no module holds it. The path is cut
 * to fit `capacity`, NUL included. */
TVX_PLATFORM_API size_t TvxGetModuleFileName(const void *address, char *buffer, size_t capacity);
/* The bytes of a resource as a vector of VT_UI1 (lower bound 0). */
TVX_PLATFORM_API HRESULT TvxLoadResourceData(const char *module_path, const char *type_name, WORD type_id, WORD id,
                                             SAFEARRAY **bytes);
/* String `id` of the module's string tables (standard type 6, sixteen
 * length-counted UTF-16 strings per table, table id = id / 16 + 1). An empty
 * string counts as missing. */
TVX_PLATFORM_API HRESULT TvxLoadResourceString(const char *module_path, UINT id, BSTR *text);
/* A bitmap, icon or cursor resource as a picture object: a dispatch object
 * with the read-only properties Type (1 bitmap, 3 icon or cursor), Handle,
 * Width and Height (pixels, from a bitmap's header; 0 otherwise). A kind that
 * is none of the three finds nothing. */
TVX_PLATFORM_API HRESULT TvxLoadResourcePicture(const char *module_path, UINT id, LONG kind, IDispatch **picture);

/* ---- property objects ----------------------------------------------------------
 * A small automation object with read-only properties, reached by name
 * (without regard to case) through IDispatch, with type information. Like the
 * component's objects it belongs to the thread that created it: other threads
 * get RPC_E_WRONG_THREAD. The values are copied.
 */
typedef struct TVXPROPERTY {
    const char *name;
    VARIANT value;
} TVXPROPERTY;

TVX_PLATFORM_API HRESULT TvxCreatePropertyObject(const char *type_name, const TVXPROPERTY *properties, size_t count,
                                                 IDispatch **object);

/* ---- the application object ----------------------------------------------------
 * TvxCreateAppObject makes the property object that describes a module, from
 * its file and its version record (standard type 16, id 1, in the classic
 * binary version-record layout):
 *   Major, Minor, Revision (int16)   the file version a.b.c.d as a, b and d
 *   EXEName                          the file name without its extension
 *   Path                             the folder, without a trailing '/'
 *   Title                            the record's InternalName, else EXEName
 *   Comments, CompanyName, FileDescription, LegalCopyright,
 *   LegalTrademarks, ProductName     the record's texts ("" when absent)
 *   ThreadID (int32)                 TvxCurrentThreadId of the creating thread
 * A module without a version record gets zeros and empty texts. Each call
 * makes a new object; keeping one per thread is the caller's business.
 *
 * The application-object convention: a class that its type library flags as
 * an application object (TYPEFLAG_FAPPOBJECT on its class entry) has one
 * implicit instance per thread, which clients reach with
 * TvxGetApplicationObject instead of creating an instance. The first call on
 * a thread creates it through the class's factory; later calls on that
 * thread return the same object, until TvxReleaseApplicationObjects or the
 * end of the thread. The type library is the TYPELIB resource id 1 of the
 * class's registered in-process server. Failures: the creation statuses,
 * TYPE_E_LIBNOTREGISTERED when the server has no type library,
 * TYPE_E_ELEMENTNOTFOUND when the library does not list the class,
 * E_INVALIDARG when it does not flag it as an application object.
 */
TVX_PLATFORM_API HRESULT TvxCreateAppObject(const char *module_path, IDispatch **app);
TVX_PLATFORM_API HRESULT TvxGetApplicationObject(REFCLSID clsid, IDispatch **object);
/* Lets go of the calling thread's implicit instances. */
TVX_PLATFORM_API void TvxReleaseApplicationObjects(void);

/* ---- the binary type-library form --------------------------------------------
 * A type library: its identity, its interfaces (each as TvxCreateTypeInfo
 * takes it) and its classes. TvxWriteTypeLib writes it in the runtime's own
 * binary form; TvxLoadTypeLib reads that form back into one block, freed
 * with TvxFreeTypeLib.
 *
 * The form, every number little-endian; a text is a 16-bit byte count and
 * that many bytes of UTF-8; a GUID is its 16-byte binary form (32-bit,
 * 16-bit and 16-bit numbers, then 8 bytes):
 *   "TVXL", format 1 (16 bits), 0 (16 bits)
 *   library id, major and minor version (16 bits each), locale (32 bits),
 *   name
 *   interface count (16 bits), then per interface:
 *     name, iid, type flags, major, minor, member count (16 bits each),
 *     then per member: name, dispid (32 bits), invoke kind, vtable offset
 *     (signed), result type, parameter count (16 bits each), then per
 *     parameter: name (empty for the unnamed value of a put), type, flags
 *     (16 bits each)
 *   class count (16 bits), then per class: name, clsid, type flags and the
 *     index of its default interface (16 bits each)
 * Nothing may follow. A form with another format number fails with
 * TYPE_E_UNSUPFORMAT, a damaged one with TYPE_E_INVDATAREAD.
 */
#ifndef TYPE_E_INVDATAREAD
#define TYPE_E_INVDATAREAD ((HRESULT)0x80028018)
#endif
#ifndef TYPE_E_UNSUPFORMAT
#define TYPE_E_UNSUPFORMAT ((HRESULT)0x80028019)
#endif

typedef struct TVXCLASSENTRY {
    const char *name;
    GUID clsid;
    WORD type_flags; /* TYPEFLAG_FCANCREATE, TYPEFLAG_FAPPOBJECT, ... */
    USHORT default_interface;
} TVXCLASSENTRY;

typedef struct TVXTYPELIBINFO {
    const char *name;
    GUID id;
    WORD major_version;
    WORD minor_version;
    LCID locale;
    USHORT interface_count;
    const TVXINTERFACEINFO *interfaces;
    USHORT class_count;
    const TVXCLASSENTRY *classes;
} TVXTYPELIBINFO;

/* Writes the form into `buffer` and its size into `size`. With too small a
 * buffer (or none) nothing is written, `size` gets the size needed and the
 * status is E_NOT_SUFFICIENT_BUFFER. */
TVX_PLATFORM_API HRESULT TvxWriteTypeLib(const TVXTYPELIBINFO *info, BYTE *buffer, size_t capacity, size_t *size);
TVX_PLATFORM_API HRESULT TvxLoadTypeLib(const void *data, size_t size, TVXTYPELIBINFO **lib);
TVX_PLATFORM_API void TvxFreeTypeLib(TVXTYPELIBINFO *lib);
/* The TYPELIB resource id 1 of a module, loaded. */
TVX_PLATFORM_API HRESULT TvxLoadModuleTypeLib(const char *module_path, TVXTYPELIBINFO **lib);

/* ---- marshalled calls ----------------------------------------------------------
 * An object belongs to the thread that created it. To use it from another
 * thread, its owner calls TvxMarshalInterface, which gives a proxy that any
 * thread may hold and call. A call through the proxy from another thread is
 * posted to the owner's event queue and runs there, one at a time, when the
 * owner dispatches events (TvxDispatchEvents, or TvxRunEventLoop for a thread
 * that only serves); the calling thread waits for it. On the owner thread the
 * proxy calls the object directly.
 *
 * The proxy offers IUnknown and IDispatch (GetTypeInfoCount, GetTypeInfo,
 * GetIDsOfNames, Invoke), not the object's own position-bound interface.
 * Objects that a marshalled call returns (results, and objects written to
 * by-ref arguments) come back as proxies bound to the owner thread. Objects
 * passed in go to the owner as they are, so they must be usable there (a
 * proxy is). The error information that the call leaves on the owner thread
 * is handed to the calling thread. A call whose owner thread has ended fails
 * with RPC_E_DISCONNECTED. The proxy's last release releases the object on
 * its owner thread (at once when the owner has ended).
 *
 * TvxRunEventLoop dispatches events until TvxQuitEventLoop is called for the
 * thread (from any thread, the thread itself included).
 */
#ifndef RPC_E_DISCONNECTED
#define RPC_E_DISCONNECTED ((HRESULT)0x80010108)
#endif

TVX_PLATFORM_API HRESULT TvxMarshalInterface(IDispatch *object, IDispatch **proxy);
TVX_PLATFORM_API void TvxRunEventLoop(void);
TVX_PLATFORM_API HRESULT TvxQuitEventLoop(DWORD thread_id);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TARVEX10_PLATFORM_H */
