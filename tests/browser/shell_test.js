// The browser test of the interface, run by ctest:
//     node shell_test.js <source-dir> <build-dir>
// Lays out a fresh demo root from the build's program, serves it on a free loopback port,
// walks through the interface in Debian's chromium (walk.js) and stops the server with
// SIGTERM, which must end it with exit code 0. The screenshots of the steps go to
// <build-dir>/screenshots.
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const { VistrelServer } = require("./vistrel.js");
const { launch } = require("./browser.js");
const { Walk, STEPS, runStep } = require("./walk.js");

const source = path.resolve(process.argv[2] || path.join(__dirname, "..", ".."));
const build = path.resolve(process.argv[3] || path.join(source, "build", "release"));
const shots = path.join(build, "screenshots");

test("browser walk through the interface", { timeout: 280000 }, async (t) => {
  fs.rmSync(shots, { recursive: true, force: true });
  fs.mkdirSync(shots, { recursive: true });
  const server = new VistrelServer(source, build);
  let walk = null;
  let failed = false;
  try {
    await server.start();
    walk = new Walk(server, await launch(), async () => {
      await walk.browser.close();
      walk.browser = await launch();
    }, { log: (line) => t.diagnostic(line) });

    let index = 0;
    for (const s of STEPS) {
      index++;
      if (failed) {
        await t.test(s.title, { skip: "an earlier step failed" }, () => {});
        continue;
      }
      await t.test(s.title, async () => {
        try {
          await runStep(walk, s, index, shots);
        } catch (error) {
          failed = true;
          throw error;
        }
      });
    }
    await walk.browser.close();
    walk = null;

    await t.test("SIGTERM ends the server with exit code 0", async () => {
      const exit = await server.stop();
      assert.deepStrictEqual({ code: exit.code, signal: exit.signal }, { code: 0, signal: null },
        server.log());
    });
    t.diagnostic(`screenshots in ${shots}`);
  } catch (error) {
    failed = true;
    throw error;
  } finally {
    if (walk) await walk.browser.close().catch(() => {});
    await server.stop();
    if (failed || t.signal.aborted) {
      console.log(`# server output (root kept in ${server.dir}):\n${server.log()}`);
    } else {
      server.remove();
    }
  }
});
