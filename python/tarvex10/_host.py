"""What a script host does around the objects: creating them (through the
registry in use, or a private registration for the process), message boxes,
the media control string interface, marshalling and event dispatch."""
import atexit
import ctypes
import os
import shutil
import sys
import tempfile
import threading
import time
from ctypes import byref, c_void_p

from . import _native as n
from ._dispatch import Dispatch, Error

_lock = threading.RLock()
_private = {"folder": None, "components": {}}


def _library_path(component):
    path = component or os.path.join(n.platform_dir(), n.COMPONENT)
    if not os.path.isfile(path):
        raise Error(n.E_FAIL, "no component at %s%s" % (path, "" if component else
                                                           " (set TARVEX10_LIBRARY_DIR or pass component=)"))
    return os.path.realpath(path)


def _register_privately(component):
    """Registers the component, and the framework library next to it, into a
    registry file of this process's own, removed at exit: so nothing needs
    registering or installing first."""
    with _lock:
        if component in _private["components"]:
            return
        if _private["folder"] is None:
            folder = tempfile.mkdtemp(prefix="tarvex10-")
            atexit.register(shutil.rmtree, folder, True)
            n.TvxRegistrySetPath(os.path.join(folder, "registry").encode())
            _private["folder"] = folder
        libraries = [component]
        framework = os.path.join(os.path.dirname(component), n.FRAMEWORK)
        if os.path.isfile(framework):
            libraries.append(framework)
        for library in libraries:
            # The handles stay open: objects will live in these libraries.
            handle = ctypes.CDLL(library, mode=os.RTLD_NOW | os.RTLD_LOCAL)
            try:
                register = handle.DllRegisterServer
            except AttributeError:
                raise Error(n.E_FAIL, "%s is not a component (it has no DllRegisterServer)" % library) from None
            register.restype = ctypes.c_int32
            status = register()
            if status < 0:
                raise Error(status, "DllRegisterServer of %s failed" % library)
        _private["components"][component] = libraries


def class_id(progid_or_clsid):
    """The class identifier of a programmatic identifier or of "{...}" text;
    the failure status when it is unknown."""
    clsid = n.GUID()
    if progid_or_clsid.startswith("{"):
        status = n.CLSIDFromString(n.olestr(progid_or_clsid), byref(clsid))
    else:
        status = n.CLSIDFromProgID(n.olestr(progid_or_clsid), byref(clsid))
    return status, clsid


def create(progid_or_clsid, component=None):
    """A new object's IDispatch pointer, owned by the caller."""
    if component is None:
        status, clsid = class_id(progid_or_clsid)
    if component is not None or status < 0:
        _register_privately(_library_path(component))
        status, clsid = class_id(progid_or_clsid)
        if status < 0:
            raise Error(status, "no class is registered as %s" % progid_or_clsid)
    pointer = c_void_p()
    status = n.CoCreateInstance(byref(clsid), None, n.CLSCTX_INPROC_SERVER, byref(n.IID_IDispatch), byref(pointer))
    if status < 0 or not pointer.value:
        # A library's application object is reached rather than created.
        if n.TvxGetApplicationObject(byref(clsid), byref(pointer)) < 0 or not pointer.value:
            raise Error(status, "cannot create %s" % progid_or_clsid)
    return pointer.value


def members(progid_or_clsid, component=None):
    """The members of a class's interface from its type information, in table
    order: name, dispid, kind, params (name, vt, by_ref, optional), result."""
    with Dispatch(progid_or_clsid, component) as obj:
        interface = type(obj)._tvx_interface
        return interface.members if interface else ()


def classes(component=None):
    """(class name, programmatic identifier, type flags) of every class in the
    component's type library, in the library's order."""
    path = _library_path(component)
    lib = ctypes.POINTER(n.TVXTYPELIBINFO)()
    status = n.TvxLoadModuleTypeLib(path.encode(), byref(lib))
    if status < 0:
        # The component hands its resources, the type library among them, to
        # the runtime on its first use; asking it for a class object is one.
        component_library = ctypes.CDLL(path, mode=os.RTLD_NOW | os.RTLD_LOCAL)
        factory = c_void_p()
        component_library.DllGetClassObject(byref(n.GUID()), byref(n.IID_IUnknown), byref(factory))
        if factory.value:
            n.release(factory.value)
        status = n.TvxLoadModuleTypeLib(path.encode(), byref(lib))
    if status < 0:
        raise Error(status, "cannot load the type library of %s" % path)
    try:
        info = lib.contents
        library = info.name.decode()
        return tuple((entry.name.decode(), "%s.%s" % (library, entry.name.decode()), entry.type_flags)
                     for entry in info.classes[:info.class_count])
    finally:
        n.TvxFreeTypeLib(lib)


# ---- message boxes ----------------------------------------------------------------

_message = {"callback": None, "proc": None}


def on_message(callback):
    """Message boxes (the cutter's messages, for one) go to callback(text,
    title) on the thread that shows them; None returns them to standard
    error. Gives the previous callback."""
    with _lock:
        previous = _message["callback"]
        if callback is None:
            _message["callback"] = _message["proc"] = None
            n.TvxSetMessageBoxHandler(n.MESSAGEBOXPROC(), None)
            return previous

        def show(context, text, title):
            try:
                callback(text.decode("utf-8", "replace") if text else "",
                         title.decode("utf-8", "replace") if title else None)
            except BaseException:  # an exception cannot cross into the component
                sys.excepthook(*sys.exc_info())

        proc = n.MESSAGEBOXPROC(show)
        n.TvxSetMessageBoxHandler(proc, None)
        if _message["proc"] is None and not _message.get("reset_at_exit"):
            # A message shown while the interpreter goes down finds no Python.
            atexit.register(n.TvxSetMessageBoxHandler, n.MESSAGEBOXPROC(), None)
            _message["reset_at_exit"] = True
        _message["callback"], _message["proc"] = callback, proc
        return previous


# ---- media control string interface ---------------------------------------------------

_REPLY_CAPACITY = 4096


def mci(command):
    """Sends one media control command string; gives (code, reply)."""
    reply = ctypes.create_string_buffer(_REPLY_CAPACITY)
    code = n.mciSendStringA(command.encode("utf-8"), reply, _REPLY_CAPACITY, None)
    return code, reply.value.decode("utf-8", "replace")


def mci_error(code):
    """The description of a media control error code."""
    text = ctypes.create_string_buffer(256)
    n.mciGetErrorStringA(code, text, len(text))
    return text.value.decode("utf-8", "replace")


# ---- threads ----------------------------------------------------------------------------


def marshal(obj):
    """A proxy for `obj` that any thread may call: the calls run on the
    object's own thread while it pumps events (pump_events)."""
    if not isinstance(obj, Dispatch):
        raise TypeError("marshal takes a tarvex10 object, not %s" % type(obj).__name__)
    if not obj._free and threading.get_ident() != obj._owner:
        raise Error(n.RPC_E_WRONG_THREAD, member="marshal")
    proxy = c_void_p()
    status = n.TvxMarshalInterface(obj._tvx_pointer(), byref(proxy))
    if status < 0:
        raise Error(status, "cannot marshal the object", member="marshal")
    return _proxy(obj, proxy.value)


def _proxy(obj, pointer):
    # The proxy answers for the same interface; its calls may come from any thread.
    proxy = object.__new__(type(obj))
    proxy._ptr, proxy._owner, proxy._thread, proxy._free = pointer, obj._owner, obj._thread, True
    proxy._invoke = n.method(pointer, n.SLOT_INVOKE, n.INVOKE_BY_ADDRESS)
    return proxy


def pump_events(timeout=0.0):
    """Runs the calling thread's events (calls other threads made through
    marshalled proxies, releases of objects collected elsewhere) for
    `timeout` seconds, at least one pass."""
    deadline = time.monotonic() + timeout
    while True:
        n.TvxDispatchEvents()
        if time.monotonic() >= deadline:
            return
