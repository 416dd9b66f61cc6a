"""Limits of uploads on the real server.

1. Uploads of one user sent at the same time, each on a connection of its own: with an
   image limit of 1 and of 3, four uploads store exactly that many images, whole; every other
   one is told that the limit is reached and leaves nothing behind.
2. A panorama of 32767 x 16 pixels (the widest picture an upload may be) is stored with
   previews 120 and 240 pixels high and no wider than 4096 pixels, and the server's peak
   memory (VmHWM) grows by less than 24 MB while it makes them (previews 65,500 pixels wide
   took 94 MB).

usage: upload_limits.py <vistrel executable>"""

import copy
import os
import re
import subprocess
import sys
import threading

import kit

# As many as one client may have bodies spooled at once (more get 503 at their head).
UPLOADS = 4
PEAK_GROWTH_KB = 24 * 1024
OUTCOME = re.compile(rb'data-upload-outcome="([a-z-]+)"')


def make_jpeg(work, name, size, source):
    path = os.path.join(work, name)
    subprocess.run([kit.convert_program(), "-size", size, source, "-quality", "90", path],
                   check=True)
    with open(path, "rb") as f:
        return f.read()


def make_panorama(width, height):
    """Left half red, right half blue; made by libjpeg's cjpeg, since ImageMagick's policy
    refuses sides over 16,384 pixels."""
    row = b"\xe0\x10\x10" * (width // 2) + b"\x10\x10\xe0" * (width - width // 2)
    ppm = b"P6\n%d %d\n255\n" % (width, height) + row * height
    return subprocess.run(["cjpeg", "-quality", "90"], input=ppm, stdout=subprocess.PIPE,
                          check=True).stdout


def reset_peak(server):
    """Starts the server's peak memory (VmHWM) again from what it holds now."""
    with open("/proc/%d/clear_refs" % server.pid, "w") as f:
        f.write("5")


def peak_kb(server):
    with open("/proc/%d/status" % server.pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def upload_at_once(port, user, data, count):
    """Sends count uploads of the session at the same moment, each on a new connection;
    returns the outcome each page names ("no answer" when there was none)."""
    outcomes = [None] * count
    browsers = []
    for _ in range(count):
        browser = copy.copy(user)
        browser.conn = kit.Connection(port, timeout=120.0)
        browsers.append(browser)
    start = threading.Barrier(count)

    def send(i):
        start.wait()
        try:
            r = browsers[i].upload("same-time.jpg", data, page=108)  # it tells the outcome
            m = OUTCOME.search(r.body)
            outcomes[i] = m.group(1).decode() if r.status == 200 and m else "status %d" % r.status
        except (kit.KitFailure, OSError) as e:
            outcomes[i] = "no answer: %s" % e
        finally:
            browsers[i].conn.close()

    threads = [threading.Thread(target=send, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return outcomes


def main():
    binary = sys.argv[1]
    failures = []
    rows = []
    with kit.served(binary, failures, scratch="vistrel-limits-") as (port, root, server, work):
        picture = make_jpeg(work, "picture.jpg", "1600x1200", "plasma:")
        panorama = make_panorama(32767, 16)
        server.start()
        admin = kit.Session(port, *kit.ADMIN)

        # 1. Uploads at the same time against the image limit.
        for limit in (1, 3):
            name = "limit%d" % limit
            uid = kit.make_user(admin, root, name, "secret", limit=limit)
            user = kit.Session(port, name, "secret")
            outcomes = upload_at_once(port, user, picture, UPLOADS)
            stored = [i for i in kit.images(root) if i["user"] == uid]
            problems = []
            if len(stored) != limit:
                problems.append("%d images stored" % len(stored))
            if outcomes.count("stored") != limit or outcomes.count("at-limit") != UPLOADS - limit:
                problems.append("outcomes %s" % outcomes)
            rows.append(("%d at once, limit %d" % (UPLOADS, limit), len(stored),
                         ", ".join("%s %d" % (o, outcomes.count(o)) for o in sorted(set(outcomes))),
                         "ok" if not problems else "FAIL"))
            if problems:
                failures.append(("limit %d" % limit, problems))
            user.close()
        try:
            kit.check_database(root)
        except kit.KitFailure as e:
            failures.append(("records after the uploads at once", [str(e)]))

        # 2. The panorama.
        kit.make_user(admin, root, "wide", "secret")
        user = kit.Session(port, "wide", "secret")
        before_ids = {i["id"] for i in kit.images(root)}
        reset_peak(server)
        before_peak = peak_kb(server)
        r = user.upload("panorama.jpg", panorama)
        growth = peak_kb(server) - before_peak
        problems = []
        new = [i for i in kit.images(root) if i["id"] not in before_ids]
        sizes = []
        if r.status != 200 or len(new) != 1:
            problems.append("not stored (status %d, %d records)" % (r.status, len(new)))
        else:
            for d in ("preview1", "preview2"):
                with open(root.file("images/%s/%07d.jpg" % (d, new[0]["id"])), "rb") as f:
                    w, h, _ = kit.jpeg_size(f.read())
                sizes.append("%dx%d" % (w, h))
                if w > 4096 or h != (120 if d == "preview1" else 240):
                    problems.append("%s is %dx%d" % (d, w, h))
        if growth >= PEAK_GROWTH_KB:
            problems.append("the peak memory grew by %d KiB" % growth)
        rows.append(("panorama 32767x16", len(new), "previews %s, peak +%d KiB" % (" and ".join(sizes), growth),
                     "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("panorama", problems))
        user.close()
        admin.close()
        try:
            kit.check_database(root)
            server.stop()
        except kit.KitFailure as e:
            failures.append(("end", [str(e)]))
        kit.report_table("Upload limits", ("case", "stored", "outcome", ""), rows)
    return kit.summary(len(rows) + 1, failures)


if __name__ == "__main__":
    sys.exit(main())
