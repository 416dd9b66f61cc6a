// The browser test of the interface, run by ctest:
//     node shell_test.js <source-dir> <build-dir>
// Lays out a fresh demo root from the build's program, serves it on a free loopback port,
// walks through the interface in Debian's chromium (walk.js) and stops the server with
// SIGTERM, which must end it with exit code 0. The screenshots of the steps go to
// <build-dir>/screenshots.
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");
const { STEPS } = require("./walk.js");
const { walkSteps } = require("./harness.js");

const source = path.resolve(process.argv[2] || path.join(__dirname, "..", ".."));
const build = path.resolve(process.argv[3] || path.join(source, "build", "release"));
const shots = path.join(build, "screenshots");

test("browser walk through the interface", { timeout: 280000 }, async (t) => {
  await walkSteps(t, { source, build, shots, steps: STEPS, after: async (server) => {
    await t.test("SIGTERM ends the server with exit code 0", async () => {
      const exit = await server.stop();
      assert.deepStrictEqual({ code: exit.code, signal: exit.signal }, { code: 0, signal: null },
        server.log());
    });
  } });
});
