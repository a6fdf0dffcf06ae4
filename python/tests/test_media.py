"""The movie player and the device command layer on the sample file through
the media control interpreter, and the interpreter itself through mci()."""
import pytest

import tarvex10
from conftest import SAMPLE


@pytest.fixture
def movie():
    movie = tarvex10.Dispatch("Tarvex10.clsKwVidoMoviesA")
    movie.filename = SAMPLE
    assert movie.openMovie() is None  # a Variant result never assigned is Empty
    yield movie
    movie.closeMovie()


def test_the_movie_answers_as_the_interpreter_does(movie):
    assert movie.getLengthInMS() == int(tarvex10.mci("status movie length")[1]) == 6000
    assert movie.getStatus().rstrip("\0") == tarvex10.mci("status movie mode")[1].capitalize()
    assert movie.getFormatLength() == "0:06"
    assert movie.isMoviePlaying() is False
    assert movie.getCurrentSize() and movie.getDefaultSize()


def test_by_ref_values_follow_the_result_in_order(movie):
    assert movie.stepFrames(5) == (None, 5)
    # The second is written back as milliseconds, positionally or by name.
    assert movie.setPositionTo(3) == (None, 3000)
    assert movie.setPositionTo(Second=2) == (None, 2000)
    assert movie.setpositionto(second=1) == (None, 1000)
    assert movie.getPositionInMS() == 1000
    # The four sizes arrive in order; left and top keep what was passed.
    assert movie.extractCurrentMovieSize(7, 9, 0, 0) == (None, 7, 9, 320, 240)
    assert movie.extractDefaultMovieSize(0, 0) == (None, 320, 240)


def test_overflow_leaves_the_callers_value_and_says_where_it_came_from(movie):
    with pytest.raises(tarvex10.Error) as failure:
        movie.setPositionTo(2147484)
    error = failure.value
    assert (error.number, error.description, error.source) == (6, "Overflow", "Tarvex10.clsKwVidoMoviesA")
    assert "setPositionTo" in str(error)


def test_arguments_left_out_are_missing_where_the_member_allows_it(movie):
    # timeOut takes a Variant: the call reaches the member, which finds no number.
    with pytest.raises(tarvex10.Error) as failure:
        movie.timeOut()
    assert failure.value.number == 13
    with pytest.raises(tarvex10.Error) as failure:
        movie.setPositionTo()
    assert (failure.value.status, failure.value.argument) == (0x8002000F, 1)
    with pytest.raises(tarvex10.Error) as failure:
        movie.getLengthInMS(1)
    assert failure.value.status == 0x8002000E
    with pytest.raises(TypeError, match="no parameter named 'nope'"):
        movie.setPositionTo(nope=1)


def test_the_device_layer_opens_measures_and_closes():
    layer = tarvex10.Dispatch("Tarvex10.clsKwVidoMciApiA")
    assert layer.OpenDevice("mpegvideo", "pyclip", SAMPLE, 0, "child") == (
        0, "mpegvideo", "pyclip", SAMPLE, 0, "child")
    assert (layer.ErrorNumber, layer.TotalTime, layer.TotalFrames, layer.FramesPerSec) == (0, 6000, 150, 25)
    assert layer.cmdGetLength("pyclip") == (150, "pyclip")
    assert layer.cmdGetStatus("pyclip") == ("stopped", "pyclip")
    assert layer.cmdSeek("pyclip", 2000) == (1, "pyclip", 2000)
    assert layer.CloseDevice("pyclip") == (0, "pyclip")
    assert layer.cmdGetLength(DeviceAlias="pyclip") == (-1, "pyclip")
    assert layer.ErrorNumber == 263
    assert layer.ErrorDescription.rstrip("\0") == tarvex10.mci_error(263)


def test_mci_gives_code_and_reply():
    assert tarvex10.mci("open %s type mpegvideo alias pym" % SAMPLE) == (0, "1")
    assert tarvex10.mci("status pym length") == (0, "6000")
    assert tarvex10.mci("where pym source") == (0, "0 0 320 240")
    assert tarvex10.mci("close pym") == (0, "")
    code, reply = tarvex10.mci("status pym length")
    assert (code, reply) == (263, "")
    assert tarvex10.mci_error(code) == "The device is not open or is not known."
