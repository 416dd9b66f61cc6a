// The deployment test, run by ctest:
//     node proxy_test.js <source-dir> <build-dir>
// Vistrel as it is installed in practice: behind Debian's nginx with TLS and keep-alive
// connections to Vistrel that all browsers share, configured by scripts/nginx-vistrel.conf
// (only ports, certificate and temporary folders changed). Three people at three browsers
// of the real chromium: the administrator and a user log in through the proxy at the same
// time and each sees only their own name and pictures, however their requests mix on the
// shared connections; a third browser without a cookie sees the login page and can log in
// too. nginx is started by the test on free ports, never as a system service.
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const childProcess = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");
const { VistrelServer, freePort, setConfigValue } = require("./vistrel.js");
const { launch, until, sleep } = require("./browser.js");
const { Walk } = require("./walk.js");
const { MODULES, ADMIN, GUEST } = require("./common.js");

const source = path.resolve(process.argv[2] || path.join(__dirname, "..", ".."));
const build = path.resolve(process.argv[3] || path.join(source, "build", "release"));

// What nginx sends to show that it is the proxy ([server.proxySecret]).
const PROXY_SECRET = "deployment-test-secret";

const NORA = { id: 2, username: "nora", password: "Harbour-7", name: "Nora Lind",
  administrator: false, folderAdmin: false };

// The site file with the test's ports, certificate and folders in place of the example's;
// every replaced text must be there, so the test follows the file as it is shipped.
function proxyConfig(dir, vistrelPort, httpsPort, httpPort) {
  let site = fs.readFileSync(path.join(source, "scripts", "nginx-vistrel.conf"), "utf8");
  const replace = (from, to) => {
    if (!site.includes(from)) throw new Error(`scripts/nginx-vistrel.conf has no "${from}"`);
    site = site.split(from).join(to);
  };
  replace("server 127.0.0.1:9400;", `server 127.0.0.1:${vistrelPort};`);
  replace("listen 443 ssl http2;", `listen 127.0.0.1:${httpsPort} ssl http2;`);
  replace("listen 80;", `listen 127.0.0.1:${httpPort};`);
  replace("/etc/letsencrypt/live/photos.example.org/fullchain.pem", path.join(dir, "cert.pem"));
  replace("/etc/letsencrypt/live/photos.example.org/privkey.pem", path.join(dir, "key.pem"));
  replace("the-secret-of-server.proxySecret", PROXY_SECRET);
  replace("/var/log/nginx/access.log", path.join(dir, "access.log"));
  fs.writeFileSync(path.join(dir, "site.conf"), site);
  const temp = (name) => path.join(dir, name);
  // One process that runs as the test's user: no master, no change of user, no daemon.
  return `worker_processes 1;
master_process off;
daemon off;
pid ${temp("nginx.pid")};
error_log ${temp("error.log")} warn;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path ${temp("body")};
  proxy_temp_path ${temp("proxy")};
  fastcgi_temp_path ${temp("fastcgi")};
  uwsgi_temp_path ${temp("uwsgi")};
  scgi_temp_path ${temp("scgi")};
  include ${temp("site.conf")};
}
`;
}

async function startProxy(dir, vistrelPort) {
  childProcess.execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes",
    "-keyout", path.join(dir, "key.pem"), "-out", path.join(dir, "cert.pem"), "-days", "2",
    "-subj", "/CN=localhost"], { stdio: "ignore" });
  const httpsPort = await freePort();
  const httpPort = await freePort();
  const conf = path.join(dir, "nginx.conf");
  fs.writeFileSync(conf, proxyConfig(dir, vistrelPort, httpsPort, httpPort));
  const child = childProcess.spawn("nginx", ["-c", conf, "-p", dir],
    { stdio: ["ignore", "ignore", "pipe"] });
  let stderr = "";
  child.stderr.on("data", (d) => { stderr += d; });
  process.once("exit", () => child.kill("SIGKILL"));
  const url = `https://127.0.0.1:${httpsPort}`;
  const canConnect = () => new Promise((resolve) => {
    const socket = net.connect({ host: "127.0.0.1", port: httpsPort });
    socket.once("connect", () => { socket.destroy(); resolve(true); });
    socket.once("error", () => resolve(false));
  });
  await until("nginx listening", async () => {
    if (child.exitCode !== null) throw new Error(`nginx ended: ${stderr}`);
    return canConnect();
  });
  return { url, child, stderr: () => stderr };
}

// Direct requests to Vistrel for the set-up: the accounts and one picture each. A session
// is its identifier (from the links of the answer) and its cookie, sent as a browser does;
// form fields are posted, as the pages do.
class Direct {
  constructor(base) { this.base = base; this.request = 500; }
  url(params) {
    return this.base + "/?" + new URLSearchParams(params).toString();
  }
  async post(session, params, fields) {
    const response = await fetch(this.url(params), { method: "POST", body: new URLSearchParams(fields),
      headers: session ? { cookie: session.cookie } : {} });
    return { response, body: await response.text() };
  }
  // The login form's post (a name or a password in the URL is refused).
  async logIn(user) {
    const { response, body } = await this.post(null,
      { session: "5072913846", page: 1, action: 16, requestId: ++this.request },
      { username: user.username, password: user.password });
    const cookie = /vistrel_session=(\d+)/.exec(response.headers.get("set-cookie") || "");
    const id = /session=(\d+)/.exec(body);
    if (!cookie || !id) throw new Error(`the set-up could not log in ${user.username}`);
    return { id: id[1], cookie: `vistrel_session=${cookie[1]}` };
  }
  async act(session, action, fields = {}) {
    return this.post(session, { session: session.id, page: 1, action, requestId: ++this.request }, fields);
  }
  async upload(session, jpeg) {
    const form = new FormData();
    form.append("file", new Blob([jpeg], { type: "image/jpeg" }), "picture.jpg");
    const response = await fetch(this.url({ session: session.id, page: 110, action: 11, requestId: ++this.request }),
      { method: "POST", body: form, headers: { cookie: session.cookie } });
    await response.arrayBuffer();
  }
}

// The texts of every frame of the page, joined.
async function everyText(page) {
  const texts = [];
  for (const frame of page.frames()) {
    if (frame.isDetached()) continue;
    try {
      texts.push(await frame.evaluate(() => document.body ? document.body.innerText : ""));
      texts.push(await frame.evaluate(() => Array.from(document.querySelectorAll("[title], img[alt]"))
        .map((e) => e.getAttribute("title") || e.getAttribute("alt")).join(" ")));
    } catch (e) {
      // A frame that went away while it was read holds nothing of interest.
    }
  }
  return texts.join("\n");
}

test("three browsers through nginx with keep-alive and TLS", { timeout: 280000 }, async (t) => {
  const server = new VistrelServer(source, build);
  const walks = [];
  let proxy = null;
  let failed = false;
  try {
    await server.layOut();
    // As the README's section asks: loopback only, the proxy's forwarded addresses believed.
    const config = path.join(server.root, "config", "config.cfg");
    setConfigValue(config, "server.address", "127.0.0.1");
    setConfigValue(config, "server.proxy", "127.0.0.1");
    setConfigValue(config, "server.proxySecret", PROXY_SECRET);
    await server.start();
    const direct = new Direct(server.url);

    // The set-up: Nora's account and her picture (id 0); the administrator has none.
    const admin = await direct.logIn(ADMIN);
    await direct.act(admin, 7);
    await direct.act(admin, 8, { "User.id": NORA.id, "User.username": NORA.username,
      "User.password1": NORA.password, "User.password2": NORA.password, "User.firstname": "Nora",
      "User.lastname": "Lind", "User.email": "", "User.enabled": 1, "User.type": 0, "User.folderAdmin": 0,
      "User.imageAccept": 0, "User.folderAccept": 0, "User.imageDownload": 1, "User.imageUpload": 1,
      "User.imageLimit": 100 });
    const nora = await direct.logIn(NORA);
    const jpeg = childProcess.execFileSync(fs.existsSync("/usr/bin/convert") ? "/usr/bin/convert" : "convert",
      ["-size", "64x48", "xc:steelblue", "jpeg:-"]);
    await direct.upload(nora, jpeg);
    const records = fs.statSync(path.join(server.root, "database", "image.db")).size;
    assert.ok(records > 0, "the set-up stored no picture");

    proxy = await startProxy(server.dir, server.port);
    const facade = { root: server.root, url: proxy.url };
    const person = async () => {
      const w = new Walk(facade, await launch({ ignoreHTTPSErrors: true }), async () => {},
        { log: (line) => t.diagnostic(line) });
      walks.push(w);
      w.watch();
      return w;
    };

    await t.test("the administrator and Nora log in at two browsers at once", async () => {
      const [a, b] = [await person(), await person()];
      const first = await a.page.goto(proxy.url + "/");
      assert.strictEqual(first.headers()["x-frame-options"], "SAMEORIGIN");
      await b.page.goto(proxy.url + "/");
      await Promise.all([a.logIn(ADMIN, false), b.logIn(NORA, false)]);
      // nginx says the browser spoke HTTPS: the cookie is sent over HTTPS only.
      for (const w of [a, b]) {
        const cookie = (await w.page.context().cookies()).find((c) => c.name === "vistrel_session");
        assert.ok(cookie && cookie.secure && cookie.httpOnly, `the session cookie is ${JSON.stringify(cookie)}`);
      }
    });

    await t.test("reloads mixed on the shared connections keep each in their own session", async () => {
      const [a, b] = walks;
      for (let round = 0; round < 3; round++) {
        await Promise.all([a.page.reload(), b.page.reload()]);
        for (const [w, user] of [[a, ADMIN], [b, NORA]]) {
          const shell = await w.waitForShell();
          await w.checkShell(shell, user, "MENU_INTRODUCTION");
        }
      }
    });

    await t.test("each sees only their own pictures", async () => {
      // The own-images grid in another tab of the same browser: it has only the cookie.
      for (const [w, mine] of [[walks[0], []], [walks[1], [0]]]) {
        const tab = await w.page.context().newPage();
        try {
          await tab.goto(proxy.url + "/?page=110");
          const shown = await tab.evaluate(() => Array.from(document.images)
            .map((img) => /[?&]Image\.id=(\d+)/.exec(img.getAttribute("src") || ""))
            .filter((m) => m).map((m) => Number(m[1])));
          assert.deepStrictEqual([...new Set(shown)], mine, `${w.user.username} sees pictures ${shown}`);
          const loaded = await tab.evaluate(() => Array.from(document.images)
            .filter((img) => /Image\.id=/.test(img.src)).every((img) => img.complete && img.naturalWidth > 0));
          assert.ok(loaded, `${w.user.username}'s own pictures did not load`);
        } finally {
          await tab.close();
        }
      }
    });

    await t.test("a third browser without a cookie sees the login page and logs in", async () => {
      const c = await person();
      await c.page.goto(proxy.url + "/");
      await c.checkLoginPage();
      const text = await everyText(c.page);
      for (const other of [ADMIN.name, NORA.name]) {
        assert.ok(!text.includes(other), `a browser without a cookie sees ${other}`);
      }
      await c.logIn(GUEST, true);
      // And the first two are still who they were.
      for (const [w, user] of [[walks[0], ADMIN], [walks[1], NORA]]) {
        await w.page.reload();
        await w.checkShell(await w.waitForShell(), user, "MENU_INTRODUCTION");
      }
    });

    await t.test("Vistrel believes the proxy's forwarded addresses, with its secret", async () => {
      // It reports an X-Forwarded-For it does not believe, and a proxy without a secret.
      assert.ok(!/X-Forwarded-For|server\.proxySecret/.test(server.log()), server.log());
    });

    const problems = walks.flatMap((w) => w.takeProblems());
    assert.deepStrictEqual(problems, [], "script errors or failed loads in the browsers");

    await t.test("the access log holds no query strings, so no session identifiers", async () => {
      const log = fs.readFileSync(path.join(server.dir, "access.log"), "utf8");
      assert.ok(log.split("\n").length > 20, "nginx logged next to nothing");
      assert.ok(!log.includes("session="), "the access log names sessions");
      assert.ok(!log.includes("?"), "the access log holds a query string");
    });
  } catch (error) {
    failed = true;
    throw error;
  } finally {
    for (const w of walks) await w.close().catch(() => {});
    if (proxy) proxy.child.kill("SIGTERM");
    await server.stop();
    await sleep(100);
    if (failed || t.signal.aborted) {
      console.log(`# server output (root kept in ${server.dir}):\n${server.log()}`);
      if (proxy) console.log(`# nginx:\n${proxy.stderr()}`);
    } else {
      server.remove();
    }
  }
});
