"""Hostile values in every field a user can type, through the real server's actions, and
every page looked at afterwards by the user who typed them, by another user and by the
administrator.

Fields: user name, password, first and last name, e-mail (own account and the user
administration), folder names (create and update), image name, keywords, description and
date, search words, language code. Values: markup, quotes for attributes and scripts, "&"
and character references, "%", control characters, non-ASCII bytes (UTF-8 and invalid),
1500 characters in every field and 9000 in one, and 10,000 characters (more than a request line may hold: that request is
refused and nothing changes).

Checks: each value is stored cut to its field as the record layout says (a zero-terminated,
zero-padded text of at most n-1 bytes), the password only as its hash; a user name and the
whole password typed this way log in; no
page of any session holds the markup unescaped or a quote that leaves its script string,
every HTML page is answered whole (no failure page, ends with </HTML>), and the server ends
cleanly.

usage: bad_input.py <vistrel executable>"""

import re
import subprocess
import sys
import tempfile

import kit

PAYLOADS = [
    ("markup", "<script>alert(1)</script><b id=x>"),
    ("quotes", "q\"onfocus=\"evil(1)'x';evil(2);'"),
    ("ampersands", "a&b&amp;&#60;&lt;c"),
    ("percent", "100% %zz %41 %"),
    ("control characters", "a\x01b\x07c\x1bd\te\rf\ng\x7f"),
    ("UTF-8 letters", "Gr\u00fc\u00dfe \u6771\u4eac \u2603"),
    ("invalid UTF-8", b"\xff\xfe\xe4\x80 bad \xc3"),
    ("1500 characters in every field", "L" * 1499 + "<"),
]
TOO_LONG = "M" * 10000

# Raw texts that may appear only if a value went into a page unescaped.
RAW = [b"<script>alert(1)", b"<b id=x>", b"\"onfocus=\"evil", b"';evil(2);'"]
# Inside an event attribute a quote must reach the script as \' : an HTML reference alone is
# undone by the browser before the script runs.
EVENT = re.compile(rb'\son\w+="([^"]*)"', re.IGNORECASE)
EVENT_BREAK = re.compile(rb"(?<!\\)&#39;;evil\(2\)|(?<!\\)';evil\(2\)")

PAGES = [0, 1, 2, 3, 4, 5, 6, 100, 106, 107, 108, 109, 110, 111, 300, 301, 302, 303, 304, 305,
         400, 401, 402, 404, 405, 406, 407, 408, 600, 601, 700, 701, 702, 703, 704, 900, 901,
         902, 903, 904, 905, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007]


def raw(value):
    return value if isinstance(value, bytes) else value.encode("utf-8")


def cut(value, n):
    """The value as stored in a field of n bytes: cut before a UTF-8 letter that would not
    fit whole; bytes that are no well-formed UTF-8 where the cut falls are cut at n."""
    b = raw(value)
    if len(b) <= n or n == 0 or not 0x80 <= b[n] <= 0xBF:
        return b[:n]
    lead = n - 1
    while lead > 0 and n - lead < 4 and 0x80 <= b[lead] <= 0xBF:
        lead -= 1
    first = b[lead]
    size = 2 if 0xC2 <= first <= 0xDF else 3 if 0xE0 <= first <= 0xEF else 4 if 0xF0 <= first <= 0xF4 else 1
    if size < 2 or lead + size <= n or lead + size > len(b):
        return b[:n]
    if any(not 0x80 <= c <= 0xBF for c in b[lead + 1:lead + size]):
        return b[:n]
    return b[:lead]


def page_problems(body, content_type):
    problems = []
    if not content_type.startswith("text/html"):
        return problems
    for marker in RAW:
        if marker in body:
            problems.append("raw %r" % marker)
    for attr in EVENT.findall(body):
        if EVENT_BREAK.search(attr):
            problems.append("a quote leaves its script string: %r" % attr[:120])
    if b"Operation failed" in body:
        problems.append("a failure page")
    if body.strip() and not body.rstrip().upper().endswith(b"</HTML>"):
        problems.append("the page does not end with </HTML>")
    return problems


def main():
    binary = sys.argv[1]
    port = kit.free_port()
    root = kit.Root(port)
    server = kit.Server(binary, root, port)
    failures = []
    table = []
    pages_seen = 0
    try:
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        hid = kit.make_user(admin, root, "hostile", "h", accept=True, folder_admin=True,
                            folder_accept=True)
        vid = kit.make_user(admin, root, "victim", "v")
        hostile = kit.Session(port, "hostile", "h")
        victim = kit.Session(port, "victim", "v")

        # An image and a folder of the hostile user, accepted and published, so that their
        # texts reach the other users' pages.
        work = tempfile.mkdtemp(prefix="vistrel-input-")
        picture = work + "/p.jpg"
        subprocess.run([kit.convert_program(), "-size", "64x48", "xc:blue", picture], check=True)
        with open(picture, "rb") as f:
            hostile.upload("p.jpg", f.read())
        kit.shutil.rmtree(work, ignore_errors=True)
        iid = [i["id"] for i in kit.images(root) if i["user"] == hid][0]
        # Folders below the root are the administrator's to make; two are handed over.
        made = []
        for name, image_folder in (("start", "1"), ("box", "0")):
            before = {f["id"] for f in kit.folders(root)}
            admin.action(0, [("Folder.parent", "0"), ("Folder.name", name),
                             ("Folder.imageFolder", image_folder)])
            fid_new = sorted({f["id"] for f in kit.folders(root)} - before)[0]
            admin.action(1, [("Folder.id", str(fid_new)), ("Folder.parent", "0"), ("Folder.name", name),
                             ("Folder.imageFolder", image_folder), ("Folder.enabled", "1"),
                             ("Folder.ownerId", str(hid))])
            made.append(fid_new)
        fid, box = made
        admin.action(14, [("Image.id", str(iid)), ("User.id", str(hid))])
        hostile.action(3, [("Folder.id", str(fid)), ("Image.id", str(iid))])
        admin.action(5, [("Folder.id", str(fid)), ("Image.id", str(iid))])
        kit.check([l for l in kit.links(root) if l["image"] == iid and l["status"] == 1],
                  "the image could not be published")

        for k, (label, value) in enumerate(PAYLOADS):
            problems = []
            username = raw("u%d" % k) + raw(value)
            password = raw(value)
            hostile.action(9, [("User.id", str(hid)), ("User.username", username),
                               ("User.password1", password), ("User.password2", password),
                               ("User.firstname", value), ("User.lastname", value),
                               ("User.email", value)], page=107)
            admin.action(8, [("User.id", str(vid)), ("User.username", "victim"),
                             ("User.password1", "v"), ("User.password2", "v"),
                             ("User.firstname", value), ("User.lastname", value),
                             ("User.email", value), ("User.enabled", "1"), ("User.type", "0"),
                             ("User.imageUpload", "1"), ("User.imageDownload", "1"),
                             ("User.imageLimit", "10")], page=304)
            # A new password ends the victim's sessions: the victim logs in again.
            victim.close()
            victim = kit.Session(port, "victim", "v")
            hostile.action(1, [("Folder.id", str(fid)), ("Folder.parent", "0"), ("Folder.name", value),
                               ("Folder.imageFolder", "1"), ("Folder.enabled", "1")], page=904)
            hostile.action(0, [("Folder.parent", str(box)), ("Folder.name", value),
                               ("Folder.imageFolder", "0")], page=904)
            hostile.action(13, [("Image.id", str(iid)), ("Image.name", value), ("Image.keywords", value),
                                ("Image.description", value), ("Image.imageDate", value)], page=108)
            hostile.action(18, [("Search.words", value)], page=703)
            victim.action(18, [("Search.words", value)], page=703)
            hostile.action(19, [("language", value)], page=1)

            # Stored cut to the field.
            u = [x for x in kit.users(root) if x["id"] == hid][0]
            for field, want in (("username", cut(username, 39)),
                                ("firstname", cut(value, 29)), ("lastname", cut(value, 29)),
                                ("email", cut(value, 39))):
                if u[field] != want:
                    problems.append("user %s stored as %r" % (field, u[field][:60]))
            # The password only as its hash: the marker, 29 characters, nothing of the text.
            stored = u["password"]
            if not re.fullmatch(rb"\$1[A-Za-z0-9_-]{27}", stored) or cut(password, 29)[:8] in stored:
                problems.append("user password stored as %r" % stored[:60])
            v = [x for x in kit.users(root) if x["id"] == vid][0]
            if v["firstname"] != cut(value, 29):
                problems.append("the victim's first name stored as %r" % v["firstname"][:60])
            img = [x for x in kit.images(root) if x["id"] == iid][0]
            for field, n in (("name", 39), ("keywords", 199), ("description", 199), ("date", 10)):
                if img[field] != cut(value, n):
                    problems.append("image %s stored as %r" % (field, img[field][:60]))
            names = [f["name"] for f in kit.folders(root)]
            if names.count(cut(value, 99)) < 2:
                problems.append("folder names stored as %r" % names[-2:])

            # The typed user name and the whole typed password log in.
            try:
                again = kit.Session(port, cut(username, 39), password)
                again.close()
            except kit.KitFailure as e:
                problems.append("no login with the typed name and password: %s" % e)

            # Every page of the three sessions; the markup must be seen escaped on some page of
            # each, or the check would look at pages that do not show the values at all.
            for who, session in (("hostile", hostile), ("victim", victim), ("admin", admin)):
                shown = False
                for page in PAGES:
                    r = session.page(page, [("Folder.id", str(fid)), ("Image.id", str(iid)),
                                            ("User.id", str(hid)), ("pagenum", "1")])
                    pages_seen += 1
                    if r.status != 200:
                        problems.append("%s page %d: status %d" % (who, page, r.status))
                    for p in page_problems(r.body, r.header("Content-Type") or ""):
                        problems.append("%s page %d: %s" % (who, page, p))
                    shown = shown or b"&lt;script&gt;alert(1)" in r.body
                if label == "markup" and not shown:
                    problems.append("no page of %s shows the value" % who)
            table.append((label, len(raw(value)), "ok" if not problems else "FAIL"))
            if problems:
                failures.append((label, problems[:12]))

        # 9000 characters in one field: it fits a request line and is stored cut.
        long_name = "N" * 9000
        hostile.action(1, [("Folder.id", str(fid)), ("Folder.parent", "0"), ("Folder.name", long_name),
                           ("Folder.imageFolder", "1"), ("Folder.enabled", "1")], page=904)
        stored = [f["name"] for f in kit.folders(root) if f["id"] == fid][0]
        ok = stored == b"N" * 99
        table.append(("9000 characters in one field", len(long_name), "ok" if ok else "FAIL"))
        if not ok:
            failures.append(("9000 characters in one field", ["stored as %r" % stored[:120]]))

        # 10,000 characters do not fit a request line: the request is refused (414 and the
        # connection closed), nothing changes.
        before = open(root.file("database/user.db"), "rb").read()
        responses, closed = kit.exchange(port, ("GET %s HTTP/1.1\r\n\r\n" % kit.query(
            [("session", hostile.id), ("action", "9"), ("requestId", "1"), ("User.id", str(hid)),
             ("User.username", "long"), ("User.firstname", TOO_LONG)])).encode(), timeout=3)
        after = open(root.file("database/user.db"), "rb").read()
        ok = closed and [r.status for r in responses] == [414] and before == after
        table.append(("10,000 characters", len(TOO_LONG), "ok" if ok else "FAIL"))
        if not ok:
            failures.append(("10,000 characters", ["answers %s, %s" % (
                [r.status for r in responses], "stored" if before != after else "not stored")]))

        counts = kit.check_database(root)
        kit.report_table("Bad input: %d values in 14 fields, %d pages checked, records whole (%s)" % (
            len(table), pages_seen, counts), ("value", "bytes", ""), table)
        for s in (hostile, victim, admin):
            s.close()
        server.stop()
    except kit.KitFailure as e:
        failures.append(("kit", [str(e)]))
    finally:
        if server.alive():
            server.kill()
        root.remove()
    for name, problems in failures:
        print("FAIL %s:\n  %s" % (name, "\n  ".join(problems)))
    print("%d passed, %d failed" % (len(table) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
