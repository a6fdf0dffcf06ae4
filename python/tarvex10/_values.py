"""Python values to Variants and back.

None is Empty; bool, int (32-bit when it fits, else 64-bit), float, str,
decimal.Decimal (currency), datetime (dates), bytes (an array of bytes),
other sequences (an array of Variants) and wrapped objects go in; results
come back the same way, with every array as a tuple (nested for more than
one dimension).
"""
import ctypes
import datetime
import decimal
import math
from collections.abc import Sequence
from ctypes import c_void_p

from . import _native as n

# Set by the dispatch module: the class of wrapped objects and how to wrap a
# raw IDispatch pointer (which the wrapper then owns).
object_type = None
wrap_dispatch = None

_INT32 = range(-2**31, 2**31)
_INT64 = range(-2**63, 2**63)
_DATE_ZERO = datetime.datetime(1899, 12, 30)
_CURRENCY_SCALE = decimal.Decimal(10000)


def put(value, v):
    """Stores `value` into the empty Variant `v`, which then owns what it holds."""
    if value is None:
        v.vt = n.VT_EMPTY
    elif value is True or value is False:
        v.vt, v.u.iVal = n.VT_BOOL, -1 if value else 0
    elif isinstance(value, int):
        if value in _INT32:
            v.vt, v.u.lVal = n.VT_I4, value
        elif value in _INT64:
            v.vt, v.u.llVal = n.VT_I8, value
        else:
            raise OverflowError("%d does not fit a 64-bit integer" % value)
    elif isinstance(value, float):
        v.vt, v.u.dblVal = n.VT_R8, value
    elif isinstance(value, str):
        data = value.encode("utf-16-le", "surrogatepass")
        v.u.pointer = n.SysAllocStringLen(data, len(data) // 2)
        v.vt = n.VT_BSTR
    elif object_type is not None and isinstance(value, object_type):
        pointer = value._tvx_pointer()
        n.add_ref(pointer)
        v.vt, v.u.pointer = n.VT_DISPATCH, pointer
    elif isinstance(value, decimal.Decimal):
        scaled = (value * _CURRENCY_SCALE).to_integral_value(decimal.ROUND_HALF_EVEN)
        if int(scaled) not in _INT64:
            raise OverflowError("%s does not fit a currency value" % value)
        v.vt, v.u.llVal = n.VT_CY, int(scaled)
    elif isinstance(value, datetime.date):
        v.vt, v.u.dblVal = n.VT_DATE, _date_number(value)
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
        array = n.SafeArrayCreateVector(n.VT_UI1, 0, len(data))
        ctypes.memmove(n.SAFEARRAY.from_address(array).pvData, data, len(data))
        v.vt, v.u.pointer = n.VT_ARRAY | n.VT_UI1, array
    elif isinstance(value, Sequence) or isinstance(value, (set, frozenset)):
        items = list(value)
        array = n.SafeArrayCreateVector(n.VT_VARIANT, 0, len(items))
        v.vt, v.u.pointer = n.VT_ARRAY | n.VT_VARIANT, array  # cleared with its elements from here on
        slots = (n.VARIANT * len(items)).from_address(n.SAFEARRAY.from_address(array).pvData) if items else ()
        for item, slot in zip(items, slots):
            put(item, slot)
    else:
        raise TypeError("a %s cannot be passed as a Variant" % type(value).__name__)


def get(v):
    """The Python value of Variant `v`, which keeps what it holds."""
    vt = v.vt
    reader = _READERS.get(vt)
    if reader:
        return reader(v.u)
    if vt & n.VT_ARRAY:
        address = v.u.pointer
        if vt & n.VT_BYREF:
            address = c_void_p.from_address(address).value
        return _array(address, vt & n.VT_TYPEMASK)
    if vt & n.VT_BYREF:
        inner = vt & ~n.VT_BYREF
        if inner == n.VT_VARIANT:
            return get(n.VARIANT.from_address(v.u.pointer))
        size = _ELEMENT_SIZES.get(inner)
        if size is None:
            raise TypeError("cannot read a Variant of type 0x%04x" % vt)
        copy = n.VARIANT()
        copy.vt = inner
        ctypes.memmove(ctypes.addressof(copy.u), v.u.pointer, size)
        return get(copy)
    raise TypeError("cannot read a Variant of type 0x%04x" % vt)


def _bstr(u):
    address = u.pointer
    if not address:
        return ""
    return ctypes.string_at(address, n.SysStringLen(address) * 2).decode("utf-16-le", "surrogatepass")


def _object(u):
    address = u.pointer
    if not address:
        return None
    n.add_ref(address)
    return wrap_dispatch(address)


def _unknown(u):
    address = u.pointer
    if not address:
        return None
    status, dispatch = n.query_interface(address, n.IID_IDispatch)
    if status < 0 or not dispatch:
        raise TypeError("the result is an object without late binding (no IDispatch)")
    return wrap_dispatch(dispatch)


def _error(u):
    # A left-out argument reads as None; other error values as their status.
    return None if n.hresult(u.lVal) == n.DISP_E_PARAMNOTFOUND else n.hresult(u.lVal)


_READERS = {
    n.VT_EMPTY: lambda u: None,
    n.VT_NULL: lambda u: None,
    n.VT_I2: lambda u: u.iVal,
    n.VT_I4: lambda u: u.lVal,
    n.VT_INT: lambda u: u.lVal,
    n.VT_I8: lambda u: u.llVal,
    n.VT_I1: lambda u: u.cVal,
    n.VT_UI1: lambda u: u.bVal,
    n.VT_UI2: lambda u: u.uiVal,
    n.VT_UI4: lambda u: u.ulVal,
    n.VT_UINT: lambda u: u.ulVal,
    n.VT_UI8: lambda u: u.ullVal,
    n.VT_R4: lambda u: u.fltVal,
    n.VT_R8: lambda u: u.dblVal,
    n.VT_BOOL: lambda u: u.iVal != 0,
    n.VT_BSTR: _bstr,
    n.VT_CY: lambda u: decimal.Decimal(u.llVal) / _CURRENCY_SCALE,
    n.VT_DATE: lambda u: _date_value(u.dblVal),
    n.VT_DISPATCH: _object,
    n.VT_UNKNOWN: _unknown,
    n.VT_ERROR: _error,
}

# Types whose Variant holds nothing to free.
PLAIN = frozenset((n.VT_EMPTY, n.VT_NULL, n.VT_I1, n.VT_UI1, n.VT_I2, n.VT_UI2, n.VT_I4, n.VT_UI4, n.VT_INT,
                   n.VT_UINT, n.VT_I8, n.VT_UI8, n.VT_R4, n.VT_R8, n.VT_BOOL, n.VT_CY, n.VT_DATE, n.VT_ERROR))

_ELEMENT_SIZES = {
    n.VT_I1: 1, n.VT_UI1: 1, n.VT_I2: 2, n.VT_UI2: 2, n.VT_BOOL: 2, n.VT_I4: 4, n.VT_UI4: 4, n.VT_INT: 4,
    n.VT_UINT: 4, n.VT_R4: 4, n.VT_ERROR: 4, n.VT_I8: 8, n.VT_UI8: 8, n.VT_R8: 8, n.VT_CY: 8, n.VT_DATE: 8,
    n.VT_BSTR: 8, n.VT_DISPATCH: 8, n.VT_UNKNOWN: 8,
}


def _array(address, element):
    """A SAFEARRAY as nested tuples, the first dimension outermost."""
    if not address:
        return ()
    head = n.SAFEARRAY.from_address(address)
    # Bounds are stored last dimension first; elements lie first index fastest.
    bounds = (n.SAFEARRAYBOUND * head.cDims).from_address(address + n.SAFEARRAY.rgsabound.offset)
    counts = [bound.cElements for bound in reversed(bounds)]
    if element == n.VT_UI1 and len(counts) == 1:
        return tuple(ctypes.string_at(head.pvData, counts[0]))
    size = head.cbElements
    if element == n.VT_VARIANT:
        def item(index):
            return get(n.VARIANT.from_address(head.pvData + index * size))
    else:
        def item(index):
            copy = n.VARIANT()
            copy.vt = element
            ctypes.memmove(ctypes.addressof(copy.u), head.pvData + index * size, size)
            return get(copy)

    def level(dimension, offset, stride):
        if dimension == len(counts):
            return item(offset)
        return tuple(level(dimension + 1, offset + i * stride, stride * counts[dimension])
                     for i in range(counts[dimension]))
    return level(0, 0, 1) if counts else ()


def _date_number(value):
    """A date as the classic day count from 1899-12-30; the fraction is the
    time of day, counted away from zero before that day."""
    if not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    if value.tzinfo is not None:
        value = value.astimezone().replace(tzinfo=None)
    midnight = value.replace(hour=0, minute=0, second=0, microsecond=0)
    days = (midnight - _DATE_ZERO).days
    fraction = (value - midnight).total_seconds() / 86400
    return days - fraction if days < 0 else days + fraction


def _date_value(number):
    if math.isnan(number) or math.isinf(number):
        raise ValueError("%r is not a date" % number)
    days = math.trunc(number)
    milliseconds = round(abs(number - days) * 86400000)
    return _DATE_ZERO + datetime.timedelta(days=days, milliseconds=milliseconds)
