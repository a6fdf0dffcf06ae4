"""Tarvex10 from Python: every class by name, as a script client uses it.

    import tarvex10
    movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    movie.filename = "clip.mpg"
    movie.openMovie()
    print(movie.getLengthInMS(), movie.getStatus())
    result, value = movie.stepFrames(5)   # by-ref values follow the result

Pure Python over the component's binary contract (ctypes); the libraries are
found through TARVEX10_LIBRARY_DIR, an installation, the build tree or
pkg-config.
"""
from ._dispatch import Dispatch, Error, Missing
from ._host import classes, marshal, mci, mci_error, members, on_message, pump_events

__all__ = ["Dispatch", "Error", "Missing", "classes", "marshal", "mci", "mci_error", "members", "on_message",
           "pump_events"]
