"""Strangers filling the disk with request bodies, and a disk that is full, against the real
server.

A. With the spool budget set low (upload.spoolBudget 2,000,000 bytes):
   1. Large bodies that are no upload of a user with the upload right (no session, the guest
      session, a user without the right, a user's request that is no upload) are refused
      with 413 at their heads, unread; 420 anonymous connections announcing 19 MB bodies all
      get 413 within a second, and the server makes no body file meanwhile. An upload's head
      is let through.
   2. A user's upload is stored.
   3. One client has at most 4 bodies in files at once: the 5th gets 503 with Retry-After at
      its head.
   4. At the budget (an upload of 1.9 MB under way), a further upload gets 503 with
      Retry-After at its head; once the first is complete, both are stored.
B. On small filesystems of their own for tmp/ and images/ (4 MB each, in a user and mount
   namespace made with unshare; skipped where that is not allowed), with a free-space
   reserve of 500,000 bytes:
   1. with less than the reserve free, an upload gets 503 with Retry-After at its head;
   2. the disk filling while a body arrives, and the disk of the image store being full,
      are told to the user as a full disk (never as a file that is no JPEG), and nothing of
      those uploads stays;
   3. with room again, the upload is stored and the record files and the store agree.

usage: disk_fill.py <vistrel executable>"""

import errno
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import kit

GUEST_ID = "5072913846"
BOUNDARY = "----vistreldiskfill"


def form(data, filename="photo.jpg"):
    return (("--%s\r\nContent-Disposition: form-data; name=\"Image.file\"; filename=\"%s\"\r\n"
             "Content-Type: image/jpeg\r\n\r\n" % (BOUNDARY, filename)).encode("latin-1") + data +
            ("\r\n--%s--\r\n" % BOUNDARY).encode("latin-1"))


def head(params, length, cookie=None):
    raw = ("POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; "
           "boundary=%s\r\nContent-Length: %d\r\n" % (kit.query(params), BOUNDARY, length))
    if cookie:
        raw += "Cookie: vistrel_session=%s\r\n" % cookie
    return (raw + "\r\n").encode("latin-1")


def upload_params(session):
    return [("session", session.id), ("page", "108"), ("action", "11"),
            ("requestId", session.next_request())]


def cookie_of(session):
    """The secret of the session's cookie, which a link's session needs beside it."""
    return session.cookie.split("=", 1)[1] if session.cookie else None


def upload_head(session, length):
    """The head of an upload of the session, as its browser sends it: with its cookie."""
    return head(upload_params(session), length, cookie_of(session))


def started_upload(port, session, body, sent):
    """A connection that has sent an upload's head and the first `sent` bytes of its body."""
    s = socket.create_connection(("127.0.0.1", port), timeout=20)
    s.sendall(upload_head(session, len(body)) + body[:sent])
    return s


def answer_of(sock, timeout):
    """The response on the connection within the time, or None."""
    sock.settimeout(timeout)
    data = b""
    end = time.time() + timeout
    while time.time() < end:
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            break
        except OSError:
            break
        if not chunk:
            break
        data += chunk
        r, _ = kit.parse_response(data)
        if r is not None:
            return r
    return None


def body_files(server):
    """The body files the server holds open."""
    found = 0
    fd_dir = "/proc/%d/fd" % server.pid
    for name in os.listdir(fd_dir):
        try:
            if "/tmp/body_" in os.readlink(os.path.join(fd_dir, name)):
                found += 1
        except OSError:
            pass
    return found


def outcome(response):
    if response is None:
        return "no answer"
    if response.status != 200:
        return "status %d" % response.status
    marker = b'data-upload-outcome="'
    i = response.body.find(marker)
    if i < 0:
        return "no outcome"
    return response.body[i + len(marker):response.body.index(b'"', i + len(marker))].decode()


def refused_at_head(port, raw, status):
    """Sends the head and a first part of a body; the answer must be `status` (with
    Retry-After for 503) and come before the rest is sent."""
    r = None
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    try:
        s.sendall(raw)
        r = answer_of(s, 2.0)
    finally:
        s.close()
    if r is None:
        return "no answer"
    if r.status != status:
        return "status %d" % r.status
    if status == 503 and not r.header("Retry-After"):
        return "503 without Retry-After"
    return None


def part_a(binary, failures, rows, small, held_jpeg):
    values = {"upload.spoolBudget": "2000000", "upload.freeSpaceReserve": "0"}
    with kit.served(binary, failures, values) as (port, root, server, _):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        kit.make_user(admin, root, "noright", "no", upload=False)
        user = kit.Session(port, "uploader", "up")
        noright = kit.Session(port, "noright", "no")
        big = 19000000
        part = b"x" * 65536

        # 1. Refused at the head.
        cases = [
            ("no session", [("page", "108"), ("action", "11")], None, 413),
            ("the guest session", [("session", GUEST_ID), ("page", "108"), ("action", "11")], None, 413),
            ("a user without the upload right", upload_params(noright), cookie_of(noright), 413),
            ("a user's request that is no upload", [("session", user.id), ("page", "108")],
             cookie_of(user), 413),
            ("an unknown session in the cookie", [("page", "108"), ("action", "11")], "1" * 24, 413),
        ]
        for what, params, cookie, status in cases:
            problem = refused_at_head(port, head(params, big, cookie) + part, status)
            rows.append(("A1 " + what, "413 at the head" if not problem else problem,
                         "ok" if not problem else "FAIL"))
            if problem:
                failures.append(("A1 " + what, [problem]))
        # An upload of the user is let through: no answer while its body is missing.
        s = started_upload(port, user, b"y" * 500000, 65536)
        let_through = answer_of(s, 0.5) is None
        s.close()
        rows.append(("A1 the user's upload", "read" if let_through else "answered at the head",
                     "ok" if let_through else "FAIL"))
        if not let_through:
            failures.append(("A1 upload", ["the upload of a user with the right was not read"]))

        # The flood of anonymous bodies.
        socks = []
        started = time.time()
        for _ in range(420):
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            try:
                s.sendall(head([("page", "1")], big) + part)
            except OSError:
                pass
            socks.append(s)
        files_during = body_files(server)
        statuses = []
        for s in socks:
            r = answer_of(s, max(0.05, started + 5 - time.time()))
            statuses.append(r.status if r else None)
            s.close()
        seconds = time.time() - started
        problems = []
        if statuses.count(413) != len(socks):
            problems.append("%d of %d got 413" % (statuses.count(413), len(socks)))
        if seconds > 1.5:
            problems.append("answered within %.1f s" % seconds)
        if files_during:
            problems.append("%d body files open during the flood" % files_during)
        rows.append(("A1 420 anonymous 19 MB bodies", "%d x 413 within %.2f s, %d body files" % (
            statuses.count(413), seconds, files_during), "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("A1 flood", problems))

        # 2. A user's upload is stored.
        user.conn.close()
        user.conn = kit.Connection(port)
        r = user.upload("small.jpg", small, page=108)
        stored = outcome(r)
        rows.append(("A2 an upload of %d bytes" % len(small), stored,
                     "ok" if stored == "stored" else "FAIL"))
        if stored != "stored":
            failures.append(("A2 upload", [stored]))

        # 3. Four bodies of one client in files, and a fifth.
        body = form(small)
        held = [started_upload(port, user, body, 1000) for _ in range(4)]
        time.sleep(0.2)
        problem = refused_at_head(port, upload_head(user, len(body)), 503)
        for s in held:
            s.close()
        rows.append(("A3 a 5th body of one client", "503 at the head" if not problem else problem,
                     "ok" if not problem else "FAIL"))
        if problem:
            failures.append(("A3 per client", [problem]))
        time.sleep(0.3)

        # 4. At the budget.
        held_body = form(held_jpeg)
        first = started_upload(port, user, held_body, 100000)
        time.sleep(0.2)
        problem = refused_at_head(port, upload_head(user, len(body)), 503)
        first.sendall(held_body[100000:])
        first_outcome = outcome(answer_of(first, 20))
        first.close()
        user.conn.close()
        user.conn = kit.Connection(port)
        again = outcome(user.upload("again.jpg", small, page=108))
        problems = [p for p in (problem,) if p]
        if first_outcome != "stored" or again != "stored":
            problems.append("the held upload: %s, the refused one again: %s" % (first_outcome, again))
        rows.append(("A4 an upload beside 1.9 MB under way", "503 at the head, then both %s" % (
            "stored" if not problems else "FAIL: " + "; ".join(problems)), "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("A4 budget", problems))
        counts = kit.check_database(root)
        if counts["images"] != 3 or os.listdir(root.file("tmp")):
            failures.append(("A", ["%d images stored, tmp holds %s" % (counts["images"],
                                                                       os.listdir(root.file("tmp")))]))
        server.stop()


def namespaces_allowed():
    try:
        return subprocess.run(["unshare", "-Urm", "true"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def fill(directory, leave):
    """Writes a file into directory until only `leave` bytes stay free (0: until the disk is
    full). Returns its path."""
    path = os.path.join(directory, "filler")
    st = os.statvfs(directory)
    want = st.f_bavail * st.f_frsize - leave if leave else 1 << 40
    chunk = b"\0" * 65536
    handle = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        while want > 0:
            want -= os.write(handle, chunk[:min(len(chunk), want)])
    except OSError as e:
        if e.errno != errno.ENOSPC:
            raise
    finally:
        os.close(handle)
    return path


class View:
    """The root as the server sees it, through its mount namespace."""

    def __init__(self, root, pid):
        self.path = "/proc/%d/root%s" % (pid, root.path)

    def file(self, relative):
        return os.path.join(self.path, relative)

    def store_files(self):
        return kit.Root.store_files(self)


def part_b(binary, failures, rows, small, medium_jpeg):
    script = ('mount -t tmpfs -o size=4m vistrel-tmp "$2/tmp" && '
              'mount -t tmpfs -o size=4m vistrel-images "$2/images" && '
              'mkdir "$2/images/original" "$2/images/preview1" "$2/images/preview2" '
              '"$2/images/preview2x" "$2/images/screen" && '
              'exec "$1" "$2"')
    values = {"upload.freeSpaceReserve": "500000"}
    prefix = ["unshare", "-Urm", "sh", "-c", script, "sh"]
    with kit.served(binary, failures, values, prefix=prefix) as (port, root, server, _):
        os.makedirs(root.file("tmp"), exist_ok=True)
        server.start()
        view = View(root, server.pid)
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        user = kit.Session(port, "uploader", "up")

        # 1. Less than the reserve free.
        filler = fill(view.file("tmp"), 300000)
        problem = refused_at_head(port, upload_head(user, len(form(small))), 503)
        os.unlink(filler)
        rows.append(("B1 less free than the reserve", "503 at the head" if not problem else problem,
                     "ok" if not problem else "FAIL"))
        if problem:
            failures.append(("B1 reserve", [problem]))

        # 2. The disk fills while the body arrives; the image store's disk is full.
        body = form(medium_jpeg)
        s = started_upload(port, user, body, 100000)
        time.sleep(0.3)
        filler = fill(view.file("tmp"), 0)
        s.sendall(body[100000:])
        r = answer_of(s, 20)
        s.close()
        os.unlink(filler)
        told = [("B2 the body's disk fills", outcome(r), r)]
        filler = fill(view.file("images"), 0)
        user.conn.close()
        user.conn = kit.Connection(port)
        r = user.upload("full.jpg", small, page=108)
        os.unlink(filler)
        told.append(("B2 the image store's disk is full", outcome(r), r))
        for what, said, response in told:
            problems = []
            if said != "disk-full":
                problems.append("told %s" % said)
            elif b"The disk of the server is full" not in response.body:
                problems.append("the message is missing")
            rows.append((what, said, "ok" if not problems else "FAIL"))
            if problems:
                failures.append((what, problems))
        left = [f for f in view.store_files()] + [n for n in os.listdir(view.file("tmp"))]
        if left or body_files(server):
            failures.append(("B2 leftovers", ["left behind: %s, %d body files open" % (
                left, body_files(server))]))

        # 3. With room again.
        stored = outcome(user.upload("room.jpg", small, page=108))
        counts = kit.check_database(view)
        ok = stored == "stored" and counts["images"] == 1
        rows.append(("B3 with room again", "%s, %d image" % (stored, counts["images"]),
                     "ok" if ok else "FAIL"))
        if not ok:
            failures.append(("B3", ["%s, %d images" % (stored, counts["images"])]))
        server.stop()


def main():
    binary = sys.argv[1]
    kit.raise_file_limit(4096)
    failures = []
    rows = []
    work = tempfile.mkdtemp(prefix="vistrel-disk-")
    try:
        small = kit.noise_jpeg(work, "small.jpg", "480x360")
        medium = kit.noise_jpeg(work, "medium.jpg", "400x300")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if not 100000 < len(small) < 300000:
        print("FAIL: the small picture has %d bytes" % len(small))
        return 1
    part_a(binary, failures, rows, small, kit.padded_jpeg(small, 1900000))
    if namespaces_allowed():
        part_b(binary, failures, rows, small, kit.padded_jpeg(medium, 1500000))
    else:
        rows.append(("B (full disks)", "skipped: no user and mount namespaces here", "-"))
    kit.report_table("Bodies and the disk", ("case", "outcome", ""), rows)
    return kit.summary(len([r for r in rows if r[2] != "-"]), failures)


if __name__ == "__main__":
    sys.exit(main())
