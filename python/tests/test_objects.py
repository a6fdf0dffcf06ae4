"""Every class by name: creation, member tables against the command's,
names in any case, member help, values through a Variant property, and the
errors a script sees."""
import ctypes
import datetime
import decimal
import inspect
import os
import subprocess

import pytest

import tarvex10
from tarvex10 import _native
from conftest import SAMPLE

CLASSES = [progid for _, progid, _ in tarvex10.classes()]


def test_the_type_library_lists_the_seven_classes():
    assert CLASSES[0] == "Tarvex10.clsKwvIDOTarvex10A"
    assert set(CLASSES[1:]) == {"Tarvex10.clsKwVidoVfwA", "Tarvex10.clsKwVidoGeneralA", "Tarvex10.clsKwVidoAdvancedA",
                                "Tarvex10.clsKwVidoMoviesA", "Tarvex10.clsKwVidoMciApiA",
                                "Tarvex10.clsKwVidoCutVideoA"}


@pytest.mark.parametrize("progid", CLASSES)
def test_every_class_shows_the_members_the_command_lists(progid, command):
    obj = tarvex10.Dispatch(progid)
    assert type(obj).__name__ == "_" + progid.split(".")[1]
    assert isinstance(obj, tarvex10.Dispatch)
    listed = subprocess.run([command, "members", progid], capture_output=True, text=True, check=True).stdout
    lines = [line.strip() for line in listed.splitlines()[1:]]
    assert [str(member) for member in tarvex10.members(progid)] == lines
    names = {line.split()[2].split("(")[0] for line in lines}
    assert names <= set(dir(obj))


@pytest.mark.parametrize("progid", ["Tarvex10.clsKwVidoVfwA", "Tarvex10.clsKwVidoGeneralA",
                                    "Tarvex10.clsKwVidoAdvancedA"])
def test_empty_classes_have_no_member_to_call(progid):
    with tarvex10.Dispatch(progid) as obj:
        with pytest.raises(AttributeError):
            obj.anything()
        assert [name for name in dir(obj) if not name.startswith("_")] == []


def test_creation_by_class_identifier_and_unknown_identifiers():
    movie = tarvex10.Dispatch("{96c1997b-9fd6-44a2-a491-27c3d03193b7}")
    assert type(movie).__name__ == "_clsKwVidoMoviesA"
    with pytest.raises(tarvex10.Error) as failure:
        tarvex10.Dispatch("Tarvex10.NoSuchClass")
    assert "Tarvex10.NoSuchClass" in str(failure.value)
    with pytest.raises(tarvex10.Error):
        tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA", component="/nonexistent/libtarvex10.so")


def test_objects_of_one_class_are_independent_and_names_match_in_any_case():
    first, second = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA"), tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    first.error = 7
    assert (first.Error, first.ERROR, second.Error) == (7, 7, 0)
    first.FileName = "007"
    assert first.filename == "007"  # a string parameter keeps the text
    with pytest.raises(AttributeError):
        first.no_such_member = 1
    assert first != second and first == first


def test_help_shows_parameters_types_and_by_ref_results():
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    signature = inspect.signature(cutter.FindNext)
    assert list(signature.parameters) == ["off", "mark"]
    assert signature.parameters["off"].annotation == "int32 by ref"
    assert "FindNext(off: int32 by ref, mark: byte) -> int16" in cutter.FindNext.__doc__
    assert "Returns (result, off)" in cutter.FindNext.__doc__
    # Python keywords become keyword-safe names.
    assert "from_" in inspect.signature(cutter.BackwardFindBoundaries).parameters
    assert "put     startT(double) -> -" in type(cutter).startT.__doc__


VALUES = [None, True, False, 5, -2**31, 2**40, 2.5, "", "a\0b\U0001F600", decimal.Decimal("-12.3456"),
          datetime.datetime(2024, 5, 17, 13, 45, 30, 250000), datetime.datetime(1899, 12, 29, 6, 0),
          (1, "x", (2.5, None)), ()]


@pytest.mark.parametrize("value", VALUES, ids=repr)
def test_values_round_trip_through_a_variant_property(value):
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.picture_rate = value
    back = cutter.picture_rate
    assert back == value and type(back) is type(value)


def test_other_values_come_back_in_their_automation_form():
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.picture_rate = [1, [2, 3]]
    assert cutter.picture_rate == (1, (2, 3))
    cutter.picture_rate = b"\x00\xff"
    assert cutter.picture_rate == (0, 255)
    cutter.picture_rate = datetime.date(2000, 1, 2)
    assert cutter.picture_rate == datetime.datetime(2000, 1, 2)
    cutter.picture_rate = cutter  # an object goes by reference
    assert cutter.picture_rate == cutter
    cutter.picture_rate = None
    with pytest.raises(OverflowError):
        cutter.picture_rate = 2**64
    with pytest.raises(TypeError):
        cutter.picture_rate = object()
    cutter.FileType = 3.5  # coerced to int16, half to even
    assert cutter.FileType == 4


def test_failures_carry_number_description_source_and_argument():
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.TotalTime = 0
    with pytest.raises(tarvex10.Error) as failure:
        cutter.TimeToOffSets()
    error = failure.value
    assert (error.number, error.status, error.description, error.source) == (
        11, 0x800A000B, "Division by zero", "Tarvex10.clsKwVidoCutVideoA")
    assert cutter.Tmax == 0  # the object stays usable
    with pytest.raises(tarvex10.Error) as failure:
        cutter.FindNext(0, "many")
    assert (failure.value.status, failure.value.argument, failure.value.number) == (0x80020005, 2, None)
    assert "argument 2 (mark)" in str(failure.value)
    with pytest.raises(tarvex10.Error) as failure:
        cutter.FindNext(off=0, mark=300)
    assert (failure.value.status, failure.value.argument) == (0x8002000A, 2)
    with pytest.raises(tarvex10.Error) as failure:
        cutter.FileType = "many"
    assert failure.value.status == 0x80020005
    with pytest.raises(tarvex10.Error) as failure:
        cutter.GetSize(0)  # no file open
    assert failure.value.number == 52


def test_the_descriptor_gives_its_properties_and_keeps_a_buddy_per_thread():
    descriptor = tarvex10.Dispatch("Tarvex10.clsKwvIDOTarvex10A")
    properties = descriptor.GetProStdProperties
    assert (properties.Major, properties.Minor, properties.Revision) == (1, 0, 89)
    assert properties.EXEName == "libtarvex10"
    with pytest.raises(tarvex10.Error) as failure:
        descriptor.GetProResStrings(9999)
    assert failure.value.number == 326
    data, resource_id, kind = descriptor.GetProResData(1, "TYPELIB")
    assert bytes(data[:4]) == b"TVXL" and (resource_id, kind) == (1, "TYPELIB")
    buddy = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    descriptor.BuddyObjectGlobal = buddy
    assert descriptor.BuddyObjectGlobal == buddy
    descriptor.BuddyObjectGlobal = None  # no object
    assert descriptor.BuddyObjectGlobal is None


def test_late_binding_agrees_with_the_members_own_slots():
    """Every property of the cutter after init, read by name and through its
    slot in the function table (the slot the type information gives)."""
    out_types = {_native.VT_I2: ctypes.c_int16, _native.VT_I4: ctypes.c_int32, _native.VT_R8: ctypes.c_double}
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.init(SAMPLE)
    pointer = cutter._tvx_pointer()
    compared = 0
    for member in tarvex10.members("Tarvex10.clsKwVidoCutVideoA"):
        if member.kind != 2 or member.result not in out_types:
            continue
        value = out_types[member.result]()
        slot = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.POINTER(out_types[member.result]))
        assert _native.method(pointer, member.slot, slot)(pointer, ctypes.byref(value)) == 0
        assert getattr(cutter, member.name) == value.value, member.name
        compared += 1
    assert compared >= 15 and cutter.FileSize == os.path.getsize(SAMPLE)
