#!/usr/bin/env python3
"""Fails when the code of the server writes or compares a page or action id as a bare number.

Every page id and action has one name in views/GIds.h; a number written out elsewhere is the
first step of a second, diverging meaning of it (the same tab constant once stood for two
different pages in two views). Caught in views/, webapp/ and server/, outside comments:

  case 402:                           a dispatch on a bare number
  "...&page=402..."  "action=13"      a bare id inside a URL or URL pattern
  setObject("page", 402)              a parameter or view-state entry set to a bare id
  setObject("tab_main", 600)          (also "action", "tab_main" and the tab keys)

The tests keep their literal numbers: they check the bytes that browsers receive.

    check_ids.py <source directory>
"""
import os
import re
import sys

FOLDERS = ("views", "webapp", "server")

# The parameters and view-state keys whose values are page or action ids.
ID_KEYS = r"(?:page|action|tab_main|UserView\.tab|ImageFolderView\.tab|ImageAccept\.tab)"

BARE_ID = re.compile(
    r"\bcase\s+-?\d+\s*:"
    r"|(?<![\w.])(?:page|action)=\d"
    r'|\bsetObject\(\s*"' + ID_KEYS + r'"\s*,\s*-?\d')


def code_of(line):
    """The line without its comment; strings are kept, since URLs live in them."""
    out = []
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            out.append(c)
            if c == "\\" and i + 1 < len(line):
                out.append(line[i + 1])
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        elif line.startswith("/*", i):
            end = line.find("*/", i + 2)
            if end < 0:
                break
            i = end + 1
        else:
            out.append(c)
        i += 1
    return "".join(out)


def bare_ids(source_dir):
    found = []
    for top in FOLDERS:
        for root, _, files in os.walk(os.path.join(source_dir, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(root, name), source_dir)
                with open(os.path.join(source_dir, path), encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        if BARE_ID.search(code_of(line)):
                            found.append(f"{path}:{number}: {line.strip()}")
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    found = bare_ids(source_dir)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} bare page or action number(s); use the names of views/GIds.h")
        return 1
    print("Page and action ids are written by name.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
