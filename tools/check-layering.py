#!/usr/bin/env python3
"""Checks that every file under src/ includes only headers of the layers it may use.

The layer of a file is the first folder of its path under src/ (src/crypt/sealing.cpp is in
crypt); so is the layer of an included header ("crypt/sealing.h"). The layers, lowest first:

    common < format < crypt < {wrap, pack} < settings < ops < {ui, cli} < app

A layer may include its own headers and those of the layers below it; wrap and pack, peers, do not
include each other. The front ends (ui, cli) and app reach the core through ops only, with one
exception: common, which holds no file format, key or job, only what the front ends show and pass
around (messages, progress, text and path helpers). The tests may include anything.

Usage: check-layering.py [SRC_DIR]   (default: src/ beside this script's folder)
Exit status: 0 when every include is allowed, 1 when one is not (each is listed), 2 on bad use.
"""
import pathlib
import re
import sys

CORE_BELOW = {
    "common": set(),
    "format": {"common"},
    "crypt": {"common", "format"},
    "wrap": {"common", "format", "crypt"},
    "pack": {"common", "format", "crypt"},
    "settings": {"common", "format", "crypt", "wrap", "pack"},
    "ops": {"common", "format", "crypt", "wrap", "pack", "settings"},
    # Through ops only; common is the stated exception above.
    "ui": {"ops", "common"},
    "cli": {"ops", "common"},
    "app": {"ui", "cli", "ops", "common"},
}
ALLOWED = {layer: below | {layer} for layer, below in CORE_BELOW.items()}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".inl"}


def violations(src):
    found = []
    for path in sorted(src.rglob("*")):
        if not path.is_file() or path.suffix not in SOURCE_SUFFIXES:
            continue
        layer = path.relative_to(src).parts[0]
        if layer not in ALLOWED:
            found.append(f"{path}: the folder {layer}/ is no known layer (add it to {__file__})")
            continue
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if match and match.group(1) in ALLOWED and match.group(1) not in ALLOWED[layer]:
                found.append(f"{path}:{number}: {layer} may not include {match.group(1)}/ "
                             f"(it may include {', '.join(sorted(ALLOWED[layer]))})")
    return found


def main(argv):
    if len(argv) > 2:
        print(__doc__, file=sys.stderr)
        return 2
    src = pathlib.Path(argv[1]) if len(argv) == 2 else pathlib.Path(__file__).resolve().parent.parent / "src"
    if not src.is_dir():
        print(f"{src}: no such folder", file=sys.stderr)
        return 2
    found = violations(src)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) across the layers: see docs/architecture.md", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
