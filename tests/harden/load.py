"""Load on the real server with wrk: the login page, a folder's image grid (a logged-in
session, 24 images in the folder) and a static file, each for the given time with 2 threads
and 50 keep-alive connections. No request may fail (socket errors, time-outs or other
statuses than 200), and neither memory nor open files may grow from one run to the next.

usage: load.py <vistrel executable> [seconds per target, default 10]"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

import kit


def wrk(url, seconds, headers=()):
    extra = [a for h in headers for a in ("-H", h)]
    out = subprocess.run(["wrk", "-t2", "-c50", "-d%ds" % seconds, "--latency", "--timeout", "5s"] +
                         extra + [url], capture_output=True, text=True, timeout=seconds + 60).stdout

    def find(pattern, default="0"):
        m = re.search(pattern, out)
        return m.group(1) if m else default

    errors = 0
    m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", out)
    if m:
        errors = sum(int(x) for x in m.groups())
    return {"requests": int(find(r"(\d+) requests in")),
            "rate": float(find(r"Requests/sec:\s+([\d.]+)")),
            "p99": find(r"99%\s+(\S+)", "-"),
            "errors": errors,
            "non200": int(find(r"Non-2xx or 3xx responses: (\d+)")),
            "raw": out}


def main():
    binary = sys.argv[1]
    seconds = int(float(sys.argv[2])) if len(sys.argv) > 2 else 10
    if shutil.which("wrk") is None:
        print("wrk is missing: run scripts/setup-bench.sh")
        return 1
    failures = []
    rows = []
    with kit.served(binary, failures, scratch="vistrel-load-") as (port, root, server, work):
        server.start()
        admin = kit.Session(port, *kit.ADMIN)
        uid = kit.make_user(admin, root, "loader", "l")
        user = kit.Session(port, "loader", "l")
        picture = os.path.join(work, "p.jpg")
        subprocess.run([kit.convert_program(), "-size", "640x480", "plasma:", "-seed", "3", picture],
                       check=True)
        with open(picture, "rb") as f:
            data = f.read()
        admin.action(0, [("Folder.parent", "0"), ("Folder.name", "load"), ("Folder.imageFolder", "1")])
        fid = max(f["id"] for f in kit.folders(root))
        admin.action(1, [("Folder.id", str(fid)), ("Folder.parent", "0"), ("Folder.name", "load"),
                         ("Folder.imageFolder", "1"), ("Folder.enabled", "1"), ("Folder.ownerId", "0")])
        for _ in range(24):
            user.upload("p.jpg", data)
        for img in kit.images(root):
            user.action(3, [("Folder.id", str(fid)), ("Image.id", str(img["id"]))])
        grid = user.page(405, [("Folder.id", str(fid)), ("pagenum", "1")])
        kit.check(grid.body.count(b"page=603") >= 8, "the grid shows no images")
        targets = [
            ("login page", "http://127.0.0.1:%d/?page=1" % port, ()),
            ("folder grid (24 images)", "http://127.0.0.1:%d/?session=%s&page=405&Folder.id=%d&pagenum=1"
             % (port, user.id, fid), user.headers),
            ("static file style.css", "http://127.0.0.1:%d/style.css" % port, ()),
        ]
        base_rss, base_files = server.rss_kb(), server.open_files()
        first_rss = None
        for name, url, headers in targets:
            before_rss = server.rss_kb()
            result = wrk(url, seconds, headers)
            kit.time.sleep(1.5)  # the closed connections leave within a pass or two
            after_rss, after_files = server.rss_kb(), server.open_files()
            if first_rss is None:
                first_rss = after_rss
            problems = []
            if result["requests"] == 0:
                problems.append("no request completed:\n" + result["raw"])
            if result["errors"] or result["non200"]:
                problems.append("%d socket errors, %d other statuses" % (result["errors"], result["non200"]))
            if not server.alive():
                problems.append("the server ended")
            rows.append((name, result["requests"], "%.0f" % result["rate"], result["p99"],
                         result["errors"] + result["non200"], before_rss, after_rss,
                         "ok" if not problems else "FAIL"))
            if problems:
                failures.append((name, problems))
        # A second round of the grid: memory and files must not keep growing under load.
        result = wrk(targets[1][1], seconds, targets[1][2])
        kit.time.sleep(1.5)
        end_rss, end_files = server.rss_kb(), server.open_files()
        grew = []
        if end_rss > first_rss + 16 * 1024:
            grew.append("memory %d KiB after the first run, %d KiB at the end" % (first_rss, end_rss))
        if end_files > base_files + 2:
            grew.append("open files %d before, %d at the end" % (base_files, end_files))
        if result["errors"] or result["non200"]:
            grew.append("errors in the second grid run")
        rows.append(("folder grid, again", result["requests"], "%.0f" % result["rate"], result["p99"],
                     result["errors"] + result["non200"], "", end_rss, "ok" if not grew else "FAIL"))
        if grew:
            failures.append(("growth", grew))
        kit.report_table("Load: wrk, 2 threads, 50 connections, %d s per run; memory in KiB "
                         "(baseline %d), open files %d before and %d after" % (
                             seconds, base_rss, base_files, end_files),
                         ("target", "requests", "requests/s", "p99 latency", "errors",
                          "RSS before", "RSS after", ""), rows)
        user.close()
        admin.close()
        server.stop()
    for name, problems in failures:
        print("FAIL %s: %s" % (name, "; ".join(problems)))
    print("%d passed, %d failed" % (len(rows) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
