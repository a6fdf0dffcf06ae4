"""The package as a user gets it: installed by pip without network, finding
the libraries, using a registered component when there is one."""
import os
import shutil
import subprocess
import sys

import pytest

from conftest import ROOT, SAMPLE, run_python


def test_pip_installs_it_without_network(tmp_path):
    if subprocess.run([sys.executable, "-m", "pip", "--version"], capture_output=True).returncode != 0:
        pytest.skip("no pip for this interpreter")
    # A copy, so that the build leaves nothing in the source tree.
    source = tmp_path / "source"
    shutil.copytree(os.path.join(ROOT, "python"), source, ignore=shutil.ignore_patterns("tests", "__pycache__"))
    target = tmp_path / "target"
    install = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                              "--no-cache-dir", "--target", str(target), str(source)], capture_output=True,
                             text=True, timeout=300)
    assert install.returncode == 0, install.stdout + install.stderr
    assert (target / "tarvex10" / "__init__.pyi").is_file() and (target / "tarvex10" / "py.typed").is_file()
    run = run_python("import tarvex10\n"
                     "m = tarvex10.Dispatch('Tarvex10.clsKwVidoMoviesA')\n"
                     "m.filename = %r\n"
                     "m.openMovie()\n"
                     "print(tarvex10.__file__, m.getLengthInMS())" % SAMPLE, PYTHONPATH=str(target))
    assert run.returncode == 0, run.stderr
    where, length = run.stdout.split()
    assert where.startswith(str(target)) and length == "6000"


def test_a_missing_library_folder_is_named():
    run = run_python("import tarvex10", TARVEX10_LIBRARY_DIR="/nonexistent")
    assert run.returncode != 0
    assert "libtvxplatform.so is not in TARVEX10_LIBRARY_DIR (/nonexistent)" in run.stderr


def test_a_registered_component_is_used_without_a_private_registration(tmp_path, command):
    registry = str(tmp_path / "registry")
    subprocess.run([command, "register"], check=True, capture_output=True, env={"TVX_REGISTRY": registry})
    run = run_python("import tarvex10, tarvex10._host as h\n"
                     "tarvex10.Dispatch('Tarvex10.clsKwVidoMoviesA')\n"
                     "print(h._private['folder'])", TVX_REGISTRY=registry)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "None"


