#!/usr/bin/env python3
"""Fails when code outside views/GRights decides by a user's type or right flags.

Who may what is answered in one place (views/GRights), so that a page that offers something
and the action that carries it out cannot disagree. Reading a type or a flag to decide
anything elsewhere is the first step of a second answer. What may stay: the record files
(db/), which store the fields, assignments of the fields (the user form's action fills a
record), and display code that only shows a type or a flag, listed below by file and text.

    check_rights.py <source directory>
"""
import os
import re
import sys

FLAGS = r"(?:imageAccept|folderAccept|folderAdmin|imageUpload|imageDownload)"
# A comparison of a type, or a flag read (not the target of an assignment).
DECISION = re.compile(
    r"\.type\s*(?:==|!=|<=|>=|<|>)|(?:==|!=|<=|>=|<|>)\s*[\w.>-]*\.type\b"
    r"|\." + FLAGS + r"\b(?!\s*=[^=])")

STRING = re.compile(r'"(?:[^"\\]|\\.)*"')

# Where the fields are stored, and where rights are decided.
EXEMPT_FILES = {"views/GRights.cpp", "views/GRights.h"}
EXEMPT_FOLDERS = ("db/",)

# Display code: (file, text of the line) that shows a type or a flag without deciding.
DISPLAY = {
    ("views/GUserAdminView.cpp", 'if (_user.type == 1) return "/images/user_admin.gif";'),
    ("views/GUserAdminView.cpp", 'if (_user.imageUpload) return "/images/user_upload.gif";'),
    ("views/GUserAdminView.cpp",
     'if (_user.type == 0) _out << application.translate(_session, "TYPE_USER");'),
    ("views/GUserAdminView.cpp",
     'if (_user.type == 1) _out << application.translate(_session, "TYPE_ADMINISTRATOR");'),
    ("views/GUserView.cpp", "if (user.imageUpload) {"),
}


def decisions(source_dir):
    found = []
    for top in ("server", "webapp", "views", "db", "lib"):
        for root, _, files in os.walk(os.path.join(source_dir, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(root, name), source_dir)
                if path in EXEMPT_FILES or path.startswith(EXEMPT_FOLDERS):
                    continue
                with open(os.path.join(source_dir, path), encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        code = STRING.sub('""', line.split("//", 1)[0])
                        if not DECISION.search(code):
                            continue
                        if (path, line.strip()) in DISPLAY:
                            continue
                        found.append(f"{path}:{number}: {line.strip()}")
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    found = decisions(source_dir)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} decision(s) by a user's type or right flags outside GRights; "
              "ask GRights (or list display code in tests/layers/check_rights.py)")
        return 1
    print("Rights are decided in GRights only.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
