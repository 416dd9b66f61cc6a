"""Uploads of damaged, unusual and hostile files through the real server.

Each file goes up as the upload form sends it. A refused file must leave no record and no
file behind (no temporary file either); a file that is a picture (grey, CMYK, progressive
included) must be stored whole: one complete record, the original as sent, the two
previews 120 and 240 pixels high, the large one at twice its pixels and the screen-sized
picture. The server stays up throughout and ends cleanly.

usage: bad_files.py <vistrel executable>"""

import os
import random
import subprocess
import sys
import tempfile

import kit

MAX_SIZE = 3000000


def make_fixtures(work):
    convert = kit.convert_program()

    def made(name, *args):
        path = os.path.join(work, name)
        subprocess.run([convert] + list(args) + [path], check=True)
        with open(path, "rb") as f:
            return f.read()

    base = made("base.jpg", "-size", "320x240", "gradient:red-blue", "-quality", "90")
    grey = made("grey.jpg", "-size", "300x200", "gradient:", "-type", "Grayscale", "-quality", "90")
    cmyk = made("cmyk.jpg", "-size", "300x200", "gradient:yellow-cyan", "-colorspace", "CMYK",
                "-quality", "90")
    progressive = made("progressive.jpg", "-size", "400x300", "plasma:", "-seed", "5",
                       "-interlace", "JPEG", "-quality", "85")
    tall = made("tall.jpg", "-size", "20x2000", "gradient:", "-quality", "80")
    png = made("image.png", "-size", "40x30", "xc:red")
    kit.check(kit.jpeg_size(grey)[2] == 1, "the grey fixture is not a one-component JPEG")
    kit.check(kit.jpeg_size(cmyk)[2] == 4, "the CMYK fixture is not a four-component JPEG")
    rng = random.Random(7)
    corrupt = bytearray(base)
    middle = len(base) // 2
    for i in range(middle, middle + 300):
        corrupt[i] = rng.randrange(256)
    return [
        # name, bytes, stored (True), refused (False) or either (None)
        ("baseline colour JPEG (control)", base, True),
        ("greyscale JPEG", grey, True),
        ("CMYK JPEG", cmyk, True),
        ("progressive JPEG", progressive, True),
        ("picture 100 times as high as wide", tall, True),
        ("zero bytes", b"", False),
        ("start marker only", b"\xff\xd8", False),
        ("cut after 100 bytes (inside the headers)", base[:100], False),
        ("cut in the middle of the picture data", base[:len(base) // 2], None),
        ("300 random bytes in the picture data", bytes(corrupt), None),
        ("start marker and 5000 random bytes", b"\xff\xd8" + bytes(rng.randrange(256) for _ in range(5000)), False),
        ("frame header of 60000 x 60000 pixels", kit.set_jpeg_size(base, 60000, 60000), False),
        ("frame header 40000 pixels wide", kit.set_jpeg_size(base, 40000, 8), False),
        ("frame header of 0 x 0 pixels", kit.set_jpeg_size(base, 0, 0), False),
        ("PNG file", png, False),
        ("text file", b"hello, this is no picture\n" * 10, False),
        ("JPEG over the size limit", b"\xff\xd8" + b"\0" * (MAX_SIZE + 1000), False),
    ]


def store_state(root):
    return ({i["id"]: i for i in kit.images(root)}, set(root.store_files()))


def main():
    binary = sys.argv[1]
    values = {"images.original.maxSize": str(MAX_SIZE)}
    table = []
    failures = []
    with kit.served(binary, failures, values, "vistrel-files-") as (port, root, server, work):
        fixtures = make_fixtures(work)
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        user = kit.Session(port, "uploader", "up")
        for name, data, expected in fixtures:
            problems = []
            before_images = {i["id"] for i in kit.images(root)}
            before_files = set(root.store_files())
            try:
                r = user.upload("upload.jpg", data)
                if r.status != 200:
                    problems.append("status %d" % r.status)
                if b"Operation failed" in r.body:
                    problems.append("a failure page")
            except (kit.KitFailure, OSError) as e:
                problems.append("no answer: %s" % e)
                user = kit.Session(port, "uploader", "up")
            if not server.alive():
                problems.append("the server ended")
                failures.append((name, problems))
                break
            new_images = [i for i in kit.images(root) if i["id"] not in before_images]
            new_files = sorted(set(root.store_files()) - before_files)
            stored = len(new_images) > 0
            if stored:
                img = new_images[0]
                want = sorted("%s/%07d.jpg" % (d, img["id"]) for d in kit.STORE_DIRECTORIES)
                if len(new_images) != 1 or new_files != want:
                    problems.append("stored as %d records with files %s" % (len(new_images), new_files))
                else:
                    with open(root.file("images/" + want[0]), "rb") as f:
                        if f.read() != data:
                            problems.append("the original differs from the file sent")
                    size = kit.jpeg_size(data)
                    if size and (img["width"], img["height"]) != size[:2]:
                        problems.append("record says %dx%d" % (img["width"], img["height"]))
                    for d, height in (("preview1", 120), ("preview2", 240), ("preview2x", 480)):
                        with open(root.file("images/%s/%07d.jpg" % (d, img["id"])), "rb") as f:
                            p = kit.jpeg_size(f.read())
                        if not p or p[1] != height or p[2] != 3:
                            problems.append("%s is %s" % (d, p))
            elif new_files:
                problems.append("files left behind: %s" % new_files)
            if expected is not None and stored != expected:
                problems.append("stored" if stored else "refused")
            tmp = [f for f in root.store_files() if "tmp" in f]
            if tmp:
                problems.append("temporary files remain: %s" % tmp)
            try:
                kit.normal_request_ok(port, timeout=2.0)
            except (kit.KitFailure, OSError) as e:
                problems.append("no normal answer afterwards: %s" % e)
            outcome = "stored whole" if stored else "refused, nothing left"
            table.append((name, len(data), {True: "stored", False: "refused", None: "either"}[expected],
                          outcome, "ok" if not problems else "FAIL"))
            if problems:
                failures.append((name, problems))
        counts = kit.check_database(root)
        kit.report_table("Bad files: %d uploads, %d images stored" % (len(table), counts["images"]),
                         ("file", "bytes", "expected", "outcome", ""), table)
        user.close()
        admin.close()
        server.stop()
    for name, problems in failures:
        print("FAIL %s: %s" % (name, "; ".join(problems)))
    print("%d passed, %d failed" % (len(table) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
