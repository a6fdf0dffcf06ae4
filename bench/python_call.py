"""Time of one late-bound member call from Python, obj.getLengthInMS(),
next to a plain ctypes call of the same member's slot in the movie
player's function table (early binding), measured in the same run.

usage: python3 bench/python_call.py [SAMPLE.mpg]   (TARVEX10_LIBRARY_DIR as for the package)
"""
import ctypes
import os
import sys
import timeit

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import tarvex10  # noqa: E402
from tarvex10 import _native  # noqa: E402

sample = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data",
                                                              "system_ffmpeg.mpg")
movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
movie.filename = sample
movie.openMovie()

member = next(m for m in tarvex10.members("Tarvex10.clsKwVidoMoviesA") if m.name == "getLengthInMS")
pointer = movie._tvx_pointer()
early = _native.method(pointer, member.slot,
                       ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.POINTER(ctypes.c_int32)))
length = ctypes.c_int32()


def plain():
    early(pointer, ctypes.byref(length))
    return length.value


assert plain() == movie.getLengthInMS()
rounds = 20000
late_us = min(timeit.repeat(movie.getLengthInMS, number=rounds, repeat=5)) / rounds * 1e6
plain_us = min(timeit.repeat(plain, number=rounds, repeat=5)) / rounds * 1e6
print("late-bound obj.getLengthInMS():   %6.2f us per call" % late_us)
print("plain ctypes call of slot %d:     %6.2f us per call" % (member.slot, plain_us))
print("ratio late / plain:                %6.2f" % (late_us / plain_us))
movie.closeMovie()
