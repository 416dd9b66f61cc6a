"""Requests that try to smuggle a second request, through nginx as a reverse proxy that keeps
its connections to the server open (as a production proxy does).

Each row goes to nginx on a connection of its own. The answer must be the one for the
request as the proxy framed it, never that of a request hidden in its body (the web
directory's style sheet), and a normal request through the proxy afterwards must get the
login page, not an answer left over on a shared connection to the server.

usage: proxy.py <vistrel executable>   (needs nginx: scripts/setup-bench.sh installs it)"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import kit

HIDDEN = b"GET /style.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


def start_nginx(work, port, upstream):
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""worker_processes 1;
daemon off;
pid %(w)s/nginx.pid;
error_log %(w)s/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path %(w)s/body;
  proxy_temp_path %(w)s/proxy;
  fastcgi_temp_path %(w)s/fastcgi;
  uwsgi_temp_path %(w)s/uwsgi;
  scgi_temp_path %(w)s/scgi;
  upstream vistrel {
    server 127.0.0.1:%(u)d;
    keepalive 4;
  }
  server {
    listen 127.0.0.1:%(p)d;
    location / {
      proxy_pass http://vistrel;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
    }
  }
}
""" % {"w": work, "p": port, "u": upstream})
    proc = subprocess.Popen(["nginx", "-c", conf, "-p", work], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    end = time.time() + 10
    while time.time() < end:
        try:
            kit.socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return proc
        except OSError:
            time.sleep(0.05)
    proc.kill()
    raise kit.KitFailure("nginx did not listen")


def rows():
    n = len(HIDDEN)
    return [
        # name, request bytes, status expected from the proxy, answers to HEAD
        ("PUT hiding a GET in its body",
         b"PUT /?page=1 HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % n + HIDDEN, 405, False),
        ("OPTIONS", b"OPTIONS / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 405, False),
        ("HEAD", b"HEAD /?page=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 200, True),
        ("Content-Length without a blank, a GET as the body",
         b"POST /?page=1 HTTP/1.1\r\nHost: x\r\nContent-Length:%d\r\n\r\n" % n + HIDDEN, 200, False),
        ("DELETE hiding a GET in its body",
         b"DELETE /?page=1 HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % n + HIDDEN, 405, False),
    ]


def main():
    binary = sys.argv[1]
    if shutil.which("nginx") is None:
        print("nginx not found: run scripts/setup-bench.sh")
        return 1
    port = kit.free_port()
    proxy_port = kit.free_port()
    root = kit.Root(port)
    server = kit.Server(binary, root, port)
    work = tempfile.mkdtemp(prefix="vistrel-proxy-")
    nginx = None
    table = []
    failures = []
    try:
        server.start()
        nginx = start_nginx(work, proxy_port, port)
        css = kit.get(port, "/style.css").body
        for name, raw, status, head in rows():
            problems = []
            responses, _ = kit.exchange(proxy_port, raw, expect=1, timeout=5, quiet=0.3,
                                        heads=1 if head else 0)
            if not responses:
                problems.append("no answer")
            else:
                first = responses[0]
                if first.status != status:
                    problems.append("status %d, %d expected" % (first.status, status))
                if css and css in first.body:
                    problems.append("the hidden request's answer came back")
                if head and first.body:
                    problems.append("an answer to HEAD with a body")
            # The proxy's shared connections to the server carry nothing left over.
            for _ in range(3):
                r = kit.get(proxy_port, "/?page=1", timeout=5)
                if r.status != 200 or b"<HTML>" not in r.body.upper():
                    problems.append("a normal request afterwards got %d %r" % (r.status, r.body[:60]))
                    break
            table.append((name, status, ",".join(str(r.status) for r in responses) or "-",
                          "ok" if not problems else "FAIL"))
            if problems:
                failures.append((name, problems))
        kit.report_table("Through nginx: %d rows" % len(table),
                         ("request", "expected", "answered", ""), table)
        server.stop()
    except kit.KitFailure as e:
        failures.append(("kit", [str(e)]))
    finally:
        if nginx is not None:
            nginx.terminate()
            nginx.wait()
        if server.alive():
            server.kill()
        root.remove()
        shutil.rmtree(work, ignore_errors=True)
    return kit.summary(len(table), failures)


if __name__ == "__main__":
    sys.exit(main())
