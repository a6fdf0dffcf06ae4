"""An object's members as its type information describes them: names,
dispatch ids, kinds, parameters with their types and passing, results."""
import ctypes
import keyword
from ctypes import POINTER, byref, c_uint32, c_void_p
from typing import NamedTuple, Optional, Tuple

from . import _native as n

KIND_WORDS = {n.INVOKE_FUNC: "method", n.INVOKE_PROPERTYGET: "get", n.INVOKE_PROPERTYPUT: "put",
              n.INVOKE_PROPERTYPUTREF: "putref"}

_TYPE_WORDS = {
    n.VT_EMPTY: "empty", n.VT_NULL: "null", n.VT_I2: "int16", n.VT_I4: "int32", n.VT_R4: "single",
    n.VT_R8: "double", n.VT_CY: "currency", n.VT_DATE: "date", n.VT_BSTR: "string", n.VT_DISPATCH: "object",
    n.VT_ERROR: "error", n.VT_BOOL: "bool", n.VT_VARIANT: "Variant", n.VT_UNKNOWN: "unknown", n.VT_UI1: "byte",
    n.VT_I8: "int64", n.VT_VOID: "-", n.VT_HRESULT: "status",
}


def type_word(vt):
    """The word the member lists use for a type: "int32", "string", ..."""
    word = _TYPE_WORDS.get(vt & n.VT_TYPEMASK, "type %d" % (vt & n.VT_TYPEMASK))
    return word + " array" if vt & n.VT_ARRAY else word


class Param(NamedTuple):
    name: str
    vt: int
    by_ref: bool
    optional: bool  # a Variant (or flagged optional) that may be left out

    @property
    def python_name(self):
        """The name as a Python keyword argument ("from" becomes "from_")."""
        return self.name + "_" if keyword.iskeyword(self.name) else self.name

    def __str__(self):
        text = type_word(self.vt) + (" by ref" if self.by_ref else "")
        return "%s: %s" % (self.name, text) if self.name else text


class Member(NamedTuple):
    name: str
    dispid: int
    kind: int  # INVOKE_FUNC, INVOKE_PROPERTYGET, ...
    params: Tuple[Param, ...]
    result: int  # VT_VOID for none
    slot: int  # the member's place in the interface's function table

    @property
    def kind_word(self):
        return KIND_WORDS.get(self.kind, "?")

    @property
    def by_ref(self):
        """Positions of the by-ref parameters, in order."""
        return tuple(i for i, param in enumerate(self.params) if param.by_ref)

    def signature(self):
        return "%s(%s) -> %s" % (self.name, ", ".join(map(str, self.params)), type_word(self.result))

    def __str__(self):
        return "0x%08X  %-6s  %s" % (self.dispid & 0xFFFFFFFF, self.kind_word, self.signature())


class Interface(NamedTuple):
    name: str
    iid: str
    members: Tuple[Member, ...]

    def find(self, name, kinds):
        """The first member called `name` (any case) among `kinds`, in their order."""
        lower = name.lower()
        for kind in kinds:
            for member in self.members:
                if member.kind == kind and member.name.lower() == lower:
                    return member
        return None


def describe(dispatch) -> Optional[Interface]:
    """The interface of an IDispatch pointer, or None when it offers no type
    information."""
    info = c_void_p()
    status = n.method(dispatch, n.SLOT_GETTYPEINFO, n.GETTYPEINFO)(dispatch, 0, 0, byref(info))
    if status < 0 or not info.value:
        return None
    try:
        return _read(info.value)
    finally:
        n.release(info.value)


def _read(info):
    attr = POINTER(n.TYPEATTR)()
    if n.method(info, n.SLOT_GETTYPEATTR, n.GETTYPEATTR)(info, byref(attr)) < 0 or not attr:
        return None
    try:
        iid, count = str(attr.contents.guid), attr.contents.cFuncs
    finally:
        n.method(info, n.SLOT_RELEASETYPEATTR, n.RELEASEPTR)(info, ctypes.cast(attr, c_void_p))
    interface_name = c_void_p()
    n.method(info, n.SLOT_GETDOCUMENTATION, n.GETDOCUMENTATION)(info, -1, byref(interface_name), None, None, None)
    get_func = n.method(info, n.SLOT_GETFUNCDESC, n.GETFUNCDESC)
    release_func = n.method(info, n.SLOT_RELEASEFUNCDESC, n.RELEASEPTR)
    get_names = n.method(info, n.SLOT_GETNAMES, n.GETNAMES)
    members = []
    for index in range(count):
        desc = POINTER(n.FUNCDESC)()
        if get_func(info, index, byref(desc)) < 0 or not desc:
            continue
        try:
            f = desc.contents
            names = (c_void_p * (f.cParams + 1))()
            found = c_uint32()
            get_names(info, f.memid, names, len(names), byref(found))
            texts = [n.take_bstr(names[i]) for i in range(found.value)]
            params = []
            for p in range(f.cParams):
                element = f.lprgelemdescParam[p]
                by_ref = element.tdesc.vt == n.VT_PTR and bool(element.tdesc.lptdesc)
                vt = element.tdesc.lptdesc.contents.vt if by_ref else element.tdesc.vt
                # A get and its put share the id, so a put's value has no name here.
                named = f.invkind in (n.INVOKE_FUNC, n.INVOKE_PROPERTYGET) and p + 1 < len(texts)
                name = texts[p + 1] if named else ""
                optional = vt == n.VT_VARIANT or bool(element.wParamFlags & n.PARAMFLAG_FOPT)
                params.append(Param(name, vt, by_ref, optional))
            members.append(Member(texts[0] if texts else "", f.memid, f.invkind, tuple(params),
                                  f.elemdescFunc.tdesc.vt, f.oVft // ctypes.sizeof(c_void_p)))
        finally:
            release_func(info, ctypes.cast(desc, c_void_p))
    return Interface(n.take_bstr(interface_name.value), iid, tuple(members))
