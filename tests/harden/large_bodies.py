"""Large request bodies through the real server: they wait in files under the root, not in
memory, and no file outlives its request.

1. An upload of a 19,999,999-byte body (a real JPEG made at test time, padded to the limit
   with comment segments) is stored whole; the server's resident memory stays under 64 MB
   throughout and grows by less than 16 MB, less than the body (a sanitizer build, whose
   own memory is larger, is held to the growth only); while the body arrives and after the
   request no body or temporary file is to be seen under the root.
2. A server killed (SIGKILL) in the middle of such a body leaves no file behind; a body
   file left by a process that died while making one is removed at the next start.

usage: large_bodies.py <vistrel executable>"""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

import kit

BODY = 19999999
LIMIT_KB = 64 * 1024
GROWTH_KB = 16 * 1024


def make_jpeg(work):
    path = os.path.join(work, "small.jpg")
    subprocess.run([kit.convert_program(), "-size", "320x240", "gradient:red-blue", "-quality", "90",
                    path], check=True)
    with open(path, "rb") as f:
        return f.read()


def upload_body(boundary, data):
    head = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"big.jpg\"\r\n"
            "Content-Type: image/jpeg\r\n\r\n" % boundary).encode("latin-1")
    tail = ("\r\n--%s--\r\n" % boundary).encode("latin-1")
    return head, tail


def leftovers(root):
    """Body files under the root's tmp directory and upload temporary files."""
    found = []
    if os.path.isdir(root.file("tmp")):
        found += ["tmp/" + n for n in os.listdir(root.file("tmp"))]
    found += [f for f in root.store_files() if "tmp" in f]
    return found


def upload_request(session, boundary, size):
    target = kit.query([("session", session.id), ("page", "110"), ("action", "11"),
                        ("requestId", session.next_request())])
    return ("POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\n%s\r\nContent-Type: multipart/form-data; "
            "boundary=%s\r\nContent-Length: %d\r\n\r\n" % (target, session.cookie, boundary,
                                                           size)).encode("latin-1")


def main():
    binary = sys.argv[1]
    sanitizer = kit.is_sanitizer_build(binary)
    rows = []
    failures = []
    with kit.served(binary, failures, scratch="vistrel-bodies-") as (port, root, server, work):
        jpeg = make_jpeg(work)
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "uploader", "up")
        user = kit.Session(port, "uploader", "up")

        # 1. The upload at the size limit.
        boundary = "----vistrelbodies"
        head, tail = upload_body(boundary, b"")
        data = kit.padded_jpeg(jpeg, BODY - len(head) - len(tail))
        body = head + data + tail
        kit.check(len(body) == BODY, "the body has %d bytes" % len(body))
        base = server.rss_kb()
        peak = [base]
        done = threading.Event()

        def watch():
            while not done.is_set():
                try:
                    peak[0] = max(peak[0], server.rss_kb())
                except OSError:
                    pass
                time.sleep(0.01)

        watcher = threading.Thread(target=watch)
        watcher.start()
        problems = []
        before = {i["id"] for i in kit.images(root)}
        sock = socket.create_connection(("127.0.0.1", port), timeout=60)
        try:
            sock.sendall(upload_request(user, boundary, len(body)) + body[:BODY // 2])
            time.sleep(0.3)
            seen = leftovers(root)
            if seen:
                problems.append("files to be seen while the body arrives: %s" % seen)
            sock.sendall(body[BODY // 2:])
            pending = b""
            response = None
            end = time.time() + 120
            while response is None and time.time() < end:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                pending += chunk
                response, pending = kit.parse_response(pending)
        finally:
            sock.close()
            done.set()
            watcher.join()
        if response is None or response.status != 200:
            problems.append("no answer" if response is None else "status %d" % response.status)
        new = [i for i in kit.images(root) if i["id"] not in before]
        if len(new) != 1:
            problems.append("%d images stored" % len(new))
        else:
            with open(root.file("images/original/%07d.jpg" % new[0]["id"]), "rb") as f:
                if f.read() != data:
                    problems.append("the original differs from the file sent")
        growth = peak[0] - base
        if growth > GROWTH_KB:
            problems.append("memory grew by %d KiB" % growth)
        if not sanitizer and peak[0] > LIMIT_KB:
            problems.append("resident memory reached %d KiB" % peak[0])
        seen = leftovers(root)
        if seen:
            problems.append("files left after the request: %s" % seen)
        rows.append(("upload of %d bytes" % BODY, "%d KiB" % base, "%d KiB" % peak[0],
                     ", ".join(problems) or "stored whole, nothing left", "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("upload", problems))

        # 2. Killed in the middle of a body.
        problems = []
        sock = socket.create_connection(("127.0.0.1", port), timeout=60)
        sock.sendall(upload_request(user, boundary, len(body)) + body[:BODY // 3])
        time.sleep(0.3)
        server.kill()
        sock.close()
        seen = leftovers(root)
        if seen:
            problems.append("files left after the kill: %s" % seen)
        # What a death between making a body file and taking its name would leave.
        stray = root.file("tmp/body_x1y2z3")
        with open(stray, "wb") as f:
            f.write(b"x" * 1000)
        server.start()
        # The port takes connections before the start-up sweep has run; the first answer
        # comes after it.
        try:
            kit.normal_request_ok(port)
        except (kit.KitFailure, OSError) as e:
            problems.append("no normal answer after the restart: %s" % e)
        if os.path.exists(stray):
            problems.append("the start did not remove %s" % stray)
        if "body_x1y2z3" not in server.stderr_text():
            problems.append("the start did not say what it removed")
        rows.append(("SIGKILL in the middle of a body", "-", "-",
                     ", ".join(problems) or "nothing left, stray file swept", "ok" if not problems else "FAIL"))
        if problems:
            failures.append(("kill", problems))
        kit.report_table("Large bodies", ("case", "RSS before", "RSS peak", "outcome", ""), rows)
        server.stop()
    return kit.summary(len(rows), failures)


if __name__ == "__main__":
    sys.exit(main())
