"""Watching the server with the tools administrators use, against the real program:

1. /metrics: promtool accepts the exposition; Prometheus (Debian's, started here on a free
   port) scrapes the server, and the counters it reads back through its HTTP API grow by
   exactly the requests sent here (static files, pages, failed logins);
2. /metrics refuses addresses not in metrics.allow, a forwarded one from an unknown proxy
   included (404), and a flood of such requests leaves the counters of pages as they were;
3. the access log: one combined-format line per answer, none for /healthz, with no session
   identifier, cookie secret or password in it; the login log: fail2ban-regex with the
   shipped filter matches exactly the failed logins, and nothing of the access log;
4. logrotate with the shipped configuration (paths and signal set for this root) while
   requests go on: the lines of the rotated and the new file are the requests answered;
5. /healthz: 200 "ok" while the store can be written, 503 with the reason when it cannot.

usage: operations.py <vistrel executable>"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import kit

REPO = kit.REPO
# Longer than the server takes to write what its logs gathered.
FLUSH_WAIT = 2.5
ACCESS_LINE = re.compile(r'^(\S+) - - \[[^\]]+\] "([^"]*)" (\d{3}) (\d+) "([^"]*)" "([^"]*)" (\d+)$')


def metric(text, name, labels):
    """The value of one sample of an exposition; None when absent."""
    want = ",".join('%s="%s"' % kv for kv in sorted(labels.items()))
    for line in text.splitlines():
        if line.startswith("#"):
            continue
        m = re.match(r"^([a-z_]+)(?:\{([^}]*)\})? (\S+)$", line)
        if not m or m.group(1) != name:
            continue
        have = ",".join(sorted((m.group(2) or "").split(","))) if m.group(2) else ""
        if have == want:
            return float(m.group(3))
    return None


def kit_quoted(name):
    """A name as the login log writes it between its quotes."""
    return "".join("\\x%02X" % ord(c) if c in '"\\' or ord(c) < 32 else c for c in name)


def scrape(port, headers=()):
    return kit.get(port, "/metrics", headers)


def log_lines(root, name):
    path = root.file("log/" + name)
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def check_exposition(port, failures):
    problems = []
    r = scrape(port)
    if r.status != 200:
        return failures.append(("metrics", ["/metrics answered %s" % r.status]))
    if not (r.header("Content-Type") or "").startswith("text/plain; version=0.0.4"):
        problems.append("content type %r" % r.header("Content-Type"))
    tool = subprocess.run(["promtool", "check", "metrics"], input=r.body, capture_output=True)
    if tool.returncode != 0:
        problems.append("promtool: %s" % (tool.stdout + tool.stderr).decode()[:800])
    for name, labels in [("vistrel_requests_total", {"kind": "page", "code": "2xx"}),
                         ("vistrel_sessions", {"kind": "ordinary"}),
                         ("vistrel_queue_depth", {"queue": "work"}),
                         ("vistrel_records", {"file": "user"}),
                         ("vistrel_root_free_bytes", {}),
                         ("vistrel_build_info", {"version": "1.0"})]:
        if metric(r.text, name, labels) is None:
            problems.append("no sample %s%s" % (name, labels))
    if problems:
        failures.append(("metrics", problems))


def prometheus_query(port, expression):
    url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (port, urllib.request.quote(expression))
    with urllib.request.urlopen(url, timeout=5) as answer:
        data = json.load(answer)
    result = data.get("data", {}).get("result", [])
    return float(result[0]["value"][1]) if result else None


def wait_for_scrape(prom_port, expression, wanted, timeout=30.0):
    """The value of the expression in Prometheus once it equals wanted, or the last one seen
    when the time-out passes first."""
    end = time.time() + timeout
    value = None
    while time.time() < end:
        try:
            value = prometheus_query(prom_port, expression)
        except OSError:
            value = None
        if value == wanted:
            return value
        time.sleep(0.5)
    return value


def check_prometheus(port, work, failures):
    prom_port = kit.free_port()
    config = os.path.join(work, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                "scrape_configs:\n  - job_name: vistrel\n    static_configs:\n"
                "      - targets: ['127.0.0.1:%d']\n" % port)
    log = open(os.path.join(work, "prometheus.log"), "wb")
    prom = subprocess.Popen(["prometheus", "--config.file=" + config,
                             "--storage.tsdb.path=" + os.path.join(work, "tsdb"),
                             "--web.listen-address=127.0.0.1:%d" % prom_port],
                            stdout=log, stderr=subprocess.STDOUT)
    problems = []
    try:
        static = 'vistrel_requests_total{kind="static_file",code="2xx"}'
        failed = 'vistrel_logins_total{outcome="failed"}'
        # What the server counted so far, as Prometheus reads it.
        before_static = metric(scrape(port).text, "vistrel_requests_total",
                               {"kind": "static_file", "code": "2xx"})
        seen = wait_for_scrape(prom_port, static, before_static, timeout=60.0)
        if seen != before_static:
            problems.append("Prometheus read %s for static files, the server said %s" % (
                seen, before_static))
        before_failed = prometheus_query(prom_port, failed) or 0.0
        for _ in range(7):
            r = kit.get(port, "/style.css")
            kit.check(r.status == 200, "the style sheet answered %s" % r.status)
        conn = kit.Connection(port)
        for i in range(3):
            kit.log_in(conn, "nobody%d" % i, "wrong password")
        conn.close()
        got = wait_for_scrape(prom_port, static, before_static + 7)
        if got != before_static + 7:
            problems.append("7 static files: Prometheus counted %s more" % (
                None if got is None else got - before_static))
        got = wait_for_scrape(prom_port, failed, before_failed + 3)
        if got != before_failed + 3:
            problems.append("3 failed logins: Prometheus counted %s more" % (
                None if got is None else got - before_failed))
    finally:
        prom.terminate()
        try:
            prom.wait(10)
        except subprocess.TimeoutExpired:
            prom.kill()
        log.close()
    if problems:
        with open(os.path.join(work, "prometheus.log"), "rb") as f:
            problems.append("prometheus said: " + f.read()[-600:].decode("latin-1"))
        failures.append(("prometheus", problems))


def check_refused(port, failures):
    problems = []
    forwarded = kit.get(port, "/metrics", ["X-Forwarded-For: 203.0.113.9"])
    if forwarded.status != 404 or b"vistrel_" in forwarded.body:
        problems.append("a forwarded stranger got %s" % forwarded.status)
    before = metric(scrape(port).text, "vistrel_requests_total", {"kind": "page", "code": "2xx"})
    conn = kit.Connection(port)
    for _ in range(300):
        r = conn.get("/metrics", ["X-Forwarded-For: 198.51.100.%d" % (_ % 250)])
        if r.status != 404:
            problems.append("flood answer %s" % r.status)
            break
    conn.close()
    after = metric(scrape(port).text, "vistrel_requests_total", {"kind": "page", "code": "2xx"})
    if before != after:
        problems.append("the page counter moved from %s to %s during the flood" % (before, after))
    kit.normal_request_ok(port)
    if problems:
        failures.append(("metrics refused", problems))


def check_logs(port, root, work, failures):
    problems = []
    session = kit.Session(port, "admin", "tarbo")
    session.page(405)
    session.page(403)
    kit.get(port, "/healthz")
    conn = kit.Connection(port)
    wrong = ["sneaky\" from 10.9.8.7", "otto", "eva"]
    for name in wrong:
        kit.log_in(conn, name, "not the password")
    conn.close()
    session.close()
    # The logs write what they gathered about once a second.
    time.sleep(FLUSH_WAIT)
    access = log_lines(root, "access.log")
    if not access:
        problems.append("no access log")
    for line in access:
        if not ACCESS_LINE.match(line):
            problems.append("not a combined line: %r" % line[:200])
            break
    text = "\n".join(access)
    secret = session.cookie.split("=", 1)[1]
    for leak, what in [(session.id, "a session identifier"), (secret, "a cookie secret"),
                       ("tarbo", "a password"), ("/healthz", "a health check")]:
        if leak in text:
            problems.append("the access log holds %s" % what)
    logins = log_lines(root, "login.log")
    filter_file = os.path.join(REPO, "scripts", "fail2ban", "filter.d", "vistrel.conf")
    for name in wrong:
        if not any(kit_quoted(name) in line for line in logins):
            problems.append("no login line for %r" % name)
    for name, lines, expected in [("login.log", logins, len(logins)),
                                  ("access.log", access, 0)]:
        path = os.path.join(work, name)
        with open(path, "w", encoding="latin-1") as f:
            f.write("\n".join(lines) + "\n")
        tool = subprocess.run(["fail2ban-regex", "--print-all-matched", path, filter_file],
                              capture_output=True, text=True)
        m = re.search(r"Failregex: (\d+) total", tool.stdout)
        matched = int(m.group(1)) if m else None
        if matched != expected:
            problems.append("fail2ban-regex matched %s lines of %s, wanted %d: %s" % (
                matched, name, expected, (tool.stdout + tool.stderr)[-600:]))
        if name == "login.log" and "10.9.8.7" in tool.stdout.split("Failregex:")[0]:
            problems.append("a user name chose the address fail2ban bans")
    if problems:
        failures.append(("logs", problems))


def check_rotation(port, root, server, work, failures):
    problems = []
    with open(os.path.join(REPO, "scripts", "logrotate", "vistrel")) as f:
        config = f.read()
    config = config.replace("/srv/vistrel", root.path)
    config = re.sub(r"create 0640 \S+ \S+", "create 0640", config)
    config = re.sub(r"systemctl kill[^\n]*", "kill -HUP %d" % server.pid, config)
    conf = os.path.join(work, "logrotate.conf")
    with open(conf, "w") as f:
        f.write(config)
    time.sleep(FLUSH_WAIT)
    before = len(log_lines(root, "access.log"))
    answered = [0]
    stop = threading.Event()

    def client():
        conn = kit.Connection(port)
        while not stop.is_set():
            r = conn.get("/style.css")
            if r.status == 200:
                answered[0] += 1
        conn.close()

    thread = threading.Thread(target=client)
    thread.start()
    time.sleep(0.5)
    tool = subprocess.run(["logrotate", "-f", "-s", os.path.join(work, "state"), conf],
                          capture_output=True, text=True)
    time.sleep(0.5)
    stop.set()
    thread.join()
    if tool.returncode != 0:
        problems.append("logrotate: %s" % (tool.stdout + tool.stderr)[-400:])
    time.sleep(FLUSH_WAIT)
    rotated = log_lines(root, "access.log.1")
    current = log_lines(root, "access.log")
    total = len(rotated) + len(current)
    if total != before + answered[0]:
        problems.append("%d lines before, %d answers during the rotation, %d lines after" % (
            before, answered[0], total))
    if not current:
        problems.append("nothing went to the new file after the signal")
    if problems:
        failures.append(("logrotate", problems))


def check_health(port, root, failures):
    problems = []
    r = kit.get(port, "/healthz")
    if r.status != 200 or r.body.strip() != b"ok":
        problems.append("healthy: %s %r" % (r.status, r.body[:80]))
    images = root.file("images")
    os.rename(images, images + ".away")
    try:
        with open(images, "w") as f:
            f.write("not a directory")
        time.sleep(1.1)
        r = kit.get(port, "/healthz")
        if r.status != 503 or b"image store" not in r.body:
            problems.append("store not writable: %s %r" % (r.status, r.body[:80]))
    finally:
        os.remove(images)
        os.rename(images + ".away", images)
    time.sleep(1.1)
    r = kit.get(port, "/healthz")
    if r.status != 200:
        problems.append("after the store came back: %s" % r.status)
    if problems:
        failures.append(("health", problems))


def main():
    binary = sys.argv[1]
    for tool in ("promtool", "prometheus", "fail2ban-regex", "logrotate"):
        if shutil.which(tool) is None:
            print("FAIL %s is not installed (scripts/setup.sh installs it)" % tool)
            return 1
    failures = []
    with kit.served(binary, failures, {"log.access": "file"}, scratch="vistrel-ops-") as (
            port, root, server, work):
        server.start()
        check_exposition(port, failures)
        check_prometheus(port, work, failures)
        check_refused(port, failures)
        check_logs(port, root, work, failures)
        check_rotation(port, root, server, work, failures)
        check_health(port, root, failures)
        server.stop()
        report = server.sanitizer_report()
        if report:
            failures.append(("sanitizer", [report[:2000]]))
    return kit.summary(6, failures)


if __name__ == "__main__":
    sys.exit(main())
