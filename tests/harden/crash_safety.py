"""The server killed with SIGKILL at random moments during a stream of uploads, edits,
publications and deletions, and started again each time.

After every restart: the four files open (the server starts and answers), every record in
use is whole, every image record is complete with its three files, every folder link joins
an image and a folder that exist, the image store holds no temporary or other stray file,
and nothing is lost: every image that an answered request left in place is still there with
the texts the last answered edit gave it; only the one request that the kill cut short may
or may not have taken effect.

usage: crash_safety.py <vistrel executable> [kills, default 25] [seed]"""

import os
import random
import subprocess
import sys
import tempfile
import threading
import time

import kit


def fixtures(work):
    convert = kit.convert_program()
    out = []
    for i, (size, source) in enumerate((("1600x1200", "plasma:"), ("640x480", "gradient:red-green"),
                                        ("200x150", "xc:gray"))):
        path = os.path.join(work, "f%d.jpg" % i)
        subprocess.run([convert, "-size", size, "-seed", str(i + 1), source, "-quality", "90", path],
                       check=True)
        with open(path, "rb") as f:
            out.append(f.read())
    return out


def snapshot(root):
    return {i["id"]: i["name"] for i in kit.images(root)}


class Stream:
    """Operations of three users and the administrator, chosen at random."""

    def __init__(self, port, root, rng, pictures, uids, folder_ids):
        self.port, self.root, self.rng, self.pictures = port, root, rng, pictures
        self.uids, self.folder_ids = uids, folder_ids
        self.counts = {}

    def connect(self):
        self.admin = kit.Session(self.port, *kit.ADMIN)
        self.users = [kit.Session(self.port, "crash%d" % i, "pw") for i in range(len(self.uids))]

    def step(self):
        """One operation; returns (kind, image ids it may delete or add)."""
        rng = self.rng
        k = rng.randrange(len(self.users))
        user, uid = self.users[k], self.uids[k]
        mine = [i["id"] for i in kit.images(self.root) if i["user"] == uid]
        choice = rng.random()
        if choice < 0.4 or not mine:
            kind = "upload"
            self.current = (kind, None)
            user.upload("c.jpg", rng.choice(self.pictures))
        elif choice < 0.6:
            kind = "edit"
            iid = rng.choice(mine)
            self.current = (kind, iid)
            user.action(13, [("Image.id", str(iid)), ("Image.name", "n%d" % rng.randrange(10**6)),
                             ("Image.keywords", "k%d" % rng.randrange(100)),
                             ("Image.description", "d" * rng.randrange(300)),
                             ("Image.imageDate", "2024-01-01")])
        elif choice < 0.72:
            kind = "publish"
            iid = rng.choice(mine)
            self.current = (kind, iid)
            user.action(3, [("Folder.id", str(rng.choice(self.folder_ids))), ("Image.id", str(iid))])
        elif choice < 0.9:
            kind = "delete"
            iid = rng.choice(mine)
            self.current = (kind, iid)
            user.action(12, [("Image.id", str(iid))])
        else:
            kind = "folder"
            self.current = (kind, None)
            before = {f["id"] for f in kit.folders(self.root)}
            self.admin.action(0, [("Folder.parent", str(rng.choice(self.folder_ids))),
                                  ("Folder.name", "sub"), ("Folder.imageFolder", "0")])
            made = sorted({f["id"] for f in kit.folders(self.root)} - before)
            if made:
                self.admin.action(2, [("Folder.id", str(made[0]))])
        self.counts[kind] = self.counts.get(kind, 0) + 1


def main():
    binary = sys.argv[1]
    kills = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else int(time.time())
    rng = random.Random(seed)
    port = kit.free_port()
    root = kit.Root(port)
    server = kit.Server(binary, root, port)
    work = tempfile.mkdtemp(prefix="vistrel-crash-")
    rows = []
    failures = []
    try:
        pictures = fixtures(work)
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        uids = [kit.make_user(admin, root, "crash%d" % i, "pw") for i in range(3)]
        folder_ids = []
        for i in range(3):
            before = {f["id"] for f in kit.folders(root)}
            admin.action(0, [("Folder.parent", "0"), ("Folder.name", "f%d" % i), ("Folder.imageFolder", "1")])
            folder_ids.append(sorted({f["id"] for f in kit.folders(root)} - before)[0])
        admin.close()
        stream = Stream(port, root, rng, pictures, uids, folder_ids)

        for kill in range(1, kills + 1):
            stream.connect()
            last = snapshot(root)
            stream.current = (None, None)
            ops = 0
            delay = rng.uniform(0.05, 1.5)
            killed = threading.Event()

            def kill_now():
                killed.set()
                server.kill()

            timer = threading.Timer(delay, kill_now)
            timer.start()
            while True:
                try:
                    stream.step()
                except (kit.KitFailure, OSError):
                    if killed.is_set():
                        break
                    timer.cancel()
                    raise
                ops += 1
                last = snapshot(root)
                stream.current = (None, None)
            timer.join()
            cut_short, cut_id = stream.current

            server.start()
            problems = []
            # The port takes connections before the start-up sweep has run; the first answer
            # comes after it.
            try:
                kit.normal_request_ok(port, timeout=5.0)
            except (kit.KitFailure, OSError) as e:
                problems.append("no answer after the restart: %s" % e)
            try:
                counts = kit.check_database(root)
            except kit.KitFailure as e:
                problems.append(str(e))
                counts = {}
            now = snapshot(root)
            lost = [i for i in last if i not in now and not (cut_short == "delete" and i == cut_id)]
            extra = [i for i in now if i not in last]
            if lost:
                problems.append("images lost: %s" % lost)
            if len(extra) > (1 if cut_short == "upload" else 0):
                problems.append("images that no request made: %s" % extra)
            changed = [i for i in now if i in last and now[i] != last[i]
                       and not (cut_short == "edit" and i == cut_id)]
            if changed:
                problems.append("edits lost: %s" % changed)
            swept = server.stderr_text().count("Removed the")
            rows.append((kill, "%.2f s" % delay, ops, cut_short or "-", counts.get("images", "-"),
                         counts.get("links", "-"), swept, "ok" if not problems else "FAIL"))
            if problems:
                failures.append(("kill %d" % kill, problems))
                break
        kit.report_table("Crash safety: %d kills with SIGKILL (seed %d), operations %s" % (
            len(rows), seed, stream.counts),
            ("kill", "after", "requests answered", "request cut", "images", "links",
             "leftovers swept", ""), rows)
        server.stop()
    except kit.KitFailure as e:
        import traceback
        traceback.print_exc()
        failures.append(("kit", [str(e)]))
    finally:
        if server.alive():
            server.kill()
        root.remove()
        kit.shutil.rmtree(work, ignore_errors=True)
    for name, problems in failures:
        print("FAIL %s: %s" % (name, "; ".join(problems)))
    print("%d passed, %d failed" % (len(rows) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
