"""Links for people without an account on the real server: one table of link kind against
the link's state, each row a request of a browser without any session or cookie.

The library: a folder owned by the maker holds one accepted picture (shown), a waiting
image, a publication waiting for the owner's decision and a denied one (never shown, neither
in the grid nor as files). Links are made through the maker's actions; an expired one is
made so by writing its expiry into sharelink.db while the server is stopped (the layout of
db/GDatabase.h). Every answer carries X-Robots-Tag: noindex, Referrer-Policy: no-referrer
and the security headers; an ended link says so and names nothing of what it showed. Wrong
tokens are 404 and count against the address: the next one is throttled (429). A folder
link that takes contributions stores each picture as the maker's, waiting for acceptance,
marked with the link and the contributor, published in the folder (shown once accepted),
up to the day's limit per link; a file that is no picture does not count. The plain
addresses /?folder=<id> and /?image=<id> open the frame set there, after the login too.

usage: share_links.py <vistrel executable>"""

import os
import re
import struct
import subprocess
import sys
import time

import kit

LINK_SIZE = 128
TOKEN = re.compile(rb"/s/([A-Za-z0-9_-]{22})")
FOLDER_NAME = "HolidaySecretFolder"


# The address the password guesses come from.
GUESSER = "127.0.0.7"

def jpeg(work, name, colour):
    path = os.path.join(work, name)
    subprocess.run([kit.convert_program(), "-size", "64x48", "xc:" + colour, path], check=True)
    with open(path, "rb") as f:
        return f.read()


def share_links(root):
    """The records of sharelink.db as dictionaries, by id."""
    out = {}
    for r in kit.read_records(root.file("database/sharelink.db"), LINK_SIZE):
        if kit.int_at(r, 0) >= 0:
            out[kit.int_at(r, 0)] = {"kind": r[4], "state": r[5], "originals": r[6],
                                     "target": kit.int_at(r, 8), "maker": kit.int_at(r, 12),
                                     "expires": struct.unpack_from("<I", r, 36)[0],
                                     "opened": struct.unpack_from("<I", r, 40)[0]}
    return out


def make_link(session, kind, target, extra=()):
    """The token of a new link the session makes (kind 0 folder, 1 picture), "" when none."""
    r = session.action(20, [("Link.kind", str(kind)), ("Link.target", str(target)),
                            ("Link.name", "")] + list(extra), page=1201)
    m = TOKEN.search(r.body)
    return m.group(1).decode() if m else ""


def contribute(port, path, name, data):
    """Posts one file as the contribution form does; the response."""
    boundary = "----vistrellink%d" % int(time.time() * 1000)
    body = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"c.jpg\"\r\n"
            "Content-Type: image/jpeg\r\n\r\n" % boundary).encode("latin-1")
    body += data + ("\r\n--%s--\r\n" % boundary).encode("latin-1")
    conn = kit.Connection(port)
    try:
        return conn.post(path + "/up?" + kit.query([("contributor", name)])[2:],
                         "multipart/form-data; boundary=" + boundary, body)
    finally:
        conn.close()


def new_image(root, before):
    made = sorted({i["id"] for i in kit.images(root)} - before)
    kit.check(len(made) == 1, "an upload stored no image")
    return made[0]


def main():
    binary = sys.argv[1]
    failures = []
    rows = []
    with kit.served(binary, failures, values={"link.contributionsPerDay": "2"},
                    scratch="vistrel-links-") as (port, root, server, work):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        maker_id = kit.make_user(admin, root, "maker", "mk")
        kit.make_user(admin, root, "waiter", "wt", accept=True)
        kit.make_user(admin, root, "asker", "ak", folder_accept=True)
        kit.make_user(admin, root, "nodownload", "nd", download=False)
        gone_id = kit.make_user(admin, root, "gone", "gn")
        maker = kit.Session(port, "maker", "mk")
        waiter = kit.Session(port, "waiter", "wt")
        asker = kit.Session(port, "asker", "ak")
        nodl = kit.Session(port, "nodownload", "nd")
        gone = kit.Session(port, "gone", "gn")

        def folder(name, owner):
            admin.action(0, [("Folder.parent", "0"), ("Folder.name", name),
                             ("Folder.imageFolder", "1")])
            fid = max(f["id"] for f in kit.folders(root))
            admin.action(1, [("Folder.id", str(fid)), ("Folder.parent", "0"),
                             ("Folder.name", name), ("Folder.imageFolder", "1"),
                             ("Folder.enabled", "1"), ("Folder.ownerId", str(owner))])
            return fid

        def upload(session, name, colour):
            before = {i["id"] for i in kit.images(root)}
            data = jpeg(work, name, colour)
            session.upload(name, data)
            return new_image(root, before), data

        shared = folder(FOLDER_NAME, maker_id)
        doomed = folder("Doomed", maker_id)
        shown, shown_data = upload(maker, "shown.jpg", "red")
        waiting, _ = upload(waiter, "waiting.jpg", "blue")
        asked, _ = upload(asker, "asked.jpg", "green")
        denied, _ = upload(asker, "denied.jpg", "yellow")
        lone, _ = upload(maker, "lone.jpg", "white")
        nodl_pic, _ = upload(nodl, "nodl.jpg", "gray")
        gone_pic, _ = upload(gone, "gone.jpg", "black")
        maker.action(3, [("Folder.id", str(shared)), ("Image.id", str(shown))])
        waiter.action(3, [("Folder.id", str(shared)), ("Image.id", str(waiting))])
        asker.action(3, [("Folder.id", str(shared)), ("Image.id", str(asked))])
        asker.action(3, [("Folder.id", str(shared)), ("Image.id", str(denied))])
        admin.action(6, [("Folder.id", str(shared)), ("Image.id", str(denied))])
        statuses = {(l["folder"], l["image"]): l["status"] for l in kit.links(root)}
        kit.check(statuses.get((shared, asked)) == 0 and statuses.get((shared, denied)) == 2 and
                  [i["status"] for i in kit.images(root) if i["id"] == waiting] == [0],
                  "the folder does not hold a waiting image, a waiting and a denied publication")

        tokens = {
            "folder": make_link(maker, 0, shared),
            "folder, originals": make_link(maker, 0, shared, [("Link.originals", "1")]),
            "picture": make_link(maker, 1, lone),
            "picture, originals": make_link(maker, 1, lone, [("Link.originals", "1")]),
            "picture, originals without the right": make_link(nodl, 1, nodl_pic,
                                                              [("Link.originals", "1")]),
            "picture waiting": make_link(waiter, 1, waiting),
            "folder expired": make_link(maker, 0, shared, [("Link.expiry", "1")]),
            "folder ended": make_link(maker, 0, shared),
            "folder deleted": make_link(maker, 0, doomed),
            "picture deleted": make_link(maker, 1, shown),
            "maker deleted": make_link(gone, 1, gone_pic),
            "folder, password": make_link(maker, 0, shared, [("Link.password", "pw-right")]),
            "picture, password": make_link(maker, 1, lone, [("Link.password", "pw-right")]),
            "folder, contributions": make_link(maker, 0, shared, [("Link.contributions", "1"),
                                                                  ("Link.name", "Party")]),
        }
        for name, token in tokens.items():
            kit.check(token, "no link was made for %r" % name)
        # Who may not share gets no link: another user's folder, another user's picture.
        kit.check(not make_link(waiter, 0, shared) and not make_link(asker, 1, lone),
                  "a user made a link to what is not theirs")

        ids = {}
        for lid, rec in share_links(root).items():
            ids[lid] = rec
        by_token = {}
        with open(root.file("database/sharelink.db"), "rb") as f:
            data = f.read()
        import base64
        for i in range(len(data) // LINK_SIZE):
            raw = data[i * LINK_SIZE + 16:i * LINK_SIZE + 32]
            by_token[base64.urlsafe_b64encode(raw).rstrip(b"=").decode()] = i
        kit.check(all(t in by_token for t in tokens.values()),
                  "the tokens of the pages are not those of the file")
        kit.check(share_links(root)[by_token[tokens["picture, originals without the right"]]]
                  ["originals"] == 0, "a link allows originals its maker may not download")

        # The maker's list has its own links only, the administrator's every link.
        mine = set(m.decode() for m in TOKEN.findall(maker.page(1200).body))
        every = set(m.decode() for m in TOKEN.findall(admin.page(1200).body))
        maker_tokens = {t for n, t in tokens.items()
                        if n not in ("picture, originals without the right", "picture waiting",
                                     "maker deleted")}
        if mine != maker_tokens or every != set(tokens.values()):
            failures.append(("my links", ["maker lists %d of %d, administrator %d of %d"
                                          % (len(mine & maker_tokens), len(maker_tokens),
                                             len(every), len(tokens))]))

        # The states: ended by its maker, its folder, picture or maker deleted, expired.
        ended_id = by_token[tokens["folder ended"]]
        r = maker.page(1202, [("Link.id", str(ended_id))])
        kit.check(b"endYes" in r.body, "the question before ending a link is missing")
        maker.action(22, [("Link.id", str(ended_id))], page=1200)
        admin.action(2, [("Folder.id", str(doomed))])
        maker.action(12, [("Image.id", str(shown))])
        admin.action(10, [("User.id", str(gone_id))])
        server.stop()
        expired_at = by_token[tokens["folder expired"]] * LINK_SIZE + 36
        with open(root.file("database/sharelink.db"), "r+b") as f:
            f.seek(expired_at)
            f.write(struct.pack("<I", int(time.time()) - 60))
        server.start()

        shown_now = lone  # the folder's accepted picture was deleted above; the lone one stays
        # The folder shows its accepted pictures live: publish the lone picture there now.
        maker = kit.Session(port, "maker", "mk")
        maker.action(3, [("Folder.id", str(shared)), ("Image.id", str(shown_now))])
        with open(root.file("images/original/%07d.jpg" % lone), "rb") as f:
            lone_original = f.read()

        never = [waiting, asked, denied]
        ended = (410, "text/html", [b"This link has ended"], [FOLDER_NAME.encode(), b"/t/", b"/p/"])

        def s(name, rest=""):
            return "/s/" + tokens[name] + rest

        # (link, state, path, status, content type, must contain, must not contain)
        table = [
            ("folder", "valid", s("folder"), 200, "text/html",
             [b"/t/%d" % shown_now, b"Pictures: 1", FOLDER_NAME.encode()],
             [b"/t/%d\"" % p for p in never] + [b"/o/", b"session="]),
            ("folder", "valid, German", s("folder", "?lang=deu"), 200, "text/html",
             [b"Bilder: 1"], []),
            ("folder", "viewer", s("folder", "/v/%d" % shown_now), 200, "text/html",
             [b"/p/%d" % shown_now], [b"/o/"]),
            ("folder", "preview", s("folder", "/t/%d" % shown_now), 200, "image/jpeg",
             [b"\xff\xd8"], []),
        ]
        for p, what in ((waiting, "waiting image"), (asked, "waiting publication"),
                        (denied, "denied publication")):
            for part in ("v", "t", "p", "o"):
                table.append(("folder", what, s("folder", "/%s/%d" % (part, p)), 404,
                              "text/html", [], [b"\xff\xd8"]))
        table += [
            ("folder", "picture of another folder", s("folder", "/p/%d" % nodl_pic), 404,
             "text/html", [], []),
            ("folder", "original not allowed", s("folder", "/o/%d" % shown_now), 403,
             "text/plain", [], [b"\xff\xd8"]),
            ("folder, originals", "original", s("folder, originals", "/o/%d" % shown_now), 200,
             "image/jpeg", [lone_original], []),
            ("folder, originals", "viewer offers it", s("folder, originals", "/v/%d" % shown_now),
             200, "text/html", [b"/o/%d" % shown_now], []),
            ("picture", "valid", s("picture"), 200, "text/html", [b"/p/%d" % lone],
             [b"/o/", b"/t/"]),
            ("picture", "another picture", s("picture", "/p/%d" % nodl_pic), 404, "text/html",
             [], []),
            ("picture", "original not allowed", s("picture", "/o/%d" % lone), 403, "text/plain",
             [], []),
            ("picture, originals", "original", s("picture, originals", "/o/%d" % lone), 200,
             "image/jpeg", [lone_original], []),
            ("picture, originals without the right", "original",
             s("picture, originals without the right", "/o/%d" % nodl_pic), 403, "text/plain",
             [], []),
            ("picture waiting", "never shown", s("picture waiting"), 200, "text/html", [],
             [b"/p/%d" % waiting]),
            ("picture waiting", "file", s("picture waiting", "/p/%d" % waiting), 404,
             "text/html", [], [b"\xff\xd8"]),
            ("folder expired", "expired", s("folder expired"), *ended),
            ("folder expired", "expired, file", s("folder expired", "/t/%d" % shown_now), *ended),
            ("folder ended", "ended", s("folder ended"), *ended),
            ("folder deleted", "target deleted", s("folder deleted"), *ended),
            ("picture deleted", "target deleted", s("picture deleted"), *ended),
            ("maker deleted", "maker deleted", s("maker deleted"), *ended),
            ("folder", "bad path", s("folder", "/x/1"), 404, "text/html", [], []),
        ]
        for link, state, path, status, ctype, want, unwanted in table:
            r = kit.get(port, path)
            problems = []
            if r.status != status:
                problems.append("status %d, not %d" % (r.status, status))
            if not (r.header("Content-Type") or "").startswith(ctype):
                problems.append("type %r" % r.header("Content-Type"))
            for name, value in (("X-Robots-Tag", "noindex"), ("Referrer-Policy", "no-referrer"),
                                ("X-Content-Type-Options", "nosniff"),
                                ("X-Frame-Options", "SAMEORIGIN")):
                if r.header(name) != value:
                    problems.append("%s: %r" % (name, r.header(name)))
            if r.header("Set-Cookie"):
                problems.append("sets a cookie")
            problems += ["lacks %r" % w[:40] for w in want if w not in r.body]
            problems += ["shows %r" % u[:40] for u in unwanted if u in r.body]
            if problems:
                failures.append(("%s, %s" % (link, state), problems))
            rows.append((link, state, path[3 + 22:] or "/", r.status,
                         "ok" if not problems else "FAIL"))

        # A password: nothing before it is given (not even the folder's name), a wrong one
        # is told so, a right one opens the link for this browser (a cookie for this link's
        # path only), never in a URL, throttled per link and address.
        def post_password(name, password, path_extra="", headers=()):
            # From an address of its own: the wrong guesses count against it as failed
            # logins do, and must not hold back the kit's own logins from 127.0.0.1.
            conn = kit.Connection(port, source=GUESSER)
            try:
                return conn.post(s(name, path_extra), kit.FORM,
                                 kit.form_body([("password", password)]), headers)
            finally:
                conn.close()

        locked = [("folder, password", "asked", kit.get(port, s("folder, password")), 403,
                   [b'name="password"'], [FOLDER_NAME.encode(), b"/t/"]),
                  ("folder, password", "file", kit.get(port, s("folder, password", "/t/%d" % lone)),
                   403, [], [b"\xff\xd8"]),
                  ("folder, password", "wrong", post_password("folder, password", "pw-wrong"), 403,
                   [b"The password is wrong"], [b"/t/"]),
                  ("folder, password", "in the URL",
                   post_password("folder, password", "pw-right", "?password=pw-right"), 403,
                   [b'name="password"'], [b"/t/"])]
        right = post_password("folder, password", "pw-right")
        cookie = (right.header("Set-Cookie") or "").split(";")[0]
        locked.append(("folder, password", "right", right, 303, [], []))
        if not cookie.startswith("vistrel_link=") or \
                "Path=/s/%s;" % tokens["folder, password"] not in (right.header("Set-Cookie") or "") or \
                "HttpOnly" not in (right.header("Set-Cookie") or ""):
            failures.append(("password cookie", [repr(right.header("Set-Cookie"))]))
        with_cookie = [("Cookie: " + cookie)]
        locked += [("folder, password", "with its cookie",
                    kit.get(port, s("folder, password"), with_cookie), 200,
                    [b"/t/%d" % lone], []),
                   ("folder, password", "file with its cookie",
                    kit.get(port, s("folder, password", "/t/%d" % lone), with_cookie), 200,
                    [b"\xff\xd8"], []),
                   ("picture, password", "another link's cookie",
                    kit.get(port, s("picture, password"), with_cookie), 403, [], [b"/p/"])]
        for attempt in range(4):
            post_password("picture, password", "pw-wrong-%d" % attempt)
        locked.append(("picture, password", "fifth wrong", post_password("picture, password", "x"),
                       403, [b"The password is wrong"], []))
        locked.append(("picture, password", "throttled",
                       post_password("picture, password", "pw-right"), 429, [], []))
        locked.append(("folder, password", "other link not throttled",
                       post_password("folder, password", "pw-right"), 303, [], []))
        for link, state, r, status, want, unwanted in locked:
            problems = []
            if r.status != status:
                problems.append("status %d, not %d" % (r.status, status))
            if r.header("X-Robots-Tag") != "noindex" or r.header("Referrer-Policy") != "no-referrer":
                problems.append("headers")
            problems += ["lacks %r" % w[:40] for w in want if w not in r.body]
            problems += ["shows %r" % u[:40] for u in unwanted if u in r.body]
            if problems:
                failures.append(("%s, %s" % (link, state), problems))
            rows.append((link, state, "POST" if state in ("wrong", "right") else "/", r.status,
                         "ok" if not problems else "FAIL"))

        # Contributions: stored waiting, the maker's, marked, published in the folder; shown
        # once accepted; up to the day's limit (2 here); no picture, no count.
        def outcome(r):
            m = re.search(r"contributed=(-?\d+)", r.header("Location") or "")
            return int(m.group(1)) if m else None

        contribution = jpeg(work, "contribution.jpg", "orange")
        before = {i["id"] for i in kit.images(root)}
        first = contribute(port, s("folder, contributions"), "Ann Visitor", contribution)
        added = sorted({i["id"] for i in kit.images(root)} - before)
        stored = [i for i in kit.images(root) if i["id"] in added]
        published = {(l["folder"], l["image"]): l["status"] for l in kit.links(root)}
        grid = kit.get(port, s("folder, contributions"))
        checks = [
            ("first", first.status == 303 and outcome(first) == 2,
             "status %d, outcome %r" % (first.status, outcome(first))),
            ("stored as the maker's, waiting", len(stored) == 1 and stored[0]["user"] == maker_id
             and stored[0]["status"] == 0, repr([(i["user"], i["status"]) for i in stored])),
            ("marked", len(stored) == 1 and
             stored[0]["description"] == b"via link Party from Ann Visitor",
             repr(stored[0]["description"] if stored else None)),
            ("published in the folder", len(added) == 1 and published.get((shared, added[0])) == 1,
             repr(published.get((shared, added[0]) if added else None))),
            ("not shown while waiting", len(added) == 1 and b"/t/%d\"" % added[0] not in grid.body
             and kit.get(port, s("folder, contributions", "/t/%d" % added[0])).status == 404, ""),
            ("no picture", outcome(contribute(port, s("folder, contributions"), "Ann", b"nothing"))
             == 4, ""),
            ("second", outcome(contribute(port, s("folder, contributions"), "Bob", contribution))
             == 2, ""),
            ("over the day's limit", outcome(contribute(port, s("folder, contributions"), "Cy",
                                                        contribution)) == -1, ""),
            ("link without contributions",
             contribute(port, s("folder"), "Dan", contribution).status == 404, ""),
            ("without a name",
             contribute(port, s("folder, contributions"), " ", contribution).status == 404, ""),
        ]
        stored_now = {i["id"] for i in kit.images(root)} - before
        checks.append(("two stored in all", len(stored_now) == 2, repr(sorted(stored_now))))
        if added:
            admin = kit.Session(port, *kit.ADMIN)
            admin.action(14, [("Image.id", str(added[0])), ("User.id", str(maker_id))])
            checks.append(("shown once accepted", b"/t/%d\"" % added[0] in
                           kit.get(port, s("folder, contributions")).body, ""))
        for state, ok, detail in checks:
            if not ok:
                failures.append(("contributions, " + state, [detail or "not so"]))
            rows.append(("folder, contributions", state, "up", "", "ok" if ok else "FAIL"))

        # Plain addresses: the frames open at the folder, or at the picture's detail, and the
        # login carries the address on.
        def frame(conn, url, name, headers):
            r = conn.get(url, headers)
            m = re.search(rb'<FRAME name="%s" src="([^"]+)"' % name.encode(), r.body)
            return m.group(1).decode() if m else None

        def module_of(conn, submain, headers):
            area = frame(conn, submain, "area", headers) if submain else None
            return frame(conn, area, "right", headers) if area else None

        viewer = kit.Session(port, "maker", "mk")
        plain = []
        module = module_of(viewer.conn, frame(viewer.conn, "/?folder=%d" % shared, "submain",
                                              viewer.headers), viewer.headers)
        plain.append(("folder, logged in", module is not None and "page=400" in module and
                      "Folder.id=%d" % shared in module and
                      b"replaceState(null, '', '/?folder=%d')" % shared in
                      viewer.conn.get(module, viewer.headers).body, module))
        module = module_of(viewer.conn, frame(viewer.conn, "/?image=%d" % lone, "submain",
                                              viewer.headers), viewer.headers)
        inner = frame(viewer.conn, module, "area", viewer.headers) if module else None
        plain.append(("picture, logged in", inner is not None and
                      b"replaceState(null, '', '/?image=%d')" % lone in
                      viewer.conn.get(inner, viewer.headers).body, inner))
        conn = kit.Connection(port)
        login = frame(conn, "/?folder=%d" % shared, "submain", [])
        page = conn.get(login, []).body if login else b""
        m = re.search(rb'name="Login" method="POST" action="([^"]+)"', page)
        action = m.group(1).decode().replace("&amp;", "&") if m else ""
        r = conn.post(action, kit.FORM, kit.form_body([("username", "maker"),
                                                        ("password", "mk")])) if action else None
        cookie = ["Cookie: vistrel_session=" + kit.session_cookie(r)] if r else []
        m = re.search(rb'<FRAME name="submain" src="([^"]+)"', r.body) if r else None
        module = module_of(conn, m.group(1).decode(), cookie) if m else None
        plain.append(("folder, after the login", "&folder=%d" % shared in action and
                      module is not None and "Folder.id=%d" % shared in module,
                      (action, r.body[:600] if r else None)))
        conn.close()
        for state, ok, detail in plain:
            if not ok:
                failures.append(("plain address, " + state, [repr(detail)]))
            rows.append(("plain address", state, "/?", "", "ok" if ok else "FAIL"))

        # Openings are counted (off the loop, a moment later).
        time.sleep(0.5)
        server.stop()
        opened = share_links(root)[by_token[tokens["folder"]]]["opened"]
        if opened != 2:
            failures.append(("counted openings", ["%d, not 2" % opened]))
        server.start()

        # Wrong tokens: 404, counted against the address like failed logins; after five the
        # address waits (429, Retry-After), a right token too, and is heard again after it.
        wrong = ["/s/" + "A" * 22, "/s/" + tokens["folder"][:21] + "B", "/s/short", "/s/",
                 "/s/" + tokens["folder"] + "x"]
        for path in wrong:
            r = kit.get(port, path)
            if r.status != 404 or r.header("X-Robots-Tag") != "noindex":
                failures.append(("wrong token %s" % path, ["status %d" % r.status]))
            rows.append(("none", "wrong token", path[3:] or "/", r.status,
                         "ok" if r.status == 404 else "FAIL"))
        r = kit.get(port, s("folder"))
        if r.status != 429 or not r.header("Retry-After"):
            failures.append(("throttled", ["status %d, Retry-After %r"
                                           % (r.status, r.header("Retry-After"))]))
        rows.append(("folder", "address throttled", "/", r.status,
                     "ok" if r.status == 429 else "FAIL"))
        time.sleep(1.2)
        r = kit.get(port, s("folder"))
        if r.status != 200:
            failures.append(("after the back-off", ["status %d" % r.status]))
        rows.append(("folder", "after the back-off", "/", r.status,
                     "ok" if r.status == 200 else "FAIL"))
        server.stop()
        report = server.sanitizer_report()
        if report:
            failures.append(("sanitizer", [report]))
    kit.report_table("Links for people without an account", ["link", "state", "path", "status",
                                                             "result"], rows)
    return kit.summary(1, failures)


if __name__ == "__main__":
    sys.exit(main())
