// A Vistrel server of our own for the browser walk: a fresh demo root laid out with
// scripts/make-root.sh in a temporary folder, its port moved to a free loopback port,
// the program started from the root and stopped with SIGTERM.
"use strict";

const childProcess = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");

// Reads a file of [key][value] lines the way the server does: '#' in the first column is
// a comment, lines without both bracket pairs are ignored, nothing is trimmed.
function readPairs(file) {
  const pairs = [];
  for (const line of fs.readFileSync(file, "latin1").split("\n")) {
    if (line.startsWith("#")) continue;
    const m = /^[^[]*\[([^\]]*)\][^[]*\[([^\]]*)\]/.exec(line);
    if (m) pairs.push([m[1], m[2]]);
  }
  return pairs;
}

// A loopback port nobody listens on, taken below the range the system hands out to
// outgoing connections: a port of that range may become some client's own (the hardening
// checks flood the machine beside us) between this test and the server's start.
function lowPortRange() {
  try {
    const low = parseInt(fs.readFileSync("/proc/sys/net/ipv4/ip_local_port_range", "latin1").split(/\s+/)[0], 10);
    if (low > 2048) return [Math.min(10000, Math.floor(low / 2)), low - 1];
  } catch (e) { /* no such file: the usual range */ }
  return [10000, 32767];
}

function tryListen(port) {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.once("error", () => resolve(null));
    server.listen(port, "127.0.0.1", () => {
      const got = server.address().port;
      server.close(() => resolve(got));
    });
  });
}

async function freePort() {
  const [low, high] = lowPortRange();
  for (let i = 0; i < 100; i++) {
    const port = await tryListen(low + Math.floor(Math.random() * (high - low + 1)));
    if (port) return port;
  }
  return tryListen(0);
}

// Replaces the value of one key in a configuration file; the key must be there.
function setConfigValue(file, key, value) {
  const text = fs.readFileSync(file, "latin1");
  const pattern = new RegExp("^\\[" + key.replace(/\./g, "\\.") + "\\]\\[[^\\]]*\\]", "m");
  if (!pattern.test(text)) throw new Error(`${file} has no line for ${key}`);
  fs.writeFileSync(file, text.replace(pattern, `[${key}][${value}]`), "latin1");
}

function canConnect(port) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: "127.0.0.1", port });
    socket.once("connect", () => { socket.destroy(); resolve(true); });
    socket.once("error", () => resolve(false));
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

class VistrelServer {
  // source: the repository; build: the build folder holding bin/vistrel.
  // options.language: the language of new sessions (default: the template's).
  constructor(source, build, options = {}) {
    this.source = source;
    this.build = build;
    this.options = options;
    this.child = null;
    this.exit = null;
  }

  async layOut() {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), "vistrel-browser-"));
    this.root = path.join(this.dir, "root");
    childProcess.execFileSync("bash",
      [path.join(this.source, "scripts", "make-root.sh"), this.root, this.build],
      { stdio: ["ignore", "ignore", "inherit"] });
    this.port = await freePort();
    const config = path.join(this.root, "config", "config.cfg");
    setConfigValue(config, "server.port", this.port);
    if (this.options.language) {
      setConfigValue(config, "session.defaultLanguage", this.options.language);
    }
    this.url = `http://127.0.0.1:${this.port}`;
  }

  // Starts the server; when its port was taken after all (another program bound it after
  // we looked), moves it to another free port, a few times.
  async start() {
    for (let attempt = 1; ; attempt++) {
      try {
        return await this.startOnce();
      } catch (e) {
        if (attempt >= 5 || !this.exit || !/Cannot bind/.test(this.log())) throw e;
        this.port = await freePort();
        setConfigValue(path.join(this.root, "config", "config.cfg"), "server.port", this.port);
        this.url = `http://127.0.0.1:${this.port}`;
      }
    }
  }

  async startOnce() {
    if (!this.root) await this.layOut();
    this.exit = null;
    this.logFile = path.join(this.dir, "server.log");
    const log = fs.openSync(this.logFile, "w");
    this.child = childProcess.spawn(path.join(this.root, "bin", "vistrel"), [this.root],
      { cwd: this.dir, stdio: ["ignore", log, log] });
    fs.closeSync(log);
    // Never leave the server behind when this process ends early.
    const child = this.child;
    const killOnExit = () => { if (child.exitCode === null && child.signalCode === null) child.kill("SIGKILL"); };
    process.once("exit", killOnExit);
    this.exited = new Promise((resolve) => {
      this.child.once("exit", (code, signal) => { this.exit = { code, signal }; resolve(this.exit); });
    });
    // The sanitizer build starts slowly; the server is up once it accepts connections.
    const deadline = Date.now() + 60000;
    while (Date.now() < deadline) {
      if (this.exit) throw new Error(`the server ended at start: ${JSON.stringify(this.exit)}\n${this.log()}`);
      if (await canConnect(this.port)) return;
      await sleep(100);
    }
    throw new Error(`the server does not accept connections on port ${this.port}\n${this.log()}`);
  }

  log() {
    try { return fs.readFileSync(this.logFile, "latin1"); } catch (e) { return ""; }
  }

  // Ends the server with SIGTERM and returns how it ended; SIGKILL after the time-out.
  async stop(timeoutMs = 20000) {
    if (!this.child) return null;
    if (!this.exit) {
      this.child.kill("SIGTERM");
      let timer;
      const timeout = new Promise((resolve) => { timer = setTimeout(() => resolve(null), timeoutMs); });
      const result = await Promise.race([this.exited, timeout]);
      clearTimeout(timer);
      if (!result) {
        this.child.kill("SIGKILL");
        await this.exited;
        this.exit.timedOut = true;
      }
    }
    return this.exit;
  }

  // Removes the temporary folder; keep it when a test failed, for a look at the log.
  remove() {
    if (this.dir) fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

module.exports = { VistrelServer, readPairs, freePort, setConfigValue };
