"""The binary contract as ctypes sees it: the runtime's C API, the classic
structures, and calls through an interface's function table.

The libraries are looked for in this order: TARVEX10_LIBRARY_DIR, the folder
an installation recorded next to the package, the build tree that holds this
source tree, pkg-config's `libdir` for tarvex10, then the loader's own path.
"""
import ctypes
import os
import subprocess
import uuid
from ctypes import (POINTER, Structure, Union, byref, c_char_p, c_double, c_float, c_int16, c_int32,
                    c_int64, c_size_t, c_ubyte, c_uint16, c_uint32, c_void_p)

PLATFORM = "libtvxplatform.so"
COMPONENT = "libtarvex10.so"
FRAMEWORK = "libkwbasalt10.so"

# ---- statuses ---------------------------------------------------------------

S_OK = 0
S_FALSE = 1
E_NOINTERFACE = 0x80004002
E_FAIL = 0x80004005
REGDB_E_CLASSNOTREG = 0x80040154
CO_E_CLASSSTRING = 0x800401F3
RPC_E_WRONG_THREAD = 0x8001010E
RPC_E_DISCONNECTED = 0x80010108
DISP_E_MEMBERNOTFOUND = 0x80020003
DISP_E_PARAMNOTFOUND = 0x80020004
DISP_E_TYPEMISMATCH = 0x80020005
DISP_E_UNKNOWNNAME = 0x80020006
DISP_E_EXCEPTION = 0x80020009
DISP_E_OVERFLOW = 0x8002000A
DISP_E_BADPARAMCOUNT = 0x8002000E
DISP_E_PARAMNOTOPTIONAL = 0x8002000F

DISPATCH_METHOD = 1
DISPATCH_PROPERTYGET = 2
DISPATCH_PROPERTYPUT = 4
DISPATCH_PROPERTYPUTREF = 8
DISPID_PROPERTYPUT = -3

INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF = 1, 2, 4, 8
PARAMFLAG_FOPT = 0x10
CLSCTX_INPROC_SERVER = 1

# ---- Variant type tags ---------------------------------------------------------

(VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL,
 VT_VARIANT, VT_UNKNOWN) = range(14)
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT, VT_VOID, VT_HRESULT, VT_PTR = range(16, 27)
VT_SAFEARRAY, VT_USERDEFINED = 27, 29
VT_ARRAY, VT_BYREF, VT_TYPEMASK = 0x2000, 0x4000, 0x0FFF


def hresult(status):
    """A status as the unsigned 32-bit number it is written as (0x800A000B)."""
    return status & 0xFFFFFFFF


# ---- structures -------------------------------------------------------------------


class GUID(Structure):
    _fields_ = [("Data1", c_uint32), ("Data2", c_uint16), ("Data3", c_uint16), ("Data4", c_ubyte * 8)]

    @classmethod
    def parse(cls, text):
        guid = cls()
        ctypes.memmove(byref(guid), uuid.UUID(text).bytes_le, 16)
        return guid

    def __str__(self):
        return "{%s}" % uuid.UUID(bytes_le=bytes(self))


class _Value(Union):
    _fields_ = [("llVal", c_int64), ("lVal", c_int32), ("bVal", c_ubyte), ("iVal", c_int16),
                ("uiVal", c_uint16), ("ulVal", c_uint32), ("cVal", ctypes.c_byte), ("ullVal", ctypes.c_uint64),
                ("fltVal", c_float), ("dblVal", c_double), ("pointer", c_void_p), ("pad", c_ubyte * 16)]


class VARIANT(Structure):
    _fields_ = [("vt", c_uint16), ("r1", c_uint16), ("r2", c_uint16), ("r3", c_uint16), ("u", _Value)]


assert ctypes.sizeof(VARIANT) == 24


class DISPPARAMS(Structure):
    _fields_ = [("rgvarg", POINTER(VARIANT)), ("rgdispidNamedArgs", POINTER(c_int32)), ("cArgs", c_uint32),
                ("cNamedArgs", c_uint32)]


class EXCEPINFO(Structure):
    _fields_ = [("wCode", c_uint16), ("wReserved", c_uint16), ("bstrSource", c_void_p),
                ("bstrDescription", c_void_p), ("bstrHelpFile", c_void_p), ("dwHelpContext", c_uint32),
                ("pvReserved", c_void_p), ("pfnDeferredFillIn", c_void_p), ("scode", c_int32)]


class SAFEARRAYBOUND(Structure):
    _fields_ = [("cElements", c_uint32), ("lLbound", c_int32)]


class SAFEARRAY(Structure):
    _fields_ = [("cDims", c_uint16), ("fFeatures", c_uint16), ("cbElements", c_uint32), ("cLocks", c_uint32),
                ("pvData", c_void_p), ("rgsabound", SAFEARRAYBOUND * 1)]


class TYPEDESC(Structure):
    pass


TYPEDESC._fields_ = [("lptdesc", POINTER(TYPEDESC)), ("vt", c_uint16)]


class ELEMDESC(Structure):
    # The union's PARAMDESC: a pointer, then the parameter's flags.
    _fields_ = [("tdesc", TYPEDESC), ("pparamdescex", c_void_p), ("wParamFlags", c_uint16)]


class FUNCDESC(Structure):
    _fields_ = [("memid", c_int32), ("lprgscode", c_void_p), ("lprgelemdescParam", POINTER(ELEMDESC)),
                ("funckind", c_int32), ("invkind", c_int32), ("callconv", c_int32), ("cParams", c_int16),
                ("cParamsOpt", c_int16), ("oVft", c_int16), ("cScodes", c_int16), ("elemdescFunc", ELEMDESC),
                ("wFuncFlags", c_uint16)]


class IDLDESC(Structure):
    _fields_ = [("dwReserved", c_void_p), ("wIDLFlags", c_uint16)]


class TYPEATTR(Structure):
    _fields_ = [("guid", GUID), ("lcid", c_uint32), ("dwReserved", c_uint32), ("memidConstructor", c_int32),
                ("memidDestructor", c_int32), ("lpstrSchema", c_void_p), ("cbSizeInstance", c_uint32),
                ("typekind", c_int32), ("cFuncs", c_uint16), ("cVars", c_uint16), ("cImplTypes", c_uint16),
                ("cbSizeVft", c_uint16), ("cbAlignment", c_uint16), ("wTypeFlags", c_uint16),
                ("wMajorVerNum", c_uint16), ("wMinorVerNum", c_uint16), ("tdescAlias", TYPEDESC),
                ("idldescType", IDLDESC)]


# The runtime's own type-library form (platform.h), for the class list.
class TVXPARAMINFO(Structure):
    _fields_ = [("name", c_char_p), ("vt", c_uint16), ("flags", c_uint16)]


class TVXMEMBERINFO(Structure):
    _fields_ = [("name", c_char_p), ("dispid", c_int32), ("kind", c_int32), ("vtable_offset", c_int16),
                ("result", c_uint16), ("param_count", c_uint16), ("params", POINTER(TVXPARAMINFO))]


class TVXINTERFACEINFO(Structure):
    _fields_ = [("name", c_char_p), ("iid", GUID), ("type_flags", c_uint16), ("major_version", c_uint16),
                ("minor_version", c_uint16), ("member_count", c_uint16), ("members", POINTER(TVXMEMBERINFO))]


class TVXCLASSENTRY(Structure):
    _fields_ = [("name", c_char_p), ("clsid", GUID), ("type_flags", c_uint16), ("default_interface", c_uint16)]


class TVXTYPELIBINFO(Structure):
    _fields_ = [("name", c_char_p), ("id", GUID), ("major_version", c_uint16), ("minor_version", c_uint16),
                ("locale", c_uint32), ("interface_count", c_uint16), ("interfaces", POINTER(TVXINTERFACEINFO)),
                ("class_count", c_uint16), ("classes", POINTER(TVXCLASSENTRY))]


IID_NULL = GUID()
IID_IUnknown = GUID.parse("00000000-0000-0000-c000-000000000046")
IID_IDispatch = GUID.parse("00020400-0000-0000-c000-000000000046")

# ---- finding the libraries ------------------------------------------------------------


def _installed_dir():
    try:
        from . import _installed  # written by the CMake install
    except ImportError:
        return None
    return os.path.normpath(os.path.join(os.path.dirname(__file__), _installed.LIBRARY_DIR))


def _build_tree_dirs():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.path.join(root, "build")
    names = sorted(os.listdir(build)) if os.path.isdir(build) else []
    # The optimised build first; instrumented builds cannot be loaded here.
    names.sort(key=lambda name: (name != "release", name))
    return [os.path.join(build, name, "lib") for name in names if name not in ("sanitize", "tsan")]


def _pkg_config_dir():
    try:
        run = subprocess.run(["pkg-config", "--variable=libdir", "tarvex10"], capture_output=True, text=True,
                             timeout=10)
    except (OSError, subprocess.SubprocessError):
        return None
    return run.stdout.strip() if run.returncode == 0 and run.stdout.strip() else None


def library_candidates():
    """The folders looked at for the libraries, in order."""
    explicit = os.environ.get("TARVEX10_LIBRARY_DIR")
    if explicit:
        return [explicit]
    found = [_installed_dir()] + _build_tree_dirs() + [_pkg_config_dir()]
    return [folder for folder in found if folder]


def _load_platform():
    tried = library_candidates()
    for folder in tried:
        path = os.path.join(folder, PLATFORM)
        if os.path.isfile(path):
            return ctypes.CDLL(path), folder
    if os.environ.get("TARVEX10_LIBRARY_DIR"):
        raise OSError("%s is not in TARVEX10_LIBRARY_DIR (%s)" % (PLATFORM, tried[0]))
    try:
        return ctypes.CDLL(PLATFORM), None
    except OSError:
        raise OSError("cannot find %s (looked in %s and the loader's path); set TARVEX10_LIBRARY_DIR" %
                      (PLATFORM, ", ".join(tried) or "no folder")) from None


platform, library_dir = _load_platform()


def _declare(name, restype, *argtypes):
    function = getattr(platform, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


SysAllocStringLen = _declare("SysAllocStringLen", c_void_p, c_char_p, c_uint32)
SysFreeString = _declare("SysFreeString", None, c_void_p)
SysStringLen = _declare("SysStringLen", c_uint32, c_void_p)
VariantClear = _declare("VariantClear", c_int32, POINTER(VARIANT))
SafeArrayCreate = _declare("SafeArrayCreate", c_void_p, c_uint16, c_uint32, POINTER(SAFEARRAYBOUND))
SafeArrayCreateVector = _declare("SafeArrayCreateVector", c_void_p, c_uint16, c_int32, c_uint32)
SafeArrayGetVartype = _declare("SafeArrayGetVartype", c_int32, c_void_p, POINTER(c_uint16))
GetErrorInfo = _declare("GetErrorInfo", c_int32, c_uint32, POINTER(c_void_p))
CLSIDFromString = _declare("CLSIDFromString", c_int32, c_char_p, POINTER(GUID))
CLSIDFromProgID = _declare("CLSIDFromProgID", c_int32, c_char_p, POINTER(GUID))
CoCreateInstance = _declare("CoCreateInstance", c_int32, POINTER(GUID), c_void_p, c_uint32, POINTER(GUID),
                            POINTER(c_void_p))
TvxGetApplicationObject = _declare("TvxGetApplicationObject", c_int32, POINTER(GUID), POINTER(c_void_p))
TvxRegistrySetPath = _declare("TvxRegistrySetPath", c_int32, c_char_p)
TvxGetModuleFileName = _declare("TvxGetModuleFileName", c_size_t, c_void_p, c_char_p, c_size_t)
TvxLoadModuleTypeLib = _declare("TvxLoadModuleTypeLib", c_int32, c_char_p, POINTER(POINTER(TVXTYPELIBINFO)))
TvxFreeTypeLib = _declare("TvxFreeTypeLib", None, POINTER(TVXTYPELIBINFO))
mciSendStringA = _declare("mciSendStringA", c_uint32, c_char_p, c_char_p, c_uint32, c_void_p)
mciGetErrorStringA = _declare("mciGetErrorStringA", c_int32, c_uint32, c_char_p, c_uint32)
MESSAGEBOXPROC = ctypes.CFUNCTYPE(None, c_void_p, c_char_p, c_char_p)
TvxSetMessageBoxHandler = _declare("TvxSetMessageBoxHandler", None, MESSAGEBOXPROC, c_void_p)
TvxDispatchEvents = _declare("TvxDispatchEvents", None)
TvxCurrentThreadId = _declare("TvxCurrentThreadId", c_uint32)
TvxPostEvent = _declare("TvxPostEvent", c_int32, c_uint32, c_void_p, c_void_p)
TvxMarshalInterface = _declare("TvxMarshalInterface", c_int32, c_void_p, POINTER(c_void_p))


def platform_dir():
    """The folder of the runtime that was loaded."""
    if library_dir:
        return library_dir
    buffer = ctypes.create_string_buffer(4096)
    TvxGetModuleFileName(ctypes.cast(platform.SysFreeString, c_void_p), buffer, len(buffer))
    return os.path.dirname(buffer.value.decode())


def olestr(text):
    """A NUL-terminated UTF-16 string for an LPCOLESTR parameter."""
    return (text + "\0").encode("utf-16-le", "surrogatepass")


# ---- interfaces --------------------------------------------------------------------------

HRESULT = c_int32
QUERYINTERFACE = ctypes.CFUNCTYPE(HRESULT, c_void_p, POINTER(GUID), POINTER(c_void_p))
ADDREF = ctypes.CFUNCTYPE(c_uint32, c_void_p)
GETTYPEINFO = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_uint32, c_uint32, POINTER(c_void_p))
GETIDSOFNAMES = ctypes.CFUNCTYPE(HRESULT, c_void_p, POINTER(GUID), POINTER(c_char_p), c_uint32, c_uint32,
                                 POINTER(c_int32))
INVOKE = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_int32, POINTER(GUID), c_uint32, c_uint16, POINTER(DISPPARAMS),
                          POINTER(VARIANT), POINTER(EXCEPINFO), POINTER(c_uint32))
# The same, every pointer passed as an address: the cheapest call ctypes makes.
INVOKE_BY_ADDRESS = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_int32, c_void_p, c_uint32, c_uint16, c_void_p, c_void_p,
                                     c_void_p, c_void_p)
BSTR_OUT = ctypes.CFUNCTYPE(HRESULT, c_void_p, POINTER(c_void_p))
GETTYPEATTR = ctypes.CFUNCTYPE(HRESULT, c_void_p, POINTER(POINTER(TYPEATTR)))
GETFUNCDESC = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_uint32, POINTER(POINTER(FUNCDESC)))
GETNAMES = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_int32, POINTER(c_void_p), c_uint32, POINTER(c_uint32))
GETDOCUMENTATION = ctypes.CFUNCTYPE(HRESULT, c_void_p, c_int32, POINTER(c_void_p), c_void_p, c_void_p, c_void_p)
RELEASEPTR = ctypes.CFUNCTYPE(None, c_void_p, c_void_p)

# Slots: IUnknown's three, then IDispatch's four; ITypeInfo and IErrorInfo
# follow IUnknown with their own.
SLOT_QUERYINTERFACE, SLOT_ADDREF, SLOT_RELEASE = 0, 1, 2
SLOT_GETTYPEINFO, SLOT_GETIDSOFNAMES, SLOT_INVOKE = 4, 5, 6
SLOT_GETTYPEATTR, SLOT_GETFUNCDESC, SLOT_GETNAMES, SLOT_GETDOCUMENTATION = 3, 5, 7, 12
SLOT_RELEASETYPEATTR, SLOT_RELEASEFUNCDESC = 19, 20
SLOT_GETSOURCE, SLOT_GETDESCRIPTION = 4, 5


def slot(interface, index):
    """The address in slot `index` of an interface's function table."""
    table = ctypes.cast(interface, POINTER(POINTER(c_void_p)))[0]
    return table[index]


def method(interface, index, prototype):
    return prototype(slot(interface, index))


def add_ref(interface):
    return method(interface, SLOT_ADDREF, ADDREF)(interface)


def release(interface):
    return method(interface, SLOT_RELEASE, ADDREF)(interface)


def query_interface(interface, iid):
    out = c_void_p()
    status = method(interface, SLOT_QUERYINTERFACE, QUERYINTERFACE)(interface, byref(iid), byref(out))
    return status, out.value


def take_bstr(address):
    """The text of a BSTR, which is freed."""
    if not address:
        return ""
    try:
        return ctypes.string_at(address, SysStringLen(address) * 2).decode("utf-16-le", "surrogatepass")
    finally:
        SysFreeString(address)


def thread_error_info():
    """(source, description) from the thread's error information, which is
    taken and cleared; None when there is none."""
    info = c_void_p()
    if GetErrorInfo(0, byref(info)) != S_OK or not info.value:
        return None
    try:
        texts = []
        for index in (SLOT_GETSOURCE, SLOT_GETDESCRIPTION):
            text = c_void_p()
            method(info.value, index, BSTR_OUT)(info.value, byref(text))
            texts.append(take_bstr(text.value))
        return tuple(texts)
    finally:
        release(info.value)
