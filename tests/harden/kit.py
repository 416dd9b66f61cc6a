"""Shared pieces of the hardening kit: a root directory for a test, the real server as a
child process, raw sockets and a small HTTP client, sessions, and readers of the four record
files. Only the standard library is used."""

import contextlib
import os
import random
import resource
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The directories of the image store: the original, the two previews, the large one at twice
# its pixels and the screen-sized picture of the viewer (webapp/GImageStore); an upload
# makes a file in each.
STORE_DIRECTORIES = ("original", "preview1", "preview2", "preview2x", "screen")
ADMIN = ("admin", "tarbo")

# What a sanitizer prints when it finds a fault in the server.
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "ERROR: UndefinedBehaviorSanitizer")


def is_sanitizer_build(binary):
    with open(binary, "rb") as f:
        return b"AddressSanitizer" in f.read()


class KitFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise KitFailure(message)


def is_sanitizer_build(binary):
    """Whether the executable was built with the sanitizers, which make it several times
    slower and larger."""
    with open(binary, "rb") as f:
        data = f.read()
    # The runtime is linked in, or (GCC's default) a shared library the program calls.
    return b"AddressSanitizer" in data or b"__asan_init" in data


def free_port():
    """A port nobody listens on, taken below the range the system hands out to outgoing
    connections: a port of that range may become some client's own between this test and
    the server's start (floods elsewhere on the machine), and the server could not bind it."""
    low = 32768
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            low = int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        pass
    for _ in range(100):
        port = random.randint(min(10000, low // 2), low - 1)
        s = socket.socket()
        try:
            s.bind(("127.0.0.1", port))
            return port
        except OSError:
            continue
        finally:
            s.close()
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def convert_program():
    # ImageMagick's own program, not a wrapper of the same name earlier in PATH.
    for name in ("/usr/bin/convert", "/usr/bin/magick"):
        if os.path.exists(name):
            return name
    return "convert"


class Root:
    """A root directory made from root-template with its own configuration values."""

    def __init__(self, port, values=None, keep=False):
        self.path = tempfile.mkdtemp(prefix="vistrel-harden-")
        self.keep = keep
        template = os.path.join(REPO, "root-template")
        shutil.copytree(os.path.join(template, "config"), os.path.join(self.path, "config"))
        shutil.copytree(os.path.join(template, "web"), os.path.join(self.path, "web"))
        for d in ("database",) + tuple("images/" + s for s in STORE_DIRECTORIES):
            os.makedirs(os.path.join(self.path, d), exist_ok=True)
        settings = {"server.port": str(port)}
        settings.update(values or {})
        name = os.path.join(self.path, "config", "config.cfg")
        with open(name, encoding="latin-1") as f:
            lines = f.read().splitlines()
        out = []
        for line in lines:
            m = re.match(r"^\[([^\]]*)\]", line)
            if m and m.group(1) in settings:
                line = "[%s][%s]" % (m.group(1), settings.pop(m.group(1)))
            out.append(line)
        for key, value in settings.items():
            out.append("[%s][%s]" % (key, value))
        with open(name, "w", encoding="latin-1") as f:
            f.write("\n".join(out) + "\n")

    def file(self, relative):
        return os.path.join(self.path, relative)

    def store_files(self):
        """Every file of the image store, as paths relative to images/."""
        found = []
        for d in STORE_DIRECTORIES:
            for name in sorted(os.listdir(self.file("images/" + d))):
                found.append(d + "/" + name)
        return found

    def remove(self):
        if not self.keep:
            shutil.rmtree(self.path, ignore_errors=True)


class Server:
    """The real executable serving a root, as a child process; with a prefix, the command
    that runs it (the executable and the root follow it as its last two arguments)."""

    def __init__(self, binary, root, port, prefix=()):
        self.binary = binary
        self.root = root
        self.port = port
        self.prefix = list(prefix)
        self.proc = None
        self.starts = 0

    def start(self, timeout=30.0):
        self.starts += 1
        self.out = open(self.root.file("server-%d.out" % self.starts), "wb")
        self.err = open(self.root.file("server-%d.err" % self.starts), "wb")
        env = dict(os.environ)
        # Under the sanitizers a server killed on purpose must not be mistaken for a fault.
        env.setdefault("ASAN_OPTIONS", "detect_leaks=1")
        self.proc = subprocess.Popen(self.prefix + [self.binary, self.root.path], stdout=self.out,
                                     stderr=self.err, stdin=subprocess.DEVNULL, env=env)
        end = time.time() + timeout
        while time.time() < end:
            # A failure of the start is printed to standard output (a port taken, say).
            check(self.proc.poll() is None,
                  "the server ended at start-up (exit %s): %s%s" % (
                      self.proc.returncode, self.stderr_text()[-2000:],
                      self.stdout_text()[-2000:]))
            try:
                s = socket.create_connection(("127.0.0.1", self.port), timeout=1.0)
                s.close()
                return
            except OSError:
                time.sleep(0.05)
        raise KitFailure("the server did not listen within %.0f s" % timeout)

    @property
    def pid(self):
        return self.proc.pid

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stderr_text(self):
        try:
            with open(self.root.file("server-%d.err" % self.starts), "rb") as f:
                return f.read().decode("latin-1")
        except OSError:
            return ""

    def stdout_text(self):
        try:
            with open(self.root.file("server-%d.out" % self.starts), "rb") as f:
                return f.read().decode("latin-1")
        except OSError:
            return ""

    def sanitizer_report(self):
        text = self.stderr_text() + self.stdout_text()
        for mark in SANITIZER_MARKS:
            if mark in text:
                i = text.index(mark)
                return text[max(0, i - 200):i + 3000]
        return None

    def kill(self):
        if self.alive():
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self.out.close()
        self.err.close()

    def stop(self, timeout=30.0):
        """Ends the server as an operator would (SIGTERM) and fails on an unclean end or a
        sanitizer report."""
        check(self.alive(), "the server is not running (exit %s)" %
              (self.proc.returncode if self.proc else None))
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise KitFailure("the server did not end within %.0f s of SIGTERM" % timeout)
        self.out.close()
        self.err.close()
        report = self.sanitizer_report()
        check(report is None, "sanitizer report from the server:\n%s" % report)
        check(code == 0, "the server ended with exit code %s" % code)

    def rss_kb(self):
        with open("/proc/%d/status" % self.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def open_files(self):
        return len(os.listdir("/proc/%d/fd" % self.pid))


# ---------------------------------------------------------------------------------------
# HTTP

class Response:
    def __init__(self, status, reason, headers, body):
        self.status = status
        self.reason = reason
        self.headers = headers
        self.body = body

    def header(self, name):
        for k, v in self.headers:
            if k.lower() == name.lower():
                return v
        return None

    @property
    def text(self):
        return self.body.decode("latin-1")


def parse_response(data, to_head=False):
    """One response from the start of data: (Response, rest), or (None, data) when it is
    incomplete. An answer to HEAD has no body, whatever its Content-Length says."""
    end = data.find(b"\r\n\r\n")
    if end < 0:
        return None, data
    head = data[:end].decode("latin-1").split("\r\n")
    m = re.match(r"^(HTTP/\S*|\S*) (\d+) ?(.*)$", head[0])
    status = int(m.group(2)) if m else -1
    reason = m.group(3) if m else head[0]
    headers = []
    for line in head[1:]:
        if ": " in line:
            k, v = line.split(": ", 1)
            headers.append((k, v))
    length = 0
    for k, v in headers:
        if k.lower() == "content-length" and not to_head:
            length = int(v)
    if len(data) < end + 4 + length:
        return None, data
    body = data[end + 4:end + 4 + length]
    return Response(status, reason, headers, body), data[end + 4 + length:]


def exchange(port, raw, expect=1, timeout=5.0, quiet=0.5, heads=0):
    """Sends raw bytes on a new connection and reads what comes back. Returns (responses,
    closed): the complete responses that arrived, and whether the server closed the
    connection. Reading stops when the server closes, when `expect` responses have come and
    nothing more arrives for `quiet` seconds, or after `timeout` seconds. The first `heads`
    responses answer HEAD requests."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        try:
            s.sendall(raw)
        except OSError:
            pass  # the server may close while a long request is still going out
        data = b""
        responses = []
        closed = False
        end = time.time() + timeout
        while time.time() < end:
            wait = min(end - time.time(), quiet if len(responses) >= expect else 0.2)
            s.settimeout(max(wait, 0.01))
            try:
                chunk = s.recv(65536)
            except socket.timeout:
                if len(responses) >= expect:
                    break
                continue
            except ConnectionResetError:
                closed = True
                break
            if not chunk:
                closed = True
                break
            data += chunk
            while True:
                r, data = parse_response(data, len(responses) < heads)
                if r is None:
                    break
                responses.append(r)
        return responses, closed
    finally:
        s.close()


class Connection:
    """A keep-alive connection for ordinary requests; from the loopback address `source`
    (127.x.y.z) when one is given, as a browser elsewhere would come."""

    def __init__(self, port, timeout=20.0, source=None):
        self.port = port
        self.timeout = timeout
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout,
                                             source_address=(source, 0) if source else None)
        self.pending = b""

    def close(self):
        self.sock.close()

    def send(self, raw):
        self.sock.sendall(raw)
        end = time.time() + self.timeout
        while True:
            r, self.pending = parse_response(self.pending)
            if r is not None:
                return r
            check(time.time() < end, "no answer within %.0f s" % self.timeout)
            chunk = self.sock.recv(65536)
            check(chunk, "the server closed the connection")
            self.pending += chunk

    def get(self, target, headers=()):
        raw = "GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n" % target
        for h in headers:
            raw += h + "\r\n"
        return self.send(raw.encode("latin-1") + b"\r\n")

    def post(self, target, content_type, body, headers=()):
        raw = "POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: %s\r\nContent-Length: %d\r\n" % (
            target, content_type, len(body))
        for h in headers:
            raw += h + "\r\n"
        return self.send(raw.encode("latin-1") + b"\r\n" + body)


def get(port, target, headers=(), timeout=20.0):
    c = Connection(port, timeout)
    try:
        return c.get(target, headers)
    finally:
        c.close()


def quote(value):
    """URL-encodes a text or bytes value the way the pages' script does (everything but
    letters, digits and - _ . ~)."""
    if isinstance(value, str):
        value = value.encode("utf-8")
    out = []
    for b in value:
        c = chr(b)
        if c.isascii() and (c.isalnum() or c in "-_.~"):
            out.append(c)
        else:
            out.append("%%%02X" % b)
    return "".join(out)


def query(params):
    return "/?" + "&".join("%s=%s" % (quote(k), quote(v)) for k, v in params)


def normal_request_ok(port, timeout=5.0):
    """A plain browser request on a new connection: the login page, answered in time."""
    started = time.time()
    r = get(port, "/?page=1", timeout=timeout)
    check(r.status == 200 and b"<HTML>" in r.body.upper(),
          "the normal request got status %s" % r.status)
    return time.time() - started


GUEST_SESSION = "5072913846"
FORM = "application/x-www-form-urlencoded"
# Fields the pages only ever post in a form body: the server refuses them in a URL.
FORM_ONLY = ("username", "password", "User.password1", "User.password2", "Link.password")


def session_cookie(response):
    """The cookie secret that the answer's Set-Cookie hands out, "" without one (the bare
    value of earlier versions counts too, so that the kit can measure them)."""
    cookie = (response.header("Set-Cookie") or "").split(";")[0].strip()
    prefix = "vistrel_session="
    if cookie.startswith(prefix):
        return cookie[len(prefix):]
    return cookie if cookie.isdigit() else ""


GUEST_ID = GUEST_SESSION


def session_link(body):
    """The first session identifier in the links of a page other than the guest's, "" without
    one."""
    for m in re.finditer(rb"session=(\d+)", body):
        if m.group(1).decode() != GUEST_SESSION:
            return m.group(1).decode()
    return ""


def form_body(params):
    """A form body (application/x-www-form-urlencoded) of the pairs."""
    return "&".join("%s=%s" % (quote(k), quote(v)) for k, v in params).encode("latin-1")


form = form_body


def log_in(conn, username, password, headers=()):
    """Posts the login form over the connection, as a browser does (a name or a password in
    the URL is refused): (response, session identifier, Cookie header line), the last two ""
    when the login failed."""
    r = conn.post(query([("session", GUEST_SESSION), ("page", "1"), ("action", "16"),
                         ("requestId", Session.next_request())]),
                  FORM, form_body([("username", username), ("password", password)]), headers)
    secret = session_cookie(r)
    if not secret:
        return r, "", ""
    return r, session_link(r.body), "Cookie: vistrel_session=" + secret


class Session:
    """A logged-in browser: the session identifier in its links, the cookie it sends with
    every request, and a fresh request number for every action."""

    counter = 1000000

    def __init__(self, port, username, password):
        self.port = port
        self.conn = Connection(port)
        r, self.id, self.cookie = log_in(self.conn, username, password)
        check(self.id, "the login of %r failed (status %s)" % (username, r.status))

    @classmethod
    def opened_by(cls, admin, session_id):
        """A session the administrator opened as another user: the administrator's browser,
        whose cookie counts for it."""
        opened = cls.__new__(cls)
        opened.port, opened.id, opened.cookie = admin.port, session_id, admin.cookie
        opened.conn = Connection(admin.port)
        return opened

    @property
    def headers(self):
        return [self.cookie] if self.cookie else []

    @classmethod
    def next_request(cls):
        cls.counter += 1
        return str(cls.counter)

    def page(self, page, params=()):
        return self.conn.get(query([("session", self.id), ("page", str(page))] + list(params)),
                             self.headers)

    def action(self, action, params=(), page=None):
        """Sends the action as the pages do: a link, or, when it carries a password, a posted
        form with the fields in its body."""
        p = [("session", self.id)]
        if page is not None:
            p.append(("page", str(page)))
        p += [("action", str(action)), ("requestId", self.next_request())]
        params = list(params)
        if any(k in FORM_ONLY for k, _ in params):
            return self.conn.post(query(p), FORM, form_body(params), self.headers)
        return self.conn.get(query(p + params), self.headers)

    def upload(self, filename, data, page=110, extra=()):
        boundary = "----vistrelharden%d" % int(time.time() * 1000)
        body = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
                "Content-Type: image/jpeg\r\n\r\n" % (boundary, filename)).encode("latin-1")
        body += data + ("\r\n--%s--\r\n" % boundary).encode("latin-1")
        p = [("session", self.id), ("page", str(page)), ("action", "11"),
             ("requestId", self.next_request())] + list(extra)
        return self.conn.post(query(p), "multipart/form-data; boundary=" + boundary, body,
                              self.headers)

    def close(self):
        self.conn.close()


# ---------------------------------------------------------------------------------------
# The record files

USER_SIZE, IMAGE_SIZE, FOLDER_SIZE, LINK_SIZE = 208, 472, 120, 20

# (offset, bytes) of the text fields; a field of n bytes keeps at most n - 1 characters
# (the e-mail field n - 2).
USER_TEXTS = {"username": (20, 40), "password": (60, 30), "firstname": (90, 30),
              "lastname": (120, 30), "language": (150, 5), "email": (155, 41)}
IMAGE_TEXTS = {"date": (13, 11), "name": (32, 40), "description": (72, 200),
               "keywords": (272, 200)}
FOLDER_TEXTS = {"name": (16, 100)}


def read_records(path, size):
    with open(path, "rb") as f:
        data = f.read()
    return [data[i:i + size] for i in range(0, len(data) - size + 1, size)]


def text_field(record, offset, length):
    raw = record[offset:offset + length]
    end = raw.find(b"\0")
    return raw if end < 0 else raw[:end]


def check_text_field(record, offset, length, what, limit=None):
    """A text field must end with a zero byte inside the field and be zero-padded."""
    raw = record[offset:offset + length]
    end = raw.find(b"\0")
    check(end >= 0, "%s: no terminating zero" % what)
    if limit is not None:
        check(end <= limit, "%s: %d characters, at most %d" % (what, end, limit))
    check(raw[end:] == b"\0" * (length - end), "%s: not zero-padded" % what)


def int_at(record, offset):
    return struct.unpack_from("<i", record, offset)[0]


def users(root):
    out = []
    for i, r in enumerate(read_records(root.file("database/user.db"), USER_SIZE)):
        if int_at(r, 0) >= 0:
            u = {"index": i, "id": int_at(r, 0), "type": int_at(r, 4), "record": r}
            for k, (o, n) in USER_TEXTS.items():
                u[k] = text_field(r, o, n)
            out.append(u)
    return out


def images(root):
    out = []
    for i, r in enumerate(read_records(root.file("database/image.db"), IMAGE_SIZE)):
        if int_at(r, 0) >= 0:
            img = {"index": i, "id": int_at(r, 0), "user": int_at(r, 8), "status": r[12],
                   "width": struct.unpack_from("<h", r, 24)[0],
                   "height": struct.unpack_from("<h", r, 26)[0], "size": int_at(r, 28),
                   "record": r}
            for k, (o, n) in IMAGE_TEXTS.items():
                img[k] = text_field(r, o, n)
            out.append(img)
    return out


def folders(root):
    out = []
    for i, r in enumerate(read_records(root.file("database/folder.db"), FOLDER_SIZE)):
        if int_at(r, 0) >= 0:
            out.append({"index": i, "id": int_at(r, 0), "parent": int_at(r, 8),
                        "owner": int_at(r, 12), "name": text_field(r, 16, 100), "record": r})
    return out


def links(root):
    out = []
    for r in read_records(root.file("database/folderImage.db"), LINK_SIZE):
        folder, image = int_at(r, 4), int_at(r, 12)
        if folder >= 0 or image >= 0:
            out.append({"folder": folder, "user": int_at(r, 8), "image": image, "status": r[16]})
    return out


def check_database(root):
    """Every record in use is whole: its id is its number, its texts are terminated and
    padded, its flags and statuses are in range; every link joins an image and a folder
    that exist; every image has its files (STORE_DIRECTORIES) and the store holds no
    other file. Returns
    the numbers of records in use."""
    for name, size in (("user.db", USER_SIZE), ("image.db", IMAGE_SIZE),
                       ("folder.db", FOLDER_SIZE), ("folderImage.db", LINK_SIZE)):
        path = root.file("database/" + name)
        check(os.path.exists(path), "%s is missing" % name)
    us, ims, fos, lis = users(root), images(root), folders(root), links(root)
    for u in us:
        check(u["id"] == u["index"], "user record %d holds id %d" % (u["index"], u["id"]))
        r = u["record"]
        for k, (o, n) in USER_TEXTS.items():
            check_text_field(r, o, n, "user %d %s" % (u["id"], k))
        for o in (8, 200, 201, 202, 203, 204):
            check(r[o] in (0, 1), "user %d: flag at %d is %d" % (u["id"], o, r[o]))
    for img in ims:
        check(img["id"] == img["index"], "image record %d holds id %d" % (img["index"], img["id"]))
        r = img["record"]
        for k, (o, n) in IMAGE_TEXTS.items():
            check_text_field(r, o, n, "image %d %s" % (img["id"], k))
        check(img["status"] in (0, 1, 2), "image %d: status %d" % (img["id"], img["status"]))
        check(img["width"] > 0 and img["height"] > 0 and img["size"] > 0,
              "image %d is not complete (%dx%d, %d bytes)" % (img["id"], img["width"],
                                                              img["height"], img["size"]))
        for d in STORE_DIRECTORIES:
            f = root.file("images/%s/%07d.jpg" % (d, img["id"]))
            check(os.path.exists(f), "image %d has no %s file" % (img["id"], d))
        check(os.path.getsize(root.file("images/original/%07d.jpg" % img["id"])) == img["size"],
              "image %d: the original's size differs from the record" % img["id"])
    for fo in fos:
        check(fo["id"] == fo["index"], "folder record %d holds id %d" % (fo["index"], fo["id"]))
        check_text_field(fo["record"], 16, 100, "folder %d name" % fo["id"])
    image_ids = {i["id"] for i in ims}
    folder_ids = {f["id"] for f in fos} | {0}
    for li in lis:
        check(li["image"] in image_ids and li["folder"] in folder_ids,
              "the link of image %d to folder %d points nowhere" % (li["image"], li["folder"]))
        check(li["status"] in (0, 1, 2), "a link has status %d" % li["status"])
    expected = set()
    for i in image_ids:
        for d in STORE_DIRECTORIES:
            expected.add("%s/%07d.jpg" % (d, i))
    stray = sorted(set(root.store_files()) - expected)
    check(not stray, "files in the image store without an image: %s" % stray[:10])
    return {"users": len(us), "images": len(ims), "folders": len(fos), "links": len(lis)}


@contextlib.contextmanager
def served(binary, failures, values=None, scratch=None, prefix=()):
    """A check's server on a fresh root (with configuration values; run by the command
    prefix, see Server) and, when scratch names a prefix, a scratch folder: yields (port,
    root, server, work). A KitFailure inside ends the check as one of its failures; the
    server and the folders always go."""
    port = free_port()
    root = Root(port, values)
    server = Server(binary, root, port, prefix)
    work = tempfile.mkdtemp(prefix=scratch) if scratch else None
    try:
        yield port, root, server, work
    except KitFailure as e:
        failures.append(("kit", [str(e)]))
    finally:
        if server.alive():
            server.kill()
        root.remove()
        if work:
            shutil.rmtree(work, ignore_errors=True)


def summary(count, failures):
    """Prints the failures (name, problems) and the count of passed checks; the exit code."""
    for name, problems in failures:
        print("FAIL %s: %s" % (name, "; ".join(problems)))
    print("%d passed, %d failed" % (count - len(failures), len(failures)))
    return 1 if failures else 0


def report_table(title, header, rows):
    """Prints a table with a title, columns sized to their contents."""
    widths = [len(h) for h in header]
    for row in rows:
        for i, cell in enumerate(row):
            widths[i] = max(widths[i], len(str(cell)))
    print("\n" + title)
    print("  ".join(h.ljust(widths[i]) for i, h in enumerate(header)))
    print("  ".join("-" * w for w in widths))
    for row in rows:
        print("  ".join(str(c).ljust(widths[i]) for i, c in enumerate(row)))


def padded_jpeg(jpeg, size):
    """The JPEG file with comment segments after its start marker, size bytes in all."""
    pad = size - len(jpeg)
    segments = []
    while pad > 0:
        n = min(pad, 65537)
        if 0 < pad - n < 4:
            n -= 4
        segments.append(b"\xff\xfe" + (n - 2).to_bytes(2, "big") + b"\0" * (n - 4))
        pad -= n
    return jpeg[:2] + b"".join(segments) + jpeg[2:]


def jpeg_size(data):
    """(width, height, components) from the frame header of a JPEG file, None when there
    is none."""
    i = 2
    if data[:2] != b"\xff\xd8":
        return None
    while i + 9 < len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        if marker == 0xFF:
            i += 1
            continue
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2, 0xC3, 0xC9, 0xCA, 0xCB):
            h, w = struct.unpack(">HH", data[i + 5:i + 9])
            return w, h, data[i + 9]
        i += 2 + length
    return None


def set_jpeg_size(data, width, height):
    """The file with other dimensions written into its frame header."""
    i = 2
    while i + 9 < len(data):
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            return data[:i + 5] + struct.pack(">HH", height, width) + data[i + 9:]
        i += 2 + length
    raise KitFailure("no frame header")


def make_user(admin, root, name, password="secret", upload=True, accept=False, limit=1000,
              folder_admin=False, download=True, folder_accept=False, administrator=False):
    """Creates an account through the administrator's actions and returns its id."""
    before = {u["id"] for u in users(root)}
    admin.action(7)
    made = sorted({u["id"] for u in users(root)} - before)
    check(len(made) == 1, "the administrator could not create an account")
    uid = made[0]
    flag = lambda b: "1" if b else "0"
    admin.action(8, [("User.id", str(uid)), ("User.username", name),
                     ("User.password1", password), ("User.password2", password),
                     ("User.firstname", "First"), ("User.lastname", "Last"),
                     ("User.email", "x@example.org"), ("User.enabled", "1"),
                     ("User.type", flag(administrator)), ("User.folderAdmin", flag(folder_admin)),
                     ("User.imageAccept", flag(accept)), ("User.folderAccept", flag(folder_accept)),
                     ("User.imageDownload", flag(download)), ("User.imageUpload", flag(upload)),
                     ("User.imageLimit", str(limit))])
    stored = [u for u in users(root) if u["id"] == uid][0]
    check(stored["username"] == name.encode("utf-8")[:39], "the account %r was not stored" % name)
    return uid


def raise_file_limit(need):
    """Raises this process's limit of open files towards need (floods open many sockets)."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < need:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(need, hard), hard))


def noise_jpeg(work, name, size):
    """The bytes of a JPEG of random noise of the size ("400x300"), made in work: noise keeps
    the file large for its pixels."""
    path = os.path.join(work, name)
    subprocess.run([convert_program(), "-size", size, "xc:gray", "+noise", "Random",
                    "-quality", "92", path], check=True)
    with open(path, "rb") as f:
        return f.read()
