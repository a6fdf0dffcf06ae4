"""Runs the Python examples of README.md as they stand, the package's and
the raw ctypes one, and holds their cuts against the tarvex10 command's cut
of the same range.

usage: readme_python.py README LIBDIR COMMAND SAMPLE WORKDIR
"""
import os
import re
import subprocess
import sys

readme, libdir, command, sample, workdir = sys.argv[1:6]
blocks = re.findall(r"```python\n(.*?)```", open(readme, encoding="utf-8").read(), re.S)
package = [block for block in blocks if "import tarvex10" in block]
raw = [block for block in blocks if "ctypes.CDLL" in block]
assert len(package) == 1 and len(raw) == 1, "README.md should hold one package and one ctypes example"
os.makedirs(workdir, exist_ok=True)
source_root = os.path.dirname(os.path.abspath(readme))

by_package = os.path.join(workdir, "cut.mpg")
by_python = os.path.join(workdir, "python-cut.mpg")
by_command = os.path.join(workdir, "command-cut.mpg")
for path in (by_package, by_python, by_command):
    if os.path.exists(path):
        os.remove(path)
env = dict(os.environ, TVX_REGISTRY=os.path.join(workdir, "registry"))

# The package's example names the sample as the source tree does, and cuts
# into the folder it runs in.
data = os.path.join(workdir, "tests", "data")
os.makedirs(os.path.dirname(data), exist_ok=True)
if not os.path.exists(data):
    os.symlink(os.path.dirname(os.path.abspath(sample)), data)
example = os.path.join(workdir, "package_example.py")
with open(example, "w", encoding="utf-8") as out:
    out.write(package[0])
run = subprocess.run([sys.executable, example], capture_output=True, text=True, cwd=workdir,
                     env=dict(env, TARVEX10_LIBRARY_DIR=libdir, PYTHONPATH=os.path.join(source_root, "python")))
assert run.returncode == 0, run.stderr
assert "message: Cutting finished" in run.stdout, run.stdout
print(run.stdout, end="")

example = os.path.join(workdir, "example.py")
with open(example, "w", encoding="utf-8") as out:
    out.write(raw[0])
run = subprocess.run([sys.executable, example, libdir, sample, by_python], capture_output=True, text=True)
assert run.returncode == 0, run.stderr
assert "message: Cutting finished" in run.stdout, run.stdout
assert "CutVideo: status 0x00000000" in run.stdout, run.stdout

subprocess.run([command, "cut", "--linear", "--force", sample, by_command, "1000ms", "4000ms", "6000ms"],
               check=True, env=env, capture_output=True)
for path in (by_package, by_python):
    with open(path, "rb") as a, open(by_command, "rb") as b:
        assert a.read() == b.read(), "the README example's cut %s differs from the command's" % path
print(run.stdout, end="")
