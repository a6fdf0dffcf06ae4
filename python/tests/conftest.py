"""The package's tests run against the build that ctest names through
TARVEX10_LIBRARY_DIR; TVX_REGISTRY names a registry file that does not exist,
so objects come through the package's private registration."""
import os
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(ROOT, "tests", "data")
SAMPLE = os.path.join(DATA, "system_ffmpeg.mpg")  # six seconds, 320x240, 25 frames a second


@pytest.fixture
def work_dir(tmp_path):
    return str(tmp_path)


@pytest.fixture
def command():
    """The tarvex10 command of the same build, to hold results against."""
    path = os.environ.get("TVX_COMMAND") or os.path.join(os.environ.get("TARVEX10_LIBRARY_DIR", ""), "..", "bin",
                                                         "tarvex10")
    if not os.path.isfile(path):
        pytest.skip("no tarvex10 command next to the libraries")
    return path


def run_python(code, **env):
    """Runs `code` in a fresh interpreter with the package; gives the run."""
    environment = dict(os.environ, **dict(dict(PYTHONPATH=os.path.join(ROOT, "python")), **env))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=environment, cwd="/",
                          timeout=120)
