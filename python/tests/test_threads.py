"""Objects belong to their thread: another thread gets a clear error, a
marshalled proxy runs its calls on the owner while it pumps events, and
objects are released when collected (on any thread) or at `with` exit."""
import threading

import pytest

import tarvex10
from conftest import SAMPLE, run_python


def in_thread(function):
    outcome = {}

    def run():
        try:
            outcome["value"] = function()
        except BaseException as error:  # handed to the test's thread
            outcome["error"] = error
    thread = threading.Thread(target=run)
    thread.start()
    return thread, outcome


def test_a_call_from_another_thread_is_refused_clearly():
    movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    thread, outcome = in_thread(lambda: movie.getLengthInMS())
    thread.join()
    error = outcome["error"]
    assert isinstance(error, tarvex10.Error) and error.status == 0x8001010E
    assert "another thread" in str(error) and "marshal" in str(error)
    thread, outcome = in_thread(lambda: setattr(movie, "Error", 1))
    thread.join()
    assert isinstance(outcome["error"], tarvex10.Error) and movie.Error == 0


def test_a_marshalled_proxy_runs_calls_on_the_owner_while_it_pumps():
    movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    movie.filename = SAMPLE
    movie.openMovie()
    proxy = tarvex10.marshal(movie)
    owner = threading.get_ident()
    thread, outcome = in_thread(lambda: (proxy.getLengthInMS(), proxy.setPositionTo(2), proxy.filename))
    while thread.is_alive():
        tarvex10.pump_events(0.01)
    thread.join()
    assert "error" not in outcome, outcome.get("error")
    assert outcome["value"] == (6000, (None, 2000), movie.filename)
    assert movie.getPositionInMS() == 2000 and threading.get_ident() == owner
    # The buddy object is kept per thread: another thread sees none.
    descriptor = tarvex10.Dispatch("Tarvex10.clsKwvIDOTarvex10A")
    descriptor.BuddyObjectGlobal = movie
    other = tarvex10.Dispatch  # created on the other thread, read there
    thread, outcome = in_thread(lambda: other("Tarvex10.clsKwvIDOTarvex10A").BuddyObjectGlobal)
    thread.join()
    assert outcome == {"value": None} and descriptor.BuddyObjectGlobal == movie
    movie.closeMovie()


def test_objects_a_proxy_returns_are_proxies_too():
    descriptor = tarvex10.marshal(tarvex10.Dispatch("Tarvex10.clsKwvIDOTarvex10A"))
    thread, outcome = in_thread(lambda: descriptor.GetProStdProperties)
    while thread.is_alive():
        tarvex10.pump_events(0.01)
    thread.join()
    assert "error" not in outcome, outcome.get("error")
    # Fetched by the worker, usable here: it is a proxy, not the worker's own.
    properties = outcome["value"]
    assert properties.Major == 1
    assert properties.ThreadID == tarvex10.Dispatch("Tarvex10.clsKwvIDOTarvex10A").GetProStdProperties.ThreadID


def test_marshal_refuses_what_is_not_an_object():
    with pytest.raises(TypeError):
        tarvex10.marshal("movie")


RELEASES = r"""
import ctypes, gc, os, threading, tarvex10
from tarvex10 import _native
component = ctypes.CDLL(os.path.join(_native.platform_dir(), "libtarvex10.so"))
alive = lambda: component.DllCanUnloadNow() == 1
movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
print(alive())
del movie
gc.collect()
print(alive())
with tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA") as cutter:
    print(alive())
print(alive())
try:
    cutter.FileType
except tarvex10.Error as error:
    print("released:", "released" in str(error))
holder = [tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")]
thread = threading.Thread(target=holder.clear)
thread.start(); thread.join()
print(alive())
tarvex10.pump_events(0.05)
print(alive())
"""


def test_objects_are_released_when_collected_and_at_with_exit():
    run = run_python(RELEASES)
    assert run.returncode == 0, run.stderr
    # Collected on another thread, the object goes when its owner pumps.
    assert run.stdout.split("\n")[:-1] == ["True", "False", "True", "False", "released: True", "True", "False"]
