#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer it must not reach.

The layers, from the top: server, webapp, views and db, then lib/net and lib/imaging, lib/core,
lib/platform. Each may include its own headers and those of the layers the table allows; a
new direction is a decision, so it needs a line here, and an include the other way round is a
cycle that the libraries' link order could not resolve.

    check_layers.py <source directory>
"""
import os
import re
import sys

from sources import report, source_files

# Layer -> the layers its files may include besides its own.
ALLOWED = {
    "server": {"webapp", "views", "db", "lib/net", "lib/imaging", "lib/core", "lib/platform",
               "lib/thread"},
    "webapp": {"views", "db", "lib/net", "lib/imaging", "lib/core", "lib/platform",
               "lib/thread"},
    "views": {"db", "lib/net", "lib/core", "lib/platform"},
    "db": {"lib/core", "lib/platform"},
    "lib/net": {"lib/thread", "lib/core", "lib/platform"},
    "lib/imaging": {"lib/core", "lib/platform"},
    "lib/thread": {"lib/core", "lib/platform"},
    "lib/core": {"lib/platform"},
    "lib/platform": set(),
}

# Files that form a layer of their own inside another layer's folder (a target of their own
# in CMakeLists.txt): the thread class is an object of the class library, above core.
OWN_LAYER = {
    "lib/platform/MRunable.h": "lib/thread",
    "lib/platform/MRunable.cpp": "lib/thread",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(path):
    if path in OWN_LAYER:
        return OWN_LAYER[path]
    parts = path.split("/")
    if parts[0] == "lib" and len(parts) > 2:
        return "lib/" + parts[1]
    return parts[0] if parts[0] in ALLOWED else None


def violations(source_dir):
    found = []
    for path in source_files(source_dir):
        layer = layer_of(path)
        with open(os.path.join(source_dir, path), encoding="utf-8") as f:
            text = f.read()
        for included in INCLUDE.findall(text):
            target = layer_of(included)
            if target is None or target == layer or target in ALLOWED[layer]:
                continue
            found.append(f"{path}: {layer} includes {included} ({target})")
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    return report(violations(source_dir), "include(s) against the direction of the layers",
                  "Every include follows the direction of the layers.")


if __name__ == "__main__":
    sys.exit(main())
