"""Floods of connections against the real server.

1. 1,000 connections that send a request line one byte every few seconds (a slow-header
   flood, more than the server's 499 places).
2. 499 idle keep-alive connections, each after one answered request.
3. 13 uploads of a logged-in user that announce 20,000,000-byte bodies (read and dropped)
   and send 600 bytes a second, and 500 connections without a session that announce such
   bodies and send nothing (refused at their heads, they come back at once).

During each flood a normal browser request on a new connection must be answered within a
second, every time it is tried; afterwards the server's memory must return near its
baseline (the figures are printed) and its open files to what they were.

usage: floods.py <vistrel executable> [seconds of each flood, default 20]"""

import socket
import sys
import time

import kit

SLOW = b"GET /?page=1&slow=" + b"s" * 200 + b" HTTP/1.1\r\n"


def open_many(port, count):
    socks = []
    for _ in range(count):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        socks.append(s)
    return socks


def probe(port, samples):
    try:
        samples.append(kit.normal_request_ok(port, timeout=1.0))
        return True
    except (kit.KitFailure, OSError):
        samples.append(None)
        return False


def slow_flood(server, port, seconds, interval):
    socks = open_many(port, 1000)
    position = [0] * len(socks)
    closed = 0
    samples = []
    peak = server.rss_kb()
    end = time.time() + seconds
    next_send = time.time()
    while time.time() < end:
        if time.time() >= next_send:
            for i, s in enumerate(socks):
                if s is None:
                    continue
                try:
                    s.send(SLOW[position[i] % len(SLOW):position[i] % len(SLOW) + 1])
                    position[i] += 1
                except (BlockingIOError, InterruptedError):
                    pass
                except OSError:
                    # Closed by the server to make room; the flooder comes back at once.
                    s.close()
                    closed += 1
                    socks[i] = open_many(port, 1)[0]
                    position[i] = 0
            next_send = time.time() + interval
        probe(port, samples)
        peak = max(peak, server.rss_kb())
        time.sleep(0.5)
    for s in socks:
        if s is not None:
            s.close()
    return samples, closed, peak


def keepalive_flood(server, port, seconds):
    conns = []
    for _ in range(499):
        c = kit.Connection(port, timeout=10)
        r = c.get("/?page=1")
        kit.check(r.status == 200, "a keep-alive connection was not answered")
        conns.append(c)
    samples = []
    peak = server.rss_kb()
    end = time.time() + seconds
    while time.time() < end:
        probe(port, samples)
        peak = max(peak, server.rss_kb())
        time.sleep(0.5)
    # The browsers whose idle connection gave way would connect again; those that kept
    # theirs can still use it.
    still = 0
    for c in conns:
        try:
            c.sock.settimeout(2)
            if c.get("/style.css").status == 200:
                still += 1
        except (kit.KitFailure, OSError):
            pass
        c.close()
    return samples, still, peak


def body_head(target="/?page=1"):
    return (b"POST " + target.encode("latin-1") + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            b"Content-Type: multipart/form-data; boundary=x\r\nContent-Length: 20000000\r\n\r\n")


def body_flood(server, port, seconds, user):
    # The slow bodies are under way before the waiters come.
    slow = open_many(port, 13)
    time.sleep(0.3)
    for s in slow:
        target = kit.query([("session", user.id), ("page", "108"), ("action", "11"),
                            ("requestId", user.next_request())])
        s.send(body_head(target) + b"x" * 600)
    next_send = time.time() + 1.0
    time.sleep(0.3)
    waiters = open_many(port, 500)
    time.sleep(0.5)
    for s in waiters:
        try:
            s.send(body_head())
        except (BlockingIOError, InterruptedError, OSError):
            pass
    came_back = 0
    slow_lost = 0
    samples = []
    peak = server.rss_kb()
    end = time.time() + seconds
    while time.time() < end:
        if time.time() >= next_send:
            for i, s in enumerate(slow):
                if s is None:
                    continue
                try:
                    s.send(b"x" * 600)
                except (BlockingIOError, InterruptedError):
                    pass
                except OSError:
                    # Lost its place: counted, and not sent again.
                    slow_lost += 1
                    slow[i] = None
            next_send += 1.0
        # Waiters closed by the server to make room come back at once.
        for i, s in enumerate(waiters):
            try:
                if s.recv(1, socket.MSG_DONTWAIT | socket.MSG_PEEK) == b"":
                    raise ConnectionResetError()
            except (BlockingIOError, InterruptedError):
                continue
            except OSError:
                pass
            s.close()
            came_back += 1
            fresh = open_many(port, 1)[0]
            try:
                time.sleep(0.001)
                fresh.send(body_head())
            except OSError:
                pass
            waiters[i] = fresh
        probe(port, samples)
        peak = max(peak, server.rss_kb())
        time.sleep(0.2)
    for s in slow + waiters:
        if s is not None:
            s.close()
    return samples, "%d/%d" % (came_back, 13 - slow_lost), peak


def settle(server, baseline_files):
    time.sleep(3)
    return server.rss_kb(), server.open_files()


def main():
    binary = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    kit.raise_file_limit(4096)
    failures = []
    rows = []
    with kit.served(binary, failures) as (port, root, server, _):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        user = kit.Session(port, "uploader", "up")
        admin.close()
        user.close()
        for _ in range(20):
            kit.normal_request_ok(port)
        base_rss, base_files = server.rss_kb(), server.open_files()
        for name, run in (("1000 slow request lines, a byte every 2 s",
                           lambda: slow_flood(server, port, seconds, 2.0)),
                          ("499 idle keep-alive connections",
                           lambda: keepalive_flood(server, port, seconds)),
                          ("13 slow 20 MB uploads, 500 waiting bodies",
                           lambda: body_flood(server, port, seconds, user))):
            samples, extra, peak = run()
            after_rss, after_files = settle(server, base_files)
            answered = [t for t in samples if t is not None]
            worst = max(answered) * 1000 if answered else float("nan")
            problems = []
            if len(answered) != len(samples):
                problems.append("%d of %d normal requests not answered within 1 s" %
                                (len(samples) - len(answered), len(samples)))
            if after_files > base_files + 2:
                problems.append("open files %d after, %d before" % (after_files, base_files))
            if after_rss > base_rss + 16 * 1024:
                problems.append("memory %d KiB after, %d KiB before" % (after_rss, base_rss))
            if not server.alive():
                problems.append("the server ended")
            rows.append((name, "%d/%d" % (len(answered), len(samples)), "%.0f ms" % worst,
                         extra, base_rss, peak, after_rss, "%d/%d" % (base_files, after_files),
                         "ok" if not problems else "FAIL"))
            if problems:
                failures.append((name, problems))
            base_rss = max(base_rss, after_rss)
        kit.report_table("Floods, %.0f s each (memory in KiB)" % seconds,
                         ("flood", "normal answered <1 s", "slowest", "gave way/kept",
                          "RSS before", "RSS peak", "RSS after", "files before/after", ""), rows)
        server.stop()
    return kit.summary(len(rows), failures)


if __name__ == "__main__":
    sys.exit(main())
