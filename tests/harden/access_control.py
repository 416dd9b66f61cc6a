"""Every page id and every action against every kind of session, on the real server.

Kinds: no session, the guest session, the guest account, an ordinary user, an uploader, a
folder administrator, the administrator, and the administrator acting as the ordinary user.

Pages: each page is asked for by each kind with the ids of another user's objects (the
uploader's image waiting for acceptance, the ordinary user's account); no page may show a
text or a picture the kind may not see: the ordinary user's password only to the
administrator and that user, the waiting image's texts only to its owner and the
administrator, pictures only to logged-in kinds (those of the waiting image only to its
owner and the administrator) and originals only with the download right, the administration and acceptance pages only to administrators (folder
administration to the folder administration right), and nothing but the login pages to
visitors.

Actions: each of the actions 0 to 22 is carried out by each kind on a fresh copy of the
same data (put in place while the server is stopped, since the server holds the records and
their indexes in memory; then a fresh start and a fresh session), aimed at objects the kind
does not own; the record files may change only where the kind is allowed to act, and there
they must change (so the aims are real).

usage: access_control.py <vistrel executable>"""

import os
import re
import subprocess
import sys
import tempfile

import kit

GUEST_ID = "5072913846"
PASSWORD = "Pw4ordinary"
WAITING = "WaitingPictureName"

PAGES = [0, 1, 2, 3, 4, 5, 6, 100, 106, 107, 108, 109, 110, 111, 300, 301, 302, 303, 304, 305,
         400, 401, 402, 404, 405, 406, 407, 408, 600, 601, 602, 603, 604, 605, 606, 700, 701, 702, 703, 704,
         900, 901, 902, 903, 904, 905, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007,
         1200, 1201, 1202]
ADMIN_PAGES = set(range(300, 306)) | {1000} | set(range(1002, 1008))
FOLDER_ADMIN_PAGES = set(range(900, 906))
KINDS = ["no session", "guest session", "guest account", "ordinary user", "uploader",
         "folder administrator", "administrator", "administrator as user"]
LOGINS = {"guest account": ("guest", "plivo"), "ordinary user": ("ordinary", PASSWORD),
          "uploader": ("uploader", "up"), "folder administrator": ("foldermaster", "fm"),
          "administrator": kit.ADMIN}


class Visitor:
    """A browser without a session: every request on a new connection, no cookie."""

    def __init__(self, port, session_id=None):
        self.port = port
        self.id = session_id

    def request(self, params):
        p = ([("session", self.id)] if self.id else []) + params
        return kit.get(self.port, kit.query(p))

    def page(self, page, params=()):
        return self.request([("page", str(page))] + list(params))

    def action(self, action, params=(), page=None):
        return self.request([("action", str(action)), ("requestId", kit.Session.next_request())] +
                            list(params))


def open_session(kind, port, ordinary_id, admin=None):
    """A session of the kind on the running server (the administrator's own, when given,
    opens the one acting as the ordinary user)."""
    if kind == "no session":
        return Visitor(port)
    if kind == "guest session":
        return Visitor(port, GUEST_ID)
    if kind != "administrator as user":
        return kit.Session(port, *LOGINS[kind])
    admin = admin or kit.Session(port, *kit.ADMIN)
    r = admin.action(16, [("User.id", str(ordinary_id))], page=0)
    acting = [s for s in re.findall(rb"session=(\d+)", r.body) if s.decode() not in (admin.id, GUEST_ID)]
    kit.check(acting, "the administrator could not open a session as the user")
    return kit.Session.opened_by(admin, acting[0].decode())


class Files:
    """The four record files and the image store, saved and put back in place while the
    server is stopped."""

    def __init__(self, root):
        self.root = root

    def save(self):
        self.saved = self.read()

    def read(self):
        state = {}
        for name in ("user.db", "image.db", "folder.db", "folderImage.db", "sharelink.db"):
            with open(self.root.file("database/" + name), "rb") as f:
                state["database/" + name] = f.read()
        for rel in self.root.store_files():
            with open(self.root.file("images/" + rel), "rb") as f:
                state["images/" + rel] = f.read()
        return state

    def restore(self):
        for rel in self.root.store_files():
            if "images/" + rel not in self.saved:
                os.unlink(self.root.file("images/" + rel))
        for rel, data in self.saved.items():
            with open(self.root.file(rel), "r+b" if os.path.exists(self.root.file(rel)) else "wb") as f:
                f.write(data)
                f.truncate()

    def changed(self):
        return self.read() != self.saved


def main():
    binary = sys.argv[1]
    failures = []
    page_rows = []
    action_rows = []
    with kit.served(binary, failures, scratch="vistrel-access-") as (port, root, server, work):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        ordinary_id = kit.make_user(admin, root, "ordinary", PASSWORD, upload=False, download=False)
        uploader_id = kit.make_user(admin, root, "uploader", "up", accept=True)
        kit.make_user(admin, root, "foldermaster", "fm", upload=False, folder_admin=True)
        target_id = kit.make_user(admin, root, "target", "t", upload=False)
        picture = os.path.join(work, "p.jpg")
        subprocess.run([kit.convert_program(), "-size", "80x60", "xc:green", picture], check=True)
        with open(picture, "rb") as f:
            jpeg = f.read()
        sessions = {kind: open_session(kind, port, ordinary_id, admin) for kind in KINDS
                    if kind != "administrator"}
        sessions["administrator"] = admin

        # The uploader's two images: one published in the administrator's folder, one
        # waiting for acceptance and named so that its texts can be recognised.
        uploader = sessions["uploader"]
        uploader.upload("a.jpg", jpeg)
        uploader.upload("b.jpg", jpeg)
        published, waiting = sorted(i["id"] for i in kit.images(root))
        admin.action(14, [("Image.id", str(published)), ("User.id", str(uploader_id))])
        uploader.action(13, [("Image.id", str(waiting)), ("Image.name", WAITING),
                             ("Image.keywords", WAITING), ("Image.description", WAITING),
                             ("Image.imageDate", "2024-02-02")])
        admin.action(0, [("Folder.parent", "0"), ("Folder.name", "open"), ("Folder.imageFolder", "1")])
        folder = max(f["id"] for f in kit.folders(root))
        admin.action(1, [("Folder.id", str(folder)), ("Folder.parent", "0"), ("Folder.name", "open"),
                         ("Folder.imageFolder", "1"), ("Folder.enabled", "1"), ("Folder.ownerId", "0")])
        admin.action(0, [("Folder.parent", "0"), ("Folder.name", "empty"), ("Folder.imageFolder", "0")])
        empty = max(f["id"] for f in kit.folders(root))
        uploader.action(3, [("Folder.id", str(folder)), ("Image.id", str(published))])
        # A link for people without an account, made by the administrator.
        admin.action(20, [("Link.kind", "0"), ("Link.target", str(folder))])

        # --- pages ---
        rights = {
            "no session": set(), "guest session": set(),
            "guest account": {"login", "download"},
            "ordinary user": {"login", "password"},
            "uploader": {"login", "download", "waiting"},
            "folder administrator": {"login", "download", "folders"},
            "administrator": {"login", "download", "password", "waiting", "admin", "folders"},
            "administrator as user": {"login", "password"},
        }
        for kind in KINDS:
            s = sessions[kind]
            may = rights[kind]
            shown = []
            gives_original = s.page(602, [("Image.id", str(published))]).body[:2] == b"\xff\xd8"
            for page in PAGES:
                for image in (waiting, published):
                    r = s.page(page, [("Image.id", str(image)), ("User.id", str(ordinary_id)),
                                      ("Folder.id", str(folder)), ("pagenum", "1")])
                    problems = []
                    is_jpeg = r.body[:2] == b"\xff\xd8"
                    if PASSWORD.encode() in r.body and "password" not in may:
                        problems.append("shows the ordinary user's password")
                    if WAITING.encode() in r.body and "waiting" not in may:
                        problems.append("shows the waiting image's texts")
                    if is_jpeg and "login" not in may:
                        problems.append("gives a picture to a visitor")
                    if is_jpeg and page == 602 and "download" not in may:
                        problems.append("gives an original without the download right")
                    if is_jpeg and image == waiting and "waiting" not in may:
                        problems.append("gives a picture of another user's waiting image")
                    # The previews and the pictures for screens go to everyone logged in
                    # for a published image, and so does the viewer, which shows the
                    # screen-sized picture and offers the original only with the right.
                    if image == published and "login" in may:
                        if page in (603, 604, 605, 606) and not is_jpeg:
                            problems.append("withholds a picture of a published image")
                        original = ("page=602&Image.id=%d" % image).encode()
                        if page == 601 and b"page=606&Image.id=%d" % image not in r.body:
                            problems.append("the viewer does not show the screen-sized picture")
                        if page == 601 and (original in r.body) != gives_original:
                            problems.append("the viewer's Download does not follow the right")
                    # A visitor's request for any page is answered with the outer frame set,
                    # which loads the login page.
                    outer = b'name="submain"' in r.body and r.body.count(b"<FRAME ") == 1
                    # An empty document: nothing, or no more than the bare HTML and BODY tags.
                    bare = re.sub(rb"(?i)</?(html|head|body)>|\s", b"", r.body) == b""
                    nothing = bare or ("login" not in may and outer)
                    if page in ADMIN_PAGES and "admin" not in may and not nothing:
                        problems.append("an administrator's page is not empty")
                    if page in FOLDER_ADMIN_PAGES and "folders" not in may and not nothing:
                        problems.append("a folder administration page is not empty")
                    if "login" not in may and page >= 2 and not nothing:
                        problems.append("a visitor sees more than the login")
                    if r.status != 200 or b"Operation failed" in r.body:
                        problems.append("status %d or a failure page" % r.status)
                    if problems:
                        failures.append(("%s, page %d, image %d" % (kind, page, image), problems))
                    if not nothing:
                        shown.append(page)
            page_rows.append((kind, len(PAGES) * 2, len(set(shown)), ", ".join(sorted(may)) or "-"))

        # --- actions ---
        server.stop()
        files = Files(root)
        files.save()
        image_params = [("Image.id", str(published)), ("Folder.id", str(folder)),
                        ("User.id", str(uploader_id))]
        actions = [
            (0, [("Folder.parent", "0"), ("Folder.name", "new"), ("Folder.imageFolder", "0")], {"administrator"}),
            (1, [("Folder.id", str(folder)), ("Folder.parent", "0"), ("Folder.name", "renamed"),
                 ("Folder.imageFolder", "1"), ("Folder.enabled", "1"), ("Folder.ownerId", "0")], {"administrator"}),
            (2, [("Folder.id", str(empty))], {"administrator"}),
            (3, [("Image.id", str(waiting)), ("Folder.id", str(folder))], {"uploader"}),
            (4, image_params, {"uploader"}),
            (5, [("Image.id", str(published)), ("Folder.id", str(folder))], set()),  # already accepted
            (6, [("Image.id", str(published)), ("Folder.id", str(folder))], {"administrator"}),
            (7, [], {"administrator"}),
            (8, [("User.id", str(target_id)), ("User.username", "target"), ("User.firstname", "changed"),
                 ("User.password1", "t"), ("User.password2", "t"), ("User.enabled", "1"),
                 ("User.imageLimit", "5")], {"administrator"}),
            (9, [("User.id", str(uploader_id)), ("User.username", "uploader"), ("User.firstname", "changed"),
                 ("User.password1", "up"), ("User.password2", "up")], {"uploader"}),
            (10, [("User.id", str(target_id))], {"administrator"}),
            (11, [], {"uploader"}),
            (12, [("Image.id", str(waiting))], {"uploader"}),
            (13, [("Image.id", str(waiting)), ("Image.name", "changed"), ("Image.keywords", "k"),
                  ("Image.description", "d"), ("Image.imageDate", "2020-01-01")], {"uploader", "administrator"}),
            (14, [("Image.id", str(waiting)), ("User.id", str(uploader_id))], {"administrator"}),
            (15, [("Image.id", str(published)), ("User.id", str(uploader_id))], {"administrator"}),
            (16, [("User.id", str(target_id))], set()),
            (18, [("Search.words", WAITING)], set()),
            (19, [("language", "deu")], set()),
            (17, [], set()),
            (20, [("Link.kind", "0"), ("Link.target", str(folder))], {"administrator"}),
            (20, [("Link.kind", "1"), ("Link.target", str(published))], {"uploader", "administrator"}),
            (21, [("Link.id", "0")], {"administrator"}),
            (22, [("Link.id", "0")], {"administrator"}),
        ]
        for kind in KINDS:
            allowed_count = 0
            for number, params, allowed in actions:
                files.restore()
                server.start()
                s = open_session(kind, port, ordinary_id)
                if number == 11:
                    r = s.upload("c.jpg", jpeg) if isinstance(s, kit.Session) else s.action(11, params)
                else:
                    r = s.action(number, params)
                changed = files.changed()
                should = kind in allowed
                allowed_count += 1 if should else 0
                if changed != should:
                    failures.append(("%s, action %d" % (kind, number),
                                     ["changed the records" if changed else "was refused",
                                      repr(r.body[:300])]))
                if number == 16:
                    others = {x.decode() for x in re.findall(rb"session=(\d+)", r.body)} - {s.id, GUEST_ID}
                    if others and kind != "administrator":
                        failures.append(("%s, action 16" % kind, ["opened another session"]))
                server.stop()
            files.restore()
            action_rows.append((kind, len(actions), allowed_count, len(actions) - allowed_count))

        kit.report_table("Access control: pages (each asked with a waiting and a published image)",
                         ("session", "requests", "pages not empty", "may see"), page_rows)
        kit.report_table("Access control: actions 0-22 on fresh data",
                         ("session", "actions", "allowed and carried out", "refused, nothing changed"),
                         action_rows)
    for name, problems in failures[:40]:
        print("FAIL %s: %s" % (name, "; ".join(problems)))
    total = len(KINDS) * (len(PAGES) * 2 + 20)
    print("%d passed, %d failed" % (total - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
