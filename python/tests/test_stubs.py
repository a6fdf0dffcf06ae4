"""The typed stubs are those the type library gives today, and they name
what the objects offer."""
import ast
import os
import subprocess
import sys

import tarvex10
from conftest import ROOT

GENERATOR = os.path.join(ROOT, "python", "generate_stubs.py")
STUB = os.path.join(ROOT, "python", "tarvex10", "__init__.pyi")


def test_the_committed_stub_is_up_to_date():
    run = subprocess.run([sys.executable, GENERATOR, "--check"], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr


def test_each_class_in_the_stub_has_the_objects_members():
    tree = ast.parse(open(STUB, encoding="utf-8").read())
    stubbed = {node.name: {item.name if isinstance(item, ast.FunctionDef) else item.target.id
                           for item in node.body if isinstance(item, (ast.FunctionDef, ast.AnnAssign))}
               for node in tree.body if isinstance(node, ast.ClassDef)}
    for class_name, progid, _ in tarvex10.classes():
        names = {member.name for member in tarvex10.members(progid)}
        assert stubbed["_" + class_name] == names, class_name
