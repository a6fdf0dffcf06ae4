"""The cutter through the package: the same cut as the command's, its
messages to a callable or to standard error, keyword arguments, by-ref
offsets."""
import os
import subprocess

import pytest

import tarvex10
from conftest import DATA, SAMPLE


@pytest.mark.parametrize("sample, times", [("system_ffmpeg.mpg", (1000, 4000, 6000)),
                                           ("elementary_ffmpeg.m1v", (1000, 3000, 5005))])
def test_a_cut_matches_the_commands_byte_for_byte(sample, times, work_dir, command):
    source = os.path.join(DATA, sample)
    ours, theirs = os.path.join(work_dir, "python.mpg"), os.path.join(work_dir, "command.mpg")
    messages = []
    previous = tarvex10.on_message(lambda text, title: messages.append(text))
    try:
        cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
        cutter.CutVideo(source, ours, *times)
    finally:
        tarvex10.on_message(previous)
    # --linear: the command cuts with CutVideo itself, the times in milliseconds.
    subprocess.run([command, "cut", "--linear", "--force", source, theirs] + ["%dms" % t for t in times], check=True,
                   capture_output=True)
    assert open(ours, "rb").read() == open(theirs, "rb").read()
    assert messages == ["Cutting finished"]


def test_keyword_arguments_name_the_parameters_in_any_order(work_dir):
    named, positional = os.path.join(work_dir, "named.mpg"), os.path.join(work_dir, "positional.mpg")
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    tarvex10.on_message(lambda text, title: None)
    try:
        cutter.CutVideo(SAMPLE, TotalDuration=6000, toT=4000, fromT=1000, OutPath=named)
        cutter.CutVideo(SAMPLE, positional, 1000, 4000, 6000)
    finally:
        tarvex10.on_message(None)
    assert open(named, "rb").read() == open(positional, "rb").read()
    assert os.path.getsize(named) > 0


def test_messages_go_to_standard_error_without_a_callable(capfd, work_dir):
    tarvex10.on_message(None)
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.CutVideo(SAMPLE, os.path.join(work_dir, "late.mpg"), 7000, 8000, 6000)
    assert "start beyond EOF" in capfd.readouterr().err


def test_a_failing_callable_does_not_stop_the_cutter(capfd, work_dir):
    def refuse(text, title):
        raise RuntimeError("not now")
    tarvex10.on_message(refuse)
    try:
        cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
        cutter.CutVideo(SAMPLE, os.path.join(work_dir, "cut.mpg"), 1000, 4000, 6000)
    finally:
        tarvex10.on_message(None)
    assert "RuntimeError: not now" in capfd.readouterr().err
    assert os.path.getsize(os.path.join(work_dir, "cut.mpg")) > 0


def test_by_ref_offsets_come_back_as_the_command_prints_them(command):
    cutter = tarvex10.Dispatch("Tarvex10.clsKwVidoCutVideoA")
    cutter.init(SAMPLE)
    found, off = cutter.FindNext(0, 224)
    listed = subprocess.run([command, "call", "Tarvex10.clsKwVidoCutVideoA", "init", SAMPLE, "FindNext", "0", "224"],
                            capture_output=True, text=True, check=True).stdout.splitlines()
    assert listed[-2].endswith("result int16 %d" % found)
    assert listed[-1].strip() == "off = int32 %d" % off
    # startT takes a double; FileType an int16.
    cutter.startT = 2.5
    assert cutter.startT == 2.5 and isinstance(cutter.FileType, int)
