"""The pictures for screens on the real server: an upload stores the large preview at
twice its pixels and the screen-sized picture beside the original and the previews, at
their sizes and upright by the EXIF orientation; images stored before them (their two
files removed while the server is stopped) get them in the background after the next
start, while the server keeps answering, and the pages offer them once they exist.

usage: screen_pictures.py <vistrel executable>"""

import os
import struct
import subprocess
import sys
import time

import kit

SIZES = {"original": None, "preview1": 120, "preview2": 240, "preview2x": 480}


def with_orientation(jpeg, value):
    """The JPEG file with an EXIF segment holding only the orientation, after its start."""
    tiff = b"MM\x00\x2a\x00\x00\x00\x08" + struct.pack(">H", 1) + \
        struct.pack(">HHIHH", 0x0112, 3, 1, value, 0) + struct.pack(">I", 0)
    segment = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


def picture(work, name, size, orientation=None):
    """A JPEG of the size ("WxH"), red on the left half, blue on the right; with the EXIF
    orientation when one is given."""
    path = os.path.join(work, name)
    w, h = (int(v) for v in size.split("x"))
    subprocess.run([kit.convert_program(), "-size", "%dx%d" % (w // 2, h), "xc:red", "-size",
                    "%dx%d" % (w - w // 2, h), "xc:blue", "+append", "-quality", "90", path],
                   check=True)
    with open(path, "rb") as f:
        data = f.read()
    return with_orientation(data, orientation) if orientation else data


def stored_size(root, store, image_id):
    path = root.file("images/%s/%07d.jpg" % (store, image_id))
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        size = kit.jpeg_size(f.read())
    return size[:2] if size else None


def main():
    binary = sys.argv[1]
    failures = []
    checks = 0
    with kit.served(binary, failures, scratch="vistrel-screen-") as (port, root, server, work):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        uploader = kit.Session(port, "uploader", "up")
        # Wide, and turned: stored 1600 x 1200, to be turned right for viewing (1200 x 1600).
        uploader.upload("wide.jpg", picture(work, "wide.jpg", "4000x3000"))
        uploader.upload("turned.jpg", picture(work, "turned.jpg", "1600x1200", 6))
        ids = sorted(i["id"] for i in kit.images(root))
        expected = {ids[0]: {"preview1": (160, 120), "preview2": (320, 240),
                             "preview2x": (640, 480), "screen": (2000, 1500)},
                    ids[1]: {"preview1": (90, 120), "preview2": (180, 240),
                             "preview2x": (360, 480), "screen": (1200, 1600)}}

        checks += 1
        problems = []
        for image_id, sizes in expected.items():
            for store, size in sizes.items():
                got = stored_size(root, store, image_id)
                if got != size:
                    problems.append("image %d: %s is %s, not %s" % (image_id, store, got, size))
        if problems:
            failures.append(("sizes and orientation of an upload's files", problems))

        # Stored before the pictures for screens: their files go while the server is stopped.
        server.stop()
        for image_id in ids:
            for store in ("preview2x", "screen"):
                os.remove(root.file("images/%s/%07d.jpg" % (store, image_id)))
        server.start()
        checks += 1
        problems = []
        started = time.time()
        while time.time() - started < 60 and not all(
                stored_size(root, s, i) == expected[i][s] for i in ids for s in ("preview2x", "screen")):
            # The server answers meanwhile (a failure ends the check).
            kit.normal_request_ok(port)
            time.sleep(0.1)
        for image_id in ids:
            for store in ("preview2x", "screen"):
                got = stored_size(root, store, image_id)
                if got != expected[image_id][store]:
                    problems.append("image %d: %s made in the background is %s, not %s" % (
                        image_id, store, got, expected[image_id][store]))
        if "Making the pictures for screens of 2 images" not in server.stderr_text():
            problems.append("no notice of the background work: %r" % server.stderr_text()[-500:])
        if "misses a file" in server.stderr_text():
            problems.append("the start missed files that may be missing")
        if problems:
            failures.append(("the pictures for screens of images stored before", problems))

        checks += 1
        problems = []
        uploader = kit.Session(port, "uploader", "up")
        detail = uploader.page(108, [("pagenum", "1")])
        if b"page=605&Image.id=" not in detail.body:
            problems.append("the detail page does not offer the large preview at twice its pixels")
        viewer = uploader.page(601, [("Image.id", str(ids[0]))])
        if b"page=606&Image.id=%d" % ids[0] not in viewer.body:
            problems.append("the viewer does not show the screen-sized picture")
        screen = uploader.page(606, [("Image.id", str(ids[0]))])
        if kit.jpeg_size(screen.body)[:2] != (2000, 1500):
            problems.append("the screen-sized picture is not served")
        if problems:
            failures.append(("pages with the pictures for screens", problems))

        # The records and the store are whole: every image has all its files, no other stays.
        checks += 1
        server.stop()
        kit.check_database(root)
    return kit.summary(checks, failures)


if __name__ == "__main__":
    sys.exit(main())
