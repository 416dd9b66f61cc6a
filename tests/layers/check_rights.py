#!/usr/bin/env python3
"""Fails when code outside views/GRights decides by a user's type or right flags.

Who may what is answered in one place (views/GRights), so that a page that offers something
and the action that carries it out cannot disagree. Reading a type or a flag to decide
anything elsewhere is the first step of a second answer. What may stay: the record files
(db/), which store the fields, assignments of the fields (the user form's action fills a
record), and display code that only shows a type or a flag, listed below by file and text.

    check_rights.py <source directory>
"""
import re
import sys

from sources import numbered_lines, report, source_files

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
    for path in source_files(source_dir):
        if path in EXEMPT_FILES or path.startswith(EXEMPT_FOLDERS):
            continue
        for number, line in numbered_lines(source_dir, path):
            code = STRING.sub('""', line.split("//", 1)[0])
            if DECISION.search(code) and (path, line.strip()) not in DISPLAY:
                found.append(f"{path}:{number}: {line.strip()}")
    return found


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    return report(decisions(source_dir),
                  "decision(s) by a user's type or right flags outside GRights; ask GRights "
                  "(or list display code in tests/layers/check_rights.py)",
                  "Rights are decided in GRights only.")


if __name__ == "__main__":
    sys.exit(main())
