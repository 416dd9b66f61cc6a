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
import re
import sys

from sources import numbered_lines, report, source_files

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
    for path in source_files(source_dir, FOLDERS):
        for number, line in numbered_lines(source_dir, path):
            if BARE_ID.search(code_of(line)):
                found.append(f"{path}:{number}: {line.strip()}")
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    return report(bare_ids(source_dir),
                  "bare page or action number(s); use the names of views/GIds.h",
                  "Page and action ids are written by name.")


if __name__ == "__main__":
    sys.exit(main())
