#!/usr/bin/env python3
"""Checks that each layer under src/ includes only itself and the layers below it.

The layers and what each may use (itself always allowed) follow the house plan:

    base       std only
    platform   base
    model      base
    container  base
    safe       container, model (and what they use)
    core       safe, platform (and what they use)
    cli        core (and everything below it)
    ui         core (and everything below it), and Qt
    shellext   base, platform, and the hand-over code of core

Only src/ui may include Qt headers. Project includes are quoted and rooted at src/
("container/PageFileManager.h"); a quoted include without a folder is a file of the same layer.

Usage: check_layering.py [SRC_DIR]          check a tree, print every offending line, exit 1 on any
       check_layering.py --self-test        prove the check catches an upward include and a Qt include
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

DIRECT_USES = {
    "base": [],
    "platform": ["base"],
    "model": ["base"],
    "container": ["base"],
    "safe": ["container", "model"],
    "core": ["safe", "platform"],
    "cli": ["core"],
    "ui": ["core"],
    "shellext": ["base", "platform"],
}
# Single files a layer may use beyond its layers: the file-manager program builds the hand-over text
# with the core's code for it.
EXTRA_FILES = {
    "shellext": {"core/HandOver.h", "core/qmHandOver.h"},
}
QT_ALLOWED = {"ui"}

QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
ANGLED = re.compile(r"^\s*#\s*include\s*<([^>]+)>")
QT_HEADER = re.compile(r"^(Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*$|q[a-z]+\.h$)")
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx")


def allowed_layers(layer):
    """The layer itself and every layer it reaches through its uses."""
    seen = {layer}
    todo = list(DIRECT_USES.get(layer, []))
    while todo:
        used = todo.pop()
        if used not in seen:
            seen.add(used)
            todo.extend(DIRECT_USES.get(used, []))
    return seen


def check_tree(src_dir):
    problems = []
    for layer in sorted(os.listdir(src_dir)):
        layer_dir = os.path.join(src_dir, layer)
        if not os.path.isdir(layer_dir):
            continue
        if layer not in DIRECT_USES:
            problems.append(f"{layer}/: a folder that is no known layer (add it to the layer table)")
            continue
        allowed = allowed_layers(layer)
        extra = EXTRA_FILES.get(layer, set())
        for root, _dirs, files in os.walk(layer_dir):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, src_dir)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = QUOTED.match(line)
                        if m:
                            target = m.group(1)
                            top = target.split("/", 1)[0] if "/" in target else layer
                            if top in DIRECT_USES and top not in allowed and target not in extra:
                                problems.append(f"{rel}:{number}: {layer} includes {target} (layer {top})")
                            continue
                        m = ANGLED.match(line)
                        if m and layer not in QT_ALLOWED and QT_HEADER.match(m.group(1)):
                            problems.append(f"{rel}:{number}: {layer} includes the Qt header {m.group(1)}")
    return problems


def self_test(script):
    """Copies a small tree, plants one fault at a time and expects the check to name it."""
    cases = [
        ("base/Upward.h", '#include "core/qmGlobal.h"\n', "base includes core/qmGlobal.h"),
        ("container/Sideways.cpp", '#include "model/qmField.h"\n', "container includes model/qmField.h"),
        ("core/Widget.h", "#include <QWidget>\n", "core includes the Qt header QWidget"),
        ("safe/QtCore.h", "#include <QtCore/QString>\n", "safe includes the Qt header QtCore/QString"),
        ("stray/Thing.h", "\n", "stray/: a folder that is no known layer"),
    ]
    with tempfile.TemporaryDirectory() as scratch:
        clean = os.path.join(scratch, "clean")
        for layer in ("base", "container", "model", "safe", "core", "ui"):
            os.makedirs(os.path.join(clean, layer))
        with open(os.path.join(clean, "core", "Fine.h"), "w") as f:
            f.write('#include "safe/qmSFSWrapper.h"\n#include "base/Stream.h"\n#include <string>\n')
        with open(os.path.join(clean, "ui", "Window.h"), "w") as f:
            f.write('#include <QWidget>\n#include "core/qmGlobal.h"\n')
        result = subprocess.run([sys.executable, script, clean], capture_output=True, text=True)
        if result.returncode != 0:
            print("self-test: a clean tree was refused:\n" + result.stdout)
            return 1
        for i, (rel, content, expected) in enumerate(cases):
            tree = os.path.join(scratch, f"case{i}")
            shutil.copytree(clean, tree)
            os.makedirs(os.path.dirname(os.path.join(tree, rel)), exist_ok=True)
            with open(os.path.join(tree, rel), "w") as f:
                f.write(content)
            result = subprocess.run([sys.executable, script, tree], capture_output=True, text=True)
            if result.returncode == 0 or expected not in result.stdout:
                print(f"self-test: {rel} was not caught (expected '{expected}'):\n{result.stdout}")
                return 1
    print(f"self-test: a clean tree passes and all {len(cases)} planted faults are caught")
    return 0


def main(argv):
    script = os.path.abspath(argv[0])
    if len(argv) > 1 and argv[1] == "--self-test":
        return self_test(script)
    src_dir = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(script), "..", "..", "src")
    problems = check_tree(src_dir)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) break the layering")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
