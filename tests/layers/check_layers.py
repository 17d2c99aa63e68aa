#!/usr/bin/env python3
"""Fails when a source file includes a header that its layer may not use, or
asks which system it is built for outside a file of that system.

Every library hands the whole project root to the compiler as its include
path, so the compiler alone would let any layer reach any other. This check
keeps the arrows pointing down and the layers under the window free of Qt.

Usage: check_layers.py SOURCE_ROOT
"""
import os
import pathlib
import re
import sys

# Each layer and the layers whose headers it may include.
ALLOWED = {
    "image": {"image"},
    "pod": {"image", "pod"},
    "emulator": {"image", "pod", "emulator"},
    "ops": {"image", "pod", "ops"},
    "resources": {"resources"},
    "dialog": {"image", "pod", "ops", "resources", "dialog"},
    "widgets": {"resources", "dialog", "widgets"},
    "app": {"image", "pod", "ops", "dialog", "resources", "widgets", "app"},
    "win32": {"image", "pod", "ops", "dialog", "resources", "win32"},
    "cli": {"image", "pod", "ops", "cli"},
}
# The choice of driver backend is the one place above pod/ that builds the
# emulator; the windows and the command line reach it only through there.
EXCEPTIONS = {("ops/DriverSelection.cpp", "emulator")}
# What differs between the systems lives in NAME.posix.cpp and NAME.windows.cpp
# beside one NAME.h, the build picking the file; the Win32 window is Windows's
# alone. Shared code never asks which system it is on.
SYSTEM_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b")
SYSTEM_FILE = re.compile(r"\.(posix|windows)\.cpp$")
SYSTEM_LAYERS = {"win32"}
# The command line, the tests and the Win32 window run these without Qt.
QT_FREE = {"image", "pod", "emulator", "ops", "dialog", "win32"}

SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Qt|Q[A-Z]|q[a-z0-9_]+\.h$)")


def layer_of(relative):
    """The layer of a path relative to the root: its first folder."""
    return pathlib.PurePosixPath(relative).parts[0]


def includes_qt(root, relative):
    """True when the project file includes a Qt header itself, so a Qt-free
    layer that includes it would pull Qt in all the same."""
    text = pathlib.Path(root, relative).read_text(encoding="utf-8")
    for line in text.splitlines():
        match = INCLUDE.match(line)
        if match and match.group(1) == "<" and QT_HEADER.match(match.group(2)):
            return True
    return False


def resolve(root, source, name, quoted):
    """The project file an include names, relative to the root, or None for a
    header from outside the project. Quoted names are looked up next to the
    including file first, as the compiler does."""
    places = [os.path.dirname(os.path.join(root, source))] if quoted else []
    places.append(root)
    for place in places:
        path = os.path.normpath(os.path.join(place, name))
        relative = os.path.relpath(path, root)
        if os.path.isfile(path) and not relative.startswith(".."):
            return pathlib.PurePosixPath(pathlib.Path(relative)).as_posix()
    return None


def violations(root, source, text):
    """Each include of `source` (relative to the root) that its layer may not use."""
    layer = layer_of(source)
    found = []
    asks_for_system = layer not in SYSTEM_LAYERS and not SYSTEM_FILE.search(source)
    for number, line in enumerate(text.splitlines(), start=1):
        if asks_for_system and SYSTEM_TEST.match(line):
            found.append(f"{source}:{number}: shared code tests _WIN32; put each system's "
                         "part in NAME.posix.cpp and NAME.windows.cpp")
            continue
        match = INCLUDE.match(line)
        if not match:
            continue
        quoted, name = match.group(1) == '"', match.group(2)
        where = f"{source}:{number}: {layer}/ includes {name}"
        if not quoted and QT_HEADER.match(name) and layer in QT_FREE:
            found.append(f"{where}: {layer}/ stays free of Qt")
            continue
        target = resolve(root, source, name, quoted)
        if target is None:
            continue
        used = layer_of(target)
        if used not in ALLOWED[layer] and (source, used) not in EXCEPTIONS:
            may = ", ".join(sorted(ALLOWED[layer]))
            found.append(f"{where}: {layer}/ may use only {may}")
        elif layer in QT_FREE and includes_qt(root, target):
            found.append(f"{where}: {layer}/ stays free of Qt, and {name} includes Qt")
    return found


def sources(root):
    for top in sorted({layer.split("/")[0] for layer in ALLOWED}):
        for path in sorted(pathlib.Path(root, top).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                yield path.relative_to(root).as_posix()


def main(argv):
    if len(argv) != 2:
        print("usage: check_layers.py SOURCE_ROOT", file=sys.stderr)
        return 2
    root = argv[1]
    checked = 0
    found = []
    for source in sources(root):
        checked += 1
        text = pathlib.Path(root, source).read_text(encoding="utf-8")
        found += violations(root, source, text)
    for line in found:
        print(line)
    print(f"{checked} files checked, {len(found)} includes cross a layer")
    return 1 if found or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
