"""Malformed and hostile requests over real sockets to the real server.

Every row of the table is sent on a connection of its own; its outcome must be the one the
row names, no answer may show a file from outside the web directory or the request's markup
unescaped, the server must stay up, and a normal request on a new connection must be
answered afterwards (within 3 s, a margin for the sanitizer build; the time is printed).

Outcomes:
  answer N  N complete responses (status 200 unless the row says otherwise, one status for
            each response where they differ); the connection stays open unless the row
            says "closed". Every refused request (400 for broken framing or a line that is
            no request, 405 for another method, 414 and 431 for lines too long or too many,
            413 for a body larger than is kept in memory that is no upload of a user with
            the upload right, 501 for Transfer-Encoding) is answered and its connection
            closed.
  silent    no response within a second, the connection left open: a body announced but
            not sent is waited for until the body time-out

usage: bad_requests.py <vistrel executable>"""

import sys
import time

import kit

# Texts no answer may contain: the configuration, the user file and a system file reached
# through a path trick, and markup of the request that came back unescaped.
LEAKS = (b"server.port", b"tarbo", b"root:x:", b"<script>", b"<SCRIPT>alert", b"<b id=x>")

GET = b"GET /?page=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


def get(target, headers=b""):
    if isinstance(target, str):
        target = target.encode("latin-1")
    return b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + b"\r\n"


def rows():
    many_headers = b"".join(b"X-H%d: v\r\n" % i for i in range(5000))
    return [
        # name, request bytes, outcome, responses expected, status, closes after the answer
        ("plain request (control)", GET, "answer", 1, 200, False),
        ("request line of 20000 bytes, no line feed", b"GET /?" + b"a" * 20000, "answer", 1, 414, True),
        ("request line of 10500 bytes", get("/?a=" + "b" * 10500), "answer", 1, 414, True),
        ("request line of 100000 bytes", get("/?a=" + "b" * 100000), "answer", 1, 414, True),
        ("header line of 12000 bytes", get("/", b"X-Long: " + b"c" * 12000 + b"\r\n"), "answer", 1, 431, True),
        ("5000 header lines", get("/", many_headers), "answer", 1, 431, True),
        ("101 header lines", get("/", b"".join(b"X%d: v\r\n" % i for i in range(101))), "answer", 1, 431, True),
        ("99 header lines", get("/?page=1", b"".join(b"X%d: v\r\n" % i for i in range(99))), "answer", 1, 200, False),
        ("NUL byte in the path", get(b"/\x00../config/config.cfg"), "answer", 1, 200, False),
        ("NUL byte in a header value", get("/?page=1", b"Cookie: 1\x002\r\n"), "answer", 1, 200, False),
        ("NUL byte in the query", get(b"/?page=1\x00&session=x"), "answer", 1, 200, False),
        ("bad percent escapes", get("/?page=%zz&session=%&%%%=%g&a%=1%"), "answer", 1, 200, False),
        ("percent escape of NUL", get("/?page=1&session=%00abc&%00=1"), "answer", 1, 200, False),
        ("percent escape cut at the end", get("/?page=1&session=%4"), "answer", 1, 200, False),
        ("Content-Length of 20 digits, no body",
         get("/?page=1", b"Content-Length: 99999999999999999999\r\n"), "answer", 1, 413, True),
        ("Content-Length 20000000 (not kept), part of the body",
         get("/?page=1", b"Content-Length: 20000000\r\n") + b"x" * 1000, "answer", 1, 413, True),
        ("Content-Length 65536, part of the body",
         get("/?page=1", b"Content-Length: 65536\r\n") + b"x" * 1000, "silent", 0, 0, False),
        ("negative Content-Length", get("/?page=1", b"Content-Length: -5\r\n"), "answer", 1, 400, True),
        ("Content-Length that is no number", get("/?page=1", b"Content-Length: abc\r\n"), "answer", 1, 400, True),
        ("Content-Length 0abc hiding a request",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length: 0abc\r\n\r\n" + GET, "answer", 1, 400, True),
        ("Content-Length without a blank, a request as its body",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length:%d\r\n\r\n" % len(GET) + GET, "answer", 1, 200, False),
        ("Content-Length larger than the body sent",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length: 50\r\n\r\nonly twenty bytes...", "silent", 0, 0, False),
        ("two different Content-Length headers",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length: 5\r\nContent-length: 0\r\n\r\nhello", "answer", 1, 400, True),
        ("the same Content-Length twice",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length: 5\r\nContent-length: 5\r\n\r\nhello", "answer", 1, 200, False),
        ("blank before the colon of Transfer-Encoding",
         b"POST /?page=1 HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n0\r\n\r\n" + GET, "answer", 1, 400, True),
        ("Transfer-Encoding chunked",
         b"POST /?page=1 HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         "answer", 1, 501, True),
        ("Content-Length together with Transfer-Encoding",
         b"POST /?page=1 HTTP/1.1\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n"
         b"0\r\n\r\n", "answer", 1, 501, True),
        ("chunked body that hides a second request",
         b"POST /?page=1 HTTP/1.1\r\ntransfer-encoding: chunked\r\n\r\n1a\r\n"
         b"GET /style.css HTTP/1.1\r\n\r\n\r\n0\r\n\r\n", "answer", 1, 501, True),
        ("non-ASCII bytes in the path", get(b"/\xff\xfe\xe4\x80.css"), "answer", 1, 200, False),
        ("non-ASCII bytes in header names and values",
         get("/?page=1", b"X-\xe4\xf6: \xff\xfe\x80\r\nCookie: \xc3\xa4\r\n"), "answer", 1, 200, False),
        ("bare line feeds", b"GET /?page=1 HTTP/1.1\nHost: x\n\n", "answer", 1, 200, False),
        ("carriage returns only", b"GET /?page=1 HTTP/1.1\rHost: x\r\r", "silent", 0, 0, False),
        ("three pipelined requests", GET + get("/style.css") + GET, "answer", 3, 200, False),
        ("pipelined garbage between requests",
         GET + b"garbage line\r\n\x01\x02\x03\r\n\r\n" + get("/style.css"), "answer", 2, (200, 405), True),
        ("binary garbage before a request", bytes(range(1, 10)) * 30 + GET, "answer", 1, 400, True),
        ("HTTP/2 connection preface", b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", "answer", 1, 405, True),
        ("unknown method", b"DELETE /?page=1 HTTP/1.1\r\n\r\n", "answer", 1, 405, True),
        ("method in lower case", b"get /?page=1 HTTP/1.1\r\n\r\n", "answer", 1, 405, True),
        ("PUT hiding a GET in its body",
         b"PUT /?page=1 HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(GET) + GET, "answer", 1, 405, True),
        ("OPTIONS", b"OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n", "answer", 1, 405, True),
        ("HEAD, then GET on the same connection",
         b"HEAD /?page=1 HTTP/1.1\r\nHost: x\r\n\r\n" + GET, "answer", 2, 200, False),
        ("request line without version", b"GET /?page=1\r\n\r\n", "answer", 1, 200, False),
        ("doubled spaces in the request line", b"GET  /?page=1  HTTP/1.1\r\n\r\n", "answer", 1, 200, False),
        ("\"..\" out of the web directory", get("/../config/config.cfg"), "answer", 1, 200, False),
        ("\"..\" deeper down", get("/images/../../database/user.db"), "answer", 1, 200, False),
        ("encoded dots", get("/%2e%2e/config/config.cfg"), "answer", 1, 200, False),
        ("encoded dots and slashes", get("/%2E%2E%2Fconfig%2Fconfig.cfg"), "answer", 1, 200, False),
        ("dots with an encoded slash", get("/..%2fconfig/config.cfg"), "answer", 1, 200, False),
        ("\"~\" in the path", get("/~root/.profile"), "answer", 1, 200, False),
        ("absolute URL", get("http://127.0.0.1:1/style.css"), "answer", 1, 200, False),
        ("absolute URL with \"..\"", get("http://127.0.0.1/../../../../etc/passwd"), "answer", 1, 200, False),
        ("double slash to a system file", get("//etc/passwd"), "answer", 1, 200, False),
        ("database file by name", get("/database/user.db"), "answer", 1, 200, False),
        ("original image without a session", get("/images/original/0000000.jpg"), "answer", 1, 200, False),
        ("parameter name of 9000 characters", get("/?page=1&" + "n" * 9000 + "=1"), "answer", 1, 200, False),
        ("session value of 9000 characters", get("/?page=1&session=" + "7" * 9000), "answer", 1, 200, False),
        ("repeated parameters", get("/?page=1&page=0&page=abc&page=&page=1"), "answer", 1, 200, False),
        ("1200 parameters", get("/?page=1&" + "&".join("p%d=1" % i for i in range(1200))), "answer", 1, 200, False),
        ("pieces without or with many \"=\"", get("/?page=1&a==b&=&&&x&==="), "answer", 1, 200, False),
        ("markup in an unknown parameter", get("/?page=1&x=<script>alert(1)</script>"), "answer", 1, 200, False),
        ("markup in the page parameter", get("/?page=<script>alert(1)</script>"), "answer", 1, 200, False),
        ("markup in the path", get("/<script>alert(1)</script>.html"), "answer", 1, 200, False),
        ("markup and quotes in the Cookie header",
         get("/?page=1", b"Cookie: \"><b id=x>'\r\n"), "answer", 1, 200, False),
        ("integers out of range",
         get("/?page=99999999999999999999&Folder.id=-2147483649&pagenum=-1"), "answer", 1, 200, False),
        ("action without a session", get("/?action=10&User.id=0&requestId=1"), "answer", 1, 200, False),
        ("Connection: close", get("/?page=1", b"Connection: close\r\n"), "answer", 1, 200, True),
        ("header line without a blank after the colon", get("/?page=1", b"Foo:bar\r\n"), "answer", 1, 200, False),
        ("header line without a name", get("/?page=1", b": empty\r\n"), "answer", 1, 400, True),
        ("header line without a colon", get("/?page=1", b"novalue\r\n"), "answer", 1, 400, True),
        ("folded header line", get("/?page=1", b"X-A: 1\r\n Content-Length: 5\r\n"), "answer", 1, 400, True),
        ("no Host header", b"GET /?page=1 HTTP/1.0\r\n\r\n", "answer", 1, 200, False),
        ("Expect: 100-continue with its body",
         b"POST /?page=1 HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\nabc", "answer", 1, 200, False),
        ("form body with markup, no upload",
         b"POST /?page=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         b"Content-Length: 27\r\n\r\nx=<script>alert(1)</script>", "answer", 1, 200, False),
    ]


def run_row(port, row):
    name, raw, outcome, count, status, closes = row
    wait = 1.0 if outcome == "silent" else 3.0
    responses, closed = kit.exchange(port, raw, expect=max(count, 1), timeout=wait,
                                     quiet=0.3, heads=1 if raw.startswith(b"HEAD ") else 0)
    problems = []
    if len(responses) != count:
        problems.append("%d responses, %d expected" % (len(responses), count))
    statuses = status if isinstance(status, tuple) else (status,) * len(responses)
    for r, wanted in zip(responses, statuses):
        if r.status != wanted:
            problems.append("status %d, %d expected" % (r.status, wanted))
        for leak in LEAKS:
            if leak in r.body:
                problems.append("the answer holds %r" % leak)
    if outcome == "closed" or closes:
        if not closed:
            problems.append("the connection stayed open")
    elif closed:
        problems.append("the connection was closed")
    seen = "%d answer%s%s" % (len(responses), "" if len(responses) == 1 else "s",
                              " (%s)" % ",".join(str(r.status) for r in responses) if responses else "")
    seen += ", closed" if closed else ", open"
    return problems, seen


def main():
    binary = sys.argv[1]
    port = kit.free_port()
    root = kit.Root(port)
    server = kit.Server(binary, root, port)
    failures = []
    table = []
    try:
        server.start()
        for row in rows():
            problems, seen = run_row(port, row)
            if not server.alive():
                problems.append("the server ended")
                failures.append((row[0], problems))
                break
            try:
                elapsed = kit.normal_request_ok(port, timeout=3.0)
                check_time = "%.0f ms" % (elapsed * 1000)
            except (kit.KitFailure, OSError) as e:
                problems.append("no normal answer afterwards: %s" % e)
                check_time = "-"
            statuses = row[4] if isinstance(row[4], tuple) else (row[4],)
            expected = row[2] if row[2] != "answer" else "answer %d (%s)%s" % (
                row[3], ",".join(str(x) for x in statuses), ", closed" if row[5] else "")
            table.append((row[0], len(row[1]), expected, seen, check_time,
                          "ok" if not problems else "FAIL"))
            if problems:
                failures.append((row[0], problems))
        kit.report_table("Bad requests: %d rows" % len(table),
                         ("request", "bytes", "outcome expected", "seen", "next request", ""), table)
        server.stop()
    finally:
        if server.alive():
            server.kill()
        root.remove()
    if failures:
        for name, problems in failures:
            print("FAIL %s: %s" % (name, "; ".join(problems)))
        print("%d passed, %d failed" % (len(table) - len(failures), len(failures)))
        return 1
    print("%d passed, 0 failed" % len(table))
    return 0


if __name__ == "__main__":
    sys.exit(main())
