"""Logins against the real server, as guessers try them:

1. a name and a password in the URL (a link, or a post whose URL carries them): refused; the
   form's post logs in;
2. the lock-out attempt: 5 empty and 5 wrong passwords for the administrator from one
   address; the owner from another address still gets in, and empty passwords count for
   nothing;
3. the guest button pressed 60 times at once from one address (30 connections): a few
   sessions, then refusals; another address still gets its session;
4. a login flood: 40 addresses with 8 connections each posting wrong passwords under new
   user names without pause, while another client fetches the style sheet every 10 ms (its
   p50 and p99 beside the same client alone just before) and a user uploads a picture:
   every login and every fetch are answered, the fetches in time, and the picture is
   stored;
5. X-Forwarded-For from a peer that is not the configured proxy: one warning line on
   standard error, however many such requests come;
6. behind a proxy with its secret: the /64 of a forwarded IPv6 address is what the throttle
   holds back, and a forwarded address without the secret is not believed.

usage: logins.py <vistrel executable> [seconds of the flood, default 3]"""

import multiprocessing
import os
import re
import selectors
import socket
import subprocess
import sys
import tempfile
import threading
import time

import kit

TARGET = "/?session=%s&page=1&action=16&requestId=1&tab_main=600" % kit.GUEST_ID
GUEST_BUTTON = "/?session=%s&page=1&action=16&requestId=1&guest=1" % kit.GUEST_ID
SECRET = "harden-proxy-secret"
# The bound for the other client's p99 during the flood here: generous, since the check also
# runs under the sanitizers beside other work (50 ms seen there at a load average of 12), yet
# far below the stall it guards against (a median of 1.2 s with the hashing on the loop, 22 ms
# with refusals answered at once); bench/login.sh measures the real figure against its goal.
FLOOD_P99_MS = 200.0


def texts():
    found = {}
    with open(os.path.join(kit.REPO, "root-template", "config", "translations.eng"),
              encoding="latin-1") as f:
        for line in f:
            m = re.match(r"^\[(MESSAGE_LOGIN_\w+)\]\[(.*)\]$", line.rstrip("\n"))
            if m:
                found[m.group(1)] = m.group(2).encode("latin-1")
    return found


TEXTS = texts()


def outcome(r):
    """What a login's answer says: in, failed, throttled, busy, or the status."""
    if r is None:
        return "no answer"
    if kit.session_cookie(r):
        return "in"
    for name in ("FAILED", "THROTTLED", "BUSY"):
        if TEXTS["MESSAGE_LOGIN_" + name] in r.body:
            return name.lower()
    return "status %d" % r.status


def login(port, username, password, source=None, headers=()):
    c = kit.Connection(port, source=source)
    try:
        return outcome(c.post(TARGET, kit.FORM, kit.form([("username", username), ("password", password)]),
                              headers))
    finally:
        c.close()


def login_request(n):
    body = kit.form([("username", "fresh%d" % n), ("password", "guess%d" % n)])
    head = "POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n" % (
        TARGET, kit.FORM, len(body))
    return head.encode("latin-1") + body


def flood(port, seconds, addresses, per_address, results):
    """Posts wrong passwords under new names from every connection without pause; puts the
    tally of the answers into results. A connection whose answer does not come within 10 s
    after the end counts as stalled."""
    sel = selectors.DefaultSelector()
    n = 0
    tally = {}
    outstanding = 0
    for a in range(addresses):
        for _ in range(per_address):
            s = socket.create_connection(("127.0.0.1", port), timeout=10,
                                         source_address=("127.0.1.%d" % (a + 1), 0))
            s.sendall(login_request(n))
            n += 1
            s.setblocking(False)
            sel.register(s, selectors.EVENT_READ, {"buffer": b""})
            outstanding += 1
    end = time.time() + seconds
    while outstanding > 0 and time.time() < end + 10:
        for key, _ in sel.select(timeout=0.1):
            state = key.data
            try:
                chunk = key.fileobj.recv(65536)
            except (BlockingIOError, InterruptedError):
                continue
            except OSError:
                chunk = b""
            if not chunk:
                tally["closed"] = tally.get("closed", 0) + 1
                sel.unregister(key.fileobj)
                key.fileobj.close()
                outstanding -= 1
                continue
            state["buffer"] += chunk
            r, state["buffer"] = kit.parse_response(state["buffer"])
            if r is None:
                continue
            kind = outcome(r)
            tally[kind] = tally.get(kind, 0) + 1
            if time.time() < end:
                key.fileobj.setblocking(True)
                key.fileobj.sendall(login_request(n))
                key.fileobj.setblocking(False)
                n += 1
            else:
                sel.unregister(key.fileobj)
                key.fileobj.close()
                outstanding -= 1
    tally["stalled"] = outstanding
    results.put(tally)


def probe(port, seconds, interval=0.01):
    """Fetches the style sheet every interval for the given time; the times in ms, and how
    many fetches got no answer."""
    c = kit.Connection(port, timeout=10)
    times, lost = [], 0
    end = time.time() + seconds
    next_at = time.time()
    while next_at < end:
        time.sleep(max(0.0, next_at - time.time()))
        started = time.time()
        try:
            r = c.get("/style.css")
            ok = r.status == 200 and r.body
        except (kit.KitFailure, OSError):
            ok = False
            c.close()
            c = kit.Connection(port, timeout=10)
        if ok:
            times.append((time.time() - started) * 1000)
        else:
            lost += 1
        next_at = max(next_at + interval, time.time())
    c.close()
    return times, lost


def percentile(times, fraction):
    if not times:
        return float("nan")
    ordered = sorted(times)
    return ordered[min(len(ordered) - 1, max(0, int(fraction * len(ordered) + 0.999999) - 1))]


def make_jpeg(work):
    picture = os.path.join(work, "flood.jpg")
    subprocess.run([kit.convert_program(), "-size", "320x240", "gradient:red-blue", "-quality", "90",
                    picture], check=True)
    with open(picture, "rb") as f:
        return f.read()


def main():
    binary = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3.0
    failures = []
    rows = []

    def expect(label, got, wanted):
        rows.append((label, got))
        if got != wanted:
            failures.append(("logins", ["%s: %s, not %s" % (label, got, wanted)]))

    with kit.served(binary, failures, scratch="vistrel-logins-") as (port, root, server, work):
        server.start()

        # 1. Logins in the URL.
        c = kit.Connection(port)
        expect("name and password in a link", outcome(c.get(kit.query(
            [("session", kit.GUEST_ID), ("page", "1"), ("action", "16"), ("requestId", "1"),
             ("username", kit.ADMIN[0]), ("password", kit.ADMIN[1])]))), "failed")
        expect("name and password in a post's URL", outcome(c.post(
            TARGET + "&username=admin&password=tarbo", kit.FORM, b"")), "failed")
        expect("the form's post", outcome(kit.log_in(c, *kit.ADMIN)[0]), "in")
        c.close()

        # 2. The lock-out attempt.
        empty = [login(port, "admin", "", "127.0.2.1") for _ in range(5)]
        expect("5 empty passwords from one address", ",".join(sorted(set(empty))), "failed")
        expect("then the right one from the same address", login(port, *kit.ADMIN, source="127.0.2.1"), "in")
        wrong = [login(port, "admin", "wrong%d" % i, "127.0.2.2") for i in range(5)]
        expect("5 wrong passwords from one address", ",".join(sorted(set(wrong))), "failed")
        expect("then the right one from the same address", login(port, *kit.ADMIN, source="127.0.2.2"),
               "throttled")
        expect("the owner from another address", login(port, *kit.ADMIN, source="127.0.2.3"), "in")

        # 3. The guest button from one address, 30 connections pressing twice each (a refused
        # press is answered after the refusal delay).
        presses = []

        def press_twice():
            c = kit.Connection(port, source="127.0.3.1")
            try:
                for _ in range(2):
                    presses.append(outcome(c.get(GUEST_BUTTON)))
            finally:
                c.close()

        pressers = [threading.Thread(target=press_twice) for _ in range(30)]
        for t in pressers:
            t.start()
        for t in pressers:
            t.join(60)
        opened = presses.count("in")
        rows.append(("60 guest presses from one address", "%d sessions, %d busy" % (opened, presses.count("busy"))))
        if not 1 <= opened <= 11 or opened + presses.count("busy") != 60:
            failures.append(("guest button", ["60 presses opened %d sessions: %s" % (opened, sorted(set(presses)))]))
        c = kit.Connection(port, source="127.0.3.2")
        expect("a press from another address", outcome(c.get(GUEST_BUTTON)), "in")
        c.close()

        # 4. The login flood, beside another client and an upload.
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        admin.close()
        uploading = kit.Session(port, "uploader", "up")
        picture = make_jpeg(work)
        time.sleep(1.0)  # the check rate's budget back
        alone, lost_alone = probe(port, 1.5)
        results = multiprocessing.Queue()
        flooder = multiprocessing.Process(target=flood, args=(port, seconds, 40, 8, results))
        flooder.start()
        upload = {}

        def send_upload():
            time.sleep(min(1.0, seconds / 3))
            started = time.time()
            try:
                r = uploading.upload("flood.jpg", picture)
                upload["status"] = r.status
            except (kit.KitFailure, OSError) as e:
                upload["status"] = "no answer (%s)" % e
            upload["ms"] = (time.time() - started) * 1000

        uploader = threading.Thread(target=send_upload)
        time.sleep(0.3)  # every flood connection open
        uploader.start()
        during, lost_during = probe(port, seconds - 0.3)
        uploader.join(30)
        tally = results.get(timeout=60)
        flooder.join(30)
        uploading.close()
        stored = len(kit.images(root))

        rows.append(("style sheet alone: p50 / p99 / fetches",
                     "%.2f / %.2f ms / %d" % (percentile(alone, 0.5), percentile(alone, 0.99), len(alone))))
        rows.append(("during the flood: p50 / p99 / fetches",
                     "%.2f / %.2f ms / %d" % (percentile(during, 0.5), percentile(during, 0.99), len(during))))
        rows.append(("flood answers", ", ".join("%s %d" % kv for kv in sorted(tally.items()))))
        rows.append(("upload during the flood", "%s in %.0f ms, %d stored" % (
            upload.get("status"), upload.get("ms", 0), stored)))
        problems = []
        if lost_alone or lost_during:
            problems.append("the style sheet went unanswered %d times" % (lost_alone + lost_during))
        if percentile(during, 0.99) > FLOOD_P99_MS:
            problems.append("the style sheet's p99 during the flood is %.1f ms (alone %.1f ms)" % (
                percentile(during, 0.99), percentile(alone, 0.99)))
        if tally.get("stalled") or tally.get("closed") or tally.get("in"):
            problems.append("flood answers: %s" % tally)
        if any(k.startswith("status") for k in tally):
            problems.append("flood answers other than the login page: %s" % tally)
        if upload.get("status") != 200 or stored != 1:
            problems.append("the upload during the flood: %s, %d stored" % (upload.get("status"), stored))
        if problems:
            failures.append(("login flood", problems))

        # 5. X-Forwarded-For from a peer that is not the proxy: one line.
        for _ in range(3):
            kit.get(port, "/?page=1", ["X-Forwarded-For: 192.0.2.1"])
        server.stop()
        lines = [l for l in server.stderr_text().splitlines() if "X-Forwarded-For" in l]
        expect("X-Forwarded-For lines on standard error, proxy not set", len(lines), 1)

    # 6. Behind a proxy: without its secret a start-up line says so; with it, the /64.
    with kit.served(binary, failures, {"server.proxy": "127.0.0.1"}) as (port, root, server, work):
        server.start()
        server.stop()
        lines = [l for l in server.stderr_text().splitlines() if "server.proxySecret" in l]
        expect("start-up lines for a proxy without a secret", len(lines), 1)
    with kit.served(binary, failures, {"server.proxy": "127.0.0.1", "server.proxySecret": SECRET}) as (
            port, root, server, work):
        server.start()
        proof = "X-Vistrel-Proxy: " + SECRET

        def via(address, password, secret=True):
            return login(port, "admin", password, headers=["X-Forwarded-For: " + address] + ([proof] if secret else []))

        guesses = {via("2001:db8:1:2::%d" % i, "wrong%d" % i) for i in range(1, 6)}
        expect("5 wrong from five addresses of one /64", ",".join(sorted(guesses)), "failed")
        expect("then the right one from that /64", via("2001:db8:1:2:ffff::1", "tarbo"), "throttled")
        expect("the owner from the next /64", via("2001:db8:1:3::1", "tarbo"), "in")
        forged = {via("2001:db8:5::%d" % i, "wrong%d" % i, secret=False) for i in range(1, 6)}
        expect("5 wrong, forwarded without the secret", ",".join(sorted(forged)), "failed")
        expect("then the right one claiming a fresh address", via("2001:db8:6::1", "tarbo", secret=False),
               "throttled")
        server.stop()
        lines = [l for l in server.stderr_text().splitlines() if "X-Forwarded-For" in l]
        expect("lines for the forwarded addresses without the secret", len(lines), 1)

    kit.report_table("Logins on the real server", ("attempt", "outcome"), rows)
    return kit.summary(len(rows), failures)


if __name__ == "__main__":
    sys.exit(main())
