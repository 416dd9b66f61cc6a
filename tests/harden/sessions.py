"""Sessions against the real server, as an attacker on the same host would try to borrow
them: a fresh connection from the very address and port that a logged-in browser used
before, a sweep of fresh anonymous connections after ordinary use, a cookie of one's own
on a port that somebody else used, a login on a connection that carried another session,
and logging out.

usage: sessions.py <vistrel executable>"""

import re
import socket
import struct
import sys

import kit

GUEST_ID = "5072913846"
SESSION_LINK = re.compile(rb"session=(\d+)")


def bound_connection(port, local_port):
    """A connection from 127.0.0.1:local_port. It ends with a reset (linger 0), so that the
    same address and port can be used again at once, as a proxy or NAT reuses them."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    s.bind(("127.0.0.1", local_port))
    s.settimeout(10.0)
    s.connect(("127.0.0.1", port))
    c = kit.Connection.__new__(kit.Connection)
    c.port, c.timeout, c.sock, c.pending = port, 10.0, s, b""
    return c


def sessions_in(body):
    """The session identifiers in the links of a page, but the guest's."""
    return {m.decode() for m in SESSION_LINK.findall(body)} - {GUEST_ID}


def main():
    binary = sys.argv[1]
    port = kit.free_port()
    root = kit.Root(port)
    server = kit.Server(binary, root, port)
    failures = []
    rows = []
    try:
        server.start()
        local = kit.free_port()

        # The administrator logs in from one address and port, then the connection ends.
        c = bound_connection(port, local)
        r, admin, admin_cookie = kit.log_in(c, *kit.ADMIN)
        kit.check(admin, "the administrator's login failed")
        c.get(kit.query([("session", admin), ("page", "1")]), [admin_cookie])
        c.close()

        # A stranger reuses the address and port without any session parameter or cookie.
        c = bound_connection(port, local)
        pages = [c.get("/"), c.get("/?page=1"), c.get("/?page=3")]
        before = len(kit.users(root))
        c.get("/?page=301&action=7&requestId=99")
        c.close()
        borrowed = any(admin.encode() in p.body or b"System Administrator" in p.body for p in pages)
        rows.append(("same address and port, no cookie", "guest" if not borrowed else "administrator"))
        if borrowed:
            failures.append("a fresh connection on the administrator's port got the administrator's pages")
        if len(kit.users(root)) != before:
            failures.append("a fresh connection on the administrator's port created a user")

        # Ordinary use by several people, each page over a connection of its own, then a
        # probe of the ports they used (an attacker probes every port; these are the ones
        # that can hit): fresh anonymous connections from them must never land in a session.
        people = [kit.Session(port, *kit.ADMIN)]
        for i in range(5):
            kit.make_user(people[0], root, "person%d" % i, "pw%d" % i)
            people.append(kit.Session(port, "person%d" % i, "pw%d" % i))
        used = []
        for p in people:
            for page in (1, 2, 3) * 10:
                c = bound_connection(port, 0)
                used.append(c.sock.getsockname()[1])
                c.get(kit.query([("session", p.id), ("page", str(page))]), p.headers)
                c.close()
        landed = 0
        for local_port in used:
            try:
                c = bound_connection(port, local_port)
            except OSError:
                continue
            r = c.get("/?page=1")
            c.close()
            if sessions_in(r.body):
                landed += 1
        rows.append(("fresh connections on used ports in a session", "%d of %d" % (landed, len(used))))
        if landed:
            failures.append("%d of %d fresh anonymous connections landed in a session" % (landed, len(used)))

        # A cookie of one's own on a port the administrator used before: one's own session.
        c = bound_connection(port, local)
        c.get(kit.query([("session", admin), ("page", "1")]), [admin_cookie])
        c.close()
        c = bound_connection(port, local)
        r = c.get("/?page=3", [people[1].cookie.replace("Cookie: ", "Cookie: theme=x; ")])
        c.close()
        own = sessions_in(r.body) == {people[1].id}
        rows.append(("own cookie on a used port", "own session" if own else "someone else's"))
        if not own:
            failures.append("a cookie of one's own did not win on a port the administrator had used")

        # A login on a connection that carried the administrator's session is a login, and no
        # link of its answer holds the password.
        c = kit.Connection(port)
        c.get(kit.query([("session", admin), ("page", "1")]), [admin_cookie])
        r, fresh, _ = kit.log_in(c, "person1", "pw1", [admin_cookie])
        if not fresh or fresh == admin:
            failures.append("a login on a connection that carried a session was not a login")
        r, _, _ = kit.log_in(c, "nosuchuser", "Typed-Secret-77")
        if b"Typed-Secret-77" in r.body:
            failures.append("a failed login copied the password into the page")
        c.close()
        rows.append(("login on a pooled connection", "login" if fresh and fresh != admin else "skipped"))

        # Logging out ends the session and takes the cookie back.
        p = people[2]
        r = p.action(17, page=1)
        cleared = "Max-Age=0" in (r.header("Set-Cookie") or "")
        r = kit.get(port, "/?page=3", [p.cookie])
        ended = p.id not in sessions_in(r.body)
        rows.append(("log-out", "ended" if ended and cleared else "still alive"))
        if not (ended and cleared):
            failures.append("a logged-out session still answered or kept its cookie")

        # Every answer forbids framing by other sites, the refusals of the HTTP layer too.
        responses, _ = kit.exchange(port, b"OPTIONS / HTTP/1.1\r\nHost: x\r\n\r\n")
        for r in [kit.get(port, "/"), kit.get(port, "/favicon.ico")] + responses[:1]:
            for name, value in [("X-Frame-Options", "SAMEORIGIN"),
                                ("Content-Security-Policy", "frame-ancestors 'self'"),
                                ("X-Content-Type-Options", "nosniff"), ("Referrer-Policy", "same-origin")]:
                if r.header(name) != value:
                    failures.append("%s is %r on an answer %s" % (name, r.header(name), r.status))

        for p in people:
            p.close()
        server.stop()
        report = server.sanitizer_report()
        if report:
            failures.append("sanitizer: " + report)
    finally:
        if server.alive():
            server.kill()
        root.remove()

    kit.report_table("Sessions on the real server", ("attempt", "outcome"), rows)
    if failures:
        for f in failures:
            print("FAIL:", f)
        return 1
    print("All session checks passed.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
