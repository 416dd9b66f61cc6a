"""Connections that hold the server's places by sending a request body slowly, against the
real server.

The flood: 520 connections from 40 addresses (127.0.0.2 to 127.0.0.41, more than the
server's 499 places) and 40 more from one address (127.0.0.50). Each sends a request head
and 60,000 bytes of a 65,536-byte body at once (as much as anybody may send without an
upload right), then a byte every 2 s, and connects again at once when it is answered or
closed. During the flood (14 s):

1. a normal request on a new connection is answered within 1 s (3 s for a sanitizer build),
   every time it is tried;
2. the one address holds at most 16 bodies at once: the rest of its connections are
   answered 503 with Retry-After at their heads;
3. once the flood's bodies have fallen behind their pace (10 s after they began), an upload
   by a user is stored: a body that is behind gives its place to it (answered 408).

The server's memory stays within 128 MB of what it was (every place may hold a body kept in
memory; not judged for a sanitizer build, whose own memory is far larger), and its open
files return to what they were.

usage: body_hold.py <vistrel executable>"""

import re
import socket
import sys
import threading
import time

import kit

SECONDS = 14
ADDRESSES = ["127.0.0.%d" % i for i in range(2, 42)]
PER_ADDRESS = 13
ONE_ADDRESS = "127.0.0.50"
ONE_ADDRESS_COUNT = 40
HEAD = (b"POST /?page=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-"
        b"urlencoded\r\nContent-Length: 65536\r\n\r\n")
FIRST = b"a=" + b"x" * 59998
STATUS = re.compile(rb"^HTTP/1\.1 (\d+)")


class Holder:
    """One flooding connection from a given address."""

    def __init__(self, port, source):
        self.port = port
        self.source = source
        self.sock = None
        self.answers = []

    def connect(self):
        s = socket.socket()
        s.bind((self.source, 0))
        s.settimeout(2.0)
        try:
            s.connect(("127.0.0.1", self.port))
            s.sendall(HEAD + FIRST)
        except OSError:
            pass
        s.setblocking(False)
        self.sock = s

    def step(self):
        """Reads what the server said; a byte more when it said nothing, a new connection
        when it answered or closed. Returns the status of an answer, if one came."""
        status = None
        try:
            data = self.sock.recv(65536)
            if data:
                m = STATUS.match(data)
                status = int(m.group(1)) if m else -1
                self.answers.append((status, b"Retry-After:" in data))
            closed = True
        except (BlockingIOError, InterruptedError):
            closed = False
            try:
                self.sock.send(b"x")
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                closed = True
        except OSError:
            closed = True
        if closed:
            self.sock.close()
            self.connect()
        return status


def main():
    binary = sys.argv[1]
    sanitizer = kit.is_sanitizer_build(binary)
    bound = 3.0 if sanitizer else 1.0
    kit.raise_file_limit(4096)
    failures = []
    rows = []
    with kit.served(binary, failures, scratch="vistrel-hold-") as (port, root, server, work):
        jpeg = kit.noise_jpeg(work, "upload.jpg", "400x300")
        kit.check(len(jpeg) > 65536, "the picture has only %d bytes" % len(jpeg))
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        user = kit.Session(port, "uploader", "up")
        admin.close()
        for _ in range(20):
            kit.normal_request_ok(port)
        base_rss, base_files = server.rss_kb(), server.open_files()

        holders = [Holder(port, a) for a in ADDRESSES for _ in range(PER_ADDRESS)]
        one = [Holder(port, ONE_ADDRESS) for _ in range(ONE_ADDRESS_COUNT)]
        started = time.time()
        for h in one:
            h.connect()
        # What the one address was told at its heads.
        time.sleep(0.5)
        first = [h.step() for h in one]
        refused = sum(1 for s in first if s == 503)
        with_retry = sum(1 for h in one for s, r in h.answers if s == 503 and r)
        held = sum(1 for s in first if s is None)
        for h in holders:
            h.connect()

        samples = []
        upload = {}

        def send_upload():
            try:
                user.conn.close()
                user.conn = kit.Connection(port, timeout=10)
                t = time.time()
                r = user.upload("flood.jpg", jpeg, page=108)
                upload["status"] = r.status
                upload["stored"] = b'data-upload-outcome="stored"' in r.body
                upload["ms"] = (time.time() - t) * 1000
            except (kit.KitFailure, OSError) as e:
                upload["error"] = str(e)

        uploader = threading.Thread(target=send_upload)
        next_round = time.time() + 2.0
        peak = server.rss_kb()
        while time.time() < started + SECONDS:
            if time.time() >= next_round:
                for h in holders + one:
                    h.step()
                next_round += 2.0
            if not uploader.is_alive() and "status" not in upload and "error" not in upload and \
                    time.time() >= started + 11:
                uploader.start()
            try:
                samples.append(kit.normal_request_ok(port, timeout=bound))
            except (kit.KitFailure, OSError):
                samples.append(None)
            peak = max(peak, server.rss_kb())
            time.sleep(0.5)
        if uploader.is_alive() or "status" in upload or "error" in upload:
            uploader.join(15)
        answers = [s for h in holders + one for s, _ in h.answers]
        for h in holders + one:
            h.sock.close()
        time.sleep(3)
        after_rss, after_files = server.rss_kb(), server.open_files()

        answered = [t for t in samples if t is not None]
        problems = []
        if len(answered) != len(samples):
            problems.append("%d of %d normal requests not answered within %.0f s" %
                            (len(samples) - len(answered), len(samples), bound))
        rows.append(("normal requests answered within %.0f s" % bound, "%d/%d, slowest %.0f ms" % (
            len(answered), len(samples), max(answered) * 1000 if answered else float("nan")),
            "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("normal requests", problems))

        problems = []
        if held > 16:
            problems.append("%d bodies of one address held places" % held)
        if refused < ONE_ADDRESS_COUNT - 16 or with_retry < refused:
            problems.append("%d refused with 503 (%d with Retry-After)" % (refused, with_retry))
        rows.append(("one address: bodies held, refused 503", "%d, %d" % (held, refused),
                     "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("one address", problems))

        problems = []
        if upload.get("status") != 200 or not upload.get("stored"):
            problems.append("the upload got %s" % (upload.get("error") or upload.get("status")))
        if answers.count(408) < 1:
            problems.append("no body gave its place")
        rows.append(("upload after 11 s of flood", "%s in %.0f ms, %d bodies gave way (408)" % (
            "stored" if upload.get("stored") else "not stored", upload.get("ms", 0),
            answers.count(408)), "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("upload", problems))

        # Every place may hold a body in memory and its two buffers for a while; what the
        # allocator keeps afterwards is shown, not judged.
        problems = []
        if after_files > base_files + 2:
            problems.append("open files %d after, %d before" % (after_files, base_files))
        if not sanitizer and peak > base_rss + 128 * 1024:
            problems.append("memory reached %d KiB from %d KiB" % (peak, base_rss))
        if not server.alive():
            problems.append("the server ended")
        rows.append(("memory (KiB) before/peak/after, files before/after", "%d/%d/%d, %d/%d" % (
            base_rss, peak, after_rss, base_files, after_files), "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("resources", problems))
        kit.report_table("Bodies held by %d connections for %d s" % (
            len(holders) + len(one), SECONDS), ("check", "figures", ""), rows)
        server.stop()
    return kit.summary(len(rows), failures)


if __name__ == "__main__":
    sys.exit(main())
