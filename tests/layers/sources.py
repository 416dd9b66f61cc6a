"""What the checks of tests/layers share: the source files of the server and a report."""
import os

# The folders of the program's own code.
FOLDERS = ("server", "webapp", "views", "db", "lib")


def source_files(source_dir, folders=FOLDERS):
    """Every .h and .cpp file below the folders, as paths relative to source_dir, in order."""
    for top in folders:
        for root, dirs, files in os.walk(os.path.join(source_dir, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(root, name), source_dir)


def numbered_lines(source_dir, path):
    """(number, line) of a source file."""
    with open(os.path.join(source_dir, path), encoding="utf-8") as f:
        yield from enumerate(f, 1)


def report(found, problem, fine):
    """Prints what was found and the verdict; the exit code of the check."""
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} {problem}")
        return 1
    print(fine)
    return 0
