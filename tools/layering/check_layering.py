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
    ui         core, and of what lies below it only platform, model and base: the Safe's storage
               (container, safe) is the core's, and the value types the desktop needs of it come
               through core/qmSafeTypes.h. Also Qt, and the drawing library the icon tool shares
               (tools/icons, "icons/..."); the screenshot program (ui/screenshots) also the
               desktop's test support (tests/uisupport, "uisupport/...").
    shellext   base, platform, and the hand-over code of core

Only src/ui may include Qt headers. Every project include is quoted and written from the root of
src/ ("container/PageFileManager.h"), from the root of its own layer ("shell/frmLogin.h" in
src/ui), or as a bare name of a file in the including file's own folder. Refused besides upward
includes and Qt outside src/ui: a project header in angle brackets (<core/qmGlobal.h>), a relative
path ("../core/qmGlobal.h"), a bare name that is not in the including file's folder (it came in
through some library's include path), and a quoted path that is no file of the layers and no
library the table allows.

Usage: check_layering.py [SRC_DIR]          check a tree, print every offending line, exit 1 on any
       check_layering.py --self-test        prove the check catches each kind of fault it knows
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
# Layers reached through a layer's uses that it must not include itself: the desktop reaches the
# Safe's storage only through the core.
HIDDEN = {
    "ui": {"container", "safe"},
}
# Single files a layer may use beyond its layers: the file-manager program builds the hand-over text
# with the core's code for it.
EXTRA_FILES = {
    "shellext": {"core/HandOver.h", "core/qmHandOver.h"},
}
# Include roots outside src/ that the files below a folder of src/ may use (prefix of the path
# relative to src/ -> the roots).
EXTRA_ROOTS = {
    # The program's pictures are drawn by the library the icon tool uses (tools/icons).
    "ui/": {"icons/"},
    # The screenshot program drives the windows with the desktop's test support.
    "ui/screenshots/": {"uisupport/"},
}
QT_ALLOWED = {"ui"}

QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
ANGLED = re.compile(r"^\s*#\s*include\s*<([^>]+)>")
QT_HEADER = re.compile(r"^(Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*$|q[a-z]+\.h$)")
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".cxx")


def allowed_layers(layer):
    """The layer itself and every layer it reaches through its uses, less those hidden from it."""
    seen = {layer}
    todo = list(DIRECT_USES.get(layer, []))
    while todo:
        used = todo.pop()
        if used not in seen:
            seen.add(used)
            todo.extend(DIRECT_USES.get(used, []))
    return seen - HIDDEN.get(layer, set())


def extra_roots(rel):
    roots = set()
    for prefix, allowed in EXTRA_ROOTS.items():
        if rel.startswith(prefix):
            roots |= allowed
    return roots


def check_quoted(src_dir, layer, rel, target):
    """The problem with a quoted include of the file rel (relative to src/), or None."""
    parts = target.split("/")
    if target.startswith("/") or ".." in parts or "." in parts:
        return f"{layer} includes \"{target}\" by a relative path (write it from the root of src/)"
    here = os.path.dirname(os.path.join(src_dir, rel))
    if len(parts) == 1:
        if os.path.isfile(os.path.join(here, target)):
            return None
        return (f"{layer} includes \"{target}\", which is not in the folder of the including file "
                f"(write it from its root, and allow its library in the table)")
    top = parts[0]
    if top in DIRECT_USES:
        if top in allowed_layers(layer) or target in EXTRA_FILES.get(layer, set()):
            return None
        return f"{layer} includes {target} (layer {top})"
    if os.path.isfile(os.path.join(src_dir, layer, target)) or os.path.isfile(os.path.join(here, target)):
        return None
    if any(target.startswith(root) for root in extra_roots(rel)):
        return None
    return f"{layer} includes \"{target}\", which is no file of the layers and no library the table allows"


def check_angled(layer, target):
    top = target.split("/", 1)[0]
    if "/" in target and top in DIRECT_USES:
        return f"{layer} includes the project header <{target}> in angle brackets (quote it)"
    if layer not in QT_ALLOWED and QT_HEADER.match(target):
        return f"{layer} includes the Qt header {target}"
    return None


def check_tree(src_dir):
    problems = []
    for layer in sorted(os.listdir(src_dir)):
        layer_dir = os.path.join(src_dir, layer)
        if not os.path.isdir(layer_dir):
            continue
        if layer not in DIRECT_USES:
            problems.append(f"{layer}/: a folder that is no known layer (add it to the layer table)")
            continue
        for root, _dirs, files in os.walk(layer_dir):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, src_dir).replace(os.sep, "/")
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = QUOTED.match(line)
                        problem = None
                        if m:
                            problem = check_quoted(src_dir, layer, rel, m.group(1))
                        else:
                            m = ANGLED.match(line)
                            if m:
                                problem = check_angled(layer, m.group(1))
                        if problem:
                            problems.append(f"{rel}:{number}: {problem}")
    return problems


def self_test(script):
    """Copies a small tree, plants one fault at a time and expects the check to name it."""
    cases = [
        ("base/Upward.h", '#include "core/qmGlobal.h"\n', "base includes core/qmGlobal.h"),
        ("container/Sideways.cpp", '#include "model/qmField.h"\n', "container includes model/qmField.h"),
        ("core/Widget.h", "#include <QWidget>\n", "core includes the Qt header QWidget"),
        ("safe/QtCore.h", "#include <QtCore/QString>\n", "safe includes the Qt header QtCore/QString"),
        ("stray/Thing.h", "\n", "stray/: a folder that is no known layer"),
        ("ui/shell/Angled.cpp", "#include <core/qmGlobal.h>\n", "project header <core/qmGlobal.h> in angle"),
        ("ui/shell/Relative.cpp", '#include "../core/qmGlobal.h"\n', "by a relative path"),
        ("base/Relative.cpp", '#include "../core/qmGlobal.h"\n', "by a relative path"),
        ("ui/widgets/Pictures.cpp", '#include "Glyphs.h"\n', "\"Glyphs.h\", which is not in the folder"),
        ("ui/shell/Storage.cpp", '#include "container/TextKey.h"\n', "ui includes container/TextKey.h"),
        ("ui/shell/Layout.cpp", '#include "safe/qmSFSWrapper.h"\n', "ui includes safe/qmSFSWrapper.h"),
        ("ui/shell/Support.cpp", '#include "uisupport/qmUiScript.h"\n', "no library the table allows"),
        ("core/Icons.cpp", '#include "icons/Glyphs.h"\n', "no library the table allows"),
    ]
    with tempfile.TemporaryDirectory() as scratch:
        clean = os.path.join(scratch, "clean")
        for layer in ("base", "container", "model", "safe", "core", "ui/shell", "ui/widgets", "ui/screenshots"):
            os.makedirs(os.path.join(clean, layer))
        files = {
            "core/Fine.h": '#include "safe/qmSFSWrapper.h"\n#include "base/Stream.h"\n#include "Fine2.h"\n'
            "#include <string>\n#include <sys/file.h>\n",
            "core/Fine2.h": "\n",
            "ui/shell/Window.h": '#include <QWidget>\n#include "core/qmGlobal.h"\n#include "core/qmSafeTypes.h"\n'
            '#include "platform/HomeFolder.h"\n#include "model/qmCategory.h"\n#include "base/SecureWipe.h"\n'
            '#include "widgets/Pictures.h"\n#include "Window2.h"\n',
            "ui/shell/Window2.h": "\n",
            "ui/widgets/Pictures.h": '#include "icons/Glyphs.h"\n',
            "ui/screenshots/Shots.cpp": '#include "uisupport/qmUiScript.h"\n#include "shell/Window.h"\n',
        }
        for rel, content in files.items():
            with open(os.path.join(clean, rel), "w") as f:
                f.write(content)
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
