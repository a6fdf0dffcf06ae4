"""Runs the Python example of README.md as it stands and holds its cut
against the tarvex10 command's cut of the same range.

usage: readme_python.py README LIBDIR COMMAND SAMPLE WORKDIR
"""
import os
import re
import subprocess
import sys

readme, libdir, command, sample, workdir = sys.argv[1:6]
blocks = re.findall(r"```python\n(.*?)```", open(readme, encoding="utf-8").read(), re.S)
assert len(blocks) == 1, "README.md should hold one Python example, found %d" % len(blocks)
os.makedirs(workdir, exist_ok=True)
example = os.path.join(workdir, "example.py")
with open(example, "w", encoding="utf-8") as out:
    out.write(blocks[0])

by_python = os.path.join(workdir, "python-cut.mpg")
by_command = os.path.join(workdir, "command-cut.mpg")
for path in (by_python, by_command):
    if os.path.exists(path):
        os.remove(path)
run = subprocess.run([sys.executable, example, libdir, sample, by_python], capture_output=True, text=True)
assert run.returncode == 0, run.stderr
assert "message: Cutting finished" in run.stdout, run.stdout
assert "CutVideo: status 0x00000000" in run.stdout, run.stdout

env = dict(os.environ, TVX_REGISTRY=os.path.join(workdir, "registry"))
subprocess.run([command, "cut", sample, by_command, "1000", "4000", "6000"], check=True, env=env,
               capture_output=True)
with open(by_python, "rb") as a, open(by_command, "rb") as b:
    assert a.read() == b.read(), "the README example's cut differs from the command's"
print(run.stdout, end="")
