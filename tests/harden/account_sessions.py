"""Sessions and their accounts on the real server, step by step, as somebody who once held a
session or copied a link would try them:

- an administrator demoted and disabled while her session is open creates no more accounts;
- a deleted user's session, kept open while a new account takes the freed id, can neither
  read nor change that account or its waiting picture;
- a new password ends the account's other sessions, not the one that set it;
- links copied out of a session's pages (a preview, the original, the image window, the
  delete button) do nothing without the session's cookie;
- a flood of password changes from several sessions does not stall another client: its
  style sheet is measured during the flood beside the same client alone;
- the guest button's sessions give way among themselves (session.guestMax) and never push
  out a user's session;
- an administrator's session ends after session.adminTimeout idle minutes, while an
  ordinary one idle as long goes on.

usage: account_sessions.py <vistrel executable>"""

import os
import re
import statistics
import subprocess
import sys
import threading
import time

import kit

GUEST_ID = kit.GUEST_SESSION
# Minutes; the check waits it out once, beside the other steps.
ADMIN_TIMEOUT = 1
GUEST_MAX = 4
FLOOD_SECONDS = 6
FLOOD_SESSIONS = 6


def alive(session):
    """The session answers as a logged-in one: its top bar has the log-out link."""
    return b"action=17" in session.page(3).body


def is_jpeg(response):
    return response.body[:2] == b"\xff\xd8"


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def style_sheet_times(port, seconds, stop=None):
    """Milliseconds of /style.css answers on one keep-alive connection, one every 10 ms."""
    conn = kit.Connection(port)
    times = []
    end = time.time() + seconds
    try:
        while time.time() < end and not (stop and stop.is_set()):
            started = time.perf_counter()
            r = conn.get("/style.css")
            times.append((time.perf_counter() - started) * 1000.0)
            kit.check(r.status == 200, "the style sheet got status %d" % r.status)
            time.sleep(0.01)
    finally:
        conn.close()
    return times


def main():
    binary = sys.argv[1]
    slow = 3 if kit.is_sanitizer_build(binary) else 1
    failures = []
    rows = []

    def expect(step, condition, problem):
        rows.append((step, "ok" if condition else "FAIL"))
        if not condition:
            failures.append((step, [problem]))

    values = {"session.adminTimeout": str(ADMIN_TIMEOUT), "session.guestMax": str(GUEST_MAX)}
    with kit.served(binary, failures, values, scratch="vistrel-accounts-") as (port, root, server, work):
        server.start()
        picture = os.path.join(work, "p.jpg")
        subprocess.run([kit.convert_program(), "-size", "80x60", "xc:orange", picture], check=True)
        with open(picture, "rb") as f:
            jpeg = f.read()
        admin = kit.Session(port, *kit.ADMIN)
        kit.make_user(admin, root, "idler", "i")
        # Left idle from here on, until the end: one administrator's session, one user's.
        idle_admin = kit.Session(port, *kit.ADMIN)
        idle_user = kit.Session(port, "idler", "i")
        idle_since = time.time()

        # 1. An administrator demoted and disabled while her session is open.
        boss_id = kit.make_user(admin, root, "boss", "b", administrator=True)
        boss = kit.Session(port, "boss", "b")
        before = len(kit.users(root))
        boss.action(7)
        expect("an administrator creates an account", len(kit.users(root)) == before + 1,
               "the administrator boss could not create an account")
        admin.action(8, [("User.id", str(boss_id)), ("User.username", "boss"),
                         ("User.firstname", "B"), ("User.lastname", "Oss"),
                         ("User.enabled", "0"), ("User.type", "0")])
        before = len(kit.users(root))
        boss.action(7)
        expect("demoted and disabled, her open session creates none",
               len(kit.users(root)) == before and not alive(boss),
               "the demoted and disabled administrator's session still acts")

        # 2. A deleted user's session, and a new account under the freed id.
        wanda_id = kit.make_user(admin, root, "wanda", "w", accept=True)
        wanda = kit.Session(port, "wanda", "w")
        wanda.upload("w.jpg", jpeg)
        admin.action(10, [("User.id", str(wanda_id))])
        newbie_id = kit.make_user(admin, root, "newbie", "n", accept=True)
        kit.check(newbie_id == wanda_id, "the new account took id %d, not the freed %d" % (
            newbie_id, wanda_id))
        newbie = kit.Session(port, "newbie", "n")
        newbie.upload("n.jpg", jpeg)
        waiting = [i["id"] for i in kit.images(root) if i["user"] == newbie_id]
        kit.check(len(waiting) == 1 and [i for i in kit.images(root) if i["id"] == waiting[0]][0]
                  ["status"] == 0, "the new account's picture does not wait")
        seen = [wanda.page(p, [("Image.id", str(waiting[0])), ("User.id", str(newbie_id))])
                for p in (107, 108, 110, 603, 604)]
        expect("the old session reads nothing of the new account",
               not any(is_jpeg(r) or b"newbie" in r.body for r in seen),
               "the deleted user's session reads the new account's pages or picture")
        record = [u["record"] for u in kit.users(root) if u["id"] == newbie_id][0]
        wanda.action(9, [("User.id", str(newbie_id)), ("User.username", "taken"),
                         ("User.password1", "x"), ("User.password2", "x")])
        wanda.action(12, [("Image.id", str(waiting[0]))])
        after = [u["record"] for u in kit.users(root) if u["id"] == newbie_id][0]
        expect("the old session changes nothing of the new account",
               after == record and waiting[0] in [i["id"] for i in kit.images(root)],
               "the deleted user's session changed the new account or deleted its picture")

        # 3. A new password ends the account's other sessions.
        kit.make_user(admin, root, "pia", "p1")
        here = kit.Session(port, "pia", "p1")
        there = kit.Session(port, "pia", "p1")
        here.action(9, [("User.id", str([u["id"] for u in kit.users(root) if u["username"] == b"pia"][0])),
                        ("User.username", "pia"), ("User.password1", "p2"), ("User.password2", "p2")])
        expect("a new password ends the other session, not its own",
               alive(here) and not alive(there), "here %s, there %s" % (alive(here), alive(there)))

        # 4. Links copied out of a session's pages, sent without its cookie.
        newbie.upload("m.jpg", jpeg)
        mine = max(i["id"] for i in kit.images(root) if i["user"] == newbie_id)
        dialog = newbie.page(111, [("Image.id", str(mine))]).body
        delete = re.search(rb"'(/\?session=\d+&page=100&requestId=\d+&action=12&Image\.id=\d+)'", dialog)
        kit.check(delete, "no delete button on the dialog")
        copied = [kit.query([("session", newbie.id), ("page", str(p)), ("Image.id", str(mine))])
                  for p in (601, 602, 603, 604)] + [delete.group(1).decode()]
        answers = [kit.get(port, url) for url in copied]
        expect("copied links without the cookie show and delete nothing",
               not any(is_jpeg(r) for r in answers) and mine in [i["id"] for i in kit.images(root)],
               "a copied link worked without the cookie")
        expect("the same links with the cookie work",
               is_jpeg(kit.get(port, copied[2], newbie.headers)),
               "the preview did not come with the cookie")

        # 5. A flood of password changes beside another client.
        alone = style_sheet_times(port, 3)
        flooders = []
        for k in range(FLOOD_SESSIONS):
            uid = kit.make_user(admin, root, "flood%d" % k, "f")
            flooders.append((uid, "flood%d" % k, kit.Session(port, "flood%d" % k, "f")))
        stop = threading.Event()
        counts = {"done": 0, "busy": 0, "other": 0}
        lock = threading.Lock()

        def flood(uid, name, session):
            while not stop.is_set():
                r = session.action(9, [("User.id", str(uid)), ("User.username", name),
                                       ("User.password1", "f"), ("User.password2", "f")])
                kind = "done" if r.status == 200 else "busy" if r.status == 503 else "other"
                with lock:
                    counts[kind] += 1

        threads = [threading.Thread(target=flood, args=f) for f in flooders]
        for t in threads:
            t.start()
        time.sleep(0.5)
        during = style_sheet_times(port, FLOOD_SECONDS)
        stop.set()
        for t in threads:
            t.join(30)
        rate = counts["done"] / (FLOOD_SECONDS + 0.5)
        p50, p99 = percentile(during, 50), percentile(during, 99)
        rows.append(("style sheet alone: p50 / p99 ms", "%.2f / %.2f" % (
            percentile(alone, 50), percentile(alone, 99))))
        rows.append(("during %d sessions changing passwords (%.0f/s, %d busy)" % (
            FLOOD_SESSIONS, rate, counts["busy"]), "%.2f / %.2f" % (p50, p99)))
        # The median tells a stall (the loop hashing gave p50 980 ms); the tail of a few hundred
        # fetches also follows whatever else the two cores run, most under the sanitizers
        # beside another check, so its bound there is wider.
        tail = 100 if slow == 1 else 1000
        expect("the password flood does not stall another client",
               counts["done"] > 0 and counts["other"] == 0 and p50 <= 10 * slow and p99 <= tail,
               "style sheet p50 %.1f ms, p99 %.1f ms during the flood; %s" % (p50, p99, counts))
        expect("the flooding sessions still stand", all(alive(s) for _, _, s in flooders),
               "a session that changed its own password ended")

        # 6. The guest button, pressed again and again, and users logged in before.
        users = [kit.Session(port, "idler", "i") for _ in range(3)]
        guests = []
        for _ in range(3 * GUEST_MAX):
            c = kit.Connection(port)
            r = c.get(kit.query([("session", GUEST_ID), ("page", "1"), ("action", "16"),
                                 ("requestId", kit.Session.next_request()), ("guest", "1")]))
            secret = kit.session_cookie(r)
            if secret:
                g = kit.Session.__new__(kit.Session)
                g.port, g.id, g.conn = port, kit.session_link(r.body), c
                g.cookie = "Cookie: vistrel_session=" + secret
                guests.append(g)
            else:
                c.close()
        standing = [g for g in guests if alive(g)]
        expect("guest sessions give way among themselves",
               len(standing) <= GUEST_MAX and all(alive(u) for u in users),
               "%d of %d guest sessions stand, users %s" % (
                   len(standing), len(guests), [alive(u) for u in users]))
        for s in guests + users:
            s.close()

        # 7. The idle administrator's session ends after its time-out; the user's does not.
        wait = idle_since + ADMIN_TIMEOUT * 60 + 2 - time.time()
        if wait > 0:
            time.sleep(wait)
        expect("an administrator's session ends after session.adminTimeout",
               not alive(idle_admin) and alive(idle_user),
               "administrator %s, user %s after %d s idle" % (
                   alive(idle_admin), alive(idle_user), time.time() - idle_since))

        kit.check_database(root)
        for s in [admin, idle_admin, idle_user, boss, wanda, newbie, here, there] + [s for _, _, s in flooders]:
            s.close()
        server.stop()
    kit.report_table("Sessions and their accounts", ("step", "outcome"), rows)
    return kit.summary(len([r for r in rows if r[1] in ("ok", "FAIL")]) + len(
        [f for f in failures if f[0] == "kit"]), failures)


if __name__ == "__main__":
    sys.exit(main())
