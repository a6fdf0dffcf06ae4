"""Wrapped objects: members as attributes and methods, calls through
IDispatch::Invoke with the dispatch ids and call shapes worked out once per
interface, failures as tarvex10.Error."""
import ctypes
import inspect
import threading
from ctypes import byref, c_int32, c_uint32

from . import _native as n
from . import _typeinfo
from . import _values

_get_ident = threading.get_ident


class Error(Exception):
    """A failed call: `status` (0x800A000B), `number` (11 for an error raised
    inside a member, else None), `description`, `source`, the `member` called
    and, when the dispatch layer refused an argument, its 1-based `argument`
    position."""

    def __init__(self, status, description="", source="", member=None, argument=None):
        self.status = n.hresult(status)
        self.number = self.status & 0xFFFF if self.status & 0xFFFF0000 == 0x800A0000 else None
        self.description = description or _STATUS_TEXTS.get(self.status, "")
        self.source = source or ""
        self.member = member
        self.argument = argument
        super().__init__(str(self))

    def __str__(self):
        where = "%s: " % self.member if self.member else ""
        number = "error %d: " % self.number if self.number is not None else ""
        return "%s%s%s (0x%08X)" % (where, number, self.description or "failed", self.status)


_STATUS_TEXTS = {
    n.DISP_E_MEMBERNOTFOUND: "no such member",
    n.DISP_E_UNKNOWNNAME: "unknown name",
    n.DISP_E_TYPEMISMATCH: "type mismatch",
    n.DISP_E_OVERFLOW: "overflow",
    n.DISP_E_BADPARAMCOUNT: "wrong number of arguments",
    n.DISP_E_PARAMNOTOPTIONAL: "argument is not optional",
    n.DISP_E_PARAMNOTFOUND: "no parameter of that name",
    n.RPC_E_WRONG_THREAD: "the object belongs to another thread; hand that thread's tarvex10.marshal(obj) "
                          "to this one",
    n.RPC_E_DISCONNECTED: "the object's thread has ended",
    n.REGDB_E_CLASSNOTREG: "class not registered",
    n.CO_E_CLASSSTRING: "unknown programmatic identifier",
}

# Statuses whose argument position is worth naming.
_ARGUMENT_STATUSES = {n.DISP_E_TYPEMISMATCH, n.DISP_E_OVERFLOW, n.DISP_E_PARAMNOTFOUND, n.DISP_E_PARAMNOTOPTIONAL}


class _MissingType:
    """An argument left out: the member sees the classic "missing" value."""
    __slots__ = ()

    def __repr__(self):
        return "tarvex10.Missing"


Missing = _MissingType()

_NO_ARGUMENTS = n.DISPPARAMS()
_NO_ARGUMENTS_AT = ctypes.addressof(_NO_ARGUMENTS)
_IID_NULL_REF = byref(n.IID_NULL)
_IID_NULL_AT = ctypes.addressof(n.IID_NULL)


class _Scratch:
    """The result, exception record and argument-error slot of one call,
    kept for reuse (a call made while another runs takes another set)."""
    __slots__ = ("result", "excep", "arg_error", "result_at", "excep_at", "arg_error_at")

    def __init__(self):
        self.result, self.excep, self.arg_error = n.VARIANT(), n.EXCEPINFO(), c_uint32()
        self.result_at, self.excep_at = ctypes.addressof(self.result), ctypes.addressof(self.excep)
        self.arg_error_at = ctypes.addressof(self.arg_error)


_scratch = []
_PUT_ID = (c_int32 * 1)(n.DISPID_PROPERTYPUT)


class _Call:
    """One member's call shape, worked out once: dispatch id, flags, the
    parameters, and the ids of named arguments by their names."""
    __slots__ = ("label", "member", "dispid", "flags", "count", "by_ref", "names", "_named")

    def __init__(self, member, flags, label):
        self.member = member
        self.label = label
        self.dispid = member.dispid
        self.flags = flags
        self.count = len(member.params)
        self.by_ref = member.by_ref
        self.names = [param.name for param in member.params]
        self._named = {}

    def named_ids(self, obj, keys):
        """The parameter positions of keyword arguments, from GetIDsOfNames."""
        ids = self._named.get(keys)
        if ids is None:
            # A keyword spelt "from_" stands for the parameter "from".
            texts = [self.member.name] + [key[:-1] if key.endswith("_") else key for key in keys]
            buffers = [n.olestr(text) for text in texts]
            array = (ctypes.c_char_p * len(buffers))(*buffers)
            out = (c_int32 * len(buffers))()
            pointer = obj._tvx_pointer()
            status = n.method(pointer, n.SLOT_GETIDSOFNAMES, n.GETIDSOFNAMES)(
                pointer, _IID_NULL_REF, array, len(buffers), 0, out)
            if status < 0:
                unknown = [key for key, dispid in zip(keys, out[1:]) if dispid == -1]
                raise TypeError("%s() has no parameter named %s" % (self.label, ", ".join(map(repr, unknown))))
            ids = self._named[keys] = tuple(out[1:])
        return ids


class Dispatch:
    """An automation object reached by late binding.

    Dispatch(progid_or_clsid, component=None) creates one by programmatic
    identifier ("Tarvex10.clsKwVidoMoviesA") or class identifier ("{...}"),
    through the registry in use; when the class is not registered there, or
    `component` names the library, through a private registration for this
    process. Properties are attributes, methods are called by name with
    positional or keyword arguments; names match without regard to case.
    A member with by-ref parameters returns (result, *by_ref_values).
    The object belongs to the thread that made it; it is released when
    collected or at the end of a `with` block.
    """
    __slots__ = ("_ptr", "_owner", "_thread", "_free", "_invoke", "__weakref__")
    _tvx_interface = None
    _tvx_lower = {}

    def __new__(cls, progid, component=None):
        from . import _host
        return wrap(_host.create(progid, component))

    def __init__(self, *args, **kwargs):
        pass

    # ---- lifetime ----------------------------------------------------------

    def _tvx_pointer(self):
        pointer = self._ptr
        if pointer is None:
            raise Error(n.E_FAIL, "the object has been released", member=type(self).__name__)
        return pointer

    def _tvx_release(self):
        pointer, self._ptr = self._ptr, None
        if not pointer:
            return
        if self._free or _get_ident() == self._owner:
            n.release(pointer)
        else:
            # Collected on another thread: the owner releases it when it next
            # runs its events; with the owner gone, there is no one else to.
            if n.TvxPostEvent(self._thread, n.slot(pointer, n.SLOT_RELEASE), pointer) < 0:
                n.release(pointer)

    def __del__(self):
        try:
            self._tvx_release()
        except Exception:  # the interpreter may be going down
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self._tvx_release()

    # ---- identity ----------------------------------------------------------

    def _tvx_identity(self):
        status, unknown = n.query_interface(self._tvx_pointer(), n.IID_IUnknown)
        if status < 0:
            return self._ptr
        n.release(unknown)
        return unknown

    def __eq__(self, other):
        if not isinstance(other, Dispatch):
            return NotImplemented
        return self._tvx_identity() == other._tvx_identity()

    def __hash__(self):
        return hash(self._tvx_identity())

    def __repr__(self):
        state = "released" if self._ptr is None else "0x%x" % self._ptr
        return "<tarvex10 %s object %s>" % (type(self).__name__, state)

    # ---- names in any case ---------------------------------------------------

    def __getattr__(self, name):
        canonical = type(self)._tvx_lower.get(name.lower())
        if canonical is None or canonical == name:
            if type(self)._tvx_interface is None and not name.startswith("__"):
                raise AttributeError("%s offers no type information, so it has no member %r" %
                                     (type(self).__name__, name))
            raise AttributeError("%s has no member %r" % (type(self).__name__, name))
        return getattr(self, canonical)

    def __setattr__(self, name, value):
        if name.startswith("_"):
            object.__setattr__(self, name, value)
            return
        canonical = type(self)._tvx_lower.get(name.lower())
        if canonical is None:
            raise AttributeError("%s has no member %r" % (type(self).__name__, name))
        object.__setattr__(self, canonical, value)

    def __dir__(self):
        own = (name for name in object.__dir__(self) if not name.startswith("_tvx") and name not in Dispatch.__slots__)
        return sorted(set(own) | set(type(self)._tvx_lower.values()))

    # ---- calls ---------------------------------------------------------------

    def _tvx_call(self, call, args, kwargs):
        if not self._free and _get_ident() != self._owner:
            raise Error(n.RPC_E_WRONG_THREAD, member=call.label)
        pointer = self._tvx_pointer()
        named = ()
        if kwargs:
            named = tuple(zip(call.named_ids(self, tuple(kwargs)), kwargs.values()))
        if call.count > len(args):
            # Parameters neither given nor named go as "missing".
            given = {position for position, _ in named}
            named += tuple((position, Missing) for position in range(len(args), call.count)
                           if position not in given)
        total = len(args) + len(named)
        if not total and not call.by_ref:
            return self._tvx_invoke(pointer, call, _NO_ARGUMENTS_AT, (), None)
        slots = (n.VARIANT * total)()
        refs = {}
        try:
            # Named arguments first, then the positional ones last first.
            order = [(index, position, value) for index, (position, value) in enumerate(named)]
            order += [(total - 1 - position, position, value) for position, value in enumerate(args)]
            for index, position, value in order:
                try:
                    self._tvx_fill(slots[index], call, position, value, refs)
                except (TypeError, OverflowError) as error:
                    raise type(error)("%s, argument %d: %s" % (call.label, position + 1, error)) from None
            ids = (c_int32 * len(named))(*(position for position, _ in named)) if named else None
            params = n.DISPPARAMS(slots, ids, total, len(named))
            positions = [position for position, _ in named] + list(range(len(args) - 1, -1, -1))
            return self._tvx_invoke(pointer, call, ctypes.addressof(params), positions, refs)
        finally:
            for slot in slots:
                if slot.vt != n.VT_BYREF | n.VT_VARIANT:
                    n.VariantClear(slot)
            for ref in refs.values():
                n.VariantClear(ref)

    @staticmethod
    def _tvx_fill(slot, call, position, value, refs):
        target = slot
        if position in call.by_ref:
            target = refs[position] = n.VARIANT()
            slot.vt, slot.u.pointer = n.VT_BYREF | n.VT_VARIANT, ctypes.addressof(target)
        if value is Missing:
            target.vt, target.u.lVal = n.VT_ERROR, n.DISP_E_PARAMNOTFOUND - (1 << 32)
        elif value is None and position < call.count and call.member.params[position].vt == n.VT_DISPATCH:
            target.vt = n.VT_DISPATCH  # no object
        else:
            _values.put(value, target)

    def _tvx_invoke(self, pointer, call, params, positions, refs):
        try:
            scratch = _scratch.pop()
        except IndexError:
            scratch = _Scratch()
        result = scratch.result
        try:
            status = self._invoke(pointer, call.dispid, _IID_NULL_AT, 0, call.flags, params, scratch.result_at,
                                  scratch.excep_at, scratch.arg_error_at)
            if status < 0:
                raise _failure(status, scratch.excep, call, positions, scratch.arg_error.value)
            if self._free:
                return self._tvx_results(call, result, refs)
            value = _values.get(result)
        finally:
            if result.vt in _values.PLAIN:
                result.vt = n.VT_EMPTY
            else:
                n.VariantClear(result)
            _scratch.append(scratch)
        if call.by_ref:
            return (value,) + tuple(_values.get(refs[p]) if p in refs else None for p in call.by_ref)
        return value

    def _tvx_results(self, call, result, refs):
        # Objects that a marshalled call returns are proxies that any thread
        # may call, like the one they came through.
        _wrapping.free = True
        try:
            value = _values.get(result)
            if call.by_ref:
                return (value,) + tuple(_values.get(refs[p]) if p in refs else None for p in call.by_ref)
            return value
        finally:
            _wrapping.free = False

    def _tvx_put(self, call, value):
        if not self._free and _get_ident() != self._owner:
            raise Error(n.RPC_E_WRONG_THREAD, member=call.label)
        pointer = self._tvx_pointer()
        slot = n.VARIANT()
        try:
            self._tvx_fill(slot, call, 0, value, None)
        except (TypeError, OverflowError) as error:
            raise type(error)("%s: %s" % (call.label, error)) from None
        try:
            params = n.DISPPARAMS(ctypes.pointer(slot), _PUT_ID, 1, 1)
            self._tvx_invoke(pointer, call, ctypes.addressof(params), (0,), None)
        finally:
            n.VariantClear(slot)


def _failure(status, excep, call, positions, arg_error):
    source, description = "", ""
    if n.hresult(status) == n.DISP_E_EXCEPTION:
        if excep.scode:
            status = excep.scode
        source, description = n.take_bstr(excep.bstrSource), n.take_bstr(excep.bstrDescription)
        n.take_bstr(excep.bstrHelpFile)
        ctypes.memset(ctypes.addressof(excep), 0, ctypes.sizeof(excep))
        # The thread's error information says the same; taking it leaves the
        # thread clean for the next call.
        thread_info = n.thread_error_info()
        if thread_info:
            source, description = thread_info[0] or source, thread_info[1] or description
    argument = None
    if n.hresult(status) in _ARGUMENT_STATUSES and positions and arg_error < len(positions):
        position = positions[arg_error]
        argument = position + 1
        name = call.names[position] if position < len(call.names) else ""
        description = "%s: argument %d%s" % (_STATUS_TEXTS.get(n.hresult(status), "refused"), argument,
                                               " (%s)" % name if name else "")
    return Error(status, description, source, call.label, argument)


# ---- classes per interface -------------------------------------------------------------

_classes = {}
_classes_lock = threading.Lock()


_wrapping = threading.local()


def wrap(pointer, free=None):
    """A wrapped object for an IDispatch pointer whose reference it takes;
    `free` objects (proxies) may be called from any thread."""
    if free is None:
        free = getattr(_wrapping, "free", False)
    interface = _typeinfo.describe(pointer)
    key = interface.iid if interface else None
    with _classes_lock:
        cls = _classes.get(key)
        if cls is None:
            cls = _classes[key] = _build_class(interface) if interface else Dispatch
    obj = object.__new__(cls)
    obj._ptr = pointer
    obj._owner = _get_ident()
    obj._thread = n.TvxCurrentThreadId()
    obj._free = free
    obj._invoke = n.method(pointer, n.SLOT_INVOKE, n.INVOKE_BY_ADDRESS)
    return obj


Error.__module__ = Dispatch.__module__ = "tarvex10"
_values.object_type = Dispatch
_values.wrap_dispatch = wrap


def _python_type(vt):
    return {n.VT_I2: "int", n.VT_I4: "int", n.VT_I8: "int", n.VT_UI1: "int", n.VT_R4: "float",
            n.VT_R8: "float", n.VT_BOOL: "bool", n.VT_BSTR: "str", n.VT_DISPATCH: "Dispatch",
            n.VT_CY: "Decimal", n.VT_DATE: "datetime"}.get(vt & n.VT_TYPEMASK, "Any")


def _method(member, flags, class_name):
    call = _Call(member, flags, "%s.%s" % (class_name, member.name))

    def invoke(self, *args, **kwargs):
        return self._tvx_call(call, args, kwargs)

    params = [inspect.Parameter("self", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    # Only trailing optional parameters can show a default.
    trailing = len(member.params)
    while trailing and member.params[trailing - 1].optional:
        trailing -= 1
    for index, param in enumerate(member.params):
        params.append(inspect.Parameter(param.python_name or "value%d" % (index + 1),
                                        inspect.Parameter.POSITIONAL_OR_KEYWORD,
                                        default=Missing if index >= trailing else inspect.Parameter.empty,
                                        annotation=_typeinfo.type_word(param.vt) +
                                        (" by ref" if param.by_ref else "")))
    invoke.__signature__ = inspect.Signature(params, return_annotation=_typeinfo.type_word(member.result))
    invoke.__name__ = member.name
    invoke.__qualname__ = call.label
    returns = ""
    if member.by_ref:
        returns = "\nReturns (result, %s): the result, then what the by-ref parameters hold after the call." % (
            ", ".join(member.params[i].name for i in member.by_ref))
    invoke.__doc__ = "%s %s, dispatch id 0x%08X%s" % (
        member.kind_word, member.signature(), member.dispid & 0xFFFFFFFF, returns)
    invoke._tvx_member = member
    return invoke


def _property(name, get, put, putref, class_name):
    label = "%s.%s" % (class_name, name)
    get_call = _Call(get, n.DISPATCH_PROPERTYGET, label) if get else None
    put_call = _Call(put, n.DISPATCH_PROPERTYPUT, label) if put else None
    putref_call = _Call(putref, n.DISPATCH_PROPERTYPUTREF, label) if putref else None

    def fget(self):
        if get_call is None:
            raise AttributeError("%s can only be written" % label)
        return self._tvx_call(get_call, (), None)

    def fset(self, value):
        # An object goes by reference where the member takes one.
        call = putref_call if putref_call and (put_call is None or isinstance(value, Dispatch)) else put_call
        if call is None:
            raise AttributeError("%s is read-only" % label)
        self._tvx_put(call, value)

    lines = [str(m) for m in (get, put, putref) if m]
    return property(fget, fset if put or putref else None, doc="\n".join(lines))


def _build_class(interface):
    attrs = {"__slots__": (), "_tvx_interface": interface, "__module__": "tarvex10"}
    names = {}
    for member in interface.members:
        names.setdefault(member.name, []).append(member)
    for name, group in names.items():
        kinds = {member.kind: member for member in group}
        get, func = kinds.get(n.INVOKE_PROPERTYGET), kinds.get(n.INVOKE_FUNC)
        if func or (get and get.params):
            # A get with parameters is called like a method.
            chosen = func or get
            flags = n.DISPATCH_METHOD if func else n.DISPATCH_PROPERTYGET
            attrs[name] = _method(chosen, flags, interface.name)
        else:
            attrs[name] = _property(name, get, kinds.get(n.INVOKE_PROPERTYPUT),
                                    kinds.get(n.INVOKE_PROPERTYPUTREF), interface.name)
    attrs["_tvx_lower"] = {name.lower(): name for name in names}
    attrs["__doc__"] = "Interface %s %s, %d members:\n  %s" % (
        interface.name, interface.iid, len(interface.members), "\n  ".join(map(str, interface.members)))
    return type(interface.name, (Dispatch,), attrs)
